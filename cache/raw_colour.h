// Raw-colour thumbnails: a JPEG stored without its quantisation
// and Huffman tables, rebuilt with the tables it was made with, decoded,
// turned the right way up and encoded again as an ordinary JPEG.
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

// The fixed pieces of the rebuilt JPEG, in the order they are assembled. The
// quantisation tables are libjpeg's at its default quality 75 (the Annex K
// tables scaled to half), the Huffman tables the Annex K ones: what the
// shell's encoder wrote before it stripped them.
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
// The pixels the steps start from. libjpeg-turbo gives the four components
// of the rebuilt JPEG (identifiers R, G, B, A; no Adobe marker) as stored,
// with no colour transform. The first three are the picture's blue, green
// and red, bottom row first (the shell encoded its bottom-up BGRA bitmap as
// it lay in memory); the fourth, the bitmap's unused alpha, is dropped.
// Measured against the original pictures of corpus file 003: mirrored and
// with red and blue exchanged, the mean absolute difference per channel is
// 2.4 to 8.0 of 255; leaving out either step gives 40 to 100. A brightness
// rescale after them (k = 768 / S * 0.9 on the largest red + green + blue,
// green and blue cut to 97 % and 89.5 %) made every picture worse (15 to 33)
// and is not applied.
PixelImage RawPixelsFromDecoded(const PixelImage& decoded);
void MirrorTopToBottom(PixelImage& image);
void ExchangeRedBlue(PixelImage& image);

// The whole conversion of a rebuilt JPEG into an ordinary JPEG at quality
// 90. The error text is the detail of the code-100 line.
tl::expected<std::vector<uint8_t>, std::string> ConvertRawThumbnail(
    std::span<const uint8_t> rebuilt_jpeg);

// The encoder quality of converted thumbnails.
inline constexpr int kRawEncodeQuality = 90;

}  // namespace glintvane
