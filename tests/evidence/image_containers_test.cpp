// VMDK, VHD, VHDX, QCOW2 and AFF images of the test disk, read as the raw
// disk is; the files they link to found beside them or named when missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "base/error_codes.h"
#include "evidence/carve_source.h"
#include "evidence/evidence_file.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_search.h"
#include "evidence/image_containers.h"
#include "tests/cli/cli_runner.h"
#include "tests/discover/discover_fixtures.h"
#include "tests/evidence/test_disk.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(ByteSource& source) {
  std::vector<uint8_t> bytes(source.Size());
  const auto got = source.ReadAt(0, bytes);
  if (!got) return {};
  bytes.resize(*got);
  return bytes;
}

// What a search found, without the image's own path: partition, path
// inside, deleted, size, and the bytes each row reads back as.
using Rows = std::map<std::tuple<int, std::string, bool, int64_t>, std::vector<uint8_t>>;

Rows SearchRows(const std::string& image, EvidenceSearchOutcome& outcome) {
  FoundCacheList list;
  OpenImages images;
  outcome = SearchEvidenceImage(list, images, image);
  Rows rows;
  for (const CacheFileRecord& row : list.rows()) {
    const ImageFileLocation& where = *InImage(row.location);
    auto source = EvidenceFileSource::Open(where, *images.Get(where.image));
    rows[{where.partition, where.inner_path, row.entry_deleted, row.size.value_or(-1)}] =
        source ? ReadAll(**source) : std::vector<uint8_t>{};
  }
  return rows;
}

TEST(ImageContainers, EveryContainerOfTheDiskListsAndReadsWhatTheRawDiskDoes) {
  GLINTVANE_NEED_TEST_DISK(disk);
  EvidenceSearchOutcome raw_outcome;
  const Rows raw_rows = SearchRows(disk.Path("disk.raw"), raw_outcome);
  ASSERT_GE(raw_rows.size(), 5u);
  const std::vector<uint8_t> raw_bytes = testing::ReadBytes(disk.Path("disk.raw"));
  auto raw_free = OpenCarveSource(disk.Path("disk.raw"), {.unallocated = true});
  ASSERT_TRUE(raw_free) << raw_free.error().detail;

  // A VHD's disk is the size its geometry rounds up to; the sectors past the
  // raw disk's end read as zeros.
  constexpr uint64_t kVhdSize = 46166016;
  const struct {
    const char* name;
    const char* format;
    size_t files;  // the image's own, its extents and its parents
    uint64_t size;
  } containers[] = {
      {"disk.vmdk", "VMDK", 1, 44u << 20},   {"flat.vmdk", "VMDK", 2, 44u << 20},
      {"split.vmdk", "VMDK", 2, 44u << 20},  {"child.vmdk", "VMDK", 2, 44u << 20},
      {"disk.vhd", "VHD", 1, kVhdSize},      {"fixed.vhd", "VHD", 1, kVhdSize},
      {"child.vhd", "VHD", 2, kVhdSize},     {"disk.vhdx", "VHDX", 1, 44u << 20},
      {"child.vhdx", "VHDX", 2, 44u << 20},  {"fixed.vhdx", "VHDX", 1, 44u << 20},
      {"disk.qcow2", "QCOW2", 1, 44u << 20}, {"child.qcow2", "QCOW2", 2, 44u << 20},
      {"disk.aff", "AFF", 1, 44u << 20},
  };
  for (const auto& want : containers) {
    SCOPED_TRACE(want.name);
    const std::string path = disk.Path(want.name);
    EvidenceSearchOutcome outcome;
    EXPECT_TRUE(SearchRows(path, outcome) == raw_rows);
    ASSERT_TRUE(outcome.opened) << outcome.error;
    EXPECT_EQ(outcome.format, want.format);
    EXPECT_EQ(outcome.segments, want.files);
    EXPECT_EQ(outcome.size, want.size);
    EXPECT_EQ(outcome.unreadable_sectors, 0u);
    ASSERT_EQ(outcome.volumes.size(), raw_outcome.volumes.size());
    for (size_t i = 0; i < outcome.volumes.size(); ++i) {
      EXPECT_EQ(outcome.volumes[i].files, raw_outcome.volumes[i].files);
      EXPECT_EQ(outcome.volumes[i].folders, raw_outcome.volumes[i].folders);
    }

    // The whole disk, byte for byte, as carving reads it.
    auto carve = OpenCarveSource(path);
    ASSERT_TRUE(carve) << carve.error().detail;
    EXPECT_EQ((*carve)->kind(), CarveSource::Kind::kImage);
    EXPECT_EQ((*carve)->format(), want.format);
    std::vector<uint8_t> bytes = ReadAll(*(*carve)->bytes());
    ASSERT_EQ(bytes.size(), want.size);
    EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<ptrdiff_t>(raw_bytes.size()), bytes.end(),
                            [](uint8_t b) { return b == 0; }));
    bytes.resize(raw_bytes.size());
    EXPECT_TRUE(bytes == raw_bytes);
    auto free_space = OpenCarveSource(path, {.unallocated = true});
    ASSERT_TRUE(free_space) << free_space.error().detail;
    EXPECT_EQ((*free_space)->bytes()->Size(), (*raw_free)->bytes()->Size());
  }
}

