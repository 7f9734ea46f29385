#include "carve/bmp_header.h"

#include <algorithm>

#include "base/byte_fields.h"

namespace glintvane {
namespace {

constexpr size_t kFileHeader = 14;
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;

bool KnownInfoHeader(uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Depth and compression that go together.
bool DepthFits(uint16_t bits, uint32_t compression) {
  switch (compression) {
    case kRgb:
      return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kRle8:
      return bits == 8;
    case kRle4:
      return bits == 4;
    case kBitFields:
    case kAlphaBitFields:
      return bits == 16 || bits == 32;
    default:
      return false;  // JPEG or PNG inside, or not a BMP
  }
}

}  // namespace

std::optional<BmpLayout> ReadBmpHeader(const uint8_t* bytes, size_t available) {
  if (available < kFileHeader + 12) return std::nullopt;
  const std::span<const uint8_t> b(bytes, std::min(available, kBmpHeadLength));
  ByteFields field(b);
  if (b[0] != 'B' || b[1] != 'M' || field.Le<uint16_t>(6) != 0 || field.Le<uint16_t>(8) != 0)
    return std::nullopt;
  BmpLayout layout;
  layout.file_size = field.Le<uint32_t>(2);
  layout.pixel_offset = field.Le<uint32_t>(10);
  layout.header_size = field.Le<uint32_t>(14);
  if (!KnownInfoHeader(layout.header_size)) return std::nullopt;
  uint32_t colours_used = 0;
  uint32_t stored_size = 0;
  bool top_down = false;
  if (layout.header_size == 12) {
    // The OS/2 core header: 16-bit sides, no compression.
    layout.width = field.Le<uint16_t>(18);
    layout.height = field.Le<uint16_t>(20);
    if (field.Le<uint16_t>(22) != 1) return std::nullopt;
    layout.bits = field.Le<uint16_t>(24);
    if (layout.bits != 1 && layout.bits != 4 && layout.bits != 8 && layout.bits != 24) {
      return std::nullopt;
    }
  } else {
    if (b.size() < kBmpHeadLength) return std::nullopt;
    layout.width = static_cast<int32_t>(field.Le<uint32_t>(18));
    const auto height = static_cast<int32_t>(field.Le<uint32_t>(22));
    if (height == INT32_MIN) return std::nullopt;
    top_down = height < 0;
    layout.height = top_down ? -height : height;
    if (field.Le<uint16_t>(26) != 1) return std::nullopt;
    layout.bits = field.Le<uint16_t>(28);
    layout.compression = field.Le<uint32_t>(30);
    stored_size = field.Le<uint32_t>(34);
    colours_used = field.Le<uint32_t>(46);
    if (!DepthFits(layout.bits, layout.compression)) return std::nullopt;
    // Compressed pictures are stored bottom row first.
    if (top_down && (layout.compression == kRle8 || layout.compression == kRle4)) {
      return std::nullopt;
    }
  }
  if (!field.whole() || layout.width <= 0 || layout.height <= 0 || layout.width > kMaxBmpSide ||
      layout.height > kMaxBmpSide) {
    return std::nullopt;
  }
  // The colour table: at most one entry per value a pixel can hold.
  const uint32_t most_colours = layout.bits <= 8 ? 1u << layout.bits : 256;
  if (colours_used > most_colours) return std::nullopt;
  const uint32_t colours = layout.bits <= 8 && colours_used == 0 ? most_colours : colours_used;
  const uint32_t entry = layout.header_size == 12 ? 3 : 4;
  uint32_t masks = 0;
  if (layout.header_size == 40 && layout.compression == kBitFields) masks = 12;
  if (layout.header_size == 40 && layout.compression == kAlphaBitFields) masks = 16;
  const uint64_t tables = kFileHeader + uint64_t{layout.header_size} + masks + colours * entry;
  if (layout.pixel_offset < tables || layout.pixel_offset > layout.file_size) return std::nullopt;

  const uint64_t stride =
      (uint64_t{static_cast<uint32_t>(layout.width)} * layout.bits + 31) / 32 * 4;
  uint64_t pixels = stride * static_cast<uint32_t>(layout.height);
  if (layout.compression == kRle8 || layout.compression == kRle4) {
    // A compressed stream says its own size; it needs at least its
    // end-of-bitmap code and is never much larger than the rows it makes.
    if (stored_size < 2 ||
        stored_size > 2 * pixels + 2 * uint64_t{static_cast<uint32_t>(layout.height)} + 2) {
      return std::nullopt;
    }
    pixels = stored_size;
  } else if (stored_size != 0 && stored_size < pixels) {
    return std::nullopt;
  }
  const uint64_t needed = uint64_t{layout.pixel_offset} + pixels;
  if (needed > layout.file_size || layout.file_size - needed > kBmpTrailingSlack) {
    return std::nullopt;
  }
  layout.stride = static_cast<uint32_t>(stride);
  layout.pixel_bytes = static_cast<uint32_t>(pixels);
  return layout;
}

bool BmpPixelsDecode(std::span<const uint8_t> file, const BmpLayout& layout) {
  if (file.size() < layout.file_size ||
      uint64_t{layout.pixel_offset} + layout.pixel_bytes > file.size()) {
    return false;
  }
  if (layout.compression != kRle8 && layout.compression != kRle4) return true;
  // The runs of an RLE stream (BITMAPINFOHEADER, "Bitmap Compression"):
  // each run or literal must stay inside its row and the rows inside the
  // picture, and the stream must end with its end-of-bitmap code.
  const std::span<const uint8_t> rle = file.subspan(layout.pixel_offset, layout.pixel_bytes);
  const bool four = layout.compression == kRle4;
  const auto width = static_cast<uint32_t>(layout.width);
  const auto height = static_cast<uint32_t>(layout.height);
  uint32_t x = 0;
  uint32_t y = 0;
  size_t at = 0;
  while (at + 2 <= rle.size()) {
    const uint8_t count = rle[at];
    const uint8_t code = rle[at + 1];
    at += 2;
    if (count > 0) {
      if (y >= height || x + count > width) return false;
      x += count;
      continue;
    }
    switch (code) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return y <= height;
      case 2:  // delta
        if (at + 2 > rle.size()) return false;
        x += rle[at];
        y += rle[at + 1];
        at += 2;
        if (x > width || y > height) return false;
        break;
      default: {  // a literal of `code` pixels, padded to a 16-bit boundary
        const size_t bytes = four ? (code + 1u) / 2 : code;
        if (y >= height || x + code > width || at + bytes > rle.size()) return false;
        x += code;
        at += bytes + (bytes & 1);
        break;
      }
    }
  }
  return false;
}

}  // namespace glintvane
