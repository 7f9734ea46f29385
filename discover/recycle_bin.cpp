#include "discover/recycle_bin.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "base/byte_fields.h"
#include "base/file_time.h"
#include "base/utf8.h"
#include "base/windows_path.h"
#include "discover/code_page.h"
#include "discover/search_folder.h"

namespace glintvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
// Network shares have drive number 26; their paths begin with "\\".
constexpr uint32_t kNetworkShareDrive = 26;

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five bytes it leaves
// unassigned. Every other byte is the Latin-1 character of the same value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string_view NulTerminated(std::span<const uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), uint8_t{0});
  return {reinterpret_cast<const char*>(field.data()), static_cast<size_t>(end - field.begin())};
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool IsThumbsDbName(std::string_view file_part) {
  return file_part.size() == 9 && AsciiUpper(file_part) == "THUMBS.DB";
}

// Finds names in one folder whatever their letter case, as Windows would.
// The folder is listed on the first question only.
class FolderNames {
 public:
  FolderNames(std::string folder, int folder_fd)
      : folder_(std::move(folder)), folder_fd_(folder_fd) {}

  std::optional<std::string> Find(const std::string& name) {
    if (!listed_) List();
    if (exact_.count(name) != 0) return name;
    const auto it = folded_.find(AsciiUpper(name));
    if (it == folded_.end()) return std::nullopt;
    return it->second;
  }

 private:
  void List() {
    listed_ = true;
    DIR* dir = nullptr;
    if (folder_fd_ == AT_FDCWD) {
      dir = opendir(folder_.c_str());
    } else {
      const int copy = dup(folder_fd_);
      dir = copy >= 0 ? fdopendir(copy) : nullptr;
      if (dir == nullptr && copy >= 0) close(copy);
      if (dir != nullptr) rewinddir(dir);  // the copy shares the walk's position
    }
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      exact_.insert(name);
      folded_.emplace(AsciiUpper(name), name);  // the first spelling met wins
    }
    closedir(dir);
  }

  std::string folder_;
  int folder_fd_;
  bool listed_ = false;
  std::unordered_set<std::string> exact_;
  std::unordered_map<std::string, std::string> folded_;
};

}  // namespace

std::string Windows1252ToUtf8(std::string_view bytes, bool* ok) {
  std::string out;
  out.reserve(bytes.size());
  bool clean = true;
  for (const char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    char32_t c = b;
    if (b >= 0x80 && b <= 0x9F) {
      c = kCp1252High[b - 0x80];
      if (c == 0) {
        c = kReplacement;
        clean = false;
      }
    }
    AppendUtf8(out, c);
  }
  if (ok != nullptr) *ok = clean;
  return out;
}

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, bool* ok) {
  std::string out;
  bool clean = true;
  const size_t units = bytes.size() / 2;
  ByteFields fields(bytes);
  for (size_t i = 0; i < units; ++i) {
    const char32_t u = fields.Le<uint16_t>(2 * i);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char32_t low = fields.Le<uint16_t>(2 * i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
      clean = false;
      continue;
    }
    AppendUtf8(out, u);
  }
  if (ok != nullptr) *ok = clean;
  return out;
}

std::string RecordOriginalPath(std::span<const uint8_t> record, uint32_t record_size,
                               int code_page) {
  // The UTF-16 copy of an 800-byte record is the path itself; the 8-bit copy
  // is in the deleting machine's code page, which the file does not record,
  // so it serves only where the UTF-16 copy is missing or damaged.
  std::string wide_text;
  bool wide_ok = false;
  if (record_size == kIndexUnicodeRecordSize && record.size() > kIndexUnicodePathOffset) {
    // The copy may lack its last code units when the file was cut off.
    const size_t available =
        std::min(record.size() - kIndexUnicodePathOffset, kIndexUnicodePathBytes);
    wide_text = Utf16LeToUtf8(record.subspan(kIndexUnicodePathOffset, available), &wide_ok);
    if (!wide_text.empty() && wide_ok) return wide_text;
  }
  const auto eight_field = record.first(std::min(record.size(), kIndexPathBytes));
  const std::string_view eight = NulTerminated(eight_field);
  bool eight_ok = false;
  std::string eight_text = CodePageToUtf8(eight, code_page, &eight_ok);
  if (!eight.empty() && eight_ok) return eight_text;
  if (!eight.empty()) return eight_text;
  if (!wide_text.empty()) return wide_text;
  // Windows marks a purged or restored record by zeroing the path's first
  // byte and leaves the rest; the drive number tells what that byte was.
  const auto drive_field = ReadLe<uint32_t>(record, kIndexDriveOffset);
  if (eight_field.size() > 1 && eight_field[0] == 0 && eight_field[1] != 0 && drive_field) {
    const std::string_view rest = NulTerminated(eight_field.subspan(1));
    const uint32_t drive = *drive_field;
    std::string first;
    if (drive < kNetworkShareDrive) {
      first = static_cast<char>('A' + drive);
    } else if (drive == kNetworkShareDrive) {
      first = "\\";
    } else {
      return {};
    }
    return first + CodePageToUtf8(rest, code_page);
  }
  return {};
}

