// The Volume Shadow Copy stores of the public NTFS test volume: listed as
// vshadowinfo lists them, walked as fls walks each store, opened through
// their locations, and a damaged store named while the others are read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/error_codes.h"
#include "evidence/evidence_file.h"
#include "evidence/evidence_open.h"
#include "evidence/evidence_search.h"
#include "evidence/shadow_copies.h"
#include "tests/cli/cli_runner.h"
#include "tests/discover/discover_fixtures.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;

// Where the test volume's catalog puts the store headers and the first
// store's block list (vshadowinfo and the catalog at 0x1e00 agree).
constexpr uint64_t kStore2Header = 0x06e40000;
constexpr uint64_t kStore1BlockList = 0x31564000;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The test volume and raw copies of it, one of them damaged where asked.
class ShadowVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    qcow_ = std::string(GLINTVANE_CORPUS_DIR) + "/images/vsstest.qcow2";
    if (!fs::exists(qcow_)) GTEST_SKIP() << "no " << qcow_;
  }
  // A raw copy (sparse) with 16 bytes at `offset` overwritten, if any.
  std::string RawCopy(const std::string& name, uint64_t offset = 0) {
    if (!HaveTool("qemu-img")) return {};
    const std::string raw = tree_.Path(name);
    if (std::system(("qemu-img convert -O raw '" + qcow_ + "' '" + raw + "'").c_str()) != 0) {
      return {};
    }
    if (offset != 0) {
      const int fd = ::open(raw.c_str(), O_WRONLY);
      const bool written = fd >= 0 && ::pwrite(fd, "not a block list", 16, offset) == 16;
      if (fd >= 0) ::close(fd);
      if (!written) return {};
    }
    return raw;
  }
  // A store's bytes written out (zeros left as holes), for fls and icat.
  std::string Export(ImageByteSource& store, const std::string& name) {
    const std::string path = tree_.Path(name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<uint8_t> block(1 << 20);
    const std::vector<uint8_t> zeros(block.size());
    for (uint64_t at = 0; at < store.Size(); at += block.size()) {
      const auto got = store.ReadAt(at, block);
      if (!got || *got == 0) break;
      if (!std::equal(block.begin(), block.begin() + static_cast<ptrdiff_t>(*got), zeros.begin())) {
        EXPECT_EQ(::pwrite(fd, block.data(), *got, static_cast<off_t>(at)),
                  static_cast<ssize_t>(*got));
      }
    }
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(store.Size())), 0);
    ::close(fd);
    return path;
  }

  std::string qcow_;
  testing::TempTree tree_;
};

