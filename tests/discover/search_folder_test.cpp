#include "discover/search_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>

#include "discover/recycle_bin.h"
#include "tests/discover/discover_fixtures.h"

namespace glintvane {
namespace {

using testing::CompoundBytes;
using testing::IndexRecordSpec;
using testing::TempTree;

constexpr int64_t kMarch9th2007 = 1173449107;  // 9 March 2007 14:05:07 UTC

uint64_t FileTimeOf(int64_t unix_seconds) {
  return static_cast<uint64_t>(unix_seconds + 11644473600) * 10000000ULL;
}

void SetModified(const std::string& path, int64_t unix_seconds) {
  const timespec times[2] = {{unix_seconds, 0}, {unix_seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

class Recorder final : public FoundCacheSink, public SearchProgressSink {
 public:
  void OnCacheFound(const CacheFileRecord& record, size_t row) override {
    EXPECT_EQ(row, paths.size());
    paths.push_back(record.path);
  }
  void OnFolder(uint64_t folder_count, std::string_view name) override {
    EXPECT_EQ(folder_count, counts.size() + 1);
    counts.push_back(folder_count);
    names.insert(std::string(name));
  }
  std::vector<std::string> paths;
  std::vector<uint64_t> counts;
  std::set<std::string> names;
};

class SearchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  TempTree tree_;
};

std::vector<std::string> Paths(const FoundCacheList& list) {
  std::vector<std::string> out;
  for (const auto& r : list.rows()) out.push_back(r.path);
  return out;
}

TEST_F(SearchFolderTest, FindsEveryCacheSpellingAtEveryDepthOnce) {
  tree_.File("Thumbs.db", std::vector<uint8_t>(1234, 1));
  tree_.File("a/thumbs.db");
  tree_.File("a/other.txt");
  tree_.File("a/b/THUMBS.DB");
  tree_.File("a/b/Thumbs.db.bak");
  tree_.File("a/b/c/Thumbs.db/Thumbs.db");  // a folder named like a cache is entered
  SetModified(tree_.Path("Thumbs.db"), kMarch9th2007);

  FoundCacheList list;
  Recorder recorder;
  SearchOptions options;
  options.rows = &recorder;
  options.progress = &recorder;
  const SearchOutcome outcome = SearchFolder(list, tree_.root() + "/", options);
  ASSERT_TRUE(outcome.root_listed);
  EXPECT_EQ(outcome.root, tree_.root());
  EXPECT_EQ(outcome.folders, 4u);
  EXPECT_EQ(recorder.names, (std::set<std::string>{"a", "b", "c", "Thumbs.db"}));
  EXPECT_EQ(recorder.paths, Paths(list));

  auto paths = Paths(list);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{tree_.Path("Thumbs.db"), tree_.Path("a/b/THUMBS.DB"),
                                             tree_.Path("a/b/c/Thumbs.db/Thumbs.db"),
                                             tree_.Path("a/thumbs.db")}));
  const auto top = list.IndexOfPath(tree_.Path("Thumbs.db"));
  ASSERT_GE(top, 0);
  EXPECT_EQ(list[top].name, "Thumbs.db");
  EXPECT_EQ(list[top].located, tree_.root() + "/");
  EXPECT_EQ(list[top].size, 1234);
  EXPECT_EQ(list[top].modified, "9.3.2007 14:5:7");
  EXPECT_FALSE(list[top].recycled);
  const auto deep = list.IndexOfPath(tree_.Path("a/b/THUMBS.DB"));
  ASSERT_GE(deep, 0);
  EXPECT_EQ(list[deep].name, "THUMBS.DB");
  EXPECT_EQ(list[deep].located, tree_.Path("a/b/"));

  // The same root again, spelled another way: nothing new.
  options = {};
  const SearchOutcome again = SearchFolder(list, tree_.root() + "/./a/..", options);
  EXPECT_EQ(again.rows_added, 0u);
  EXPECT_EQ(list.size(), 4u);
}

TEST_F(SearchFolderTest, RootPathsAreAbsoluteWithSingleSeparators) {
  EXPECT_EQ(SearchRootPath("/"), "/");
  EXPECT_EQ(SearchRootPath("//"), "/");
  EXPECT_EQ(SearchRootPath("/.."), "/");
  EXPECT_EQ(SearchRootPath("//mnt/./c/../d/"), "/mnt/d");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(SearchRootPath("x/y"), std::string(cwd == std::string("/") ? "" : cwd) + "/x/y");
  EXPECT_EQ(FoundFileTimeText(kMarch9th2007), "9.3.2007 14:5:7");
  EXPECT_EQ(FoundFileTimeText(-11644473600), "1.1.1601 0:0:0");

  FoundCacheList list;
  const SearchOutcome missing = SearchFolder(list, tree_.Path("missing"));
  EXPECT_FALSE(missing.root_listed);
  EXPECT_NE(missing.root_error.error_number, 0);
}

TEST_F(SearchFolderTest, LinksAreFollowedOnceAndBrokenOnesSkipped) {
  tree_.File("a/Thumbs.db");
  tree_.Link("a/up", "..");      // a cycle through the root
  tree_.Link("a/self", ".");     // a cycle of one
  tree_.Link("b/to_a", "../a");  // a second way into a
  tree_.Link("b/nowhere", "../missing");
  tree_.Link("b/Thumbs.db", "../a/Thumbs.db");  // a link to a cache is a cache
  FoundCacheList list;
  SearchOptions options;
  options.follow_links = true;
  const SearchOutcome outcome = SearchFolder(list, tree_.root(), options);
  ASSERT_TRUE(outcome.root_listed);
  // a and b, plus the three links met as folders; the broken link leads to
  // nothing at all.
  EXPECT_EQ(outcome.folders, 5u);
  EXPECT_EQ(outcome.repeated_folders, 3u);
  EXPECT_EQ(outcome.unreadable_folders, 0u);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_GE(list.IndexOfPath(tree_.Path("b/Thumbs.db")), 0);
}

TEST_F(SearchFolderTest, WideTreesEnterEveryFolderOnceHoweverManyLinksLeadBack) {
  // Enough folders for the record of entered folders to grow, each with a
  // link back to the root, which is entered first.
  constexpr int kFolders = 600;
  for (int i = 0; i < kFolders; ++i) tree_.Link("f" + std::to_string(i) + "/up", "..");
  tree_.File("f0/Thumbs.db");
  FoundCacheList list;
  SearchOptions options;
  options.follow_links = true;
  const SearchOutcome outcome = SearchFolder(list, tree_.root(), options);
  EXPECT_EQ(outcome.folders, 2u * kFolders);
  EXPECT_EQ(outcome.repeated_folders, 1u * kFolders);
  EXPECT_EQ(list.size(), 1u);
}

TEST_F(SearchFolderTest, DeepTreesAreWalkedPastTheHeldDescriptors) {
  // Past 128 levels the walk lets go of the folders' descriptors and takes
  // them back through "..".
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += (i % 2 != 0 ? "D/" : "d/");
  tree_.File(deep + "thumbs.DB");
  tree_.File(deep.substr(0, 2 * 150) + "Thumbs.db");
  FoundCacheList list;
  const SearchOutcome outcome = SearchFolder(list, tree_.root());
  EXPECT_EQ(outcome.folders, 200u);
  EXPECT_EQ(outcome.unreadable_folders, 0u);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_GE(list.IndexOfPath(tree_.Path(deep + "thumbs.DB")), 0);
  EXPECT_EQ(list[list.IndexOfPath(tree_.Path(deep + "thumbs.DB"))].located, tree_.Path(deep));
}

TEST_F(SearchFolderTest, UnreadableFoldersAndFilesAreCountedOrListedEmpty) {
  // A cache that cannot be opened is still listed, without size and time.
  FoundCacheList list;
  ASSERT_TRUE(AddCacheFile(list, tree_.Path("gone/Thumbs.db")));
  EXPECT_FALSE(list[0].size.has_value());
  EXPECT_EQ(list[0].modified, "");
  EXPECT_EQ(list[0].located, tree_.Path("gone/"));
  EXPECT_FALSE(AddCacheFile(list, tree_.Path("gone/Thumbs.db")));

  // A FIFO carrying the name must not block the walk.
  tree_.Folder("f");
  ASSERT_EQ(mkfifo(tree_.Path("f/Thumbs.db").c_str(), 0600), 0);
  tree_.File("locked/Thumbs.db");
  tree_.File("plain/Thumbs.db");
  const bool privileged = geteuid() == 0;  // permissions do not stop root
  if (!privileged) {
    chmod(tree_.Path("plain/Thumbs.db").c_str(), 0);
    chmod(tree_.Path("locked").c_str(), 0);
  }
  FoundCacheList walked;
  const SearchOutcome outcome = SearchFolder(walked, tree_.root());
  if (!privileged) chmod(tree_.Path("locked").c_str(), 0700);
  EXPECT_EQ(outcome.folders, 3u);
  EXPECT_EQ(walked.IndexOfPath(tree_.Path("f/Thumbs.db")), -1);
  const auto plain = walked.IndexOfPath(tree_.Path("plain/Thumbs.db"));
  ASSERT_GE(plain, 0);
  if (!privileged) {
    EXPECT_EQ(outcome.unreadable_folders, 1u);
    EXPECT_EQ(walked.size(), 1u);
    EXPECT_FALSE(walked[plain].size.has_value());
  } else {
    EXPECT_EQ(walked.size(), 2u);
  }
}

TEST_F(SearchFolderTest, RecycledCachesFromTheIndexAndByName) {
  const std::string bin = "RECYCLER/S-1-5-21-1";
  const uint64_t deleted = FileTimeOf(kMarch9th2007 + 3600);
  const auto index = testing::MakeIndex(
      800, {
               {"C:\\Docs\\a.jpg", u"C:\\Docs\\a.jpg", 1},                      // not a cache
               {"C:\\Docs\\Thumbs.db", u"C:\\Docs\\Thumbs.db", 2, 2, deleted},  // on disk as dc2.db
               {"D:\\x\\thumbs.db", u"D:\\x\\thumbs.db", 3, 3},                 // emptied
               {"C:\\y\\Thumbs.db", u"C:\\y\\Thumbs.db", 4},                    // not compound
           });
  tree_.File(bin + "/INFO2", index);
  tree_.File(bin + "/DC1.jpg", CompoundBytes());
  tree_.File(bin + "/dc2.db", CompoundBytes());
  tree_.File(bin + "/DC4.db", std::vector<uint8_t>(600, 7));
  tree_.File(bin + "/DC7.db", CompoundBytes());  // its record is gone
  tree_.File(bin + "/Dc8.db", std::vector<uint8_t>(600, 7));
  tree_.File(bin + "/Dc9/Thumbs.db", CompoundBytes());  // a recycled folder
  SetModified(tree_.Path(bin + "/dc2.db"), kMarch9th2007);
  // The same index and files outside a recycle bin are not read.
  tree_.File("Data/INFO2", index);
  tree_.File("Data/DC2.db", CompoundBytes());
  tree_.File("Data/DC7.db", CompoundBytes());

  FoundCacheList list;
  SearchOptions options;
  options.date_time_format = "%Y-%m-%d %H:%M:%S";
  SearchFolder(list, tree_.root(), options);
  ASSERT_EQ(list.size(), 3u) << ::testing::PrintToString(Paths(list));

  const auto named = list.IndexOfPath(tree_.Path(bin + "/dc2.db"));
  const auto orphan = list.IndexOfPath(tree_.Path(bin + "/DC7.db"));
  ASSERT_GE(named, 0);
  ASSERT_GE(orphan, 0);
  EXPECT_LT(named, orphan);  // the index names its files before they are met by name
  EXPECT_GE(list.IndexOfPath(tree_.Path(bin + "/Dc9/Thumbs.db")), 0);

  const CacheFileRecord& row = list[named];
  EXPECT_EQ(row.name, "C:\\Docs\\Thumbs.db");
  EXPECT_EQ(row.located, tree_.Path(bin + "/"));
  EXPECT_EQ(row.size, 512);
  EXPECT_EQ(row.modified, "9.3.2007 14:5:7 - 2007-03-09 15:05:07");
  EXPECT_EQ(row.deleted, "2007-03-09 15:05:07");
  EXPECT_EQ(row.deleted_utc, "2007-03-09T15:05:07Z");
  EXPECT_TRUE(row.recycled);

  EXPECT_EQ(list[orphan].name, "DC7.db");
  EXPECT_TRUE(list[orphan].recycled);
  EXPECT_EQ(list[orphan].deleted, "");
}

// The audit's walk: links out of the evidence, and trees deeper and longer
// than any path the system opens whole.
TEST_F(SearchFolderTest, LinksStayUnfollowedUnlessAskedAndNeverLeadOut) {
  TempTree outside;
  outside.File("Thumbs.db", CompoundBytes());
  outside.File("elsewhere/Thumbs.db", CompoundBytes());
  tree_.File("ev/Thumbs.db", CompoundBytes());
  tree_.File("ev/sub/Thumbs.db", CompoundBytes());
  tree_.Link("ev/to_machine", outside.root());  // as a link to "/" would
  tree_.Link("ev/out/Thumbs.db", outside.Path("Thumbs.db"));
  tree_.Link("ev/in", "sub");
  tree_.Link("ev/in_file/Thumbs.db", "../sub/Thumbs.db");

  FoundCacheList plain;
  const SearchOutcome unfollowed = SearchFolder(plain, tree_.Path("ev"));
  EXPECT_EQ(Paths(plain).size(), 2u) << ::testing::PrintToString(Paths(plain));
  EXPECT_EQ(unfollowed.links_not_followed, 4u);
  EXPECT_EQ(unfollowed.folders, 3u);  // sub, out, in_file

  FoundCacheList followed;
  SearchOptions options;
  options.follow_links = true;
  const SearchOutcome outcome = SearchFolder(followed, tree_.Path("ev"), options);
  const auto paths = Paths(followed);
  EXPECT_EQ(paths.size(), 3u) << ::testing::PrintToString(paths);
  EXPECT_GE(followed.IndexOfPath(tree_.Path("ev/in_file/Thumbs.db")), 0);
  for (const std::string& path : paths) EXPECT_EQ(path.find(outside.root()), std::string::npos);
  EXPECT_EQ(outcome.links_not_followed, 2u);  // to_machine, out/Thumbs.db
}

// Makes `levels` nested folders named `name` below `top` (by descriptors:
// the whole path is longer than the system opens) and a Thumbs.db of
// `size` bytes at the bottom.
void MakeChain(const std::string& top, const std::string& name, int levels, size_t size) {
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < levels; ++i) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0700), 0);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    ASSERT_GE(fd, 0);
  }
  const int file = openat(fd, "Thumbs.db", O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(file, 0);
  const std::vector<char> bytes(size, 'x');
  ASSERT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(file);
  close(fd);
}