// A missing extent, parent or backing file refuses the image with its
// name, as a missing EWF segment does; the command line says so in its
// one JSON document and exits 1.
TEST(ImageContainers, NamesTheExtentOrParentThatIsMissing) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const struct {
    const char* image;
    const char* moved;
    const char* said;
  } cases[] = {
      {"split.vmdk", "split-s001.vmdk", "its extent file split-s001.vmdk is missing"},
      {"flat.vmdk", "flat-flat.vmdk", "its extent file flat-flat.vmdk is missing"},
      {"child.vmdk", "disk.vmdk", "its parent disk.vmdk is missing"},
      {"child.vhd", "disk.vhd", "its parent disk.vhd is missing"},
      {"child.vhdx", "disk.vhdx", "its parent disk.vhdx is missing"},
      {"child.qcow2", "disk.qcow2", "its backing file disk.qcow2 is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.image);
    fs::rename(disk.Path(c.moved), disk.Path("moved-away"));
    const auto opened = EvidenceImage::Open(disk.Path(c.image));
    const auto run = testing::RunCli({"search", "--json", disk.Path(c.image)});
    fs::rename(disk.Path("moved-away"), disk.Path(c.moved));
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().code, kErrImageIncomplete);
    EXPECT_NE(opened.error().detail.find(c.said), std::string::npos) << opened.error().detail;
    EXPECT_NE(opened.error().detail.find("looked for beside it, in " + disk.folder),
              std::string::npos)
        << opened.error().detail;
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
    EXPECT_EQ(run.Json()["complete"], false);
  }
}

