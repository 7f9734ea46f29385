#include "testsupport/synthetic_pictures.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include <png.h>

#include "cache/raw_colour.h"

namespace glintvane::testsupport {
namespace {

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

// The JPEG's bytes after its APP0 segment (from the marker that follows it).
std::vector<uint8_t> AfterApp0(const std::vector<uint8_t>& jfif) {
  if (jfif.size() < 6 || jfif[2] != 0xFF || jfif[3] != 0xE0) {
    throw std::runtime_error("not a JFIF JPEG");
  }
  const size_t end = 4 + ((size_t{jfif[4]} << 8) | jfif[5]);
  return {jfif.begin() + static_cast<ptrdiff_t>(end), jfif.end()};
}

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

PixelImage PatternPicture(int width, int height, int seed) {
  PixelImage p;
  p.width = width;
  p.height = height;
  p.channels = 3;
  p.pixels.resize(static_cast<size_t>(width) * height * 3);
  const double cx = width * (0.3 + 0.05 * (seed % 7));
  const double cy = height * (0.6 - 0.04 * (seed % 5));
  const double radius = std::min(width, height) * (0.2 + 0.03 * (seed % 4));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* px = &p.pixels[(static_cast<size_t>(y) * width + x) * 3];
      int r = (x * 255) / std::max(1, width - 1);
      int g = (y * 255) / std::max(1, height - 1);
      int b = (seed * 37) % 256;
      if (std::hypot(x - cx, y - cy) < radius) {
        r = 255 - r;
        g = (g + 128) % 256;
        b = 255 - b;
      }
      if (((x + seed * 3) / 8) % 4 == 0) b = (b + 96) % 256;
      px[0] = static_cast<uint8_t>(r);
      px[1] = static_cast<uint8_t>(g);
      px[2] = static_cast<uint8_t>(b);
    }
  }
  return p;
}

std::vector<uint8_t> EncodeRgbJpeg(const PixelImage& picture, int quality) {
  JpegEncodeSettings settings;
  settings.quality = quality;
  auto jpeg = EncodeJpeg(picture, settings);
  if (!jpeg) throw std::runtime_error("JPEG encoding failed: " + jpeg.error());
  return std::move(*jpeg);
}

std::vector<uint8_t> MakeJpeg(int width, int height, int seed, int quality) {
  return EncodeRgbJpeg(PatternPicture(width, height, seed), quality);
}

std::vector<uint8_t> EncodePng(const PixelImage& picture) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  PutBe32(ihdr, static_cast<uint32_t>(picture.width));
  PutBe32(ihdr, static_cast<uint32_t>(picture.height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  PngChunk(out, "IHDR", ihdr);
  // Scanlines with filter byte 0.
  std::vector<uint8_t> raw;
  const size_t stride = static_cast<size_t>(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), picture.pixels.begin() + stride * y,
               picture.pixels.begin() + stride * (y + 1));
  }
  // zlib: header, stored blocks of at most 65535 bytes, Adler-32.
  std::vector<uint8_t> z = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(z, (b << 16) | a);
  PngChunk(out, "IDAT", z);
  PngChunk(out, "IEND", {});
  return out;
}

std::vector<uint8_t> MakePng(int width, int height, int seed) {
  return EncodePng(PatternPicture(width, height, seed));
}

std::vector<uint8_t> EncodePngCompressed(const PixelImage& picture, bool interlaced) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> out;
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("PNG encoding failed");
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_bytep> rows(static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(picture.pixels.data() + static_cast<size_t>(y) * picture.width * 3);
  }
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> EncodeBmp(const PixelImage& picture, int bits, bool rle) {
  const auto width = static_cast<uint32_t>(picture.width);
  const auto height = static_cast<uint32_t>(picture.height);
  const uint32_t stride = (width * static_cast<uint32_t>(bits) + 31) / 32 * 4;
  const uint32_t palette = bits == 8 ? 256 * 4 : 0;
  std::vector<uint8_t> pixels;
  for (uint32_t row = 0; row < height; ++row) {
    const uint8_t* in = &picture.pixels[static_cast<size_t>(height - 1 - row) * width * 3];
    std::vector<uint8_t> line;
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* px = in + x * 3;
      if (bits == 8) {
        line.push_back(static_cast<uint8_t>((px[0] + 2 * px[1] + px[2]) / 4));
      } else {
        line.insert(line.end(), {px[2], px[1], px[0]});
      }
    }
    if (rle) {
      // Runs of up to 255 equal pixels, then end of line.
      for (size_t x = 0; x < line.size();) {
        size_t run = 1;
        while (x + run < line.size() && run < 255 && line[x + run] == line[x]) ++run;
        pixels.push_back(static_cast<uint8_t>(run));
        pixels.push_back(line[x]);
        x += run;
      }
      pixels.insert(pixels.end(), {0, 0});
    } else {
      line.resize(stride, 0);
      pixels.insert(pixels.end(), line.begin(), line.end());
    }
  }
  if (rle) pixels.insert(pixels.end(), {0, 1});
  const uint32_t offset = 14 + 40 + palette;
  std::vector<uint8_t> out = {'B', 'M'};
  PutLe32(out, offset + static_cast<uint32_t>(pixels.size()));
  PutLe32(out, 0);
  PutLe32(out, offset);
  PutLe32(out, 40);
  PutLe32(out, width);
  PutLe32(out, height);
  PutLe16(out, 1);
  PutLe16(out, static_cast<uint16_t>(bits));
  PutLe32(out, rle ? 1 : 0);
  PutLe32(out, static_cast<uint32_t>(pixels.size()));
  PutLe32(out, 2835);  // 72 dpi
  PutLe32(out, 2835);
  PutLe32(out, 0);
  PutLe32(out, 0);
  for (uint32_t i = 0; i < palette / 4; ++i) {
    const auto v = static_cast<uint8_t>(i);
    out.insert(out.end(), {v, v, v, 0});
  }
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

