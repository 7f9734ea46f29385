#include "cache/image_info.h"

#include <cstdint>
#include <cstring>

#include "base/byte_fields.h"

namespace glintvane {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Start-of-frame markers: C0 to CF except DHT (C4), JPG (C8) and DAC (CC).
bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The BMP info header follows the 14-byte file header; its first field is
// its own size.
constexpr size_t kBmpInfoHeader = 14;

}  // namespace

bool LooksLikeBmp(std::span<const uint8_t> bytes) {
  // File header (14 bytes), then the info header, whose first field is its
  // own size: 12 (OS/2), 40, 52, 56, 64, 108 (V4) or 124 (V5).
  if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  switch (ReadLe<uint32_t>(bytes, kBmpInfoHeader).value_or(0)) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
      return true;
    default:
      return false;
  }
}

bool LooksLikeJpeg(std::span<const uint8_t> bytes) {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

bool LooksLikePng(std::span<const uint8_t> bytes) {
  return bytes.size() >= sizeof(kPngSignature) &&
         std::memcmp(bytes.data(), kPngSignature, sizeof(kPngSignature)) == 0;
}

ImageInfo SniffImage(std::span<const uint8_t> bytes) {
  ImageInfo info;
  ByteFields fields(bytes);
  if (LooksLikePng(bytes)) {
    info.format = ImageFormat::kPng;
    // Signature, then the IHDR chunk: length, "IHDR", width, height.
    if (bytes.size() >= 24 && std::memcmp(bytes.data() + 12, "IHDR", 4) == 0) {
      const uint32_t w = fields.Be<uint32_t>(16);
      const uint32_t h = fields.Be<uint32_t>(20);
      if (w <= INT32_MAX && h <= INT32_MAX) {
        info.width = static_cast<int32_t>(w);
        info.height = static_cast<int32_t>(h);
      }
    }
    return info;
  }
  if (LooksLikeBmp(bytes)) {
    info.format = ImageFormat::kBmp;
    if (fields.Le<uint32_t>(kBmpInfoHeader) == 12) {
      info.width = fields.Le<uint16_t>(kBmpInfoHeader + 4);
      info.height = fields.Le<uint16_t>(kBmpInfoHeader + 6);
    } else {
      // Signed: a negative height is a top-down picture.
      const int32_t w = fields.Le<int32_t>(kBmpInfoHeader + 4);
      const int32_t h = fields.Le<int32_t>(kBmpInfoHeader + 8);
      if (w > 0 && h != INT32_MIN) {
        info.width = w;
        info.height = h < 0 ? -h : h;
      }
    }
    return info;
  }
  if (!LooksLikeJpeg(bytes)) return info;
  info.format = ImageFormat::kJpeg;
  // Walk the marker segments up to the frame header; each step moves forward,
  // so the walk ends within the bytes.
  size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (bytes[at] != 0xFF) break;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) break;  // no frame header before the scan
    const size_t length = fields.Be<uint16_t>(at + 2);
    if (length < 2) break;
    if (IsStartOfFrame(marker)) {
      // Length, precision, then the height and the width.
      const auto height = ReadBe<uint16_t>(bytes, at + 5);
      const auto width = ReadBe<uint16_t>(bytes, at + 7);
      if (height && width) {
        info.height = *height;
        info.width = *width;
      }
      break;
    }
    at += 2 + length;
  }
  return info;
}

}  // namespace glintvane
