// What a stored image is and how large, read from its header only: the JPEG
// frame header (SOF), the PNG IHDR chunk or the BMP info header.
#pragma once

#include <cstdint>
#include <span>

namespace glintvane {

enum class ImageFormat : uint8_t { kUnknown, kJpeg, kPng, kBmp };

struct ImageInfo {
  ImageFormat format = ImageFormat::kUnknown;
  int32_t width = 0;  // 0 when the header does not say
  int32_t height = 0;
};

ImageInfo SniffImage(std::span<const uint8_t> bytes);

bool LooksLikeJpeg(std::span<const uint8_t> bytes);  // FF D8 FF
bool LooksLikePng(std::span<const uint8_t> bytes);   // the 8-byte PNG signature
bool LooksLikeBmp(std::span<const uint8_t> bytes);   // "BM" and a known info header size

}  // namespace glintvane
