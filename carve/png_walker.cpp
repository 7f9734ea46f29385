#include "carve/png_walker.h"

#include <algorithm>

#include "base/byte_fields.h"
#include "carve/crc32.h"

namespace glintvane {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kHeaderType = 0x49484452;  // "IHDR"
constexpr uint32_t kDataType = 0x49444154;    // "IDAT"
constexpr uint32_t kEndType = 0x49454E44;     // "IEND"
constexpr uint32_t kHeaderDataLength = 13;
// Chunk lengths are below 2^31 (ISO/IEC 15948, 5.3).
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

// Callers have the four bytes in hand.
uint32_t Be32(const uint8_t* p) {
  return ReadBe<uint32_t>(std::span<const uint8_t>(p, 4), 0).value_or(0);
}

bool IsLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The header chunk's 13 bytes: sizes, and a depth that the colour type
// allows (ISO/IEC 15948, table 11.1).
bool ValidHeader(const uint8_t* h) {
  const uint32_t width = Be32(h);
  const uint32_t height = Be32(h + 4);
  if (width == 0 || height == 0 || width > kMaxChunkLength || height > kMaxChunkLength) {
    return false;
  }
  const uint8_t depth = h[8];
  bool depth_ok = false;
  switch (h[9]) {
    case 0:  // greyscale
      depth_ok = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
      break;
    case 3:  // palette
      depth_ok = depth == 1 || depth == 2 || depth == 4 || depth == 8;
      break;
    case 2:  // RGB
    case 4:  // greyscale and alpha
    case 6:  // RGB and alpha
      depth_ok = depth == 8 || depth == 16;
      break;
    default:
      return false;
  }
  return depth_ok && h[10] == 0 && h[11] == 0 && h[12] <= 1;
}

}  // namespace

bool LooksLikePngStart(const uint8_t* bytes, size_t available) {
  if (available < kPngHeadLength) return false;
  if (!std::equal(kSignature, kSignature + 8, bytes)) return false;
  if (Be32(bytes + 8) != kHeaderDataLength || Be32(bytes + 12) != kHeaderType) return false;
  if (!ValidHeader(bytes + 16)) return false;
  return UpdateCrc32(0, bytes + 12, 4 + kHeaderDataLength) == Be32(bytes + 29);
}

bool PngWalker::TypeAllowed() const {
  for (int shift = 0; shift < 32; shift += 8) {
    if (!IsLetter(static_cast<uint8_t>(type_ >> shift))) return false;
  }
  // The header first and only there; the end chunk holds nothing and needs
  // the picture's data before it.
  if ((chunks_ == 0) != (type_ == kHeaderType)) return false;
  if (type_ == kHeaderType) return length_ == kHeaderDataLength;
  if (type_ == kEndType) return length_ == 0 && seen_data_;
  return true;
}

void PngWalker::ChunkDone() {
  ++chunks_;
  checked_ = used_;
  if (type_ == kDataType) seen_data_ = true;
  if (type_ == kEndType) status_ = Status::kComplete;
  state_ = State::kLength;
}

bool PngWalker::Step(uint8_t b) {
  switch (state_) {
    case State::kSignature:
      if (b != kSignature[at_]) return false;
      if (++at_ == sizeof kSignature) {
        at_ = 0;
        state_ = State::kLength;
      }
      return true;
    case State::kLength:
      field_ = (field_ << 8) | b;
      if (++at_ < 4) return true;
      at_ = 0;
      length_ = field_;
      // The chunk's length field, type, data and CRC must fit in what may
      // be carved.
      if (length_ > kMaxChunkLength || used_ + 1 + 8 + uint64_t{length_} > max_length_) {
        return false;
      }
      state_ = State::kType;
      return true;
    case State::kType:
      field_ = (field_ << 8) | b;
      if (++at_ < 4) return true;
      at_ = 0;
      type_ = field_;
      if (!TypeAllowed()) return false;
      {
        const uint8_t type_bytes[4] = {static_cast<uint8_t>(type_ >> 24),
                                       static_cast<uint8_t>(type_ >> 16),
                                       static_cast<uint8_t>(type_ >> 8), b};
        crc_ = UpdateCrc32(0, type_bytes, 4);
      }
      remaining_ = length_;
      state_ = remaining_ > 0 ? State::kData : State::kCrc;
      return true;
    case State::kCrc:
      field_ = (field_ << 8) | b;
      if (++at_ < 4) return true;
      at_ = 0;
      if (field_ != crc_) return false;
      if (type_ == kHeaderType && !ValidHeader(header_)) return false;
      return true;
    case State::kData:
      break;  // read in runs by Feed
  }
  return true;
}

size_t PngWalker::Feed(std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n && status_ == Status::kWalking) {
    if (state_ == State::kData) {
      const size_t step = std::min<size_t>(remaining_, n - i);
      if (type_ == kHeaderType) {
        const size_t at = kHeaderDataLength - remaining_;
        std::copy(p + i, p + i + step, header_ + at);
      }
      crc_ = UpdateCrc32(crc_, p + i, step);
      i += step;
      used_ += step;
      remaining_ -= static_cast<uint32_t>(step);
      if (remaining_ == 0) state_ = State::kCrc;
      continue;
    }
    const bool crc_end = state_ == State::kCrc && at_ == 3;
    if (!Step(p[i])) {
      status_ = Status::kBroken;  // the offending byte is not used
      break;
    }
    ++i;
    ++used_;
    if (crc_end) ChunkDone();
  }
  return i;
}

}  // namespace glintvane
