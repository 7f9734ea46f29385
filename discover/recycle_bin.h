// Recycle-bin index files (INFO2, Windows 95 to XP) and the recycled files
// they name. A deleted Thumbs.db lies in the bin under a generated name
// ("D" + drive letter + record index + original extension) and is a cache
// like any other.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_source.h"
#include "base/windows_path.h"
#include "discover/found_caches.h"

namespace glintvane {

// Header: the record size lies at file offset 12; records start at 20.
inline constexpr uint64_t kIndexRecordSizeOffset = 12;
inline constexpr uint64_t kIndexFirstRecord = 20;
// Record layout (offsets inside one record).
inline constexpr size_t kIndexPathBytes = kWindowsMaxPath;  // the 8-bit path field
inline constexpr size_t kIndexNumberOffset = 260;           // the number in the recycled name
inline constexpr size_t kIndexDriveOffset = 264;            // 0 = A, 1 = B, ... 26 = network share
inline constexpr size_t kIndexDeletedOffset = 268;          // FILETIME of the deletion
// The smallest record that holds every field read: the 9x/ME layout.
inline constexpr uint32_t kIndexMinRecordSize = 280;
// NT-family records add the path again as UTF-16.
inline constexpr uint32_t kIndexUnicodeRecordSize = 800;
inline constexpr size_t kIndexUnicodePathOffset = 280;
inline constexpr size_t kIndexUnicodePathBytes = 2 * kWindowsMaxPath;
static_assert(kIndexNumberOffset == kIndexPathBytes &&
                  kIndexDriveOffset == kIndexNumberOffset + 4 &&
                  kIndexDeletedOffset == kIndexDriveOffset + 4,
              "the fields follow the 8-bit path");
// The record is 4 bytes short of its size where it ends the file (a record
// counts when size - 4 of its bytes are there): every field read lies inside those.
static_assert(kIndexDeletedOffset + 8 + 4 <= kIndexMinRecordSize, "the fields fit the record");
static_assert(kIndexUnicodePathOffset + kIndexUnicodePathBytes == kIndexUnicodeRecordSize,
              "the UTF-16 path closes the record");
// Windows only ever wrote 280- or 800-byte records; a size beyond this is a
// damaged header, and reading on would only allocate for garbage.
inline constexpr uint32_t kIndexMaxRecordSize = 64 * 1024;
// Records read from one index at most. Windows starts a new index when the
// bin is emptied, and a million deletions without that is more than any
// machine makes; a larger (often sparse) file is built to exhaust memory.
inline constexpr size_t kIndexMaxRecords = 1000000;

// One record as Windows left it.
struct RecycleBinRecord {
  std::string original;  // the deleted file's full Windows path, UTF-8; may be ""
  uint32_t number = 0;   // record index, the number in the recycled name
  uint32_t drive = 0;    // drive number
  uint64_t deleted = 0;  // FILETIME, 0 when none was recorded
};

// Why reading stopped before the end of the file, if it did.
enum class IndexStop : uint8_t {
  kEnd,             // every complete record was read
  kBadRecordSize,   // the header's record size is below 280 (0 included) or absurd
  kReadFailed,      // the platform refused a read
  kTooManyRecords,  // kIndexMaxRecords were read; the rest is not
};

struct RecycleBinIndex {
  uint32_t record_size = 0;
  std::vector<RecycleBinRecord> records;
  IndexStop stop = IndexStop::kEnd;
};

// Reads every record of an index, up to kIndexMaxRecords. Record k is used
// when all but its last 4 bytes can be read (the S bytes from 16 + k*S): the
// fields used end before them, and a cut-off last record of such a file is
// still listed. Reading ends at the first record that cannot be filled and
// never looks outside the record. 8-bit paths are decoded in `code_page`.
RecycleBinIndex ReadRecycleBinRecords(ByteSource& source, int code_page = 1252);

// The original path of one record: the UTF-16 copy of an 800-byte record
// when it is there and valid; else the 8-bit field decoded in `code_page`
// (Windows-1252 unless the examiner knows the machine's); when both are
// empty because Windows zeroed the first byte (the file was purged or
// restored), the rest of the 8-bit field behind the drive's first character.
// `record` is at most one record long.
std::string RecordOriginalPath(std::span<const uint8_t> record, uint32_t record_size,
                               int code_page = 1252);

// Text decoders for names read from Windows files. Both always succeed;
// `ok` (when given) turns false when the input held something that has no
// character (an unassigned byte, a lone surrogate), which comes out as U+FFFD.
std::string Windows1252ToUtf8(std::string_view bytes, bool* ok = nullptr);
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, bool* ok = nullptr);

// The recycled file's name: "D" + drive letter + number + the original's
// extension (letter case kept). The letter is the character 65 + drive kept
// to 8 bits, so a network share (26) gives "[" just as Windows did.
std::string RecycledFileName(const RecycleBinRecord& record);

// True when the upper-cased path contains "RECYCLED" or "RECYCLER": only
// index files inside such folders are read.
bool IsRecycleBinPath(std::string_view path);

// True for names of the form D<letter><digits>.db in any letter case: what a
// recycled Thumbs.db is called, whether or not its index record survives.
bool IsRecycledCacheName(std::string_view name);

struct SearchOptions;
struct SearchOutcome;

// Lists the recycled Thumbs.db files that the index at `path` names and that
// still lie beside it (found whatever the letter case of their names), as
// rows of `list`. An index outside a recycle-bin folder is ignored; one that
// cannot be opened is noted in `outcome` and skipped.
// The path uses "/" between folders; rows use the index file's folder.
// `folder_fd`, when not AT_FDCWD, is the index's folder opened: the index and
// the recycled files are then opened relative to it (links not followed).
void ReadRecycleBinIndex(FoundCacheList& list, const std::string& path,
                         const SearchOptions& options, SearchOutcome& outcome,
                         int folder_fd = AT_FDCWD);

}  // namespace glintvane
