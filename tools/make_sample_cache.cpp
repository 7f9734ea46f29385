// make_sample_cache PATH [TREE]: writes a small Thumbs.db made from the
// project's own synthetic pictures, so that a fresh build has a cache to show.
// It holds a Catalog (the second entry, as XP writes it), eleven JFIF
// thumbnails, one raw-colour thumbnail and one thumbnail that is not in the
// Catalog. With TREE, also a small Windows 10 folder tree: the same Thumbs.db
// in a user's Pictures folder, a thumbcache_96.db in the user's Explorer
// folder and the Windows Search database that names its entries.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testsupport/cfb_writer.h"
#include "testsupport/synthetic_pictures.h"
#include "testsupport/thumbcache_writer.h"
#include "testsupport/thumbs_fixtures.h"
#include "testsupport/windows_db.h"

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

// The Windows 10 pictures of the tree: what the search index says of each.
struct IndexedSample {
  const char* path;
  int width;
  int height;
  bool png;
  bool indexed;  // false: the index does not know the picture
};

constexpr IndexedSample kIndexed[] = {
    {"C:\\Users\\eve\\Pictures\\Camera Roll\\pier at low tide.jpg", 96, 72, false, true},
    {"C:\\Users\\eve\\Pictures\\Camera Roll\\red door.jpg", 72, 96, false, true},
    {"C:\\Users\\eve\\Pictures\\Camera Roll\\orchard in May.jpg", 96, 64, false, true},
    {"C:\\Users\\eve\\Pictures\\Screenshots\\train times.png", 96, 54, true, true},
    {"C:\\Users\\eve\\Documents\\Scans\\school report.jpg", 68, 96, false, true},
    {"C:\\Users\\eve\\Downloads\\festival poster.jpg", 68, 96, false, true},
    {"", 96, 72, false, false},
};

// 2021-03-01 09:00:00 UTC, then a few hours apart.
constexpr uint64_t kIndexedFirstTime = 132590988000000000ull;
constexpr uint64_t kHours = 3ull * 3600 * 10000000;

std::string HexLe(uint64_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 8; ++i) {
    const auto b = static_cast<uint8_t>(value >> (8 * i));
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return "X'" + text + "'";
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteTree(const std::filesystem::path& tree, const std::vector<uint8_t>& thumbs_db) {
  namespace fs = std::filesystem;
  fs::remove_all(tree);
  WriteFile(tree / "Users/eve/Pictures/Holiday 2004/Thumbs.db", thumbs_db);
  std::vector<ThumbcacheEntrySpec> entries;
  std::string sql = "INSERT INTO SystemIndex_1_PropertyStore VALUES ";
  int seed = 40;
  int work_id = 300;
  for (const IndexedSample& sample : kIndexed) {
    const uint64_t hash = 0x9e3779b97f4a7c15ull * static_cast<uint64_t>(++seed);
    ThumbcacheEntrySpec entry;
    entry.hash = hash;
    entry.data = sample.png ? MakePng(sample.width, sample.height, seed)
                            : MakeJpeg(sample.width, sample.height, seed, 85);
    entry.width = static_cast<uint32_t>(sample.width);
    entry.height = static_cast<uint32_t>(sample.height);
    entries.push_back(std::move(entry));
    if (!sample.indexed) continue;
    const std::string path = sample.path;
    const std::string name = path.substr(path.rfind('\\') + 1);
    const uint64_t modified = kIndexedFirstTime + static_cast<uint64_t>(work_id - 300) * kHours;
    const std::string id = std::to_string(++work_id);
    if (work_id > 301) sql += ", ";
    sql += "(" + id + ", 1, " + HexLe(hash) + "), (" + id + ", 2, '" + path + "'), (" + id +
           ", 3, '" + name + "'), (" + id + ", 5, " + HexLe(4096u + 37u * work_id) + "), (" + id +
           ", 6, " + HexLe(modified) + "), (" + id + ", 7, " + HexLe(modified - kHours) + "), (" +
           id + ", 8, " + HexLe(modified + kHours) + ")";
  }
  WriteFile(tree / "Users/eve/AppData/Local/Microsoft/Windows/Explorer/thumbcache_96.db",
            MakeThumbcache(0x20, entries));
  const fs::path index = tree / "ProgramData/Microsoft/Search/Data/Applications/Windows";
  fs::create_directories(index);
  const std::string failure =
      glintvane::testsupport::WriteWindowsDb((index / "Windows.db").string(), sql + ";");
  if (!failure.empty()) throw std::runtime_error(failure);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_sample_cache PATH [TREE]\n");
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
    if (argc == 3) WriteTree(argv[2], file.bytes);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_cache: %s\n", e.what());
    return 1;
  }
  return 0;
}
