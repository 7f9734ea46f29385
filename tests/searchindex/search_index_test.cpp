// The Windows Search index reader: real Windows 10 and 11 indexes (clean,
// dirty, without the -wal), the link to the same machine's thumbcache, and
// hostile databases built here.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/error_codes.h"
#include "cache/thumbcache_reader.h"
#include "cache/thumbs_reader.h"
#include "searchindex/search_index.h"
#include "testsupport/temp_folder.h"
#include "testsupport/windows_db.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;

const std::string kIndexes = std::string(GLINTVANE_CORPUS_DIR) + "/real/search-index";
const std::string kWin10 = kIndexes + "/win10-b";
const std::string kWin10Dirty = kIndexes + "/win10-b-dirty";
const std::string kWin11 = kIndexes + "/win11-c";

using Folder = testsupport::TempFolder;

// Every file of a folder with its bytes.
std::map<std::string, std::vector<uint8_t>> Snapshot(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename()] = ReadWholeFile(entry.path()).value_or(std::vector<uint8_t>{});
  }
  return files;
}

bool IsEmptyFolder(const std::string& folder) {
  return fs::is_empty(folder);
}

TEST(SearchIndex, Windows10EseNamesTheSameMachinesThumbcache) {
  const auto index = ReadSearchIndex(kWin10);  // the folder: Windows.edb found in it
  ASSERT_TRUE(index) << index.error().message;
  EXPECT_EQ(index->path, kWin10 + "/Windows.edb");
  const SearchIndexOutcome& outcome = index->outcome;
  EXPECT_EQ(outcome.format, SearchIndexFormat::kEse);
  EXPECT_EQ(outcome.table, "SystemIndex_PropertyStore");
  EXPECT_EQ(outcome.state, "clean");
  EXPECT_EQ(outcome.records, 918u);
  EXPECT_EQ(outcome.unreadable_records, 0u);
  EXPECT_EQ(outcome.items, 911u);
  EXPECT_EQ(index->size(), 911u);
  EXPECT_TRUE(outcome.complete);
  EXPECT_TRUE(outcome.reasons.empty());

  // A file: its size and times; a folder: no size (its fixed column is
  // filled with "*"), the id as the thumbcache writes keys.
  const auto file = index->Find(0x285a43a580304713);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->work_id, 3u);
  EXPECT_EQ(file->path, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\desktop.ini");
  EXPECT_EQ(file->file_name, "desktop.ini");
  EXPECT_EQ(file->item_type, ".ini");
  EXPECT_EQ(file->size, 174u);
  EXPECT_EQ(file->modified, 132201835627159173u);
  EXPECT_EQ(file->created, 132201836943936168u);
  EXPECT_EQ(file->accessed, 132885630474826908u);
  const auto folder = index->Find(0xb1aa879d54d470a9);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->path, "C:\\Users");
  EXPECT_EQ(folder->item_type, "Directory");
  EXPECT_FALSE(folder->size.has_value());
  EXPECT_FALSE(index->Find(0x1234));

  // The same machine's thumbcache_256.db: its rows' keys are the index's ids.
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  const UiTexts texts;
  ReadThumbnailCache(
      std::string(GLINTVANE_CORPUS_DIR) + "/real/thumbcache/win10-b/thumbcache_256.db",
      {list, store, errors, texts});
  std::map<std::string, std::string> named;
  for (size_t i = 0; i < list.size(); ++i) {
    uint64_t key = std::stoull(list[i].key, nullptr, 16);
    if (const auto item = index->Find(key)) named[list[i].key] = item->path;
  }
  EXPECT_EQ(named["52ecd9da48a8b874"], "C:\\Users\\AndrewRathbun\\Desktop\\Microsoft Edge.lnk");
  EXPECT_EQ(named["f10539c586b3abad"], "C:\\Users\\AndrewRathbun\\Desktop\\kape.exe");
  EXPECT_EQ(ThumbnailIdText(0x52ecd9da48a8b874), "52ecd9da48a8b874");
}

