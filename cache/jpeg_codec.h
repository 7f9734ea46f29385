// The one seam to libjpeg-turbo: decoding and encoding JPEG files in memory.
// Every libjpeg object lives in an RAII holder, and the setjmp that libjpeg's
// error handling needs stays inside jpeg_codec.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <tl/expected.hpp>

namespace glintvane {

// Interleaved 8-bit pixels, rows top to bottom.
struct PixelImage {
  int width = 0;
  int height = 0;
  int channels = 0;  // 3 (RGB) or 4 (the four components as stored)
  std::vector<uint8_t> pixels;
};

enum class JpegPixels {
  kRgb,       // colour-converted to RGB (grey and YCbCr files); 4-component files fail
  kAsStored,  // the components as the file holds them, no colour transform
};

// Decodes a whole JPEG. Libjpeg's warnings (a truncated scan, say) do not
// fail the decode; the message of a real failure is the error text.
tl::expected<PixelImage, std::string> DecodeJpeg(std::span<const uint8_t> jpeg, JpegPixels mode);
// The same, refusing from the frame header alone a picture of more than
// `max_pixels` pixels, before anything is allocated for it.
tl::expected<PixelImage, std::string> DecodeJpeg(std::span<const uint8_t> jpeg, JpegPixels mode,
                                                 uint64_t max_pixels);

// Whether a JPEG decodes whole and clean: every scanline is produced (at an
// eighth of the size, which reads every coefficient but spares the full
// inverse transform), one row at a time, and libjpeg reports no corrupt
// data on the way (a bad Huffman code, a premature end, bytes where a marker
// should be). A picture of more than `max_pixels` pixels is refused from its
// frame header, and the decoder's own memory is bounded by the same figure,
// so a progressive picture's coefficients fit it. The error says why not.
tl::expected<void, std::string> CheckJpegDecodes(std::span<const uint8_t> jpeg,
                                                 uint64_t max_pixels);

struct JpegEncodeSettings {
  int quality = 90;  // used unless quant_table_zigzag is given
  // Colour at full resolution (every component sampled 1x1) instead of
  // libjpeg's default of half each way for the two chroma components.
  bool full_chroma = false;
  // Four components written as they are (no colour transform, no Adobe or
  // JFIF marker), each sampled 1x1 and quantised with table 0: the layout of
  // a raw-colour thumbnail. The input image then has 4 channels.
  bool four_components_as_is = false;
  // Component identifiers of a four-component file (0: libjpeg's default).
  std::array<uint8_t, 4> component_ids{};
  // Quantisation table 0 in file (zigzag) order, replacing the quality
  // tables; nullptr to use `quality`.
  const uint8_t* quant_table_zigzag = nullptr;
};

// Encodes a 3-channel RGB image (baseline, libjpeg's default sampling and
// Huffman tables) or, with four_components_as_is, a 4-channel one.
tl::expected<std::vector<uint8_t>, std::string> EncodeJpeg(const PixelImage& image,
                                                           const JpegEncodeSettings& settings);

}  // namespace glintvane