RecycleBinIndex ReadRecycleBinRecords(ByteSource& source, int code_page) {
  RecycleBinIndex index;
  std::array<uint8_t, 4> size_bytes{};
  const auto got = source.ReadAt(kIndexRecordSizeOffset, size_bytes);
  if (!got) {
    index.stop = IndexStop::kReadFailed;
    return index;
  }
  if (*got < size_bytes.size()) {
    // Shorter than a header: no record size, no records.
    index.stop = IndexStop::kBadRecordSize;
    return index;
  }
  const uint32_t size = ByteFields(size_bytes).Le<uint32_t>(0);
  index.record_size = size;
  // Below 280 the fields would lie outside the record, and 0 would never
  // move on to the next one.
  if (size < kIndexMinRecordSize || size > kIndexMaxRecordSize) {
    index.stop = IndexStop::kBadRecordSize;
    return index;
  }
  // One read covers the 4 bytes before the record and the record itself;
  // a record counts when at least size - 4 of its bytes are there.
  std::vector<uint8_t> buffer(static_cast<size_t>(size) + 4);
  for (uint64_t offset = kIndexFirstRecord - 4;; offset += size) {
    const auto n = source.ReadAt(offset, buffer);
    if (!n) {
      index.stop = IndexStop::kReadFailed;
      break;
    }
    if (*n < size) break;
    if (index.records.size() >= kIndexMaxRecords) {
      index.stop = IndexStop::kTooManyRecords;
      break;
    }
    const auto record = std::span<const uint8_t>(buffer).subspan(4, *n - 4);
    ByteFields fields(record);
    RecycleBinRecord r;
    r.original = RecordOriginalPath(record, size, code_page);
    r.number = fields.Le<uint32_t>(kIndexNumberOffset);
    r.drive = fields.Le<uint32_t>(kIndexDriveOffset);
    r.deleted = fields.Le<uint64_t>(kIndexDeletedOffset);
    index.records.push_back(std::move(r));
  }
  return index;
}

std::string RecycledFileName(const RecycleBinRecord& record) {
  std::string name = "D";
  name += static_cast<char>(static_cast<uint8_t>(65 + record.drive));
  name += std::to_string(record.number);
  name += WindowsExtension(WindowsFilePart(record.original));
  return name;
}

bool IsRecycleBinPath(std::string_view path) {
  const std::string upper = AsciiUpper(path);
  return upper.find("RECYCLED") != std::string::npos || upper.find("RECYCLER") != std::string::npos;
}

bool IsRecycledCacheName(std::string_view name) {
  // D, a drive letter ("[" for a network share), at least one digit, ".db".
  if (name.size() < 6 || AsciiUpper(name[0]) != 'D') return false;
  const char letter = AsciiUpper(name[1]);
  if (!((letter >= 'A' && letter <= 'Z') || letter == '[')) return false;
  const std::string_view rest = name.substr(2);
  const size_t digits = rest.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos) return false;
  return AsciiUpper(rest.substr(digits)) == ".DB";
}

void ReadRecycleBinIndex(FoundCacheList& list, const std::string& path,
                         const SearchOptions& options, SearchOutcome& outcome, int folder_fd) {
  if (!IsRecycleBinPath(path)) return;
  const std::string folder(LocalFolderPart(path));
  const std::string index_name(LocalFilePart(path));
  // Relative to the folder when the walk holds it: the path may be too long
  // to open whole.
  auto source = folder_fd == AT_FDCWD
                    ? FileByteSource::Open(path)
                    : FileByteSource::OpenAt(folder_fd, index_name.c_str(), false);
  if (!source) {
    outcome.unreadable_indexes.push_back(path);
    return;
  }
  const RecycleBinIndex index = ReadRecycleBinRecords(**source, options.code_page);
  if (index.stop == IndexStop::kTooManyRecords) outcome.truncated_indexes.push_back(path);
  FolderNames names(folder, folder_fd);
  for (const RecycleBinRecord& record : index.records) {
    if (!IsThumbsDbName(WindowsFilePart(record.original))) continue;
    const auto on_disk = names.Find(RecycledFileName(record));
    if (!on_disk) continue;  // emptied from the bin, or restored
    const std::string recycled = folder + *on_disk;
    const FileFacts facts = folder_fd == AT_FDCWD
                                ? ReadFileFacts(recycled)
                                : ReadFileFactsAt(folder_fd, on_disk->c_str(), false);
    if (facts.link) continue;  // never followed: it may lead anywhere
    // A recycled name that is not a compound file is some other file that
    // took the number; one that cannot be opened is listed so it is seen.
    if (facts.opened && !facts.compound) continue;
    CacheFileRecord row;
    row.name = record.original;
    if (facts.opened) row.size = facts.size;
    const std::string written = facts.opened ? FoundFileTimeText(facts.modified) : std::string();
    row.deleted = FileTimeText(record.deleted, options.date_time_format, options.time_zone);
    row.deleted_utc = FileTimeUtcIso(record.deleted);
    row.modified = written + std::string(kDeletedTimeJoiner) + row.deleted;
    if (facts.opened) row.modified_utc = UnixSecondsUtcIso(facts.modified);
    SetRecordLocation(row, FileLocation{recycled});
    row.recycled = true;
    AddCacheFileRow(list, std::move(row), options, &outcome);
  }
}

}  // namespace glintvane
