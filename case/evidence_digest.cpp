#include "case/evidence_digest.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <memory>

#include "base/byte_source.h"

namespace glintvane {
namespace {

struct ContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string Hex(const unsigned char* bytes, unsigned int length) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(2 * length, '0');
  for (unsigned int i = 0; i < length; ++i) {
    out[2 * i] = kHex[bytes[i] >> 4];
    out[2 * i + 1] = kHex[bytes[i] & 0xF];
  }
  return out;
}

}  // namespace

EvidenceDigest HashEvidenceFiles(const std::vector<std::string>& files, ProgressSink* progress,
                                 std::stop_token stop) {
  EvidenceDigest digest;
  if (files.empty()) {
    digest.error = "no file to hash";
    return digest;
  }
  std::vector<std::unique_ptr<FileByteSource>> sources;
  uint64_t total = 0;
  for (const std::string& path : files) {
    auto source = FileByteSource::Open(path);
    if (!source) {
      digest.error = "cannot open " + path + ": " + source.error().message;
      return digest;
    }
    total += (*source)->Size();
    sources.push_back(std::move(*source));
  }
  std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    digest.error = "SHA-256 is not available";
    return digest;
  }
  std::vector<uint8_t> chunk(kEvidenceHashChunk);
  ProgressMeter meter(progress);
  for (size_t i = 0; i < sources.size(); ++i) {
    FileByteSource& source = *sources[i];
    // The size taken at opening: a file that grows meanwhile is hashed as
    // it was then, one that shrinks is an error.
    const uint64_t size = source.Size();
    for (uint64_t offset = 0; offset < size;) {
      if (stop.stop_requested()) {
        digest.stopped = true;
        return digest;
      }
      const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - offset));
      const auto got = source.ReadAt(offset, std::span(chunk).first(want));
      if (!got || *got == 0) {
        digest.error =
            "cannot read " + files[i] + ": " +
            (got ? std::string("it became shorter while it was read") : got.error().message);
        return digest;
      }
      EVP_DigestUpdate(context.get(), chunk.data(), *got);
      offset += *got;
      digest.size += *got;
      if (total > 0) {
        meter.Advance(static_cast<int>(static_cast<double>(digest.size) * kProgressFull /
                                       static_cast<double>(total)));
      }
    }
  }
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), out, &length) != 1) {
    digest.error = "SHA-256 could not be finished";
    return digest;
  }
  digest.sha256 = Hex(out, length);
  digest.ok = true;
  meter.Advance(kProgressFull);
  return digest;
}

std::string EvidenceStamp(const std::vector<std::string>& files) {
  std::string stamp;
  for (const std::string& path : files) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    stamp += path;
    stamp += '|' + std::to_string(st.st_size) + '|' + std::to_string(st.st_mtim.tv_sec) + '.' +
             std::to_string(st.st_mtim.tv_nsec) + '|' + std::to_string(st.st_dev) + ':' +
             std::to_string(st.st_ino) + '\n';
  }
  return stamp;
}

}  // namespace glintvane
