#include "export/extract_name.h"

#include <gtest/gtest.h>

namespace glintvane {
namespace {

ThumbnailRow Row(std::string key, std::string name) {
  ThumbnailRow row;
  row.key = std::move(key);
  row.name = std::move(name);
  row.kind = ImageKind::kJfif;
  return row;
}

TEST(MakeExtractName, KeepsTheStemOfTheFilePart) {
  EXPECT_EQ(MakeExtractName(Row("1", "IMG_0001.JPG"), "/d/"), "/d/IMG_0001_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("1", "C:\\Photos\\beach.png"), "/d/"), "/d/beach_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("1", "D:\\pics\\x.bmp"), "/d/"), "/d/x_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("1", "README"), "/d/"), "/d/README_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("1", "archive.tar.gz"), "/d/"), "/d/archive.tar_thmb.jpg");

  ThumbnailRow carved = Row("7", "");
  carved.carved = true;
  EXPECT_EQ(MakeExtractName(carved, "/d/"), "/d/7_thmb.jpg");

  ThumbnailRow png = Row("3", "shot.bmp");
  png.kind = ImageKind::kPng;
  EXPECT_EQ(MakeExtractName(png, "/d/"), "/d/shot_thmb.png");
}

TEST(MakeExtractName, HostileNamesStayInTheFolder) {
  EXPECT_EQ(MakeExtractName(Row("1", "../../x"), "/d/"), "/d/x_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("2", "/etc/passwd"), "/d/"), "/d/passwd_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("3", "a\\..\\b"), "/d/"), "/d/b_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("4", "<script>"), "/d/"), "/d/<script>_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("5", "'"), "/d/"), "/d/'_thmb.jpg");
  // Nothing usable: the number names the file.
  for (const char* name : {"", ".", "..", "\\", "a\\", "C:", "x/..", "...", ".jpg", " . "}) {
    EXPECT_EQ(MakeExtractName(Row("42", name), "/d/"), "/d/42_thmb.jpg") << "name " << name;
  }
  EXPECT_EQ(MakeExtractName(Row("6",
                                "bad\x01\n\x7F"
                                "name.jpg"),
                            "/d/"),
            "/d/bad___name_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("6", "c1\xC2\x85.jpg"), "/d/"), "/d/c1__thmb.jpg");
  // A hostile key (a thumbnail stream named to climb out) is cleaned too.
  EXPECT_EQ(MakeExtractName(Row("../..", ""), "/d/"), "/d/thumbnail_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("..\\evil", "."), "/d/"), "/d/evil_thmb.jpg");
}

TEST(MakeExtractName, LongNamesAreCutOnACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 150; ++i) name += "\xC3\xA9";  // é, 300 bytes
  const std::string stem = ExtractStem(Row("1", name + ".jpg"));
  EXPECT_LE(stem.size(), kMaxStemBytes);
  EXPECT_EQ(stem.size() % 2, 0u);  // no é cut in half
  EXPECT_EQ(stem, name.substr(0, stem.size()));
}

TEST(ExtractNamer, NumbersRepeatedNamesIgnoringCase) {
  ExtractNamer namer("/d/");
  EXPECT_EQ(namer.Next(Row("1", "a.jpg")), "/d/a_thmb.jpg");
  EXPECT_EQ(namer.Next(Row("2", "a.png")), "/d/a_thmb_2.jpg");
  EXPECT_EQ(namer.Next(Row("3", "A.gif")), "/d/A_thmb_3.jpg");
  EXPECT_EQ(namer.Next(Row("4", "x\\a.bmp")), "/d/a_thmb_4.jpg");
  ThumbnailRow png = Row("5", "a.tif");
  png.kind = ImageKind::kPng;
  EXPECT_EQ(namer.Next(png), "/d/a_thmb.png");  // another extension: no clash
  EXPECT_EQ(namer.Next(Row("6", "b.jpg")), "/d/b_thmb.jpg");
}

}  // namespace
}  // namespace glintvane

namespace glintvane {
namespace {

TEST(ExtractNamer, FoldsCaseAsTheDestinationMayAndHidesBidiControls) {
  ExtractNamer namer("/d/");
  EXPECT_EQ(namer.Next(Row("1", "\xC3\x89.jpg")), "/d/\xC3\x89_thmb.jpg");    // É
  EXPECT_EQ(namer.Next(Row("2", "\xC3\xA9.jpg")), "/d/\xC3\xA9_thmb_2.jpg");  // é
  EXPECT_EQ(namer.Next(Row("3", "\xCE\xA3.jpg")), "/d/\xCE\xA3_thmb.jpg");    // Σ
  EXPECT_EQ(namer.Next(Row("4", "\xCF\x82.jpg")), "/d/\xCF\x82_thmb_2.jpg");  // final ς
  EXPECT_EQ(namer.Next(Row("5",
                           "stra\xC3\x9F"
                           "e.jpg")),
            "/d/stra\xC3\x9F"
            "e_thmb.jpg");
  EXPECT_EQ(namer.Next(Row("6", "STRASSE.jpg")), "/d/STRASSE_thmb_2.jpg");
  EXPECT_EQ(FoldCase("\xF0\x90\x90\x80"), "\xF0\x90\x90\xA8");  // Deseret, four bytes
  EXPECT_EQ(FoldCase("A\xFF\xC3"), "a\xFF\xC3");                // not UTF-8: kept

  // "photo<RLO>gpj.exe" would show as "photoexe.jpg".
  EXPECT_EQ(MakeExtractName(Row("7", "photo\xE2\x80\xAEgpj.exe"), "/d/"), "/d/photo_gpj_thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("8",
                                "a\xE2\x81\xA6"
                                "b\xE2\x81\xA9.jpg"),
                            "/d/"),
            "/d/a_b__thmb.jpg");
  EXPECT_EQ(MakeExtractName(Row("9", "\xE2\x80\xA9.jpg"), "/d/"), "/d/__thmb.jpg");  // U+2029
}

TEST(ExtractNamer, ManyEqualNamesStayLinearAndFallBackToTheNumber) {
  // 40,000 rows of one name: each must not count up from "_2" again.
  ExtractNamer namer("/d/");
  std::string last;
  for (int i = 0; i < 40000; ++i) last = namer.Next(Row(std::to_string(i), "same.jpg"));
  EXPECT_EQ(last, "/d/same_thmb_40000.jpg");
  ExtractNamer mixed("/d/");
  EXPECT_EQ(mixed.Next(Row("1", "a.jpg")), "/d/a_thmb.jpg");
  EXPECT_EQ(mixed.Next(Row("2", "a_thmb_2.jpg")), "/d/a_thmb_2_thmb.jpg");
  EXPECT_EQ(mixed.Next(Row("3", "A.JPG")), "/d/A_thmb_2.jpg");
  EXPECT_EQ(mixed.Next(Row("4", "a.jpg")), "/d/a_thmb_3.jpg");
  // Refused names fall back to the number, or "thumbnail" for a strange key.
  EXPECT_EQ(mixed.Fallback(Row("17", "a?b.jpg")), "/d/17_thmb.jpg");
  EXPECT_EQ(mixed.Fallback(Row("a?b", "")), "/d/thumbnail_thmb.jpg");
  EXPECT_EQ(mixed.Fallback(Row("x/y", "")), "/d/thumbnail_thmb_2.jpg");
}

}  // namespace
}  // namespace glintvane