std::vector<uint8_t> WithoutJfifHeader(const std::vector<uint8_t>& jfif) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  const std::vector<uint8_t> rest = AfterApp0(jfif);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

std::vector<uint8_t> AsExifJpeg(const std::vector<uint8_t>& jfif,
                                const std::vector<uint8_t>& thumbnail) {
  // TIFF, little-endian: IFD0 with the orientation, and IFD1 pointing at
  // the thumbnail when there is one. Offsets count from the TIFF header.
  std::vector<uint8_t> tiff = {'I', 'I', 0x2A, 0};
  PutLe32(tiff, 8);
  PutLe16(tiff, 1);
  PutLe16(tiff, 0x0112);  // Orientation, SHORT, 1 value: 1
  PutLe16(tiff, 3);
  PutLe32(tiff, 1);
  PutLe32(tiff, 1);
  const uint32_t ifd1 = 8 + 2 + 12 + 4;
  PutLe32(tiff, thumbnail.empty() ? 0 : ifd1);
  if (!thumbnail.empty()) {
    PutLe16(tiff, 2);
    PutLe16(tiff, 0x0201);  // JPEGInterchangeFormat, LONG
    PutLe16(tiff, 4);
    PutLe32(tiff, 1);
    PutLe32(tiff, ifd1 + 2 + 24 + 4);
    PutLe16(tiff, 0x0202);  // JPEGInterchangeFormatLength, LONG
    PutLe16(tiff, 4);
    PutLe32(tiff, 1);
    PutLe32(tiff, static_cast<uint32_t>(thumbnail.size()));
    PutLe32(tiff, 0);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());
  }
  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1};
  const size_t length = 2 + 6 + tiff.size();
  if (length > 0xFFFF) throw std::runtime_error("Exif segment too long");
  out.push_back(static_cast<uint8_t>(length >> 8));
  out.push_back(static_cast<uint8_t>(length));
  out.insert(out.end(), {'E', 'x', 'i', 'f', 0, 0});
  out.insert(out.end(), tiff.begin(), tiff.end());
  const std::vector<uint8_t> rest = AfterApp0(jfif);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

std::vector<uint8_t> MakeRawColourStream(const PixelImage& picture) {
  // The reader takes the components as red, green, blue, mirrors the rows
  // and exchanges red and blue: so the file holds blue, green, red, bottom
  // row first. The fourth component is the near-constant value real caches
  // carry.
  constexpr uint8_t kFourth = 48;
  PixelImage stored;
  stored.width = picture.width;
  stored.height = picture.height;
  stored.channels = 4;
  stored.pixels.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* in =
          &picture.pixels[(static_cast<size_t>(picture.height - 1 - y) * picture.width + x) * 3];
      uint8_t* out = &stored.pixels[(static_cast<size_t>(y) * picture.width + x) * 4];
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = kFourth;
    }
  }
  JpegEncodeSettings settings;
  settings.four_components_as_is = true;
  settings.component_ids = {'R', 'G', 'B', 'A'};
  settings.quant_table_zigzag = RawQuantTable0().data();
  auto jpeg = EncodeJpeg(stored, settings);
  if (!jpeg) throw std::runtime_error("raw-colour encoding failed: " + jpeg.error());
  // Keep the frame header and everything from the scan header on; the
  // tables are what the reader puts back.
  const std::vector<uint8_t>& j = *jpeg;
  std::vector<uint8_t> frame;
  size_t scan = 0;
  for (size_t at = 2; at + 4 <= j.size();) {
    const uint8_t marker = j[at + 1];
    const size_t length = (static_cast<size_t>(j[at + 2]) << 8) | j[at + 3];
    if (marker == 0xC0) frame.assign(j.begin() + at, j.begin() + at + 2 + length);
    if (marker == 0xDA) {
      scan = at;
      break;
    }
    at += 2 + length;
  }
  if (frame.size() != kRawFrameLength || scan == 0) {
    throw std::runtime_error("raw-colour encoding: unexpected JPEG layout");
  }
  std::vector<uint8_t> body = {0xFF, 0xD8};
  body.insert(body.end(), frame.begin(), frame.end());
  body.insert(body.end(), j.begin() + scan, j.end());
  const uint32_t n = static_cast<uint32_t>(28 + body.size());
  std::vector<uint8_t> stream;
  PutLe32(stream, 12);
  PutLe32(stream, 1);
  PutLe32(stream, n - 12);
  PutLe32(stream, 1);
  PutLe32(stream, n - 28);
  PutLe32(stream, static_cast<uint32_t>(picture.width));
  PutLe32(stream, static_cast<uint32_t>(picture.height));
  stream.insert(stream.end(), body.begin(), body.end());
  return stream;
}

}  // namespace glintvane::testsupport
