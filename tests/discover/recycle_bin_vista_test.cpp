// $Recycle.Bin records ($I) of Windows Vista and later, read from the real
// files of the corpus, and the search's rows for thumbcache_*.db files,
// recycled caches and caches inside recycled folders.
#include "discover/recycle_bin_vista.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "base/byte_source.h"
#include "base/file_time.h"
#include "discover/search_folder.h"
#include "tests/discover/discover_fixtures.h"

namespace glintvane {
namespace {

using testing::CompoundBytes;
using testing::TempTree;

const std::string kBins = GLINTVANE_CORPUS_DIR "/real/recyclebin";

std::optional<RecycleInfo> ParseFile(const std::string& relative) {
  auto bytes = ReadWholeFile(kBins + "/" + relative);
  EXPECT_TRUE(bytes.has_value()) << relative;
  if (!bytes) return std::nullopt;
  return ParseRecycleInfo(*bytes);
}

TEST(RecycleInfo, EveryCorpusRecordReadsButTheOneWithoutAPath) {
  size_t read = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kBins)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || !name.starts_with("$I")) continue;
    const auto bytes = ReadWholeFile(entry.path().string());
    ASSERT_TRUE(bytes.has_value());
    const auto info = ParseRecycleInfo(*bytes);
    // dir-badfiles/$IF47Q09 is a version-2 header whose path is cut off whole.
    EXPECT_EQ(info.has_value(), name != "$IF47Q09") << entry.path();
    read += info.has_value();
  }
  EXPECT_EQ(read, 47u);
}

TEST(RecycleInfo, VersionsAndTheVistaShortFormDecode) {
  // The 543-byte Vista form: 7-byte size, later fields one byte earlier.
  const auto vista = ParseFile("set-a/dir-sample1/$IYAR1YY.exe");
  ASSERT_TRUE(vista);
  EXPECT_EQ(vista->version, 1u);
  EXPECT_EQ(vista->size, 20480u);
  EXPECT_EQ(vista->original, "C:\\dd.exe");
  EXPECT_EQ(FileTimeUtcIso(vista->deleted), "2007-09-21T07:54:23Z");

  const auto win10 = ParseFile("set-a/dir-win10-01/$IQ7LAXT.png");
  ASSERT_TRUE(win10);
  EXPECT_EQ(win10->version, 2u);
  EXPECT_EQ(win10->size, 6455u);
  EXPECT_EQ(win10->original, "C:\\Users\\tester\\Pictures\\web-canvas.png");
  EXPECT_TRUE(win10->path_complete);

  // A version-2 record cut inside its path keeps what is there.
  const auto cut = ParseFile("set-a/dir-badfiles/$IX1JBL3.djvu");
  ASSERT_TRUE(cut);
  EXPECT_FALSE(cut->path_complete);
  EXPECT_TRUE(cut->original.starts_with("\\\\WIN-163RLA0PH3N\\somewhere\\"));

  // Lone surrogates become U+FFFD and are noted.
  const auto bad = ParseFile("set-a/dir-bad-uni/$I77T7B2.ahk");
  ASSERT_TRUE(bad);
  EXPECT_FALSE(bad->text_ok);
  EXPECT_TRUE(bad->original.starts_with("D:\\"));

  // Too short, or a version no Windows wrote.
  EXPECT_FALSE(ParseRecycleInfo(std::vector<uint8_t>(23, 0)));
  std::vector<uint8_t> v3(544, 0);
  v3[0] = 3;
  v3[24] = 'C';
  EXPECT_FALSE(ParseRecycleInfo(v3));
}

TEST(RecycleInfo, NamesAndPlaces) {
  EXPECT_TRUE(IsThumbcacheName("thumbcache_32.db"));
  EXPECT_TRUE(IsThumbcacheName("ThumbCache_Wide_Alternate.DB"));
  EXPECT_FALSE(IsThumbcacheName("thumbcache_idx.db"));
  EXPECT_FALSE(IsThumbcacheName("thumbcache_.db"));
  EXPECT_FALSE(IsThumbcacheName("iconcache_32.db"));
  EXPECT_EQ(ClassifyVistaEntry("/mnt/c/$Recycle.Bin/S-1-5-21-1/", "$IAB12CD.db"),
            VistaEntryRole::kRecycleInfo);
  EXPECT_EQ(ClassifyVistaEntry("/mnt/c/Users/x/", "$IAB12CD.db"), VistaEntryRole::kNone);
  EXPECT_EQ(ClassifyVistaEntry("/mnt/c/$Recycle.Bin.old/S-1/", "$IAB12CD.db"),
            VistaEntryRole::kNone);
  EXPECT_EQ(RecycledItemName("$IAB12CD.db"), "$RAB12CD.db");

  const auto place = FindRecycledFolder("/c/$RECYCLE.BIN/S-1-5/$R0XY/a/b/Thumbs.db");
  ASSERT_TRUE(place);
  EXPECT_EQ(place->recycled_folder, "/c/$RECYCLE.BIN/S-1-5/$R0XY");
  EXPECT_EQ(place->relative, "a/b/Thumbs.db");
  // A $R file (not a folder) has nothing below it; a $R elsewhere is no bin.
  EXPECT_FALSE(FindRecycledFolder("/c/$Recycle.Bin/S-1-5/$R0XY.db"));
  EXPECT_FALSE(FindRecycledFolder("/c/Users/S-1-5/$R0XY/Thumbs.db"));
}