// fls -r -p's listing as the walk counts it: folders, and files by name
// (a stream "name:$X" is its file's).
std::pair<uint64_t, uint64_t> FlsCounts(const std::string& image) {
  std::istringstream lines(Output("fls -r -p '" + image + "'"));
  std::set<std::string> files;
  uint64_t folders = 0;
  for (std::string line; std::getline(lines, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string path = line.substr(tab + 1);
    if (line[0] == 'd' || line[0] == 'V') {
      ++folders;
      continue;
    }
    const size_t slash = path.rfind('/');
    const size_t stream = path.find(':', slash == std::string::npos ? 0 : slash);
    files.insert(path.substr(0, stream));
  }
  return {folders, files.size()};
}

TEST_F(ShadowVolume, ListsTheStoresAsVshadowinfoAndWalksEachAsFlsDoes) {
  if (!HaveTool("fls") || !HaveTool("vshadowinfo")) GTEST_SKIP() << "no fls or vshadowinfo";
  const std::string raw = RawCopy("vss.raw");
  ASSERT_FALSE(raw.empty());

  // vshadowinfo's "Identifier" and "Creation time" of each store, in order.
  std::vector<std::pair<std::string, std::string>> listed;
  std::istringstream info(Output("vshadowinfo '" + raw + "'"));
  for (std::string line; std::getline(info, line);) {
    const size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    const std::string value = line.substr(colon + 2);
    if (line.find("\tIdentifier") == 0) listed.push_back({value, ""});
    if (line.find("\tCreation time") == 0 && !listed.empty()) {
      std::tm tm{};
      ASSERT_NE(::strptime(value.c_str(), "%b %d, %Y %H:%M:%S", &tm), nullptr) << value;
      char iso[32];
      std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", &tm);
      listed.back().second = iso;
    }
  }
  ASSERT_EQ(listed.size(), 2u);

  FoundCacheList list;
  OpenImages images;
  const EvidenceSearchOutcome outcome = SearchEvidenceImage(list, images, qcow_);
  ASSERT_TRUE(outcome.opened) << outcome.error;
  EXPECT_TRUE(outcome.complete());
  ASSERT_EQ(outcome.volumes.size(), 1u);
  const auto& stores = outcome.volumes[0].shadow_copies;
  ASSERT_EQ(stores.size(), listed.size());
  ShadowCopies* copies = *(*images.Get(outcome.image))->ShadowCopiesOf(0);
  for (size_t i = 0; i < stores.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(stores[i].store.number, static_cast<int>(i + 1));
    EXPECT_EQ(stores[i].store.identifier, listed[i].first);
    EXPECT_EQ(stores[i].store.created_utc, listed[i].second);
    EXPECT_TRUE(stores[i].walk_complete);
    const auto [folders, files] =
        FlsCounts(Export(copies->bytes(static_cast<int>(i + 1)), "store.raw"));
    EXPECT_EQ(stores[i].folders, folders);
    EXPECT_EQ(stores[i].files, files);
  }
  // The volume as it is holds a file the stores do not: the walks differ.
  EXPECT_EQ(FlsCounts(raw), std::make_pair(outcome.volumes[0].folders, outcome.volumes[0].files));
  EXPECT_NE(stores[1].files, outcome.volumes[0].files);

  // Without the stores, only the volume is walked.
  FoundCacheList plain;
  SearchOptions options;
  options.shadow_copies = false;
  const EvidenceSearchOutcome volume_only = SearchEvidenceImage(plain, qcow_, options);
  EXPECT_TRUE(volume_only.volumes[0].shadow_copies.empty());
  EXPECT_EQ(volume_only.folders, outcome.volumes[0].folders);
}

// A location in a store reads the file as the store holds it: the old
// syslog under the metadata address that the volume now gives syslog.gz.
TEST_F(ShadowVolume, AStoreLocationOpensTheFileAsTheStoreHoldsIt) {
  if (!HaveTool("icat")) GTEST_SKIP() << "no icat";
  OpenImages images;
  auto image = images.Get(qcow_);
  ASSERT_TRUE(image) << image.error().detail;
  const auto read = [&](const std::string& text) {
    const EvidenceLocation where = EvidenceLocationOfText(text);
    EXPECT_NE(InImage(where), nullptr) << text;
    auto source = EvidenceFileSource::Open(*InImage(where), *image);
    if (!source) {
      return "error " + std::to_string(source.error().code) + ": " + source.error().detail;
    }
    std::string bytes((*source)->Size(), '\0');
    const auto got = (*source)->ReadAt(0, {reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()});
    return got ? bytes.substr(0, *got) : std::string("unreadable");
  };
  const std::string old_syslog = read(qcow_ + "#p0:s1:i35:/syslog");
  const std::string store1 = Export((*(*image)->ShadowCopiesOf(0))->bytes(1), "store1.raw");
  EXPECT_EQ(old_syslog, Output("icat '" + store1 + "' 35"));
  EXPECT_GT(old_syslog.size(), 0u);
  EXPECT_NE(old_syslog, read(qcow_ + "#p0:i35:/syslog.gz"));
  // A store that is not there is named, not read from another.
  EXPECT_NE(read(qcow_ + "#p0:s3:i35:/syslog").find("error 1707: In partition 0 of"),
            std::string::npos);
  EXPECT_NE(read(qcow_ + "#p0:s3:i35:/syslog").find("no shadow-copy store 3"), std::string::npos);
  // `list` opens it as it opens any row.
  const auto run = testing::RunCli({"list", "--json", qcow_ + "#p0:s1:i35:/syslog"});
  EXPECT_EQ(run.Json()["details"][2], "Size: " + std::to_string(old_syslog.size())) << run.out;
}

// A damaged store is named, leaves the search incomplete (exit 1) and the
// next store is still read; copies whose catalog cannot be read are named
// for their volume.
TEST_F(ShadowVolume, AStoreThatCannotBeReadIsNamedAndTheRestIsRead) {
  const std::string good = RawCopy("good.raw");
  const std::string bad_store = RawCopy("bad-store.raw", kStore1BlockList);
  const std::string bad_catalog = RawCopy("bad-catalog.raw", kStore2Header);
  ASSERT_FALSE(good.empty() || bad_store.empty() || bad_catalog.empty());

  FoundCacheList list;
  const EvidenceSearchOutcome whole = SearchEvidenceImage(list, good);
  const EvidenceSearchOutcome damaged = SearchEvidenceImage(list, bad_store);
  ASSERT_EQ(damaged.volumes.at(0).shadow_copies.size(), 2u);
  const ShadowCopyReport& first = damaged.volumes[0].shadow_copies[0];
  EXPECT_FALSE(first.walk_complete);
  EXPECT_NE(first.error.find("shadow-copy store 1 (600f0b69-5bdf-11e3-9d6c-005056c00008)"),
            std::string::npos)
      << first.error;
  EXPECT_EQ(first.error_code, kErrShadowCopy);
  const ShadowCopyReport& second = damaged.volumes[0].shadow_copies[1];
  EXPECT_TRUE(second.walk_complete);
  EXPECT_EQ(second.files, whole.volumes.at(0).shadow_copies.at(1).files);
  EXPECT_TRUE(whole.complete());
  EXPECT_FALSE(damaged.complete());
  EXPECT_EQ(damaged.unreadable_sectors, 0u);  // the image itself reads in full

  const auto run = testing::RunCli({"search", "--json", bad_store});
  EXPECT_EQ(run.exit_code, 1);
  const auto doc = run.Json();
  EXPECT_EQ(doc["complete"], false);
  EXPECT_EQ(doc["partitions"][0]["shadow_copies"][0]["complete"], false);
  EXPECT_EQ(doc["partitions"][0]["shadow_copies"][0]["error_code"], kErrShadowCopy);
  EXPECT_TRUE(doc["partitions"][0]["shadow_copies"][1]["error_code"].is_null());
  EXPECT_EQ(doc["partitions"][0]["shadow_copies"][1]["files"], second.files);
  EXPECT_NE(run.err.find("shadow-copy store 1"), std::string::npos) << run.err;
  const auto skipped = testing::RunCli({"search", "--json", "--no-shadow-copies", bad_store});
  EXPECT_EQ(skipped.exit_code, 0);
  EXPECT_TRUE(skipped.Json()["partitions"][0]["shadow_copies"].empty());

  const EvidenceSearchOutcome no_catalog = SearchEvidenceImage(list, bad_catalog);
  EXPECT_TRUE(no_catalog.volumes.at(0).shadow_copies.empty());
  EXPECT_NE(no_catalog.volumes[0].shadow_copies_error.find("shadow copies cannot be read"),
            std::string::npos);
  EXPECT_TRUE(no_catalog.volumes[0].walk_complete);
  EXPECT_FALSE(no_catalog.complete());
}

// A store's copy of a cache joins the row with the same path and bytes; a
// changed copy, another path or bytes that cannot be read get rows of
// their own.
TEST(SameCacheRows, ListsEachDistinctCopyOnceAndNamesTheOtherPlaces) {
  const auto at = [](int store, uint64_t inode, const std::string& path) {
    return ImageFileLocation{"/x/disk.E01", 2, inode, path, store};
  };
  const std::vector<std::pair<ImageFileLocation, std::string>> bytes = {
      {at(0, 10, "/Users/eve/thumbcache_96.db"), "A"},
      {at(1, 10, "/users/EVE/thumbcache_96.db"), "A"},  // the same file, other letter case
      {at(2, 10, "/Users/eve/thumbcache_96.db"), "B"},  // changed since
      {at(3, 10, "/Users/eve/thumbcache_96.db"), "B"},
      {at(3, 11, "/Users/bob/thumbcache_96.db"), "A"},  // the same bytes elsewhere
      {at(3, 12, "/Users/eve/thumbcache_32.db"), ""},   // unreadable
      {at(4, 12, "/Users/eve/thumbcache_32.db"), ""},
  };
  FoundCacheList list;
  int hashed = 0;
  SameCacheRows same(list, [&](const ImageFileLocation& where) {
    ++hashed;
    for (const auto& [place, content] : bytes) {
      if (place == where) return content;
    }
    return std::string();
  });
  for (const auto& [where, content] : bytes) {
    CacheFileRecord row;
    SetRecordLocation(row, where);
    if (where.store != 0 && same.Merge(row)) continue;
    ASSERT_TRUE(list.AddCacheFileRow(row));
    same.Note(list.size() - 1);
  }
  ASSERT_EQ(list.size(), 5u);
  const auto row_of = [&](const ImageFileLocation& where) -> const CacheFileRecord& {
    return list[static_cast<size_t>(list.IndexOfPath(FormatEvidenceLocation(where)))];
  };
  EXPECT_EQ(row_of(at(0, 10, "/Users/eve/thumbcache_96.db")).also_in,
            std::vector<EvidenceLocation>{at(1, 10, "/users/EVE/thumbcache_96.db")});
  EXPECT_EQ(row_of(at(2, 10, "/Users/eve/thumbcache_96.db")).also_in,
            std::vector<EvidenceLocation>{at(3, 10, "/Users/eve/thumbcache_96.db")});
  EXPECT_TRUE(row_of(at(3, 11, "/Users/bob/thumbcache_96.db")).also_in.empty());
  EXPECT_TRUE(row_of(at(3, 12, "/Users/eve/thumbcache_32.db")).also_in.empty());
  EXPECT_EQ(row_of(at(0, 10, "/Users/eve/thumbcache_96.db")).sha256, "A");
  // Each file's bytes are read once at most.
  EXPECT_LE(hashed, static_cast<int>(bytes.size()));
}

}  // namespace
}  // namespace glintvane
