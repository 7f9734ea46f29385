// Searching and reading real disk images built by make_test_disk.sh.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/error_codes.h"
#include "discover/search_folder.h"
#include "evidence/carve_source.h"
#include "evidence/evidence_file.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_open.h"
#include "evidence/evidence_search.h"
#include "tests/discover/discover_fixtures.h"
#include "tests/evidence/test_disk.h"
#include "texts/ui_texts.h"

namespace glintvane {
namespace {

using testing::CorpusCache;

std::vector<uint8_t> ReadAll(ByteSource& source) {
  std::vector<uint8_t> bytes(source.Size());
  const auto got = source.ReadAt(0, bytes);
  if (!got) return {};
  bytes.resize(*got);
  return bytes;
}

const CacheFileRecord* RowAt(const FoundCacheList& list, const std::string& inner_path,
                             bool deleted) {
  for (const CacheFileRecord& row : list.rows()) {
    const ImageFileLocation* inside = InImage(row.location);
    if (inside != nullptr && inside->inner_path == inner_path && row.entry_deleted == deleted) {
      return &row;
    }
  }
  return nullptr;
}

// A stop asked for ends the walk at the next entry and says so; a walk that
// was not stopped lists the caches.
TEST(EvidenceSearch, StopEndsTheWalk) {
  GLINTVANE_NEED_TEST_DISK(disk);
  std::stop_source stop;
  stop.request_stop();
  SearchOptions options;
  options.stop = stop.get_token();
  FoundCacheList list;
  const EvidenceSearchOutcome outcome = SearchEvidenceImage(list, disk.Path("disk.raw"), options);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_FALSE(outcome.complete());
  EXPECT_EQ(list.size(), 0u);
  EXPECT_FALSE(outcome.volumes[0].walk_complete);
  EXPECT_FALSE(SearchEvidenceImage(list, disk.Path("disk.raw")).stopped);
  EXPECT_GT(list.size(), 0u);
}

// Every form of the same disk lists the same rows, each cache reads back
// byte for byte, deleted ones included.
TEST(EvidenceSearch, ListsEveryCacheOfEveryFormAndReadsThemBackExactly) {
  GLINTVANE_NEED_TEST_DISK(disk);
  std::vector<std::string> paths_of_raw;
  for (const char* name : {"disk.raw", "split.raw.001", "disk.E01"}) {
    SCOPED_TRACE(name);
    FoundCacheList list;
    OpenImages images;
    const EvidenceSearchOutcome outcome = SearchEvidenceImage(list, images, disk.Path(name));
    ASSERT_TRUE(outcome.opened) << outcome.error;
    EXPECT_TRUE(outcome.partitioned);
    ASSERT_EQ(outcome.volumes.size(), 3u);
    EXPECT_EQ(outcome.volumes[0].file_system, "fat32");
    EXPECT_EQ(outcome.volumes[1].file_system, "ntfs");
    // A partition no reader recognises is reported and the rest is read.
    EXPECT_EQ(outcome.volumes[2].file_system, "");
    EXPECT_NE(outcome.volumes[2].error.find("no file system recognised in partition 3"),
              std::string::npos)
        << outcome.volumes[2].error;
    EXPECT_FALSE(outcome.complete());
    EXPECT_EQ(outcome.size, 44u << 20);

    const struct {
      int partition;
      const char* inner;
      bool deleted;
      const char* corpus;
    } expected[] = {
        {1, "/Pics/Thumbs.db", false, "001-oldcode-Thumbs.db"},
        {1, "/Old/Thumbs.db", true, "002-pyliu-docs-Thumbs.db"},
        {1, "/RECYCLER/S-1-5-21-1/Dc1.db", false, "009-oldcode-Thumbs.db"},
        {1, "/Users/eve/AppData/Local/Microsoft/Windows/Explorer/thumbcache_32.db", false,
         "thumbcache/win7-a/thumbcache_32.db"},
        {1, "/$Recycle.Bin/S-1-5-21-9/$RAB12CD.db", false, "010-oldcode-Thumbs.db"},
        {2, disk.ntfs_tree ? "/Users/eve/Pictures/Thumbs.db" : "/Thumbs.db", false,
         "004-referats-Thumbs.db"},
        {2, "/Temp/Thumbs.db", true, "002-pyliu-docs-Thumbs.db"},
    };
    size_t rows = 0;
    for (const auto& want : expected) {
      if (!disk.ntfs_tree && std::string(want.inner) == "/Temp/Thumbs.db") continue;
      ++rows;
      const CacheFileRecord* row = RowAt(list, want.inner, want.deleted);
      ASSERT_NE(row, nullptr) << want.inner;
      const ImageFileLocation& where = *InImage(row->location);
      EXPECT_EQ(where.partition, want.partition);
      EXPECT_EQ(where.image, disk.Path(name));
      const auto corpus = testing::ReadBytes(CorpusCache(want.corpus));
      EXPECT_EQ(row->size, static_cast<int64_t>(corpus.size()));
      auto source = EvidenceFileSource::Open(where, *images.Get(where.image));
      ASSERT_TRUE(source) << source.error().detail;
      EXPECT_EQ((*source)->deleted(), want.deleted);
      EXPECT_TRUE(ReadAll(**source) == corpus) << row->path;
    }
    EXPECT_EQ(list.size(), rows);
    EXPECT_EQ(outcome.deleted_rows, disk.ntfs_tree ? 2u : 1u);
    // The index names the recycled file by the path it was deleted from.
    const CacheFileRecord* recycled = RowAt(list, "/RECYCLER/S-1-5-21-1/Dc1.db", false);
    EXPECT_TRUE(recycled->recycled);
    EXPECT_EQ(recycled->name, "C:\\Documents and Settings\\eve\\My Pictures\\Thumbs.db");
    EXPECT_EQ(recycled->deleted_utc, "2007-02-22T17:00:00Z");
  }
}

// Read like a file on disk: the thumbnails of a deleted cache in an E01 are
// those of the original file.
TEST(EvidenceSearch, ReadsADeletedCacheInsideAnEwfImageLikeTheFile) {
  GLINTVANE_NEED_TEST_DISK(disk);
  FoundCacheList found;
  OpenImages images;
  SearchEvidenceImage(found, images, disk.Path("disk.E01"));
  const std::shared_ptr<EvidenceImage> held = *images.Get(disk.Path("disk.E01"));
  const CacheFileRecord* row = RowAt(found, "/Old/Thumbs.db", true);
  ASSERT_NE(row, nullptr);
  const UiTexts texts;
  ThumbnailList in_image, on_disk;
  ImageStore store_in_image, store_on_disk;
  ErrorList errors_in_image, errors_on_disk;
  const CacheReadResult a =
      ReadCacheAt(row->location, images, {in_image, store_in_image, errors_in_image, texts});
  const CacheReadResult b = ReadCacheAt(FileLocation{CorpusCache("002-pyliu-docs-Thumbs.db")},
                                        images, {on_disk, store_on_disk, errors_on_disk, texts});
  ASSERT_TRUE(a.ok) << (errors_in_image.Lines(texts).empty() ? ""
                                                             : errors_in_image.Lines(texts)[0]);
  ASSERT_TRUE(b.ok);
  // The search's image served the read: held once, never opened again.
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images.Get(disk.Path("disk.E01"))->get(), held.get());
  ASSERT_EQ(in_image.size(), on_disk.size());
  for (size_t i = 0; i < in_image.size(); ++i) {
    EXPECT_EQ(in_image[i].name, on_disk[i].name);
    EXPECT_TRUE(std::ranges::equal(store_in_image.View(in_image[i].start, in_image[i].length),
                                   store_on_disk.View(on_disk[i].start, on_disk[i].length)));
  }

