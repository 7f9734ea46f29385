// The compound-file (MS-CFB) reader: the header checks, the three
// sector lists, the directory walk in storage order and stream reading, with
// the guards that hostile files need. Every read goes through a PagedReader.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cache/paged_reader.h"
#include "cache/read_error.h"

namespace glintvane {

namespace cfb {
inline constexpr uint64_t kHeaderSize = 512;
inline constexpr uint32_t kSectorSize = 512;         // the only size the reader addresses
inline constexpr uint32_t kMiniSectorSize = 64;      // mini sector shift is never read
inline constexpr uint32_t kMiniStreamCutoff = 4096;  // streams below it live in the mini stream
inline constexpr uint32_t kEntrySize = 128;
inline constexpr uint32_t kEntriesPerSector = kSectorSize / kEntrySize;
inline constexpr uint32_t kIdsPerSector = kSectorSize / 4;  // FAT entries per sector
inline constexpr uint32_t kMiniPerSector = kSectorSize / kMiniSectorSize;
inline constexpr uint32_t kHeaderDifatCount = 109;
inline constexpr uint32_t kIdsPerDifatSector = kIdsPerSector - 1;  // the last names the next
inline constexpr int32_t kEndOfChain = -2;
inline constexpr uint16_t kMaxNameLength = 128;  // name length field, bytes, with the zero
inline constexpr uint8_t kTypeStream = 2;
inline constexpr uint8_t kTypeRoot = 5;
inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Header field offsets.
inline constexpr uint64_t kOffSectorShift = 30;
inline constexpr uint64_t kOffFatCount = 44;
inline constexpr uint64_t kOffFirstDirectory = 48;
inline constexpr uint64_t kOffFirstMiniFat = 60;
inline constexpr uint64_t kOffFirstDifat = 68;
inline constexpr uint64_t kOffHeaderDifat = 76;
// Directory entry field offsets.
inline constexpr size_t kEntryNameBytes = 64;  // the UTF-16 name field at 0
inline constexpr size_t kEntryNameLength = 64;
inline constexpr size_t kEntryType = 66;
inline constexpr size_t kEntryModified = 108;
inline constexpr size_t kEntryStart = 116;
inline constexpr size_t kEntrySizeField = 120;

static_assert(kHeaderSize == 512 && kSectorSize == 512, "the 512-byte header of version 3");
static_assert(kOffFirstDifat + 4 <= kOffHeaderDifat, "header fields come before its DIFAT");
static_assert(kHeaderDifatCount * 4 + kOffHeaderDifat == kHeaderSize,
              "header DIFAT fills the header");
static_assert(kEntrySize == 128 && kEntriesPerSector * kEntrySize == kSectorSize,
              "128-byte entries fill a sector");
static_assert(kEntryNameBytes <= kEntryNameLength && kEntryType == kEntryNameLength + 2,
              "the name, its length and the type follow one another");
static_assert(kEntryModified + 8 <= kEntryStart && kEntryStart + 4 <= kEntrySizeField &&
                  kEntrySizeField + 4 <= kEntrySize,
              "entry fields fit the entry");
}  // namespace cfb

// One usable directory entry (a stream or the root storage).
struct DirectoryEntry {
  std::string name;  // UTF-8, up to the first zero code unit
  uint8_t type = 0;
  uint64_t modified = 0;  // FILETIME
  int32_t start = 0;      // first sector or mini sector
  int32_t size = 0;       // low 32 bits of the size, signed as the format's readers take it
  int32_t directory_sector = 0;
  int slot = 0;
};

class CompoundFile {
 public:
  explicit CompoundFile(PagedReader& reader) : reader_(reader) {}

  // Steps 2 to 4: signature (501), sector size (508), minimum size (507).
  ReadResult<void> CheckHeader();
  // True when the file length is not a whole number of 512-byte sectors.
  bool length_not_multiple_of_sector() const { return reader_.size() % cfb::kSectorSize != 0; }

  // Step 5: the FAT sector numbers of the header (1505 when the file cannot
  // hold that many FAT sectors), then those of the DIFAT chain.
  ReadResult<void> ReadHeaderFatList();
  ReadResult<void> ReadDifatChain();
  // Steps 6 and 7: the mini FAT chain and the mini stream chain.
  ReadResult<void> ListMiniFat();
  ReadResult<void> ListMiniStream();

  // Step 9: every usable entry, in the order the directory chain stores them.
  // The walk ends at the end of the chain or at the first error (the
  // visitor's included).
  using EntryVisitor = std::function<ReadResult<void>(const DirectoryEntry&)>;
  ReadResult<void> WalkDirectory(const EntryVisitor& visit);

  // Step 10: the stream's bytes into `out` (emptied first). A chain shorter
  // than the size gives fewer bytes, without complaint. A sector belongs to
  // one stream: a chain that names a sector an earlier stream read ends
  // with kErrSectorShared, and the sectors it read become this stream's.
  // On an error `out` holds the bytes read before it.
  ReadResult<void> ReadStream(const DirectoryEntry& entry, std::vector<uint8_t>& out);

  const std::vector<int32_t>& fat_sectors() const { return fat_sectors_; }
  const std::vector<int32_t>& mini_fat_sectors() const { return mini_fat_sectors_; }
  const std::vector<int32_t>& mini_stream_sectors() const { return mini_stream_sectors_; }

 private:
  enum class Table { kFat, kMiniFat };
  // Step 11: the table entry of sector (or mini sector) n.
  ReadResult<int32_t> NextSector(Table table, int32_t n);
  // Follows a FAT chain from `start` to its end into `out`.
  ReadResult<void> ListFatChain(int32_t start, const char* what, std::vector<int32_t>& out);

  // Sector bookkeeping, one bit per sector the file holds (a 5 GiB file
  // costs 1.25 MiB, whatever its header claims). `in_chain` marks the
  // sectors of the chain being followed, so a chain that comes back to one
  // of its own sectors is a loop; `claimed` marks the sectors that a stream
  // already holds, so a second stream naming one is refused.
  struct SectorMarks {
    std::vector<bool> in_chain;
    std::vector<bool> claimed;
    std::vector<int32_t> marked;  // the in_chain bits set, to clear them after the chain
    void Reset(uint64_t count);
    void EndChain();
    // True when n is in the current chain already; marks it otherwise.
    // Numbers past the marks (sectors outside the file) are never marked.
    bool Revisits(int32_t n);
  };

  // Sectors the file holds (a partial last sector counts).
  uint64_t SectorsInFile() const;

  ReadResult<void> ReadMiniChain(const DirectoryEntry& entry, std::vector<uint8_t>& out);
  ReadResult<void> ReadFatChain(const DirectoryEntry& entry, std::vector<uint8_t>& out);
  // Marks sector (or mini sector) n as part of `entry`'s chain: a loop or a
  // sector an earlier stream holds fails.
  ReadResult<void> Claim(SectorMarks& marks, const DirectoryEntry& entry, int32_t n,
                         const char* unit);

  PagedReader& reader_;
  int32_t first_directory_ = 0;
  uint32_t fat_count_ = 0;
  std::vector<int32_t> fat_sectors_;
  std::vector<int32_t> mini_fat_sectors_;
  std::vector<int32_t> mini_stream_sectors_;
  SectorMarks sectors_;
  SectorMarks mini_sectors_;
};

}  // namespace glintvane
