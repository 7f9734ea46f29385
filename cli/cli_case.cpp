#include "cli/cli_case.h"

#include <cstdio>
#include <filesystem>

#include "case/evidence_digest.h"
#include "cli/cli_common.h"
#include "evidence/evidence_identity.h"

namespace glintvane::cli {

bool CliCase::Open(const std::string& verb, const std::string& path, bool say) {
  verb_ = verb;
  auto opened = CaseFile::Open(path, /*read_only=*/true);
  if (!opened) {
    error_ = CaseFailureText(CaseFile::PathFor(path), opened.error());
    if (say)
      std::fprintf(stderr, "glintvane-cli %s: %s\n", verb.c_str(), Printable(error_).c_str());
    return false;
  }
  file_ = std::move(*opened);
  return true;
}

EvidenceKey CliCase::KeyFor(const std::string& path, bool carved, uint64_t* size) {
  const EvidenceSource source = IdentifyEvidence(path, carved);
  if (source.files.empty()) {
    std::fprintf(stderr, "glintvane-cli %s: cannot name the evidence of %s: %s\n", verb_.c_str(),
                 Printable(path).c_str(), Printable(source.error).c_str());
    return {};
  }
  const std::string stamp = EvidenceStamp(source.files);
  if (auto it = digests_.find(stamp); !stamp.empty() && it != digests_.end()) {
    if (size != nullptr) *size = it->second.size;
    return {it->second.sha256, source.location};
  }
  // The case knows the SHA-256 of files that look as they did; their size is
  // what the files hold now, which the unchanged stamp vouches for.
  if (auto known = file_ ? file_->KnownDigest(stamp) : std::nullopt) {
    Digest digest{*known, 0};
    std::error_code error;
    for (const std::string& file : source.files) {
      digest.size += std::filesystem::file_size(file, error);
      if (error) break;
    }
    if (!error) {
      digests_[stamp] = digest;
      if (size != nullptr) *size = digest.size;
      return {*known, source.location};
    }
  }
  TerminalProgress progress;
  const EvidenceDigest digest = HashEvidenceFiles(source.files, &progress, InterruptStop());
  if (!digest.ok) {
    if (!digest.stopped) {
      std::fprintf(stderr, "glintvane-cli %s: cannot take the SHA-256 of %s: %s\n", verb_.c_str(),
                   Printable(path).c_str(), Printable(digest.error).c_str());
    }
    return {};
  }
  if (!stamp.empty()) digests_[stamp] = {digest.sha256, digest.size};
  if (size != nullptr) *size = digest.size;
  return {digest.sha256, source.location};
}

const std::map<std::string, RowMarks>& CliCase::MarksFor(const std::string& path, bool carved) {
  static const std::map<std::string, RowMarks> kNone;
  if (!file_) return kNone;
  const std::string slot = (carved ? "c:" : "f:") + path;
  if (auto it = marks_.find(slot); it != marks_.end()) return it->second;
  const EvidenceKey key = KeyFor(path, carved);
  return marks_[slot] = key.empty() ? std::map<std::string, RowMarks>{} : file_->Marks(key);
}

}  // namespace glintvane::cli
