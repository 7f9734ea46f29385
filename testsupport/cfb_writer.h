// A compound-file (MS-CFB version 3) writer for tests, benchmarks and the
// sample cache: any mix of mini and regular streams, a DIFAT when the FAT
// outgrows the header, the directory in the order given, and the layout
// handed back so that a test can break a chain or a field on purpose.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace glintvane::testsupport {

inline constexpr int32_t kFreeSector = -1;
inline constexpr int32_t kEndOfChain = -2;
inline constexpr int32_t kFatSectorMark = -3;
inline constexpr int32_t kDifatSectorMark = -4;

enum class Placement { kAuto, kMini, kRegular };

// One directory entry after the root. Entries are written in vector order,
// four to a directory sector, the root first.
struct CfbEntry {
  std::string name{};  // UTF-8; written as UTF-16LE, at most 31 code units
  std::vector<uint8_t> bytes{};
  uint8_t type = 2;  // 2 stream, 1 storage, 0 an empty slot
  uint64_t modified = 0;
  Placement placement = Placement::kAuto;   // auto: mini below 4096 bytes
  std::optional<uint32_t> declared_size{};  // the size field, when it is to lie
  std::optional<uint16_t> name_length{};    // the name length field, when it is to lie
};

struct CfbOptions {
  uint16_t sector_shift = 9;  // header field only; sectors are always 512 bytes
  uint64_t root_modified = 0;
  // At least this many FAT sectors (the extra ones cover free sectors): more
  // than 109 puts FAT sector numbers into DIFAT sectors.
  uint32_t min_fat_sectors = 0;
};

// Where everything went, with helpers that patch the bytes in place.
struct CfbFile {
  std::vector<uint8_t> bytes;
  std::vector<int32_t> fat;  // the FAT as written, one entry per sector
  std::vector<int32_t> mini_fat;
  std::vector<int32_t> fat_sectors;
  std::vector<int32_t> difat_sectors;
  std::vector<int32_t> directory_sectors;
  std::vector<int32_t> mini_fat_sectors;
  std::vector<int32_t> mini_stream_sectors;
  std::vector<int32_t> starts;  // starting sector of each entry (index 0: the root)
  std::vector<bool> in_mini;    // whether entry i lives in the mini stream

  static uint64_t SectorOffset(int32_t sector) { return 512 + 512 * static_cast<uint64_t>(sector); }
  // Byte offset of directory entry i (0: the root).
  uint64_t EntryOffset(size_t index) const;
  void PutU16(uint64_t offset, uint16_t value);
  void PutU32(uint64_t offset, uint32_t value);
  void PutU64(uint64_t offset, uint64_t value);
  uint32_t GetU32(uint64_t offset) const;
  // Rewrites one FAT or mini FAT entry in the file (and in fat / mini_fat).
  void SetFatEntry(int32_t sector, int32_t value);
  void SetMiniFatEntry(int32_t mini_sector, int32_t value);
  // The sectors of entry i's chain, in order.
  std::vector<int32_t> ChainOf(size_t index) const;
};

CfbFile BuildCompoundFile(const std::vector<CfbEntry>& entries, const CfbOptions& options = {});

// UTF-8 to UTF-16LE code units (for names).
std::vector<uint16_t> Utf8ToUtf16(std::string_view text);

}  // namespace glintvane::testsupport
