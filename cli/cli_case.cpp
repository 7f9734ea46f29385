#include "cli/cli_case.h"

#include <cstdio>

#include "case/evidence_digest.h"
#include "cli/cli_common.h"
#include "evidence/evidence_identity.h"

namespace glintvane::cli {

bool CliCase::Open(const std::string& verb, const std::string& path) {
  verb_ = verb;
  auto opened = CaseFile::Open(path, /*read_only=*/true);
  if (!opened) {
    std::fprintf(stderr, "glintvane-cli %s: %s\n", verb.c_str(),
                 Printable(CaseFailureText(CaseFile::PathFor(path), opened.error())).c_str());
    return false;
  }
  file_ = std::move(*opened);
  return true;
}

EvidenceKey CliCase::KeyFor(const std::string& path, bool carved) {
  if (!file_) return {};
  const EvidenceSource source = IdentifyEvidence(path, carved);
  if (source.files.empty()) {
    std::fprintf(stderr, "glintvane-cli %s: cannot name the evidence of %s: %s\n", verb_.c_str(),
                 Printable(path).c_str(), Printable(source.error).c_str());
    return {};
  }
  const std::string stamp = EvidenceStamp(source.files);
  if (auto it = digests_.find(stamp); !stamp.empty() && it != digests_.end()) {
    return {it->second, source.location};
  }
  if (auto known = file_->KnownDigest(stamp)) {
    digests_[stamp] = *known;
    return {*known, source.location};
  }
  TerminalProgress progress;
  const EvidenceDigest digest = HashEvidenceFiles(source.files, &progress, InterruptStop());
  if (!digest.ok) {
    if (!digest.stopped) {
      std::fprintf(stderr, "glintvane-cli %s: the case's tags and notes are not shown for %s: %s\n",
                   verb_.c_str(), Printable(path).c_str(), Printable(digest.error).c_str());
    }
    return {};
  }
  if (!stamp.empty()) digests_[stamp] = digest.sha256;
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