// A container's names are the making machine's paths: only the last part is
// looked for, beside the image, whatever folder the name reaches for.
TEST(ImageContainers, LooksForNamedFilesOnlyBesideTheImage) {
  GLINTVANE_NEED_TEST_DISK(disk);
  testing::TempTree tree;
  const std::string folder = tree.root();
  // flat.vmdk's descriptor, its extent named otherwise.
  std::string text;
  for (const uint8_t c : testing::ReadBytes(disk.Path("flat.vmdk"))) text += static_cast<char>(c);
  const size_t quoted = text.find("\"flat-flat.vmdk\"");
  ASSERT_NE(quoted, std::string::npos);
  const auto descriptor = [&](const std::string& extent) {
    std::ofstream(folder + "/named.vmdk")
        << text.substr(0, quoted + 1) << extent << text.substr(quoted + 15);
    return EvidenceImage::Open(folder + "/named.vmdk");
  };
  auto outside = descriptor("/etc/shadow");
  ASSERT_FALSE(outside);
  EXPECT_NE(outside.error().detail.find(
                "its extent file shadow is missing (looked for beside it, in " + folder + ")"),
            std::string::npos)
      << outside.error().detail;
  EXPECT_NE(
      descriptor("..").error().detail.find("names its extent file \"..\", which is no file name"),
      std::string::npos);
  fs::create_directory(folder + "/d");
  EXPECT_NE(descriptor("d").error().detail.find("names " + folder +
                                                "/d as its extent file, which is "
                                                "not a regular file"),
            std::string::npos);
  // The same names reach the file beside it.
  fs::copy_file(disk.Path("flat-flat.vmdk"), folder + "/shadow");
  for (const char* named : {"/etc/shadow", "..\\..\\Windows\\shadow", "C:\\VMs\\shadow"}) {
    SCOPED_TRACE(named);
    auto beside = descriptor(named);
    ASSERT_TRUE(beside) << beside.error().detail;
    EXPECT_EQ((*beside)->segment_count(), 2u);
    EXPECT_EQ((*beside)->Volumes().size(), 3u);
  }

  auto extent = EvidenceImage::Open(disk.Path("split-s001.vmdk"));
  ASSERT_FALSE(extent);
  EXPECT_NE(extent.error().detail.find("is one extent of a VMDK image"), std::string::npos)
      << extent.error().detail;

  // A differential VHD that names itself as its parent, or whose parent is
  // another disk than the one it was made over.
  fs::copy_file(disk.Path("child.vhd"), folder + "/loop.vhd");
  testing::MakeDifferentialVhd(folder + "/loop.vhd", disk.Path("disk.vhd"), u"D:\\loop.vhd");
  auto loop = EvidenceImage::Open(folder + "/loop.vhd");
  ASSERT_FALSE(loop);
  EXPECT_NE(loop.error().detail.find("which is the image itself or one of its own parents"),
            std::string::npos)
      << loop.error().detail;
  fs::copy_file(disk.Path("child.vhd"), folder + "/other.vhd");
  fs::copy_file(disk.Path("fixed.vhd"), folder + "/fixed.vhd");
  testing::MakeDifferentialVhd(folder + "/other.vhd", disk.Path("disk.vhd"), u"fixed.vhd");
  auto other = EvidenceImage::Open(folder + "/other.vhd");
  ASSERT_FALSE(other);
  EXPECT_NE(other.error().detail.find("is not the parent its child names"), std::string::npos)
      << other.error().detail;
}

uint64_t BigEndian(const std::vector<uint8_t>& bytes, size_t at, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | bytes.at(at + i);
  return value;
}

// A cluster the library cannot read is unreadable sectors, read as zeros and
// counted; the rest of the disk is read as before.
TEST(ImageContainers, CountsWhatTheLibraryCannotReadAsUnreadableSectors) {
  GLINTVANE_NEED_TEST_DISK(disk);
  // disk.qcow2 with the disk's first cluster (the partition table) said to
  // lie past the file's end.
  std::vector<uint8_t> bytes = testing::ReadBytes(disk.Path("disk.qcow2"));
  const uint64_t cluster = uint64_t{1} << BigEndian(bytes, 20, 4);
  const uint64_t l2 = BigEndian(bytes, BigEndian(bytes, 40, 8), 8) & 0x00FFFFFFFFFFFE00;
  const uint64_t past_end = (uint64_t{1} << 63) | (bytes.size() + 16 * cluster);
  for (int i = 0; i < 8; ++i) bytes.at(l2 + i) = static_cast<uint8_t>(past_end >> (56 - 8 * i));
  testing::TempTree tree;
  tree.File("broken.qcow2", bytes);
  const std::string path = tree.Path("broken.qcow2");

  auto carve = OpenCarveSource(path);
  ASSERT_TRUE(carve) << carve.error().detail;
  std::vector<uint8_t> read = ReadAll(*(*carve)->bytes());
  std::vector<uint8_t> want = testing::ReadBytes(disk.Path("disk.raw"));
  std::fill_n(want.begin(), cluster, uint8_t{0});
  EXPECT_TRUE(read == want);
  EXPECT_EQ((*carve)->unreadable_sectors(), cluster / kImageSectorSize);

  const auto run = testing::RunCli({"search", "--json", path});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.Json()["unreadable_sectors"], cluster / kImageSectorSize) << run.out;
  EXPECT_EQ(run.Json()["complete"], false);
}

