#include "discover/found_caches_sort.h"

#include "discover/found_caches.h"

#include <gtest/gtest.h>

namespace glintvane {
namespace {

CacheFileRecord Row(std::string name, std::optional<int64_t> size, std::string modified,
                    std::string located) {
  CacheFileRecord r;
  r.name = std::move(name);
  r.size = size;
  r.modified = std::move(modified);
  r.located = std::move(located);
  r.path = r.located + r.name;
  return r;
}

TEST(FoundCachesSort, FoldedTextFoldsOnlyAToZ) {
  EXPECT_EQ(CompareFoldedText("thumbs.db", "Thumbs.db"), 0);
  EXPECT_LT(CompareFoldedText("Thumbs.db", "Thumbs.db2"), 0);  // a prefix sorts first
  EXPECT_GT(CompareFoldedText("Thumbs.db2", "thumbs.db"), 0);
  // "a" folds to "A" (0x41), so it sorts before "[" (0x5B) and "_" (0x5F).
  EXPECT_LT(CompareFoldedText("a", "["), 0);
  EXPECT_LT(CompareFoldedText("b", "_"), 0);
  // Accented letters are not folded: é and É differ; bytes count unsigned.
  EXPECT_NE(CompareFoldedText("\xC3\xA9", "\xC3\x89"), 0);
  EXPECT_GT(CompareFoldedText("\xC3\xA9", "z"), 0);
}

TEST(FoundCachesSort, TimeTextsReadBackDirectly) {
  const auto t = ParseFoundFileTimeText("9.3.2007 14:5:7");
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(ParseFoundFileTimeText("09.03.2007 14:05:07"), t);
  EXPECT_LT(*t, *ParseFoundFileTimeText("10.3.2007 0:0:0"));  // text order would say otherwise
  EXPECT_LT(*ParseFoundFileTimeText("31.12.2006 23:59:59"),
            *ParseFoundFileTimeText("1.1.2007 0:0:0"));
  // Centuries apart still compare: no 32-bit scaled difference.
  EXPECT_LT(*ParseFoundFileTimeText("1.1.1601 0:0:0"), *ParseFoundFileTimeText("1.1.3000 0:0:0"));
  EXPECT_TRUE(ParseFoundFileTimeText("29.2.2004 0:0:0").has_value());
  for (const char* bad : {"", "29.2.2007 0:0:0", "32.1.2007 0:0:0", "1.13.2007 0:0:0",
                          "1.1.2007 24:0:0", "2007-03-09 14:05:07", "9.3.2007 14:5:7x",
                          "9.3.2007 14:5", "9/3/2007 14:5:7", "9.3.2007  14:5:7"}) {
    EXPECT_FALSE(ParseFoundFileTimeText(bad).has_value()) << bad;
  }
}

TEST(FoundCachesSort, ModifiedKeyUsesTheWrittenTimeOnly) {
  EXPECT_EQ(*ModifiedSortKey("9.3.2007 14:5:7 - 03/10/2007 08:00:00"),
            ParseFoundFileTimeText("9.3.2007 14:5:7"));
  EXPECT_EQ(*ModifiedSortKey(""), std::nullopt);               // file could not be opened
  EXPECT_EQ(*ModifiedSortKey(" - 03/10/2007"), std::nullopt);  // recycled, unopened
  const auto bad = ModifiedSortKey("yesterday - 1.1.2000");
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error(), "ConvertError: 'yesterday' is not a valid date and time");
}

TEST(FoundCachesSort, ColumnRules) {
  const auto a = Row("thumbs.db", 10, "9.3.2007 14:5:7", "/b/");
  const auto b = Row("Thumbs.db", std::nullopt, "", "/a/");
  const auto c = Row("Z", int64_t{5} << 32, "10.3.2007 0:0:0 - x", "/A/");
  EXPECT_EQ(*CompareFoundCaches(a, b, kFoundColumnFile), 0);
  EXPECT_GT(*CompareFoundCaches(a, b, kFoundColumnSize), 0);  // unknown counts as 0
  EXPECT_LT(*CompareFoundCaches(a, c, kFoundColumnSize), 0);  // beyond 32 bits
  EXPECT_GT(*CompareFoundCaches(a, b, kFoundColumnModified), 0);
  EXPECT_LT(*CompareFoundCaches(a, c, kFoundColumnModified), 0);
  EXPECT_GT(*CompareFoundCaches(a, b, kFoundColumnLocation), 0);
  EXPECT_EQ(*CompareFoundCaches(b, c, kFoundColumnLocation), 0);
  EXPECT_FALSE(CompareFoundCaches(a, Row("x", 1, "never", "/"), kFoundColumnModified));
}

TEST(FoundCachesSort, SortIsStableKeepsPathIndexAndReportsBadTimesOnce) {
  FoundCacheList list;
  list.AddCacheFileRow(Row("1", 30, "2.1.2000 0:0:0", "/x/"));
  list.AddCacheFileRow(Row("2", 10, "garbage", "/y/"));
  list.AddCacheFileRow(Row("3", 30, "1.1.2000 0:0:0", "/z/"));
  list.AddCacheFileRow(Row("4", 20, "", "/w/"));

  EXPECT_TRUE(SortFoundCaches(list, kFoundColumnSize, true).empty());
  std::string order;
  for (const auto& r : list.rows()) order += r.name;
  EXPECT_EQ(order, "2413");
  EXPECT_TRUE(SortFoundCaches(list, kFoundColumnSize, false).empty());
  order.clear();
  for (const auto& r : list.rows()) order += r.name;
  EXPECT_EQ(order, "1342");  // equal sizes keep their order both ways

  const auto failures = SortFoundCaches(list, kFoundColumnModified, true);
  ASSERT_EQ(failures.size(), 1u);
  order.clear();
  for (const auto& r : list.rows()) order += r.name;
  EXPECT_EQ(order, "4231");  // no time and unreadable first, then by time
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list.IndexOfPath(list[i].path), static_cast<int64_t>(i));
  }
}

