#include "export/digest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <vector>

namespace glintvane {
namespace {

// Large enough that a multi-gigabyte source is read in few calls, small
// enough to sit on any machine's heap without notice.
constexpr size_t kFingerprintPiece = 1 << 20;

std::string Hex(const unsigned char* bytes, unsigned int size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (unsigned int i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using ContextPtr = std::unique_ptr<EVP_MD_CTX, ContextFree>;

ContextPtr NewContext(const EVP_MD* md) {
  ContextPtr context(EVP_MD_CTX_new());
  if (context && EVP_DigestInit_ex(context.get(), md, nullptr) != 1) context.reset();
  return context;
}

std::string Final(EVP_MD_CTX* context) {
  if (context == nullptr) return {};
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(context, digest.data(), &size) != 1) return {};
  return Hex(digest.data(), size);
}

}  // namespace

struct MultiDigest::Contexts {
  ContextPtr md5 = NewContext(EVP_md5());
  ContextPtr sha1 = NewContext(EVP_sha1());
  ContextPtr sha256 = NewContext(EVP_sha256());
};

MultiDigest::MultiDigest() : contexts_(std::make_unique<Contexts>()) {}
MultiDigest::~MultiDigest() = default;

void MultiDigest::Update(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  for (EVP_MD_CTX* context :
       {contexts_->md5.get(), contexts_->sha1.get(), contexts_->sha256.get()}) {
    if (context != nullptr) EVP_DigestUpdate(context, bytes.data(), bytes.size());
  }
}

Digests MultiDigest::Finish() {
  // A digest OpenSSL refuses (MD5 under a FIPS-only provider) stays "":
  // the others are still worth having.
  return Digests{Final(contexts_->md5.get()), Final(contexts_->sha1.get()),
                 Final(contexts_->sha256.get())};
}

Digests DigestsOf(std::span<const uint8_t> bytes) {
  MultiDigest digest;
  digest.Update(bytes);
  return digest.Finish();
}

Digests RangeDigester::Of(ByteSource& source, uint64_t start, uint64_t length) {
  if (buffer_.empty()) buffer_.resize(kFingerprintPiece);
  MultiDigest digest;
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length, kFingerprintPiece));
    const auto got = source.ReadAt(start, std::span(buffer_).first(want));
    if (!got || *got == 0) return {};
    digest.Update(std::span(buffer_).first(*got));
    start += *got;
    length -= *got;
  }
  return digest.Finish();
}

tl::expected<FileFingerprint, IoError> FingerprintFile(const std::string& path) {
  auto source = FileByteSource::Open(path);
  if (!source) return tl::unexpected(source.error());
  return FingerprintSource(**source);
}

tl::expected<FileFingerprint, IoError> FingerprintSource(ByteSource& source) {
  ContextPtr context = NewContext(EVP_sha256());
  if (!context) return tl::unexpected(IoError{0, "SHA-256 is not available"});
  std::vector<uint8_t> piece(kFingerprintPiece);
  uint64_t offset = 0;
  for (;;) {
    auto got = source.ReadAt(offset, piece);
    if (!got) return tl::unexpected(got.error());
    if (*got == 0) break;
    EVP_DigestUpdate(context.get(), piece.data(), *got);
    offset += *got;
  }
  return FileFingerprint{offset, Final(context.get())};
}

}  // namespace glintvane