// Cuts a chain made by MakeChain into pieces moved up to `top`, so that the
// tree's own removal never meets a path too long to open.
void CutChain(const std::string& top, const std::string& name, int piece) {
  const int top_fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(top_fd, 0);
  int fd = dup(top_fd);
  for (int cut = 0; fd >= 0; ++cut) {
    for (int i = 0; i < piece && fd >= 0; ++i) {
      const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      if (next < 0) break;
      close(fd);
      fd = next;
    }
    const std::string moved = "cut" + std::to_string(cut);
    if (renameat(fd, name.c_str(), top_fd, moved.c_str()) != 0) break;
    close(fd);
    fd = openat(top_fd, moved.c_str(), O_RDONLY | O_DIRECTORY);
  }
  if (fd >= 0) close(fd);
  close(top_fd);
}

TEST_F(SearchFolderTest, CachesDeeperAndLongerThanAPathAreFoundWithTheirSize) {
  tree_.Folder("deep");
  tree_.Folder("long");
  MakeChain(tree_.Path("deep"), "d", 2500, 1234);
  const std::string long_name(245, 'n');
  MakeChain(tree_.Path("long"), long_name, 20, 4321);  // 4,900 bytes below "long"
  FoundCacheList list;
  std::string deep = tree_.Path("deep");
  for (int i = 0; i < 2500; ++i) deep += "/d";
  std::string longer = tree_.Path("long");
  for (int i = 0; i < 20; ++i) longer += "/" + long_name;
  const SearchOutcome outcome = SearchFolder(list, tree_.root());
  CutChain(tree_.Path("deep"), "d", 300);
  CutChain(tree_.Path("long"), long_name, 8);
  EXPECT_EQ(outcome.folders, 2522u);
  EXPECT_EQ(outcome.unreadable_folders, 0u);
  ASSERT_EQ(list.size(), 2u);
  const auto at_depth = list.IndexOfPath(deep + "/Thumbs.db");
  const auto at_length = list.IndexOfPath(longer + "/Thumbs.db");
  ASSERT_GE(at_depth, 0);
  ASSERT_GE(at_length, 0);
  EXPECT_EQ(list[at_depth].size, 1234);
  EXPECT_EQ(list[at_length].size, 4321);
  EXPECT_FALSE(list[at_length].modified_utc.empty());
}

