// The parts of evidence/ that need no disk image: the location's text form, reading
// past bad sectors, the unallocated stream's map, the name rule and DFXML.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "discover/cache_names.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_open.h"
#include "evidence/unallocated.h"
#include "export/dfxml.h"
#include "tests/discover/discover_fixtures.h"
#include "tests/evidence/test_disk.h"

namespace glintvane {
namespace {

// The text form read back over a made-up set of files: the parser asks about
// the disk only through `there`.
EvidenceLocation Parse(const std::string& text, std::set<std::string> files) {
  return ParseEvidenceLocation(text,
                               [&](const std::string& path) { return files.count(path) > 0; });
}

TEST(EvidenceLocation, ReadsBackWhatItWritesAndKeepsDeletedTwinsApart) {
  const ImageFileLocation a{"/cases/laptop.E01", 2, 1234, "/Documents and Settings/eve/Thumbs.db"};
  const std::string text = FormatEvidenceLocation(a);
  EXPECT_EQ(text, "/cases/laptop.E01#p2:i1234:/Documents and Settings/eve/Thumbs.db");
  EXPECT_EQ(EvidenceFolderText(a), "/cases/laptop.E01#p2:/Documents and Settings/eve/");
  EXPECT_EQ(Parse(text, {a.image}), EvidenceLocation(a));
  // The same file as a shadow-copy store holds it is another place.
  ImageFileLocation in_store = a;
  in_store.store = 1;
  EXPECT_EQ(FormatEvidenceLocation(in_store),
            "/cases/laptop.E01#p2:s1:i1234:/Documents and Settings/eve/Thumbs.db");
  EXPECT_EQ(EvidenceFolderText(in_store), "/cases/laptop.E01#p2:s1:/Documents and Settings/eve/");
  EXPECT_EQ(Parse(FormatEvidenceLocation(in_store), {a.image}), EvidenceLocation(in_store));
  // Two deleted files of one name in one folder differ in their address.
  ImageFileLocation b = a;
  b.inode = 1240;
  EXPECT_NE(FormatEvidenceLocation(b), text);
  EXPECT_EQ(FormatEvidenceLocation(FileLocation{"/x/Thumbs.db"}), "/x/Thumbs.db");
  EXPECT_EQ(EvidenceFolderText(FileLocation{"/x/Thumbs.db"}), "/x/");

  // Names that hold '#', ':' and "#p", inner paths that look like markers:
  // every one comes back as written while its image is there.
  for (const ImageFileLocation& odd : {
           ImageFileLocation{"/x/a#p1:i2:/b.dd", 0, 5, "/c#p9:i9:/d/Thumbs.db"},
           ImageFileLocation{"/x/#p#p:#", 7, 0, "/:#p/Thumbs.db"},
           ImageFileLocation{"/x/disk#1.E01", 100000, UINT64_MAX, "/"},
           ImageFileLocation{"/x/disk.E01", 2, 77, "/s1:i5:/Thumbs.db", 512},
       }) {
    EXPECT_EQ(Parse(FormatEvidenceLocation(odd), {odd.image}), EvidenceLocation(odd))
        << FormatEvidenceLocation(odd);
  }
  // With no image there, the text is a file of that name: opening it fails
  // as a mistyped path does, never inside the wrong image.
  EXPECT_EQ(Parse(text, {}), EvidenceLocation(FileLocation{text}));
  // Of two readings whose images are both there, the first wins.
  EXPECT_EQ(InImage(Parse("/x/a#p1:i2:/b.dd#p0:i5:/T.db", {"/x/a", "/x/a#p1:i2:/b.dd"}))->image,
            "/x/a");

  for (const char* bad : {"disk.raw",
                          "disk.raw#p",
                          "disk.raw#px:i1:/a",
                          "disk.raw#p1:i:/a",
                          "disk.raw#p1:i1:a",
                          "#p1:i1:/a",
                          "disk.raw#p1:i99999999999999999999:/a",
                          "disk.raw#p1000000:i1:/a",
                          "disk.raw#p-1:i1:/a",
                          "disk.raw#p1:i-1:/a",
                          "disk.raw#p1:s0:i5:/a",
                          "disk.raw#p1:s:i5:/a",
                          "disk.raw#p1:s513:i5:/a",
                          "disk.raw#p1:s1:/a",
                          "disk.raw#p1:s1:s2:i5:/a",
                          "disk.raw#p1:s1:o5:T",
                          "disk.raw#o512x",
                          "disk.raw#o",
                          "disk.raw#p1:o5",
                          "disk.raw#p1:o:T"}) {
    EXPECT_EQ(Parse(bad, {"disk.raw", ""}), EvidenceLocation(FileLocation{bad})) << bad;
  }

  // A cache found at an offset: of a file as it lies, or of a partition.
  const OffsetLocation swap{"/c/pagefile.sys", OffsetLocation::kWholeFile, 1048576, ""};
  EXPECT_EQ(FormatEvidenceLocation(swap), "/c/pagefile.sys#o1048576");
  EXPECT_EQ(EvidenceFolderText(swap), "/c/");
  EXPECT_EQ(Parse("/c/pagefile.sys#o1048576", {swap.file}), EvidenceLocation(swap));
  const OffsetLocation free_run{"/x/a#o1#p2.E01", 1, 4333568, "Thumbs.db"};
  EXPECT_EQ(FormatEvidenceLocation(free_run), "/x/a#o1#p2.E01#p1:o4333568:Thumbs.db");
  EXPECT_EQ(EvidenceFolderText(free_run), "/x/a#o1#p2.E01#p1:");
  EXPECT_EQ(Parse(FormatEvidenceLocation(free_run), {free_run.file}), EvidenceLocation(free_run));
  EXPECT_EQ(InImage(EvidenceLocation(free_run)), nullptr);
}

// A real file whose name holds a marker is that file while it exists, even
// beside an image the rest of its name would name: read as a plain cache.
TEST(EvidenceLocation, AFileCalledLikeALocationOpensAsThatFile) {
  testing::TempTree tree;
  tree.File("disk.raw", {1, 2, 3});
  const std::string odd = tree.Path("disk.raw#p1:i5:/Thumbs.db");
  EXPECT_TRUE(InImage(EvidenceLocationOfText(odd)) != nullptr);
  tree.File("disk.raw#p1:i5:/Thumbs.db",
            testing::ReadBytes(testing::CorpusCache("001-oldcode-Thumbs.db")));
  const EvidenceLocation where = EvidenceLocationOfText(odd);
  ASSERT_EQ(where, EvidenceLocation(FileLocation{odd}));
  OpenImages images;
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  const UiTexts texts;
  EXPECT_TRUE(ReadCacheAt(where, images, {list, store, errors, texts}).ok);
  EXPECT_GT(list.size(), 0u);
  EXPECT_EQ(images.size(), 0u);
}

// Fails on the sectors listed; every other read gives the offset's low byte.
class FlakyReader final : public ImageByteSource::Reader {
 public:
  explicit FlakyReader(std::set<uint64_t> bad) : bad_(std::move(bad)) {}
  uint64_t Size() const override { return 8 * kImageSectorSize + 100; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    for (uint64_t s = offset / kImageSectorSize; s <= (offset + out.size() - 1) / kImageSectorSize;
         ++s) {
      if (bad_.count(s) > 0) return false;
    }
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(offset + i);
    return true;
  }

