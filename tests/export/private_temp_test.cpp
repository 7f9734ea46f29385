#include "export/private_temp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/export/export_fixture.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;
using testing::FakeImage;
using testing::ReadBytes;
using testing::ScratchFolder;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

TEST(PrivateTempFolder, IsOursAndRefusesPlantedNames) {
  ScratchFolder scratch;
  const std::string mine = scratch.path() + "glintvane-" + std::to_string(geteuid());

  auto folder = PrivateTempFolderUnder(scratch.path());
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, mine + "/");
  EXPECT_TRUE(S_ISDIR(ModeOf(mine)));
  EXPECT_EQ(ModeOf(mine) & 0777, 0700u);
  EXPECT_EQ(PrivateTempFolderUnder(scratch.path()).value(), mine + "/");  // used again

  // Someone plants a link under our name, pointing at a folder of theirs.
  fs::remove(mine);
  const std::string theirs = scratch.Sub("theirs");
  fs::create_directory_symlink(theirs, mine);
  auto instead = PrivateTempFolderUnder(scratch.path());
  ASSERT_TRUE(instead);
  EXPECT_NE(*instead, mine + "/");
  EXPECT_FALSE(S_ISLNK(ModeOf(instead->substr(0, instead->size() - 1))));
  EXPECT_EQ(ModeOf(*instead) & 0777, 0700u);

  // An open folder under our name is not used either.
  fs::remove(mine);
  fs::create_directory(mine);
  chmod(mine.c_str(), 0777);
  auto other = PrivateTempFolderUnder(scratch.path());
  ASSERT_TRUE(other);
  EXPECT_NE(*other, mine + "/");
  EXPECT_NE(*other, *instead);
}

TEST(PrivateTempFolder, ViewingCopyReplacesALinkInsteadOfFollowingIt) {
  ScratchFolder scratch;
  const std::string folder = PrivateTempFolderUnder(scratch.path()).value();
  const std::string victim = scratch.path() + "victim.txt";
  testing::WriteBytes(victim, {'k', 'e', 'e', 'p'});

  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  UiTexts texts;
  testing::AddStoreRow(list, store, "1", "C:\\x\\photo.jpg", FakeImage(1));
  fs::create_symlink(victim, folder + "photo_thmb.jpg");

  const ViewingCopy copy = WriteViewingCopy(list, store, list[0], folder, errors);
  ASSERT_TRUE(copy.ok);
  EXPECT_EQ(copy.path, folder + "photo_thmb.jpg");
  EXPECT_FALSE(S_ISLNK(ModeOf(copy.path)));
  EXPECT_EQ(ModeOf(copy.path) & 0777, 0600u);
  EXPECT_EQ(ReadBytes(copy.path), FakeImage(1));
  EXPECT_EQ(ReadBytes(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));

  // A second view of the same row replaces the first copy.
  store.Clear();
  list[0].start = store.Append(FakeImage(2));
  ASSERT_TRUE(WriteViewingCopy(list, store, list[0], folder, errors).ok);
  EXPECT_EQ(ReadBytes(copy.path), FakeImage(2));
  EXPECT_TRUE(errors.empty());
}

TEST(Extraction, OutputLinkIsRefusedNotFollowed) {
  ScratchFolder scratch;
  const std::string victim = scratch.path() + "victim.txt";
  testing::WriteBytes(victim, {'k'});
  const std::string out = scratch.Sub("out");
  fs::create_symlink(victim, out + "a_thmb.jpg");
  // The link is replaced by the output, never written through.
  const WriteOutcome write = WriteBytesFile(out + "a_thmb.jpg", FakeImage(1));
  EXPECT_TRUE(write.ok);
  EXPECT_FALSE(fs::is_symlink(out + "a_thmb.jpg"));
  EXPECT_EQ(ReadBytes(out + "a_thmb.jpg"), FakeImage(1));
  EXPECT_EQ(ReadBytes(victim), std::vector<uint8_t>{'k'});
}

}  // namespace
}  // namespace glintvane
