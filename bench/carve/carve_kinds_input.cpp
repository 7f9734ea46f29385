// Writes the input of the carving-kinds benchmark: random bytes with pictures
// of every kind planted at random offsets, and its truth table.
//   carve_kinds_input FILE TRUTH MIB COUNT
// TRUTH gets one line per picture, "start length kind embedded": kind is
// jfif, exif, jpeg, png or bmp as --kinds names the start, embedded is 1 for
// the thumbnail inside an Exif picture (a picture of its own) and 0 else.
// The mix: JFIF baseline and progressive, Exif (a camera's layout, most with
// a thumbnail, some progressive), JPEGs with no header segment, PNGs through
// libpng (some interlaced), BMPs of 24 and 8 bits (some RLE8).
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "testsupport/synthetic_pictures.h"

namespace {

using glintvane::PixelImage;
namespace ts = glintvane::testsupport;

constexpr size_t kMiB = size_t{1} << 20;

// The pattern with noise over it, as photographs hold: entropy-coded data
// then holds every byte value, FF 00 pairs included.
PixelImage Photo(std::mt19937& random, int width, int height) {
  PixelImage picture = ts::PatternPicture(width, height, static_cast<int>(random() % 1000));
  for (auto& p : picture.pixels) {
    p = static_cast<uint8_t>(std::clamp<int>(p + static_cast<int>(random() % 25) - 12, 0, 255));
  }
  return picture;
}

std::vector<uint8_t> Jpeg(const PixelImage& picture, int quality, bool progressive) {
  tjhandle handle = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(handle, picture.pixels.data(), picture.width, 0, picture.height, TJPF_RGB, &out,
              &size, TJSAMP_420, quality, progressive ? TJFLAG_PROGRESSIVE : 0);
  std::vector<uint8_t> jpeg(out, out + size);
  tjFree(out);
  tjDestroy(handle);
  return jpeg;
}

struct Planted {
  std::vector<uint8_t> bytes;
  std::string kind;
  size_t thumbnail_at = 0;  // inside an Exif picture; 0 when none
  size_t thumbnail_length = 0;
};

Planted MakePicture(std::mt19937& random, size_t limit) {
  for (;;) {
    Planted p;
    const unsigned pick = random() % 100;
    const int width = 64 + static_cast<int>(random() % 1200);
    const int height = 48 + static_cast<int>(random() % 900);
    if (pick < 25) {  // JFIF, one in four progressive
      p.bytes = Jpeg(Photo(random, width, height), 80 + static_cast<int>(random() % 15),
                     random() % 4 == 0);
      p.kind = "jfif";
    } else if (pick < 50) {  // Exif, most with a thumbnail, one in five progressive
      const auto main = Jpeg(Photo(random, width, height), 85, random() % 5 == 0);
      std::vector<uint8_t> thumbnail;
      if (random() % 4 != 0) {
        thumbnail = ts::WithoutJfifHeader(Jpeg(Photo(random, 160, 120), 75, false));
      }
      p.bytes = ts::AsExifJpeg(main, thumbnail);
      p.kind = "exif";
      if (!thumbnail.empty()) {
        p.thumbnail_at = static_cast<size_t>(
            std::search(p.bytes.begin(), p.bytes.end(), thumbnail.begin(), thumbnail.end()) -
            p.bytes.begin());
        p.thumbnail_length = thumbnail.size();
      }
    } else if (pick < 55) {  // no header segment at all
      p.bytes = ts::WithoutJfifHeader(Jpeg(Photo(random, width, height), 85, false));
      p.kind = "jpeg";
    } else if (pick < 80) {  // PNG, smaller: noise does not compress
      p.bytes = ts::EncodePngCompressed(Photo(random, width / 3 + 16, height / 3 + 16),
                                        random() % 4 == 0);
      p.kind = "png";
    } else {  // BMP: 24-bit, or 8-bit grey (a third of those RLE8)
      const PixelImage picture =
          ts::PatternPicture(width / 2 + 8, height / 2 + 8, static_cast<int>(random() % 1000));
      const bool grey = random() % 2 == 0;
      p.bytes = ts::EncodeBmp(picture, grey ? 8 : 24, grey && random() % 3 == 0);
      p.kind = "bmp";
    }
    if (p.bytes.size() <= limit) return p;
  }
}

int Write(const char* path, const std::vector<uint8_t>& file) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return 1;
  std::fwrite(file.data(), 1, file.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fputs("usage: carve_kinds_input FILE TRUTH MIB COUNT\n", stderr);
    return 2;
  }
  const size_t mib = std::strtoull(argv[3], nullptr, 10);
  const size_t count = std::strtoull(argv[4], nullptr, 10);
  std::mt19937 random(1919);
  std::vector<uint8_t> file(mib * kMiB);
  for (size_t i = 0; i + 4 <= file.size(); i += 4) {
    const uint32_t r = static_cast<uint32_t>(random());
    std::copy_n(reinterpret_cast<const uint8_t*>(&r), 4, file.begin() + static_cast<ptrdiff_t>(i));
  }
  FILE* truth = std::fopen(argv[2], "w");
  if (truth == nullptr || count == 0) return 1;
  // One picture in each slot, at a random offset inside it, so none overlap.
  const size_t slot = file.size() / count;
  for (size_t i = 0; i < count; ++i) {
    const Planted p = MakePicture(random, slot / 2);
    const size_t start = i * slot + random() % (slot - p.bytes.size());
    std::copy(p.bytes.begin(), p.bytes.end(), file.begin() + static_cast<ptrdiff_t>(start));
    std::fprintf(truth, "%zu\t%zu\t%s\t0\n", start, p.bytes.size(), p.kind.c_str());
    if (p.thumbnail_length > 0) {
      std::fprintf(truth, "%zu\t%zu\tjpeg\t1\n", start + p.thumbnail_at, p.thumbnail_length);
    }
  }
  std::fclose(truth);
  return Write(argv[1], file);
}
