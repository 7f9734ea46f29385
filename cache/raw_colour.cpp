#include "cache/raw_colour.h"

#include <algorithm>
#include <cstring>

#include "cache/gdiplus_status.h"
#include "cache/image_info.h"

namespace glintvane {
namespace {

// Windows XP writes raw-colour thumbnails of at most 256 x 256 pixels; twice
// that each way leaves room. The frame header is the file's word: without a
// bound of our own a stream of a few kilobytes could ask for a 64-megapixel
// decode and re-encode, seconds and hundreds of megabytes for each stream.
constexpr int64_t kMaxRawThumbnailPixels = (2 * 256) * (2 * 256);

constexpr std::array<uint8_t, kRawJfifLength> kJfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',
                                                       'F',  'I',  'F',  0x00, 0x01, 0x01, 0x01,
                                                       0x00, 0x60, 0x00, 0x60, 0x00, 0x00};

// ITU-T T.81 Annex K.1: the example luminance and chrominance tables, in
// zigzag (file) order.
constexpr uint8_t kAnnexKLuma[64] = {16,  11, 12, 14,  12,  10,  16,  14,  13, 14,  18,  17,  16,
                                     19,  24, 40, 26,  24,  22,  22,  24,  49, 35,  37,  29,  40,
                                     58,  51, 61, 60,  57,  51,  56,  55,  64, 72,  92,  78,  64,
                                     68,  87, 69, 55,  56,  80,  109, 81,  87, 95,  98,  103, 104,
                                     103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
constexpr uint8_t kAnnexKChroma[64] = {
    17, 18, 18, 24, 21, 24, 47, 26, 26, 47, 99, 66, 56, 66, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// The quality the shell encoded raw-colour thumbnails with: libjpeg's default
// of 75, which scales the Annex K tables to half. Measured on corpus file
// 003: the coefficients of its thumbnails against the DCT of the original
// pictures give 8, 6, 6, 7, 6, 5, 8, 7 ... for the first values of table 0,
// the Annex K luminance table at quality 75 (a fixed table of 5s to 16s
// leaves every picture at two thirds of its contrast).
constexpr int kRawTableQuality = 75;

std::array<uint8_t, 64> ScaledTable(const uint8_t (&base)[64]) {
  // libjpeg's jpeg_quality_scaling and jpeg_add_quant_table, baseline.
  const int scale = kRawTableQuality < 50 ? 5000 / kRawTableQuality : 200 - kRawTableQuality * 2;
  std::array<uint8_t, 64> t{};
  for (size_t i = 0; i < 64; ++i) {
    t[i] = static_cast<uint8_t>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
  }
  return t;
}

std::array<uint8_t, 64> MakeTable0() {
  return ScaledTable(kAnnexKLuma);
}

std::array<uint8_t, 64> MakeTable1() {
  return ScaledTable(kAnnexKChroma);
}

std::array<uint8_t, kRawQuantLength> MakeQuantTables() {
  std::array<uint8_t, kRawQuantLength> out{};
  size_t at = 0;
  const auto t0 = MakeTable0();
  const auto t1 = MakeTable1();
  for (int id = 0; id < 2; ++id) {
    const uint8_t head[] = {0xFF, 0xDB, 0x00, 0x43, static_cast<uint8_t>(id)};
    for (uint8_t v : head) out[at++] = v;
    for (uint8_t v : id == 0 ? t0 : t1) out[at++] = v;
  }
  return out;
}

// ITU-T T.81 Annex K.3: the typical Huffman tables (code counts, values).
constexpr uint8_t kDcLumaBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kDcChromaBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kAcLumaBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
constexpr uint8_t kAcLumaValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52,
    0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
    0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3,
    0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8,
    0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};
constexpr uint8_t kAcChromaBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr uint8_t kAcChromaValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33,
    0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18,
    0x19, 0x1A, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4,
    0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA,
    0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7,
    0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};

std::array<uint8_t, kRawHuffmanLength> MakeHuffmanTables() {
  std::array<uint8_t, kRawHuffmanLength> out{};
  size_t at = 0;
  auto segment = [&](uint8_t class_id, const uint8_t* bits, const uint8_t* values, size_t count) {
    const size_t length = 2 + 1 + 16 + count;
    out[at++] = 0xFF;
    out[at++] = 0xC4;
    out[at++] = static_cast<uint8_t>(length >> 8);
    out[at++] = static_cast<uint8_t>(length & 0xFF);
    out[at++] = class_id;
    for (int i = 0; i < 16; ++i) out[at++] = bits[i];
    for (size_t i = 0; i < count; ++i) out[at++] = values[i];
  };
  segment(0x00, kDcLumaBits, kDcValues, sizeof(kDcValues));
  segment(0x10, kAcLumaBits, kAcLumaValues, sizeof(kAcLumaValues));
  segment(0x01, kDcChromaBits, kDcValues, sizeof(kDcValues));
  segment(0x11, kAcChromaBits, kAcChromaValues, sizeof(kAcChromaValues));
  return out;
}

}  // namespace