  // A path into a partition that is not there fails with a reason.
  ErrorList errors;
  ThumbnailList none;
  ImageStore store;
  const std::string wrong = disk.Path("disk.E01") + "#p7:i22:/Pics/Thumbs.db";
  EXPECT_FALSE(ReadCacheAt(EvidenceLocationOfText(wrong), images, {none, store, errors, texts}).ok);
  std::string said;
  for (const std::string& line : errors.Lines(texts)) said += line + "\n";
  EXPECT_NE(said.find("has no partition 7"), std::string::npos) << said;

  // Images held are few: the one used longest ago goes first.
  for (const char* other : {"disk.raw", "fat.raw", "short.raw", "split.raw.001"}) {
    ASSERT_TRUE(images.Get(disk.Path(other))) << other;
  }
  EXPECT_EQ(images.size(), kMaxOpenImages);
  EXPECT_NE(images.Get(disk.Path("disk.E01"))->get(), held.get());
}

// Without a partition table the file system is partition 0, and it lists
// what the folder search lists for the same tree.
TEST(EvidenceSearch, ListsWhatTheFolderSearchListsForTheSameTree) {
  GLINTVANE_NEED_TEST_DISK(disk);
  FoundCacheList in_image;
  const EvidenceSearchOutcome outcome = SearchEvidenceImage(in_image, disk.Path("fat.raw"));
  ASSERT_TRUE(outcome.opened);
  EXPECT_FALSE(outcome.partitioned);
  ASSERT_EQ(outcome.volumes.size(), 1u);
  EXPECT_EQ(outcome.volumes[0].partition, 0);

  testing::TempTree tree;
  tree.File("Pics/Thumbs.db", testing::ReadBytes(CorpusCache("001-oldcode-Thumbs.db")));
  tree.File("RECYCLER/S-1-5-21-1/Dc1.db", testing::ReadBytes(CorpusCache("009-oldcode-Thumbs.db")));
  tree.File("RECYCLER/S-1-5-21-1/INFO2", testing::ReadBytes(disk.Path("info2.bin")));
  tree.File("Users/eve/AppData/Local/Microsoft/Windows/Explorer/thumbcache_32.db",
            testing::ReadBytes(CorpusCache("thumbcache/win7-a/thumbcache_32.db")));
  tree.File("$Recycle.Bin/S-1-5-21-9/$IAB12CD.db", testing::ReadBytes(disk.Path("vista_i.bin")));
  tree.File("$Recycle.Bin/S-1-5-21-9/$RAB12CD.db",
            testing::ReadBytes(CorpusCache("010-oldcode-Thumbs.db")));
  FoundCacheList in_folder;
  SearchFolder(in_folder, tree.root());

  std::multiset<std::pair<std::string, int64_t>> image_rows, folder_rows;
  for (const CacheFileRecord& row : in_image.rows()) {
    if (!row.entry_deleted) image_rows.insert({row.name, row.size.value_or(-1)});
    EXPECT_EQ(InImage(row.location)->partition, 0);
  }
  for (const CacheFileRecord& row : in_folder.rows()) {
    folder_rows.insert({row.name, row.size.value_or(-1)});
  }
  EXPECT_EQ(image_rows, folder_rows);
  // The Vista-and-later kinds are among them.
  EXPECT_EQ(
      image_rows.count(
          {"thumbcache_32.db",
           static_cast<int64_t>(
               testing::ReadBytes(CorpusCache("thumbcache/win7-a/thumbcache_32.db")).size())}),
      1u);
  EXPECT_EQ(image_rows.count({"C:\\Users\\eve\\Pictures\\Thumbs.db", 8192}), 1u)
      << "the $R named by its $I";
}

TEST(EvidenceImage, SaysWhichEwfSegmentIsMissing) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const std::string moved = disk.Path("gap.E03.away");
  std::filesystem::rename(disk.Path("gap.E03"), moved);
  const auto opened = EvidenceImage::Open(disk.Path("gap.E01"));
  std::filesystem::rename(moved, disk.Path("gap.E03"));
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().code, kErrImageIncomplete);
  EXPECT_NE(opened.error().detail.find("segment file gap.E03 is missing"), std::string::npos)
      << opened.error().detail;
  // Whole again, it opens, and random bytes hold no file system.
  auto whole = EvidenceImage::Open(disk.Path("gap.E01"));
  ASSERT_TRUE(whole) << whole.error().detail;
  EXPECT_EQ((*whole)->format(), ImageFormat::kEwf);
  EXPECT_EQ((*whole)->segment_count(), 5u);
  EXPECT_EQ((*whole)->size(), 4u << 20);
  ASSERT_EQ((*whole)->Volumes().size(), 1u);
  EXPECT_EQ((*whole)->Volumes()[0].fs, nullptr);
  EXPECT_FALSE((*whole)->Volumes()[0].error.empty());
}