TEST(FoundSearchIndexes, EachThumbcacheGetsTheIndexOfItsOwnVolume) {
  const std::string explorer = "/Users/eve/AppData/Local/Microsoft/Windows/Explorer/";
  const std::string folder = "/ProgramData/Microsoft/Search/Data/Applications/Windows/";
  auto in_image = [](int partition, uint64_t inode, const std::string& path, int store = 0) {
    return EvidenceLocation(ImageFileLocation{"/case/disk.E01", partition, inode, path, store});
  };
  const std::vector<FoundSearchIndex> indexes = {
      {in_image(2, 10, folder + "Windows.db"), "deleted db", true},
      {in_image(2, 11, folder + "WINDOWS.EDB"), "p2 edb", false},
      {in_image(3, 12, folder + "Windows.db"), "p3 db", false},
      {FileLocation{"/copy" + folder + "Windows.edb"}, "disk edb", false},
      {in_image(1, 13, "/Other/Windows.db"), "elsewhere", false},
      {in_image(2, 11, folder + "Windows.edb", 1), "p2 store 1 edb", false},
  };
  auto named = [&](const EvidenceLocation& where) {
    const FoundSearchIndex* index = SearchIndexOf(where, indexes);
    return index != nullptr ? index->path : std::string("none");
  };
  // A live Windows.edb before a deleted Windows.db; only the same partition.
  EXPECT_EQ(named(in_image(2, 1, explorer + "thumbcache_32.db")), "p2 edb");
  EXPECT_EQ(named(in_image(3, 1, "/users/EVE/AppData/Local/Microsoft/Windows/Explorer/t.db")),
            "p3 db");
  EXPECT_EQ(named(in_image(1, 1, explorer + "thumbcache_32.db")), "none");
  // A shadow copy's cache is named by the index of the same copy.
  EXPECT_EQ(named(in_image(2, 1, explorer + "thumbcache_32.db", 1)), "p2 store 1 edb");
  EXPECT_EQ(named(in_image(2, 1, explorer + "thumbcache_32.db", 2)), "none");
  // Bytes found at an offset have no folder to look in.
  EXPECT_EQ(named(OffsetLocation{"/case/disk.E01", 2, 4096, "thumbcache_32.db"}), "none");
  EXPECT_EQ(named(FileLocation{"/copy" + explorer + "thumbcache_32.db"}), "disk edb");
  EXPECT_EQ(named(FileLocation{"/elsewhere" + explorer + "thumbcache_32.db"}), "none");

  FoundCacheList list;
  CacheFileRecord row;
  SetRecordLocation(row, in_image(2, 1, explorer + "thumbcache_32.db"));
  row.search_index = "kept";
  list.AddCacheFileRow(row);
  SetRecordLocation(row, in_image(1, 1, explorer + "thumbcache_32.db"));
  list.AddCacheFileRow(row);
  list.NameSearchIndexes(indexes);
  EXPECT_EQ(list[0].search_index, "p2 edb");
  EXPECT_EQ(list[1].search_index, "kept");  // what an earlier search found stays
}

}  // namespace
}  // namespace glintvane
