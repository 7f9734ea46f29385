#include "discover/recycle_bin_vista.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "base/byte_fields.h"
#include "base/file_time.h"
#include "base/windows_path.h"
#include "discover/recycle_bin.h"
#include "discover/search_folder.h"

namespace glintvane {
namespace {

static_assert(AT_FDCWD == -100, "ListVistaEntry's default stands for AT_FDCWD");

// Version, size, deletion time (8 bytes each), then the path; version 2 puts
// the path's character count before it.
constexpr size_t kInfoFixedFields = 24;
constexpr uint64_t kInfoV1Size = 544;
constexpr uint64_t kInfoVistaShortSize = 543;             // the 7-byte size variant
constexpr size_t kInfoV1PathBytes = 2 * kWindowsMaxPath;  // UTF-16
constexpr size_t kInfoV2PathOffset = kInfoFixedFields + 4;
static_assert(kInfoV1Size == kInfoFixedFields + kInfoV1PathBytes &&
              kInfoVistaShortSize == kInfoV1Size - 1);
static_assert(kRecycleInfoMaxBytes == kInfoV2PathOffset + 2 * (kWindowsMaxLongPath + 1),
              "the largest record is a version 2 record");
// The 7-byte size of the short form.
constexpr uint64_t kSevenByteMask = (uint64_t{1} << 56) - 1;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view lower) {
  if (text.size() < lower.size()) return false;
  for (size_t i = 0; i < lower.size(); ++i) {
    if (Lower(text[i]) != lower[i]) return false;
  }
  return true;
}

bool EqualsNoCase(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() && StartsWithNoCase(text, lower);
}

bool EndsWithNoCase(std::string_view text, std::string_view lower) {
  return text.size() >= lower.size() &&
         StartsWithNoCase(text.substr(text.size() - lower.size()), lower);
}

// The path text up to its first zero character.
std::string DecodePath(std::span<const uint8_t> bytes, bool* ok) {
  size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    if (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0) {
      units = i;
      break;
    }
  }
  return Utf16LeToUtf8(bytes.first(2 * units), ok);
}

bool IsInfoName(std::string_view name) {
  return name.size() > 2 && StartsWithNoCase(name, "$i");
}

// What the walk learns of a file through a handle opened without following a
// final link and without blocking (a FIFO with a cache's name stays shut).
struct LocalFile {
  bool opened = false;
  bool regular = false;
  bool folder = false;
  int64_t size = 0;
  int64_t modified = 0;
  std::vector<uint8_t> head;  // the first bytes asked for, of a regular file
};