// The copy taken while Windows ran: libesedb reads its catalog but not the
// table's tree. The read says what it is, how many records it could not
// read and how to repair a copy; it never fails as a whole.
TEST(SearchIndex, DirtyEseSaysWhatItCouldNotRead) {
  const auto index = ReadSearchIndex(kWin10Dirty + "/Windows.edb");
  ASSERT_TRUE(index) << index.error().message;
  const SearchIndexOutcome& outcome = index->outcome;
  EXPECT_EQ(outcome.state, "dirty");
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(outcome.records, 918u);  // counted in the table's leaf pages
  EXPECT_GT(outcome.unreadable_records, 0u);
  EXPECT_LE(outcome.items + outcome.unreadable_records, outcome.records);
  ASSERT_GE(outcome.reasons.size(), 2u);
  EXPECT_NE(outcome.reasons[0].find("esentutl /p"), std::string::npos);
  EXPECT_NE(outcome.reasons[1].find(std::to_string(outcome.unreadable_records)), std::string::npos)
      << outcome.reasons[1];
}

// Windows 11: most of the index lies in the -wal. Read from a private copy,
// the evidence folder keeps its bytes and gains no -shm; without its -wal
// the database is read for what it holds and says the -wal was missing.
TEST(SearchIndex, Windows11SqliteIsReadFromAPrivateCopy) {
  const auto before = Snapshot(kWin11);
  Folder temp;
  SearchIndexOptions options;
  options.temp_folder = temp.path();
  const auto index = ReadSearchIndex(kWin11, options);
  ASSERT_TRUE(index) << index.error().message;
  EXPECT_EQ(index->path, kWin11 + "/Windows.db");
  EXPECT_EQ(index->outcome.format, SearchIndexFormat::kSqlite);
  EXPECT_EQ(index->outcome.table, "SystemIndex_1_PropertyStore");
  EXPECT_EQ(index->outcome.state, "");
  EXPECT_EQ(index->outcome.items, 849u);
  EXPECT_EQ(index->outcome.records, 850u);
  EXPECT_TRUE(index->outcome.complete);
  EXPECT_FALSE(index->outcome.wal_missing);
  const auto item = index->Find(0xcffb8b65ef8d14fb);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->work_id, 555u);
  EXPECT_EQ(item->path,
            "C:\\Users\\digit\\AppData\\Local\\Microsoft\\Edge\\User Data\\Default\\Preferences");
  EXPECT_EQ(item->size, 0x30cau);
  EXPECT_EQ(item->modified, 0x01d9ab8206430b93u);
  EXPECT_EQ(Snapshot(kWin11), before);
  EXPECT_TRUE(IsEmptyFolder(temp.path()));

  Folder alone;
  fs::copy_file(kWin11 + "/Windows.db", alone / "Windows.db");
  const auto without = ReadSearchIndex(alone.path(), options);
  ASSERT_TRUE(without) << without.error().message;
  EXPECT_TRUE(without->outcome.wal_missing);
  EXPECT_FALSE(without->outcome.complete);
  EXPECT_LT(without->outcome.items, 849u);
  ASSERT_EQ(without->outcome.reasons.size(), 1u);
  EXPECT_NE(without->outcome.reasons[0].find("-wal"), std::string::npos);
  EXPECT_EQ(Snapshot(alone.path()).size(), 1u);  // still only Windows.db
  EXPECT_TRUE(IsEmptyFolder(temp.path()));
}

// Hostile and unusual Windows.db files: a bad record is counted and the next
// one still read; "*" fills and UTF-16 blobs are understood; names of other
// systems' numbers are matched after the dash.
TEST(SearchIndex, SqliteRecordsOneByOne) {
  Folder folder;
  const std::string db = folder / "Windows.db";
  ASSERT_EQ(testsupport::WriteWindowsDb(
                db,
                "INSERT INTO SystemIndex_1_PropertyStore VALUES "
                "(10, 1, X'0102030405060708'), (10, 2, 'C:\\a.jpg'), (10, 5, X'2A2A2A2A2A2A2A2A'),"
                "(11, 1, X'0102030405'), (11, 2, 'C:\\bad'),"                      // a 5-byte id
                "(12, 1, X'1112131415161718'), (12, 2, X'43003A005C00E4006200'),"  // UTF-16
                "(12, 5, X'0004000000000000'), (12, 6, X'00C0A1A0D10ED501'),"
                "(13, 2, 'C:\\no id');"),
            "");
  const auto index = ReadSearchIndex(db);
  ASSERT_TRUE(index) << index.error().message;
  EXPECT_EQ(index->outcome.records, 4u);
  EXPECT_EQ(index->outcome.unreadable_records, 1u);
  EXPECT_FALSE(index->outcome.complete);
  EXPECT_FALSE(index->outcome.wal_missing);  // not in WAL mode: nothing to miss
  ASSERT_EQ(index->size(), 2u);
  const auto first = index->Find(0x0807060504030201);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->path, "C:\\a.jpg");
  EXPECT_FALSE(first->size.has_value());
  const auto third = index->Find(0x1817161514131211);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->work_id, 12u);
  EXPECT_EQ(third->path,
            "C:\\\xC3\xA4"
            "b");
  EXPECT_EQ(third->size, 1024u);
  EXPECT_EQ(third->modified, 0x01D50ED1A0A1C000u);
  ASSERT_EQ(index->outcome.reasons.size(), 1u);
  EXPECT_NE(index->outcome.reasons[0].find("a thumbnail id of 5 bytes"), std::string::npos);
}