// The public test images: one small ext2 file system in three containers
// (each a little different), and an NTFS volume in QCOW2.
TEST(ImageContainers, SearchesThePublicTestImages) {
  const std::string folder = std::string(GLINTVANE_CORPUS_DIR) + "/images/";
  if (!fs::exists(folder + "image.vmdk")) GTEST_SKIP() << "no test images in " << folder;
  const struct {
    const char* name;
    const char* format;
    const char* file_system;
    uint64_t files;
    uint64_t folders;
  } images[] = {
      {"image.vmdk", "VMDK", "ext2", 6, 3},
      {"image.vhd", "VHD", "ext2", 7, 3},
      {"image.qcow2", "QCOW2", "ext2", 7, 3},
      {"vsstest.qcow2", "QCOW2", "ntfs", 24, 6},
  };
  for (const auto& want : images) {
    SCOPED_TRACE(want.name);
    FoundCacheList list;
    const EvidenceSearchOutcome outcome = SearchEvidenceImage(list, folder + want.name);
    ASSERT_TRUE(outcome.opened) << outcome.error;
    EXPECT_EQ(outcome.format, want.format);
    EXPECT_TRUE(outcome.complete());
    ASSERT_EQ(outcome.volumes.size(), 1u);
    EXPECT_EQ(outcome.volumes[0].file_system, want.file_system);
    EXPECT_EQ(outcome.volumes[0].files, want.files);
    EXPECT_EQ(outcome.volumes[0].folders, want.folders);
    EXPECT_EQ(list.size(), 0u);
  }
}

// Containers told apart by their content, whatever their names say.
TEST(ImageContainers, RecognisesEachContainerByItsContent) {
  const auto bytes = [](std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
  };
  std::vector<uint8_t> fixed_vhd(2048, 0);
  std::copy_n("conectix", 8, fixed_vhd.end() - 512);
  const struct {
    std::vector<uint8_t> head;
    std::vector<uint8_t> tail;
    ImageFormat format;
  } cases[] = {
      {bytes("KDMV\x01"), {}, ImageFormat::kVmdk},
      {bytes("\xEF\xBB\xBF\n# Disk descriptorFile\n"), {}, ImageFormat::kVmdk},
      {bytes("# Disk Descriptor"), {}, ImageFormat::kRaw},
      {bytes("conectix"), {}, ImageFormat::kVhd},
      {bytes("vhdxfile"), {}, ImageFormat::kVhdx},
      {bytes("QFI\xFB\x00\x00\x00\x03"), {}, ImageFormat::kQcow2},
      {bytes(std::string_view("AFF10\r\n\0", 8)), {}, ImageFormat::kAff},
      {bytes("EVF\x09\x0D\x0A\xFF"), {}, ImageFormat::kRaw},
      {{}, fixed_vhd, ImageFormat::kVhd},
      {bytes("QFI"), {}, ImageFormat::kRaw},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RecogniseContainer(c.head, c.tail), c.format)
        << std::string(c.head.begin(), c.head.end());
  }
}

// Cut short at any point, a container is refused with a reason or read with
// what is there.
TEST(ImageContainers, RefusesOrReadsEveryContainerCutShort) {
  GLINTVANE_NEED_TEST_DISK(disk);
  testing::TempTree tree;
  for (const char* name : {"disk.vmdk", "disk.vhd", "disk.vhdx", "disk.qcow2", "disk.aff"}) {
    const std::vector<uint8_t> whole = testing::ReadBytes(disk.Path(name));
    for (const size_t cut : {size_t{4}, size_t{600}, size_t{70000}, whole.size() / 2}) {
      SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(cut));
      const std::string path = tree.Path(std::string("cut-") + name);
      tree.File(std::string("cut-") + name,
                std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)));
      auto image = EvidenceImage::Open(path);
      if (!image) {
        EXPECT_FALSE(image.error().detail.empty());
        continue;
      }
      std::vector<uint8_t> head(1 << 20);
      EXPECT_TRUE((*image)->bytes().ReadAt(0, head));
      (*image)->Volumes();
    }
  }
  // afflib takes a segment's name for a C string and loses memory over one
  // that holds a zero byte: such a file is refused before afflib reads it.
  std::vector<uint8_t> aff = testing::ReadBytes(disk.Path("disk.aff"));
  aff.at(8 + 16 + 3) = 0;
  tree.File("zero-in-name.aff", aff);
  auto refused = EvidenceImage::Open(tree.Path("zero-in-name.aff"));
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().detail.find("is damaged: the segment at byte 8 has a broken name"),
            std::string::npos)
      << refused.error().detail;
}

}  // namespace
}  // namespace glintvane