 private:
  std::set<uint64_t> bad_;
};

TEST(ImageByteSource, ReadsBadSectorsAsZerosCountsThemAndGoesOn) {
  ImageByteSource source(std::make_unique<FlakyReader>(std::set<uint64_t>{2, 5}));
  std::vector<uint8_t> all(source.Size() + 50, 0xEE);
  const auto got = source.ReadAt(0, all);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, source.Size());  // cut at the end, no more
  EXPECT_EQ(source.unreadable_sectors(), 2u);
  EXPECT_EQ(source.first_unreadable_offset(), 2u * kImageSectorSize);
  for (size_t i = 0; i < *got; ++i) {
    const uint64_t sector = i / kImageSectorSize;
    const uint8_t want = sector == 2 || sector == 5 ? 0 : static_cast<uint8_t>(i);
    ASSERT_EQ(all[i], want) << i;
  }
  // A bad sector read again is not counted again.
  std::vector<uint8_t> piece(10);
  ASSERT_TRUE(source.ReadAt(5 * kImageSectorSize + 3, piece));
  EXPECT_EQ(piece, std::vector<uint8_t>(10, 0));
  ASSERT_TRUE(source.ReadAt(0, all));
  EXPECT_EQ(source.unreadable_sectors(), 2u);
  // Past the end: nothing, and no failure.
  EXPECT_EQ(*source.ReadAt(source.Size(), piece), 0u);
}

TEST(ImageByteSource, CountsEachSectorOfAnUnreadableStretchOnce) {
  std::set<uint64_t> bad;
  for (uint64_t s = 1; s < 7; ++s) bad.insert(s);
  ImageByteSource source(std::make_unique<FlakyReader>(bad));
  std::vector<uint8_t> piece(kImageSectorSize);
  // Out of order, with repeats: 4, 2, 6, 3, 1, 5 and again.
  for (int round = 0; round < 2; ++round) {
    for (uint64_t s : {4, 2, 6, 3, 1, 5}) ASSERT_TRUE(source.ReadAt(s * kImageSectorSize, piece));
  }
  EXPECT_EQ(source.unreadable_sectors(), 6u);
  EXPECT_EQ(source.first_unreadable_offset(), kImageSectorSize);
}

TEST(RunsByteSource, JoinsStretchesAndMapsEachByteBack) {
  std::vector<uint8_t> disk(1000);
  for (size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<uint8_t>(i * 7);
  MemoryByteSource bytes(disk);
  RunsByteSource stream(bytes, {{0, 100, 50}, {50, 300, 10}, {60, 900, 100}});
  EXPECT_EQ(stream.Size(), 160u);
  std::vector<uint8_t> out(200);
  const auto got = stream.ReadAt(40, out);
  ASSERT_TRUE(got);
  ASSERT_EQ(*got, 120u);
  for (size_t i = 0; i < *got; ++i) {
    const uint64_t s = 40 + i;
    const uint64_t image = s < 50 ? 100 + s : s < 60 ? 300 + s - 50 : 900 + s - 60;
    ASSERT_EQ(out[i], disk[image]) << s;
  }
  const auto pieces = stream.ImageRunsOf(45, 20);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].image_offset, 145u);
  EXPECT_EQ(pieces[0].length, 5u);
  EXPECT_EQ(pieces[1].stream_offset, 5u);
  EXPECT_EQ(pieces[1].image_offset, 300u);
  EXPECT_EQ(pieces[1].length, 10u);
  EXPECT_EQ(pieces[2].image_offset, 900u);
  EXPECT_EQ(pieces[2].length, 5u);
  EXPECT_TRUE(stream.ImageRunsOf(160, 5).empty());
}

