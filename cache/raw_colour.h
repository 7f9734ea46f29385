// Raw-colour thumbnails: a JPEG stored without its quantisation
// and Huffman tables, rebuilt with fixed tables, decoded, colour-corrected and
// encoded again as an ordinary JPEG.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "cache/jpeg_codec.h"

namespace glintvane {

// Layout of a raw-colour thumbnail stream: the 12-byte thumbnail header, the
// 16-byte raw header (1, N - 28, width, height), the JPEG start marker, the
// 22-byte frame header and, from offset 52, the scan to the end.
inline constexpr size_t kRawFrameOffset = 30;
inline constexpr size_t kRawFrameLength = 22;
inline constexpr size_t kRawScanOffset = kRawFrameOffset + kRawFrameLength;
static_assert(kRawScanOffset == 52);

// The fixed pieces of the rebuilt JPEG, in the order they are assembled.
inline constexpr size_t kRawJfifLength = 20;
inline constexpr size_t kRawQuantLength = 138;
inline constexpr size_t kRawHuffmanLength = 432;
const std::array<uint8_t, kRawJfifLength>& RawJfifHeader();
const std::array<uint8_t, kRawQuantLength>& RawQuantTables();
const std::array<uint8_t, kRawHuffmanLength>& RawHuffmanTables();
// Table 0 of RawQuantTables, 64 values in file order.
const std::array<uint8_t, 64>& RawQuantTable0();

// The rebuilt JPEG of a raw-colour stream of N >= 52 bytes: 20 + 138 + 22 +
// 432 + (N - 52) bytes. Shorter streams give an empty result.
std::vector<uint8_t> RebuildRawJpeg(std::span<const uint8_t> stream);

// The pixel steps of the conversion, each on an RGB image.
// The pixels the passes start from. libjpeg-turbo gives the four components
// of the rebuilt JPEG (identifiers R, G, B, A; no Adobe marker, so taken as
// CMYK) as the samples stored, and those samples are the picture's colours:
// the first three are red, green and blue in component order, the fourth a
// nearly constant value that is dropped (the brightness rescale would cancel
// it). Decoders that report such files as Adobe-inverted CMYK give 255 minus
// these samples; inverting once more brings them back to the same pixels.
// Checked against the original pictures of corpus file 003: these pixels,
// mirrored and with red and blue exchanged by pass 1, match the originals
// (correlation above 0.9); inverted they are negatives, and without the
// exchange red and blue are swapped.
PixelImage RawPixelsFromDecoded(const PixelImage& decoded);
void MirrorTopToBottom(PixelImage& image);
void ExchangeRedBlue(PixelImage& image);
// k = 768 / S * 0.9 with S the largest red + green + blue; red scaled by k,
// green by k then 0.97, blue by k then 0.895, each truncated and clamped to
// 255. An all-black picture (S = 0) stays black.
void RescaleBrightness(PixelImage& image);

// The whole conversion of a rebuilt JPEG into an ordinary JPEG at quality
// 90. The error text is the detail of the code-100 line.
tl::expected<std::vector<uint8_t>, std::string> ConvertRawThumbnail(
    std::span<const uint8_t> rebuilt_jpeg);

// The encoder quality of converted thumbnails.
inline constexpr int kRawEncodeQuality = 90;

}  // namespace glintvane
