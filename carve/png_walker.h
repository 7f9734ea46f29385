// Finding where a PNG ends by following its chunks from the signature to
// IEND, each chunk's CRC checked, so that a carved PNG is whole or cut where
// its bytes stop being that PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace glintvane {

// The signature and the whole header chunk: the bytes a PNG start is
// judged by before its chunks are followed.
inline constexpr size_t kPngHeadLength = 33;

// True when bytes[0 .. available) start with the PNG signature and a header
// chunk (IHDR) of valid sizes, depth and colour type whose CRC matches.
bool LooksLikePngStart(const uint8_t* bytes, size_t available);

// A streaming walker, fed like JpegWalker.
class PngWalker {
 public:
  enum class Status : uint8_t {
    kWalking,   // no IEND yet; feed more bytes
    kComplete,  // IEND and its CRC were read; length() is the image's byte count
    kBroken,    // a chunk was not a PNG chunk, or its CRC did not match
  };

  // `max_length`: a chunk that would end past this many bytes from the
  // signature breaks the walk at its length field.
  explicit PngWalker(uint64_t max_length = UINT64_MAX) : max_length_(max_length) {}

  // Feeds the bytes that follow the ones fed before. Returns how many were
  // used: all of them while walking, fewer once the walk has ended.
  size_t Feed(std::span<const uint8_t> bytes);

  Status status() const { return status_; }
  // Bytes used so far, counted from the signature.
  uint64_t length() const { return used_; }
  // Bytes up to the end of the last chunk whose CRC matched (0 before the
  // header chunk's): where an image that breaks is cut.
  uint64_t checked_length() const { return checked_; }

 private:
  enum class State : uint8_t { kSignature, kLength, kType, kData, kCrc };

  // One byte outside chunk data; false when it breaks the walk.
  bool Step(uint8_t b);
  // After a chunk's type: whether it may come here.
  bool TypeAllowed() const;
  // After a chunk's CRC matched.
  void ChunkDone();

  uint64_t max_length_;
  Status status_ = Status::kWalking;
  State state_ = State::kSignature;
  uint8_t at_ = 0;          // bytes read of the field being read
  uint32_t field_ = 0;      // the field being read (length, type or CRC), big-endian
  uint32_t length_ = 0;     // data bytes of the current chunk
  uint32_t type_ = 0;       // its type, as four bytes big-endian
  uint32_t remaining_ = 0;  // data bytes still to read
  uint32_t crc_ = 0;        // CRC of the type and data read so far
  uint32_t chunks_ = 0;     // chunks whose CRC matched
  bool seen_data_ = false;  // an IDAT chunk was read
  uint8_t header_[13] = {};
  uint64_t used_ = 0;
  uint64_t checked_ = 0;
};

}  // namespace glintvane