TEST(ClassifyFoundFile, ListsTheNamesTheFolderSearchLists) {
  using K = FoundFileKind;
  EXPECT_EQ(ClassifyFoundFile("/Pics/", "Thumbs.db"), K::kThumbsDb);
  EXPECT_EQ(ClassifyFoundFile("/Pics/", "THUMBS.DB"), K::kThumbsDb);
  EXPECT_EQ(ClassifyFoundFile("/Pics/", "Thumbs.db.bak"), K::kNone);
  EXPECT_EQ(ClassifyFoundFile("/x/Explorer/", "thumbcache_256.db"), K::kThumbcache);
  EXPECT_EQ(ClassifyFoundFile("/x/Explorer/", "thumbcache_idx.db"), K::kNone);
  EXPECT_EQ(ClassifyFoundFile("/RECYCLER/S-1-5/", "INFO2"), K::kRecycleIndex);
  EXPECT_EQ(ClassifyFoundFile("/Docs/", "INFO2"), K::kNone);
  EXPECT_EQ(ClassifyFoundFile("/Recycled/", "dc12.DB"), K::kRecycledCache);
  EXPECT_EQ(ClassifyFoundFile("/Docs/", "Dc12.db"), K::kNone);
  EXPECT_EQ(ClassifyFoundFile("/$Recycle.Bin/S-1-5-21/", "$IAB12CD.db"), K::kRecycleInfo);
  EXPECT_EQ(ClassifyFoundFile("/$RECYCLE.BIN/S-1-5-21/", "$RAB12CD.db"), K::kRecycledData);
  EXPECT_EQ(ClassifyFoundFile("/Docs/", "$RAB12CD.db"), K::kNone);
}

TEST(Dfxml, EscapesEveryNameIntoWellFormedXml) {
  EXPECT_EQ(XmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  // Not UTF-8, a control character, an overlong slash, a surrogate.
  EXPECT_EQ(
      XmlEscape(std::string("x\xFFy\x01z\xC0\xAF\xED\xA0\x80", 10)),
      "x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(XmlEscape("Ünïcode\tok"), "Ünïcode\tok");

  DfxmlRun run;
  run.version = "1.2";
  run.command_line = "glintvane-cli carve --dfxml out.xml 'a&b.E01'";
  run.kind = "carve";
  run.source = "a&b.E01";
  run.source_size = 4096;
  DfxmlFileObject object;
  object.filename = "1.jpg";
  object.filesize = 300;
  object.byte_runs = {{0, 1000, 200}, {200, 5000, 100}};
  object.digests = {"m", "s1", "s256"};
  const std::string xml = BuildDfxml(run, {object});
  EXPECT_NE(xml.find("<command_line>glintvane-cli carve --dfxml out.xml &apos;a&amp;b.E01&apos;"),
            std::string::npos);
  EXPECT_NE(xml.find("<byte_run offset='200' img_offset='5000' len='100'/>"), std::string::npos);
  EXPECT_NE(xml.find("<hashdigest type='sha256'>s256</hashdigest>"), std::string::npos);
  EXPECT_NE(xml.find("<image_size>4096</image_size>"), std::string::npos);
  EXPECT_EQ(xml.rfind("</dfxml>\n"), xml.size() - 9);
}

TEST(RawSegmentPaths, FollowsNumberedPiecesUntilTheFirstGap) {
  testing::TempTree tree;
  for (const char* name : {"d.001", "d.002", "d.003", "d.005", "e.raw"}) tree.File(name, {1});
  const auto pieces = RawSegmentPaths(tree.Path("d.001"));
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[2], tree.Path("d.003"));
  EXPECT_EQ(RawSegmentPaths(tree.Path("e.raw")).size(), 1u);
  EXPECT_EQ(RawSegmentPaths(tree.Path("d.002")).size(), 1u);  // a middle piece is itself only
  // The gap is named; a run with nothing after it has none.
  EXPECT_EQ(MissingRawSegment(pieces), "d.004");
  tree.File("e.001", {1});
  tree.File("e.002", {1});
  EXPECT_EQ(MissingRawSegment(RawSegmentPaths(tree.Path("e.001"))), "");
  EXPECT_EQ(MissingRawSegment({tree.Path("d.003")}), "");  // not the start of a split image
}

}  // namespace
}  // namespace glintvane