// A version-2 $I record.
std::vector<uint8_t> Info(const std::u16string& path, uint64_t deleted) {
  std::vector<uint8_t> bytes(28, 0);
  bytes[0] = 2;
  for (int i = 0; i < 8; ++i) bytes[16 + i] = static_cast<uint8_t>(deleted >> (8 * i));
  const uint32_t count = static_cast<uint32_t>(path.size() + 1);
  for (int i = 0; i < 4; ++i) bytes[24 + i] = static_cast<uint8_t>(count >> (8 * i));
  for (const char16_t c : path) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

TEST(VistaSearch, ListsCachesRecycledCachesAndRecycledFolders) {
  TempTree tree;
  const std::vector<uint8_t> cmmm = {'C', 'M', 'M', 'M', 0x20, 0, 0, 0};
  const uint64_t deleted = 132227958500000000ull;  // 2020-01-06T14:50:50Z
  const std::string bin = "c/$Recycle.Bin/S-1-5-21/";
  tree.File("c/Users/x/Explorer/thumbcache_32.db", cmmm);
  tree.File("c/Users/x/Explorer/thumbcache_idx.db", {'I', 'M', 'M', 'M'});
  // A recycled Thumbs.db and a recycled thumbcache, each with its $R.
  tree.File(bin + "$IAAAAAA.db", Info(u"C:\\Pics\\Thumbs.db", deleted));
  tree.File(bin + "$RAAAAAA.db", CompoundBytes());
  tree.File(bin + "$IBBBBBB.db", Info(u"C:\\Users\\x\\thumbcache_96.db", deleted));
  tree.File(bin + "$RBBBBBB.db", cmmm);
  // No rows: a $R that is no cache, a $R that is gone, a $R that is a FIFO,
  // and a record of some other file.
  tree.File(bin + "$ICCCCCC.db", Info(u"C:\\Pics\\Thumbs.db", deleted));
  tree.File(bin + "$RCCCCCC.db", {'n', 'o', 'p', 'e', 0, 0, 0, 0});
  tree.File(bin + "$IDDDDDD.db", Info(u"C:\\Pics\\Thumbs.db", deleted));
  tree.File(bin + "$IEEEEEE.db", Info(u"C:\\Pics\\Thumbs.db", deleted));
  ASSERT_EQ(mkfifo(tree.Path(bin + "$REEEEEE.db").c_str(), 0600), 0);
  tree.File(bin + "$IFFFFFF.txt", Info(u"C:\\notes.txt", deleted));
  tree.File(bin + "$RFFFFFF.txt", CompoundBytes());
  // A recycled folder holding a Thumbs.db two levels down.
  tree.File(bin + "$IGGGGGG", Info(u"C:\\Users\\x\\Holiday", deleted));
  tree.File(bin + "$RGGGGGG/2019/Thumbs.db", CompoundBytes());

  FoundCacheList list;
  SearchFolder(list, tree.root());
  std::map<std::string, CacheFileRecord> by_name;
  for (const CacheFileRecord& row : list.rows()) by_name[row.name] = row;
  ASSERT_EQ(by_name.size(), 4u) << list.size();

  const CacheFileRecord& live = by_name.at("thumbcache_32.db");
  EXPECT_FALSE(live.recycled);
  EXPECT_EQ(live.size, 8);
  // Every row keeps its UTC time, which the window writes in its own style:
  // without it a thumbcache row showed another style than its neighbours.
  for (const CacheFileRecord& row : list.rows()) EXPECT_FALSE(row.modified_utc.empty()) << row.name;

  const CacheFileRecord& thumbs = by_name.at("C:\\Pics\\Thumbs.db");
  EXPECT_TRUE(thumbs.recycled);
  EXPECT_EQ(thumbs.path, tree.Path(bin + "$RAAAAAA.db"));
  EXPECT_EQ(thumbs.deleted_utc, "2020-01-06T14:50:50Z");
  EXPECT_NE(thumbs.modified.find(" - "), std::string::npos);

  EXPECT_EQ(by_name.at("C:\\Users\\x\\thumbcache_96.db").path, tree.Path(bin + "$RBBBBBB.db"));

  const CacheFileRecord& inside = by_name.at("C:\\Users\\x\\Holiday\\2019\\Thumbs.db");
  EXPECT_TRUE(inside.recycled);
  EXPECT_EQ(inside.path, tree.Path(bin + "$RGGGGGG/2019/Thumbs.db"));
  EXPECT_EQ(inside.deleted_utc, "2020-01-06T14:50:50Z");
}

}  // namespace
}  // namespace glintvane