// `at` is a folder descriptor for a `path` that is a name in it, or AT_FDCWD.
LocalFile OpenLocal(int at, const std::string& path, size_t head_bytes) {
  LocalFile file;
  const int fd =
      openat(at, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return file;
  struct stat st {};
  if (fstat(fd, &st) == 0) {
    file.opened = true;
    file.regular = S_ISREG(st.st_mode);
    file.folder = S_ISDIR(st.st_mode);
    file.size = static_cast<int64_t>(st.st_size);
    file.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    if (file.regular && head_bytes > 0) {
      file.head.resize(head_bytes);
      const ssize_t n = pread(fd, file.head.data(), file.head.size(), 0);
      file.head.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
  }
  close(fd);
  return file;
}

std::optional<RecycleInfo> ReadLocalInfo(int at, const std::string& path) {
  const LocalFile file = OpenLocal(at, path, kRecycleInfoMaxBytes);
  if (!file.regular) return std::nullopt;
  return ParseRecycleInfo(file.head);
}

// A $I record beside the walk: lists its $R when that is a recycled cache.
void ListRecycleInfo(FoundCacheList& list, const std::string& path, const SearchOptions& options,
                     SearchOutcome* outcome, int at) {
  const std::string name(LocalFilePart(path));
  const auto info = ReadLocalInfo(at, at == AT_FDCWD ? path : name);
  if (!info) return;
  if (!IsCacheItemName(WindowsFilePart(info->original))) return;
  const std::string recycled =
      std::string(LocalFolderPart(path)) + RecycledItemName(LocalFilePart(path));
  const LocalFile item = OpenLocal(at, at == AT_FDCWD ? recycled : RecycledItemName(name), 8);
  // Gone (emptied or restored), a folder, or some other file: no row.
  if (!item.regular || !IsRecycledCache(*info, item.head)) return;
  CacheFileRecord row = RecycledCacheRecord(
      *info, recycled, item.size, FoundFileTimeText(item.modified), options.date_time_format);
  row.modified_utc = UnixSecondsUtcIso(item.modified);
  AddCacheFileRow(list, std::move(row), options, outcome);
}

// A cache file the walk met by its name: inside a recycled folder it is named
// by where it was before the folder was deleted.
void ListCacheFile(FoundCacheList& list, const std::string& path, const SearchOptions& options,
                   SearchOutcome* outcome, int at) {
  const auto place = FindRecycledFolder(path);
  std::optional<RecycleInfo> info;
  if (place) {
    const std::string folder = place->recycled_folder;
    const size_t slash = folder.find_last_of('/');
    info = ReadLocalInfo(AT_FDCWD, folder.substr(0, slash + 1) + "$I" + folder.substr(slash + 3));
  }
  if (list.IndexOfPath(path) >= 0) return;
  const LocalFile file = OpenLocal(at, at == AT_FDCWD ? path : std::string(LocalFilePart(path)), 0);
  if (!info) {
    // Size and time stay empty when the file cannot be opened, so that it
    // is still seen to exist.
    CacheFileRecord row;
    row.name = LocalFilePart(path);
    if (file.opened) {
      row.size = file.size;
      row.modified = FoundFileTimeText(file.modified);
      row.modified_utc = UnixSecondsUtcIso(file.modified);
    }
    SetRecordLocation(row, FileLocation{path});
    AddCacheFileRow(list, std::move(row), options, outcome);
    return;
  }
  RecycleInfo named = *info;
  std::string relative = place->relative;
  for (char& c : relative) {
    if (c == '/') c = '\\';
  }
  if (!named.original.empty() && named.original.back() != '\\') named.original += '\\';
  named.original += relative;
  CacheFileRecord row = RecycledCacheRecord(
      named, path, file.opened ? std::optional<int64_t>(file.size) : std::nullopt,
      file.opened ? FoundFileTimeText(file.modified) : "", options.date_time_format);
  if (file.opened) row.modified_utc = UnixSecondsUtcIso(file.modified);
  AddCacheFileRow(list, std::move(row), options, outcome);
}

}  // namespace

std::optional<RecycleInfo> ParseRecycleInfo(std::span<const uint8_t> bytes) {
  if (bytes.size() < kInfoFixedFields || bytes.size() > kRecycleInfoMaxBytes) return std::nullopt;
  ByteFields fields(bytes);
  RecycleInfo info;
  info.version = fields.Le<uint64_t>(0);
  std::span<const uint8_t> path;
  if (info.version == 1) {
    if (bytes.size() == kInfoVistaShortSize) {
      info.size = fields.Le<uint64_t>(8) & kSevenByteMask;
      info.deleted = fields.Le<uint64_t>(15);
      path = bytes.subspan(kInfoFixedFields - 1);
    } else {
      info.size = fields.Le<uint64_t>(8);
      info.deleted = fields.Le<uint64_t>(16);
      path = bytes.subspan(kInfoFixedFields,
                           std::min<size_t>(bytes.size() - kInfoFixedFields, kInfoV1PathBytes));
      info.path_complete = bytes.size() >= kInfoV1Size;
    }
  } else if (info.version == 2) {
    if (bytes.size() < kInfoV2PathOffset) return std::nullopt;
    info.size = fields.Le<uint64_t>(8);
    info.deleted = fields.Le<uint64_t>(16);
    const uint64_t count = fields.Le<uint32_t>(kInfoFixedFields);
    const uint64_t room = (bytes.size() - kInfoV2PathOffset) / 2;
    info.path_complete = count <= room;
    path = bytes.subspan(kInfoV2PathOffset, 2 * std::min(count, room));
  } else {
    return std::nullopt;
  }
  info.original = DecodePath(path, &info.text_ok);
  if (info.original.empty()) return std::nullopt;
  return info;
}

bool IsThumbcacheName(std::string_view file_part) {
  return file_part.size() > 14 && StartsWithNoCase(file_part, "thumbcache_") &&
         EndsWithNoCase(file_part, ".db") && !EqualsNoCase(file_part, "thumbcache_idx.db");
}

bool IsCacheItemName(std::string_view file_part) {
  return EqualsNoCase(file_part, "thumbs.db") || IsThumbcacheName(file_part);
}

bool IsVistaRecycleBinPath(std::string_view path) {
  constexpr std::string_view kBin = "$recycle.bin";
  for (size_t at = 0; at + kBin.size() <= path.size(); ++at) {
    if (!StartsWithNoCase(path.substr(at), kBin)) continue;
    const bool starts = at == 0 || path[at - 1] == '/' || path[at - 1] == '\\';
    const size_t end = at + kBin.size();
    const bool ends = end == path.size() || path[end] == '/' || path[end] == '\\';
    if (starts && ends) return true;
  }
  return false;
}

std::string RecycledItemName(std::string_view info_name) {
  std::string name(info_name);
  if (name.size() >= 2) name[1] = name[1] == 'i' ? 'r' : 'R';
  return name;
}

VistaEntryRole ClassifyVistaEntry(std::string_view folder, std::string_view name) {
  if (IsThumbcacheName(name)) return VistaEntryRole::kThumbcache;
  if (IsInfoName(name) && IsVistaRecycleBinPath(folder)) return VistaEntryRole::kRecycleInfo;
  return VistaEntryRole::kNone;
}

bool LooksLikeCacheFile(std::span<const uint8_t> head) {
  static constexpr std::array<uint8_t, 8> kCompound = {0xD0, 0xCF, 0x11, 0xE0,
                                                       0xA1, 0xB1, 0x1A, 0xE1};
  if (head.size() >= kCompound.size() &&
      std::equal(kCompound.begin(), kCompound.end(), head.begin()))
    return true;
  return head.size() >= 4 && head[0] == 'C' && head[1] == 'M' && head[2] == 'M' && head[3] == 'M';
}

bool IsRecycledCache(const RecycleInfo& info, std::span<const uint8_t> recycled_head) {
  return IsCacheItemName(WindowsFilePart(info.original)) && LooksLikeCacheFile(recycled_head);
}

CacheFileRecord RecycledCacheRecord(const RecycleInfo& info, const std::string& recycled_path,
                                    std::optional<int64_t> size, const std::string& written,
                                    const std::string& date_time_format) {
  CacheFileRecord row;
  row.name = info.original;
  row.size = size;
  row.deleted = FileTimeText(info.deleted, date_time_format);
  row.deleted_utc = FileTimeUtcIso(info.deleted);
  row.modified = written + std::string(kDeletedTimeJoiner) + row.deleted;
  SetRecordLocation(row, FileLocation{recycled_path});
  row.recycled = true;
  return row;
}

std::optional<RecycledFolderPlace> FindRecycledFolder(std::string_view path) {
  // Folders from the front: ... / $Recycle.Bin / <SID> / $R... / rest.
  std::vector<std::string_view> parts;
  std::vector<size_t> starts;
  for (size_t at = 0; at <= path.size();) {
    const size_t slash = std::min(path.find('/', at), path.size());
    parts.push_back(path.substr(at, slash - at));
    starts.push_back(at);
    at = slash + 1;
  }
  for (size_t i = 0; i + 3 < parts.size(); ++i) {
    if (!EqualsNoCase(parts[i], "$recycle.bin")) continue;
    const std::string_view item = parts[i + 2];
    if (item.size() <= 2 || !StartsWithNoCase(item, "$r")) continue;
    RecycledFolderPlace place;
    place.recycled_folder = std::string(path.substr(0, starts[i + 2] + item.size()));
    place.relative = std::string(path.substr(starts[i + 3]));
    return place;
  }
  return std::nullopt;
}

bool ListVistaEntry(FoundCacheList& list, const std::string& path, const SearchOptions& options,
                    SearchOutcome* outcome, int at) {
  const std::string_view name = LocalFilePart(path);
  const std::string_view folder = LocalFolderPart(path);
  switch (ClassifyVistaEntry(folder, name)) {
    case VistaEntryRole::kThumbcache:
      ListCacheFile(list, path, options, outcome, at);
      return true;
    case VistaEntryRole::kRecycleInfo:
      ListRecycleInfo(list, path, options, outcome, at);
      return true;
    case VistaEntryRole::kNone:
      break;
  }
  // A Thumbs.db in a recycled folder keeps the folder's original name.
  if (EqualsNoCase(name, "thumbs.db") && FindRecycledFolder(path)) {
    ListCacheFile(list, path, options, outcome, at);
    return true;
  }
  return false;
}

}  // namespace glintvane