const std::array<uint8_t, kRawJfifLength>& RawJfifHeader() {
  return kJfif;
}

const std::array<uint8_t, 64>& RawQuantTable0() {
  static const std::array<uint8_t, 64> table = MakeTable0();
  return table;
}

const std::array<uint8_t, kRawQuantLength>& RawQuantTables() {
  static const std::array<uint8_t, kRawQuantLength> tables = MakeQuantTables();
  return tables;
}

const std::array<uint8_t, kRawHuffmanLength>& RawHuffmanTables() {
  static const std::array<uint8_t, kRawHuffmanLength> tables = MakeHuffmanTables();
  return tables;
}

std::vector<uint8_t> RebuildRawJpeg(std::span<const uint8_t> stream) {
  if (stream.size() < kRawScanOffset) return {};
  std::vector<uint8_t> out;
  out.reserve(kRawJfifLength + kRawQuantLength + kRawFrameLength + kRawHuffmanLength +
              (stream.size() - kRawScanOffset));
  out.insert(out.end(), kJfif.begin(), kJfif.end());
  const auto& quant = RawQuantTables();
  out.insert(out.end(), quant.begin(), quant.end());
  out.insert(out.end(), stream.begin() + kRawFrameOffset, stream.begin() + kRawScanOffset);
  const auto& huffman = RawHuffmanTables();
  out.insert(out.end(), huffman.begin(), huffman.end());
  out.insert(out.end(), stream.begin() + kRawScanOffset, stream.end());
  return out;
}

PixelImage RawPixelsFromDecoded(const PixelImage& decoded) {
  if (decoded.channels == 3) return decoded;
  PixelImage rgb;
  rgb.width = decoded.width;
  rgb.height = decoded.height;
  rgb.channels = 3;
  const size_t count = static_cast<size_t>(decoded.width) * decoded.height;
  rgb.pixels.resize(count * 3);
  const uint8_t* in = decoded.pixels.data();
  uint8_t* out = rgb.pixels.data();
  for (size_t i = 0; i < count; ++i, in += decoded.channels, out += 3) {
    out[0] = in[0];
    out[1] = in[1];
    out[2] = in[2];
  }
  return rgb;
}

void MirrorTopToBottom(PixelImage& image) {
  const size_t stride = static_cast<size_t>(image.width) * image.channels;
  std::vector<uint8_t> row(stride);
  for (int top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = image.pixels.data() + stride * top;
    uint8_t* b = image.pixels.data() + stride * bottom;
    std::memcpy(row.data(), a, stride);
    std::memcpy(a, b, stride);
    std::memcpy(b, row.data(), stride);
  }
}

void ExchangeRedBlue(PixelImage& image) {
  for (size_t i = 0; i + 2 < image.pixels.size(); i += image.channels) {
    std::swap(image.pixels[i], image.pixels[i + 2]);
  }
}

tl::expected<std::vector<uint8_t>, std::string> ConvertRawThumbnail(
    std::span<const uint8_t> rebuilt_jpeg) {
  const ImageInfo info = SniffImage(rebuilt_jpeg);
  if (static_cast<int64_t>(info.width) * info.height > kMaxRawThumbnailPixels) {
    return tl::unexpected(std::string(GdiplusStatusText(kGdiplusOutOfMemory)) + ": a " +
                          std::to_string(info.width) + " x " + std::to_string(info.height) +
                          " picture is no thumbnail");
  }
  // The decoder holds to the same bound, should it find a frame header that
  // the look above did not.
  auto decoded = DecodeJpeg(rebuilt_jpeg, JpegPixels::kAsStored, kMaxRawThumbnailPixels);
  if (!decoded) {
    return tl::unexpected(std::string(GdiplusStatusText(kGdiplusUnknownImageFormat)) + ": " +
                          decoded.error());
  }
  PixelImage image = RawPixelsFromDecoded(*decoded);
  MirrorTopToBottom(image);
  ExchangeRedBlue(image);
  JpegEncodeSettings settings;
  settings.quality = kRawEncodeQuality;
  // A thumbnail is a few dozen pixels a side: halving its colour resolution
  // smears the colour of every edge (a logo of 96 x 32 differs by 14 of 255
  // from its original that way, by 8 with full colour).
  settings.full_chroma = true;
  auto encoded = EncodeJpeg(image, settings);
  if (!encoded) {
    return tl::unexpected(std::string(GdiplusStatusText(kGdiplusGenericError)) + ": " +
                          encoded.error());
  }
  return std::move(*encoded);
}

}  // namespace glintvane