// What carving reads, opened the same for every caller: the disk of an EWF
// image (not its compressed container), its unallocated space, a file as
// it lies; a split image with a gap is refused with the gap named.
TEST(OpenCarveSource, ReadsTheDiskOfAnImageAndAFileAsItLies) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const UiTexts texts;
  size_t raw_rows = 0;
  for (const char* name : {"disk.raw", "disk.E01"}) {
    SCOPED_TRACE(name);
    auto source = OpenCarveSource(disk.Path(name));
    ASSERT_TRUE(source) << source.error().detail;
    const bool file = std::string(name) == "disk.raw";
    EXPECT_EQ((*source)->kind(), file ? CarveSource::Kind::kFile : CarveSource::Kind::kImage);
    ThumbnailList list;
    ErrorList errors;
    const CarveResult result = (*source)->Scan({list, errors, texts});
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.file_size, 44u << 20);
    EXPECT_EQ((*source)->source_size(), 44u << 20);
    ASSERT_NE((*source)->bytes(), nullptr);
    EXPECT_EQ((*source)->bytes()->Size(), 44u << 20);
    EXPECT_TRUE((*source)->incomplete().empty());
    if (file) raw_rows = list.size();
    EXPECT_EQ(list.size(), raw_rows);
  }
  EXPECT_GT(raw_rows, 0u);
  EXPECT_EQ((*OpenCarveSource(disk.Path("disk.E01")))->description(), "the disk in the EWF image");

  auto free_space = OpenCarveSource(disk.Path("disk.E01"), {.unallocated = true});
  ASSERT_TRUE(free_space) << free_space.error().detail;
  EXPECT_EQ((*free_space)->kind(), CarveSource::Kind::kUnallocated);
  EXPECT_LT((*free_space)->bytes()->Size(), 44u << 20);
  ASSERT_EQ((*free_space)->notes().size(), 1u);
  EXPECT_NE((*free_space)->notes()[0].find("partition 3: no file system recognised"),
            std::string::npos);
  // A stretch of the stream maps back into the disk.
  const auto runs = (*free_space)->SourceRunsOf(0, 10);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_GE(runs[0].image_offset, 1u << 20);

  std::filesystem::rename(disk.Path("split.raw.002"), disk.Path("away"));
  auto gap = OpenCarveSource(disk.Path("split.raw.001"));
  std::filesystem::rename(disk.Path("away"), disk.Path("split.raw.002"));
  ASSERT_FALSE(gap);
  EXPECT_EQ(gap.error().code, kErrImageIncomplete);
  EXPECT_NE(gap.error().detail.find("piece split.raw.002 is missing"), std::string::npos)
      << gap.error().detail;
}

}  // namespace
}  // namespace glintvane
