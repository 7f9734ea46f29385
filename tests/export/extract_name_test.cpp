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
