// Message digests of written images and of the source file, for examiners'
// case files: MD5 and SHA-1 because older tools and hash sets still list
// them, SHA-256 because it is the one that holds up.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "base/byte_source.h"

namespace glintvane {

// Lower-case hexadecimal digests.
struct Digests {
  std::string md5;
  std::string sha1;
  std::string sha256;
};

// MD5, SHA-1 and SHA-256 over the same bytes, fed in pieces.
class MultiDigest {
 public:
  MultiDigest();
  ~MultiDigest();
  MultiDigest(const MultiDigest&) = delete;
  MultiDigest& operator=(const MultiDigest&) = delete;

  void Update(std::span<const uint8_t> bytes);
  // The digests of everything fed so far; the object is spent afterwards.
  Digests Finish();

 private:
  struct Contexts;
  std::unique_ptr<Contexts> contexts_;
};

Digests DigestsOf(std::span<const uint8_t> bytes);

// The digests of stretches of a source, read in blocks through one buffer
// kept from stretch to stretch (a carving run digests millions of them).
class RangeDigester {
 public:
  // The digests of [start, start + length) of `source`; empty when the bytes
  // cannot all be read.
  Digests Of(ByteSource& source, uint64_t start, uint64_t length);

 private:
  std::vector<uint8_t> buffer_;
};

struct FileFingerprint {
  uint64_t size = 0;
  std::string sha256;
};

// The size and SHA-256 of a whole file, read in pieces (swap and
// hibernation files run to gigabytes).
tl::expected<FileFingerprint, IoError> FingerprintFile(const std::string& path);
// The same over any byte source: a file inside a disk image.
tl::expected<FileFingerprint, IoError> FingerprintSource(ByteSource& source);

}  // namespace glintvane
