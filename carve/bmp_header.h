// Telling a BMP's start from two bytes "BM" that happen to lie in a file: the
// file header's sizes must agree with the info header's picture, and the
// picture must be one that Windows writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace glintvane {

// File header and the fields of the info header that are checked.
inline constexpr size_t kBmpHeadLength = 54;

// No side of a carved BMP is longer: GDI's own limit for a bitmap's side,
// far beyond any thumbnail or screen; a header claiming more is not a picture.
inline constexpr int32_t kMaxBmpSide = 32768;

// Bytes that may follow the pixel data inside the file size: writers pad
// it (Photoshop adds two bytes) or put a profile after it. A header whose
// file size claims more than this beyond its pixels is not believed.
inline constexpr uint32_t kBmpTrailingSlack = 4096;

struct BmpLayout {
  uint32_t file_size = 0;     // the picture's bytes, from "BM" on
  uint32_t pixel_offset = 0;  // where the pixel data starts
  uint32_t header_size = 0;   // the info header's: 12, 40, 52, 56, 108 or 124
  int32_t width = 0;
  int32_t height = 0;        // rows, whichever way they are stored
  uint16_t bits = 0;         // per pixel: 1, 4, 8, 16, 24 or 32
  uint32_t compression = 0;  // 0 none, 1 RLE8, 2 RLE4, 3 and 6 bit fields
  uint32_t stride = 0;       // bytes per stored row of an uncompressed picture
  uint32_t pixel_bytes = 0;  // bytes of pixel data: rows, or the compressed stream
};

// The layout of the BMP that starts at bytes[0], when its headers (in the
// first `available` bytes, at most kBmpHeadLength are read) agree: sizes,
// planes, depth and compression that go together, a pixel offset past the
// headers and the colour table, and a file size that holds the pixel data
// and at most kBmpTrailingSlack more.
std::optional<BmpLayout> ReadBmpHeader(const uint8_t* bytes, size_t available);

// True when the whole picture `file` (file_size bytes from "BM") holds
// pixel data that decodes: any uncompressed rows, or an RLE stream whose runs
// stay inside the picture and that reaches its end-of-bitmap code.
bool BmpPixelsDecode(std::span<const uint8_t> file, const BmpLayout& layout);

}  // namespace glintvane