// Several connections at once, each over its own range of WorkIds, read
// what one reads: every record once, a repeated id given to its first item
// whichever reader met it, and a key that is no number read all the same.
TEST(SearchIndex, SqliteReadersSplitTheStoreAndMissNothing) {
  SearchIndexOptions one;
  one.readers = 1;
  const auto whole = ReadSearchIndex(kWin11, one);
  ASSERT_TRUE(whole) << whole.error().message;
  for (const unsigned readers : {2U, 3U}) {
    SearchIndexOptions options;
    options.readers = readers;
    const auto split = ReadSearchIndex(kWin11, options);  // WAL mode: the -wal read by each
    ASSERT_TRUE(split) << split.error().message;
    EXPECT_EQ(split->outcome.records, whole->outcome.records);
    EXPECT_EQ(split->outcome.items, whole->outcome.items);
    EXPECT_TRUE(split->outcome.complete);
    ASSERT_EQ(split->size(), whole->size());
    for (size_t i = 0; i < whole->size(); ++i) {
      EXPECT_EQ(split->Item(i).work_id, whole->Item(i).work_id) << i;
      EXPECT_EQ(split->Item(i).path, whole->Item(i).path) << i;
    }
  }

  Folder folder;
  const std::string db = folder / "Windows.db";
  std::string rows;
  for (int work = 1; work <= 100; ++work) {
    // WorkIds 2 and 99 share an id: one on each side of the cut.
    char id[3];
    std::snprintf(id, sizeof id, "%02X", work == 99 ? 2 : work);
    rows += std::string(rows.empty() ? "" : ",") + "(" + std::to_string(work) + ", 1, X'" + id +
            "00000000000000'), (" + std::to_string(work) + ", 2, 'C:\\" + std::to_string(work) +
            ".jpg')";
  }
  ASSERT_EQ(testsupport::WriteWindowsDb(
                db, "INSERT INTO SystemIndex_1_PropertyStore VALUES " + rows + ";"),
            "");
  SearchIndexOptions two;
  two.readers = 2;
  const auto split = ReadSearchIndex(db, two);
  ASSERT_TRUE(split) << split.error().message;
  EXPECT_EQ(split->outcome.records, 100u);
  EXPECT_EQ(split->Find(2)->work_id, 2u);
  // A text key sorts after every number, past any range of numbers.
  ASSERT_EQ(testsupport::RunSql(db,
                                "INSERT INTO SystemIndex_1_PropertyStore VALUES "
                                "('last', 1, X'FF00000000000000');"),
            "");
  const auto with_text = ReadSearchIndex(db, two);
  ASSERT_TRUE(with_text) << with_text.error().message;
  EXPECT_EQ(with_text->outcome.records, 101u);
  EXPECT_TRUE(with_text->Find(0xFF));
}

