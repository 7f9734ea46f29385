// Pictures made from nothing: a colour pattern per seed, as RGB pixels, as a
// JPEG, as a PNG, and as the stream of a raw-colour thumbnail.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "cache/jpeg_codec.h"

namespace glintvane::testsupport {

// A w x h RGB picture: gradients, a disc and stripes, varied by the seed.
PixelImage PatternPicture(int width, int height, int seed);

// The pattern encoded as a baseline JFIF JPEG.
std::vector<uint8_t> MakeJpeg(int width, int height, int seed, int quality = 85);
std::vector<uint8_t> EncodeRgbJpeg(const PixelImage& picture, int quality = 85);

// A PNG (8-bit RGB) built by hand: zlib stored blocks, no compression.
std::vector<uint8_t> MakePng(int width, int height, int seed);
std::vector<uint8_t> EncodePng(const PixelImage& picture);

// The pattern through libpng: compressed, optionally interlaced.
std::vector<uint8_t> EncodePngCompressed(const PixelImage& picture, bool interlaced = false);

// A bottom-up BMP with a 40-byte info header: 24-bit colour, or with
// `bits` 8 a grey palette (and, with `rle`, RLE8-compressed rows).
std::vector<uint8_t> EncodeBmp(const PixelImage& picture, int bits = 24, bool rle = false);

// A JFIF JPEG without its APP0 segment: it starts FF D8 FF DB, as encoders
// write when told to leave the JFIF header out.
std::vector<uint8_t> WithoutJfifHeader(const std::vector<uint8_t>& jfif);

// A JFIF JPEG made into a camera's: its APP0 segment replaced by an Exif
// APP1 segment (a TIFF header and an IFD) that holds `thumbnail`, a JPEG,
// when one is given.
std::vector<uint8_t> AsExifJpeg(const std::vector<uint8_t>& jfif,
                                const std::vector<uint8_t>& thumbnail = {});

// The whole stream of a raw-colour thumbnail showing `picture`: the 12-byte
// thumbnail header, the 16-byte raw header, then a four-component JPEG (ids
// R, G, B, A) without its quantisation and Huffman tables, stored bottom row
// first with the components in the order the reader turns into the picture.
std::vector<uint8_t> MakeRawColourStream(const PixelImage& picture);

}  // namespace glintvane::testsupport
