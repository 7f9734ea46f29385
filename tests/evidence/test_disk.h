// The disk images the evidence tests read, built once per test program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glintvane::testing {

struct TestDisk {
  bool built = false;
  std::string why_not;  // when not built: the tool that is missing, the script's complaint
  std::string folder;
  bool ntfs_tree = false;             // NTFS got folders and a deleted cache (ntfs-3g could mount)
  std::vector<uint8_t> kept_jpeg;     // /Pics/kept.jpg on the FAT partition
  std::vector<uint8_t> deleted_jpeg;  // /Old/photo.jpg, deleted
  std::string Path(const std::string& name) const { return folder + "/" + name; }
};

// Built on the first call; the folder is removed when the program ends.
const TestDisk& GetTestDisk();

// GTEST_SKIP unless the images could be built.
#define GLINTVANE_NEED_TEST_DISK(disk)                                              \
  const ::glintvane::testing::TestDisk& disk = ::glintvane::testing::GetTestDisk(); \
  if (!disk.built) GTEST_SKIP() << disk.why_not

// One GPT partition entry: first and last sector, inclusive.
struct GptExtent {
  uint64_t first = 0;
  uint64_t last = 0;
};

// Writes to `path` a GPT disk (protective MBR, header, one entry per extent,
// every checksum right) whose sectors from 2048 on hold `filling`.
void WriteGptDisk(const std::string& path, const std::vector<GptExtent>& extents,
                  const std::string& filling);

// Makes the empty dynamic VHD at `child` a differential VHD over the VHD at
// `parent`, which it names as `parent_name` (a path as Windows writes it):
// every sector it does not hold (all of them) is read from the parent.
void MakeDifferentialVhd(const std::string& child, const std::string& parent,
                         const std::u16string& parent_name);

// Makes the empty dynamic VHDX at `child` (as qemu-img creates it) a
// differential VHDX over the VHDX at `parent`, which it names as
// `parent_name`.
void MakeDifferentialVhdx(const std::string& child, const std::string& parent,
                          const std::u16string& parent_name);

// The corpus file a cache of the images was copied from.
std::string CorpusCache(const std::string& name);

}  // namespace glintvane::testing