// Removes a folder as the walk is about to enter it: what a folder without
// access (or one deleted meanwhile) is to the walk, even for root.
class Vanisher final : public SearchProgressSink {
 public:
  explicit Vanisher(std::string path) : path_(std::move(path)) {}
  void OnFolder(uint64_t, std::string_view name) override {
    if (name == "gone") std::filesystem::remove_all(path_);
  }

 private:
  std::string path_;
};

TEST_F(SearchFolderTest, AFolderThatCannotBeEnteredIsCounted) {
  tree_.File("a/gone/Thumbs.db");
  tree_.File("a/kept/Thumbs.db");
  Vanisher vanisher(tree_.Path("a/gone"));
  SearchOptions options;
  options.progress = &vanisher;
  FoundCacheList list;
  const SearchOutcome outcome = SearchFolder(list, tree_.root(), options);
  EXPECT_EQ(outcome.unreadable_folders, 1u);
  EXPECT_EQ(list.size(), 1u);
}

// Deep below the held descriptors, a followed link leads sideways: coming
// back, ".." is not the folder the walk came from, and the walk finds its
// way again by name.
TEST_F(SearchFolderTest, AFollowedLinkDeepDownStillComesBackToItsFolder) {
  std::string deep;
  for (int i = 0; i < 140; ++i) deep += "b/";
  tree_.File(deep + "e/y/Thumbs.db", CompoundBytes());
  tree_.File(deep + "b/b/zz/Thumbs.db", CompoundBytes());
  tree_.Link(deep + "b/b/L", "../../e");
  SearchOptions options;
  options.follow_links = true;
  FoundCacheList list;
  const SearchOutcome outcome = SearchFolder(list, tree_.root(), options);
  EXPECT_EQ(outcome.unreadable_folders, 0u);
  EXPECT_EQ(list.size(), 2u) << ::testing::PrintToString(Paths(list));
  EXPECT_GE(list.IndexOfPath(tree_.Path(deep + "b/b/zz/Thumbs.db")), 0);
}

TEST_F(SearchFolderTest, StopTokenEndsTheWalkKeepingRowsFound) {
  tree_.File("a/Thumbs.db");
  tree_.File("b/Thumbs.db");
  tree_.File("c/Thumbs.db");
  // Stops as soon as the first row is listed.
  struct StopOnRow final : FoundCacheSink {
    void OnCacheFound(const CacheFileRecord&, size_t) override { source.request_stop(); }
    std::stop_source source;
  } stop;
  FoundCacheList list;
  SearchOptions options;
  options.rows = &stop;
  options.stop = stop.source.get_token();
  const SearchOutcome outcome = SearchFolder(list, tree_.root(), options);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(outcome.rows_added, 1u);
}

}  // namespace
}  // namespace glintvane