TEST(SearchIndex, RefusesWhatIsNoIndex) {
  Folder folder;
  // A SQLite database without the property store, an ESE header cut short,
  // one with an impossible page size, random bytes, an empty folder.
  ASSERT_EQ(testsupport::RunSql(folder / "other.db", "CREATE TABLE t (x);"), "");
  std::vector<uint8_t> ese(240, 0);
  ese[4] = 0xEF, ese[5] = 0xCD, ese[6] = 0xAB, ese[7] = 0x89;
  ese[236] = 0x01, ese[237] = 0x30;  // 12289 bytes a page
  std::ofstream(folder / "cut.edb", std::ios::binary)
      .write(reinterpret_cast<char*>(ese.data()), 100);
  std::ofstream(folder / "page.edb", std::ios::binary)
      .write(reinterpret_cast<char*>(ese.data()), 240);
  std::ofstream(folder / "noise.bin") << "neither ESE nor SQLite, just text";
  fs::create_directory(folder / "empty");
  const std::pair<std::string, int> cases[] = {
      {"other.db", kErrSearchIndexFormat},  {"cut.edb", kErrSearchIndexDamaged},
      {"page.edb", kErrSearchIndexDamaged}, {"noise.bin", kErrSearchIndexFormat},
      {"empty", kErrSearchIndexOpen},       {"missing.edb", kErrSearchIndexOpen}};
  for (const auto& [name, code] : cases) {
    SCOPED_TRACE(name);
    const auto index = ReadSearchIndex(folder / name);
    ASSERT_FALSE(index);
    EXPECT_EQ(index.error().code, code) << index.error().message;
  }
}

// Already-open sources (as inside a disk image): the bytes in memory, the
// read stopped on request, a damaged ESE file read without a crash.
TEST(SearchIndex, ReadsOpenSourcesAndStops) {
  class Count final : public IndexedItemSink {
   public:
    void OnItem(const IndexedItem&) override { ++count; }
    size_t count = 0;
  };
  const auto bytes = ReadWholeFile(kWin10 + "/Windows.edb");
  ASSERT_TRUE(bytes);
  MemoryByteSource source(*bytes);
  Count count;
  const auto whole = ReadSearchIndex(SearchIndexSources{&source}, count);
  ASSERT_TRUE(whole);
  EXPECT_EQ(count.count, 911u);

  std::stop_source stop;
  stop.request_stop();
  Count none;
  SearchIndexOptions options;
  options.stop = stop.get_token();
  const auto stopped = ReadSearchIndex(SearchIndexSources{&source}, none, options);
  ASSERT_TRUE(stopped);
  EXPECT_TRUE(stopped->stopped);
  EXPECT_FALSE(stopped->complete);
  EXPECT_EQ(none.count, 0u);

  // Every page past the catalog zeroed: the table cannot be read, the read
  // says so instead of failing or crashing.
  std::vector<uint8_t> damaged(bytes->begin(), bytes->end());
  std::fill(damaged.begin() + 12 * 32768, damaged.end(), 0x5A);
  MemoryByteSource damaged_source(damaged);
  Count some;
  const auto partial = ReadSearchIndex(SearchIndexSources{&damaged_source}, some);
  if (partial) {
    EXPECT_FALSE(partial->complete);
    EXPECT_EQ(partial->items, some.count);
  } else {
    EXPECT_EQ(partial.error().code, kErrSearchIndexDamaged);
  }
}

// An index is read once for every cache it names; a run holds a few.
TEST(HeldSearchIndexes, ReadOnceAndTheOldestLetGo) {
  auto database = FileByteSource::Open(kWin10 + "/Windows.edb");
  ASSERT_TRUE(database) << database.error().message;
  HeldSearchIndexes held;
  const auto first = held.Get("win10", SearchIndexSources{database->get()});
  ASSERT_TRUE(first->index) << first->error.message;
  EXPECT_EQ(first->index->outcome.items, 911u);
  // No bytes given the second time: only the held index can answer.
  EXPECT_EQ(held.Get("win10", SearchIndexSources{}), first);
  // One that cannot be read is held too: it is not tried again per cache.
  const auto broken = held.Get("none", SearchIndexSources{});
  EXPECT_FALSE(broken->index);
  EXPECT_EQ(broken->error.code, kErrSearchIndexOpen);
  for (size_t i = 0; i < kMaxHeldSearchIndexes; ++i) {
    held.Get("other " + std::to_string(i), SearchIndexSources{});
  }
  EXPECT_EQ(held.size(), kMaxHeldSearchIndexes);
  EXPECT_NE(held.Get("win10", SearchIndexSources{}), first);  // let go, read again
}

}  // namespace
}  // namespace glintvane
