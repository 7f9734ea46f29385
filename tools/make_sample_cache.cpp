// make_sample_cache PATH: writes a small Thumbs.db made from the project's
// own synthetic pictures, so that a fresh build has a cache to show. It holds
// a Catalog (the second entry, as XP writes it), eleven JFIF thumbnails, one
// raw-colour thumbnail and one thumbnail that is not in the Catalog.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "testsupport/cfb_writer.h"
#include "testsupport/synthetic_pictures.h"
#include "testsupport/thumbs_fixtures.h"

namespace {

using namespace glintvane::testsupport;

struct Sample {
  const char* name;
  int width;
  int height;
  bool raw;
};

// Sizes as XP made them: the longer side 96 pixels.
constexpr Sample kSamples[] = {
    {"harbour at dawn.jpg", 96, 72, false},      {"garden gate.jpg", 72, 96, false},
    {"kitchen window.jpg", 96, 64, false},       {"bicycle.png", 96, 96, false},
    {"old map of the coast.jpg", 96, 68, false}, {"letter from aunt Ada.bmp", 68, 96, false},
    {"lighthouse.jpg", 96, 72, false},           {"market day.jpg", 96, 54, false},
    {"snow on the hill.jpg", 96, 72, false},     {"sketch of a horse.gif", 96, 80, false},
    {"winter light.jpg", 96, 72, false},         {"scanned postcard.tif", 96, 61, true},
};

// 2004-08-14 23:33:20 UTC, then a day apart.
constexpr uint64_t kFirstTime = 127370000000000000ull;
constexpr uint64_t kDay = 24ull * 3600 * 10000000;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_cache PATH\n");
    return 2;
  }
  try {
    std::vector<CatalogItem> items;
    std::vector<CfbEntry> streams;
    int id = 1;
    for (const Sample& sample : kSamples) {
      items.push_back({id, sample.name, kFirstTime + static_cast<uint64_t>(id) * kDay});
      const glintvane::PixelImage picture = PatternPicture(sample.width, sample.height, id);
      std::vector<uint8_t> stream = sample.raw ? MakeRawColourStream(picture)
                                               : MakeJfifThumbStream(EncodeRgbJpeg(picture, 80));
      streams.push_back({.name = XpStreamName(id), .bytes = std::move(stream)});
      ++id;
    }
    // A thumbnail whose Catalog entry is gone: listed without a name.
    streams.push_back(
        {.name = XpStreamName(id), .bytes = MakeJfifThumbStream(MakeJpeg(96, 72, id, 80))});
    std::vector<CfbEntry> entries;
    entries.push_back(std::move(streams.front()));
    entries.push_back({.name = "Catalog", .bytes = MakeCatalog(items)});
    for (size_t i = 1; i < streams.size(); ++i) entries.push_back(std::move(streams[i]));
    const CfbFile file =
        BuildCompoundFile(entries, CfbOptions{.root_modified = kFirstTime + 20 * kDay});
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.bytes.data()),
              static_cast<std::streamsize>(file.bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_sample_cache: cannot write %s\n", argv[1]);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_cache: %s\n", e.what());
    return 1;
  }
  return 0;
}
