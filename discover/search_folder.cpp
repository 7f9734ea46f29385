#include "discover/search_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <unordered_set>

#include "base/windows_path.h"
#include "discover/recycle_bin.h"
#include "discover/recycle_bin_vista.h"

namespace glintvane {
namespace {

// Each folder being listed holds one descriptor for its children's openat.
// Below this depth the walk lets go of them and reopens by full path, so a
// deep tree cannot use up the process's descriptors (1024 by default).
constexpr int kHeldFolderDepth = 128;

constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

struct FolderId {
  dev_t device;
  ino_t inode;
  bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
  size_t operator()(const FolderId& id) const {
    return std::hash<uint64_t>()(static_cast<uint64_t>(id.inode) * 0x9E3779B97F4A7C15ULL ^
                                 static_cast<uint64_t>(id.device));
  }
};

bool EqualsIgnoringAsciiCase(std::string_view name, std::string_view lower) {
  if (name.size() != lower.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lower[i]) return false;
  }
  return true;
}

// The row of a cache file found at `path`: size and time stay empty when the
// file could not be opened, so that it is still seen to exist.
CacheFileRecord RecordOfFile(const std::string& path, const FileFacts& facts) {
  CacheFileRecord row;
  row.name = LocalFilePart(path);
  if (facts.opened) {
    row.size = facts.size;
    row.modified = FoundFileTimeText(facts.modified);
  }
  row.located = LocalFolderPart(path);
  row.path = path;
  return row;
}

class FolderWalk {
 public:
  FolderWalk(FoundCacheList& list, const SearchOptions& options, SearchOutcome& outcome)
      : list_(list), options_(options), outcome_(outcome) {}

  void Run() {
    path_ = outcome_.root;
    const int fd = open(path_.c_str(), kOpenFolderFlags);
    if (fd < 0) {
      outcome_.root_error = IoErrorFromErrno(errno);
      return;
    }
    outcome_.root_listed = true;
    if (!Remember(fd)) {
      close(fd);
      return;
    }
    ListFolder(fd, 0);
  }

 private:
  enum class Kind { kFolder, kFile, kOther };

  // False when the folder was entered before (through a link).
  bool Remember(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return true;
    return visited_.insert(FolderId{st.st_dev, st.st_ino}).second;
  }

  // Lists the folder open on `fd` (path_ is its path) and takes ownership of fd.
  void ListFolder(int fd, int depth) {
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
      close(fd);
      ++outcome_.unreadable_folders;
      return;
    }
    std::vector<std::string> recycled;  // D<letter><n>.db, checked after the index
    if (depth < kHeldFolderDepth) {
      const int at = dirfd(dir);
      while (const dirent* entry = readdir(dir)) {
        HandleEntry(at, entry->d_name, entry->d_type, depth, recycled);
      }
      closedir(dir);
    } else {
      std::vector<std::pair<std::string, unsigned char>> entries;
      while (const dirent* entry = readdir(dir)) entries.emplace_back(entry->d_name, entry->d_type);
      closedir(dir);
      for (const auto& [name, type] : entries) {
        HandleEntry(AT_FDCWD, name.c_str(), type, depth, recycled);
      }
    }
    // After the folder's own index (if any) has named them: a recycled file
    // that the index lists keeps its original path and deletion time.
    for (const std::string& path : recycled) AddRecycledFile(path);
  }

  // `at` is the listed folder's descriptor, or AT_FDCWD when the walk goes
  // by full path at this depth.
  void HandleEntry(int at, const char* name, unsigned char type, int depth,
                   std::vector<std::string>& recycled) {
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) return;
    const size_t folder_length = path_.size();
    if (path_.back() != '/') path_ += '/';
    path_ += name;
    const char* open_name = at == AT_FDCWD ? path_.c_str() : name;
    switch (KindOf(at, open_name, type)) {
      case Kind::kFolder:
        EnterFolder(at, open_name, name, depth);
        break;
      case Kind::kFile:
        HandleFile(name, folder_length, recycled);
        break;
      case Kind::kOther:
        break;
    }
    path_.resize(folder_length);
  }

  // The entry type without a stat where the file system gives it; links are
  // followed. An entry whose type cannot be read counts as a folder, which
  // then fails to list and is counted as unreadable.
  static Kind KindOf(int at, const char* name, unsigned char type) {
    if (type == DT_DIR) return Kind::kFolder;
    if (type == DT_REG) return Kind::kFile;
    if (type != DT_LNK && type != DT_UNKNOWN) return Kind::kOther;
    struct stat st {};
    if (fstatat(at, name, &st, 0) != 0) return Kind::kFolder;
    if (S_ISDIR(st.st_mode)) return Kind::kFolder;
    return S_ISREG(st.st_mode) ? Kind::kFile : Kind::kOther;
  }

  void EnterFolder(int at, const char* open_name, const char* name, int depth) {
    ++outcome_.folders;
    if (options_.progress != nullptr) options_.progress->OnFolder(outcome_.folders, name);
    const int fd = openat(at, open_name, kOpenFolderFlags);
    if (fd < 0) {
      ++outcome_.unreadable_folders;
      return;
    }
    if (!Remember(fd)) {
      ++outcome_.repeated_folders;
      close(fd);
      return;
    }
    ListFolder(fd, depth + 1);
  }

  void HandleFile(std::string_view name, size_t folder_length, std::vector<std::string>& recycled) {
    if (ListVistaEntry(list_, path_, options_, &outcome_)) {
      // thumbcache_*.db, $Recycle.Bin records and recycled folders
    } else if (EqualsIgnoringAsciiCase(name, "thumbs.db")) {
      AddCacheFile(list_, path_, options_, &outcome_);
    } else if (EqualsIgnoringAsciiCase(name, "info2")) {
      ReadRecycleBinIndex(list_, path_, options_, outcome_);
    } else if (IsRecycledCacheName(name) &&
               IsRecycleBinPath(std::string_view(path_).substr(0, folder_length))) {
      recycled.push_back(path_);
    }
  }

  // A recycled cache met by its name alone: its index record may be gone,
  // so it is listed under its own name when it really is a compound file.
  void AddRecycledFile(const std::string& path) {
    if (list_.IndexOfPath(path) >= 0) return;
    const FileFacts facts = ReadFileFacts(path);
    if (facts.opened && !facts.compound) return;
    CacheFileRecord row = RecordOfFile(path, facts);
    row.recycled = true;
    AddCacheFileRow(list_, std::move(row), options_, &outcome_);
  }

  FoundCacheList& list_;
  const SearchOptions& options_;
  SearchOutcome& outcome_;
  std::string path_;
  std::unordered_set<FolderId, FolderIdHash> visited_;
};

}  // namespace

std::string SearchRootPath(std::string_view folder) {
  std::string whole;
  if (folder.empty() || folder.front() != '/') {
    std::array<char, 4096> cwd{};
    if (getcwd(cwd.data(), cwd.size()) != nullptr) whole = cwd.data();
    whole += '/';
  }
  whole += folder;
  // Fold "." and ".." by the text, as Windows does with its paths.
  std::vector<std::string_view> parts;
  std::string_view rest = whole;
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  if (parts.empty()) return "/";
  std::string root;
  for (const std::string_view part : parts) {
    root += '/';
    root += part;
  }
  return root;
}

std::string FoundFileTimeText(int64_t unix_seconds) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return {};
  std::array<char, 64> text{};
  const int n = std::snprintf(text.data(), text.size(), "%d.%d.%04d %d:%d:%d", tm.tm_mday,
                              tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  if (n <= 0) return {};
  return std::string(text.data(), static_cast<size_t>(n));
}

FileFacts ReadFileFacts(const std::string& path) {
  FileFacts facts;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return facts;
  struct stat st {};
  if (fstat(fd, &st) == 0) {
    facts.opened = true;
    facts.size = static_cast<int64_t>(st.st_size);
    facts.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    if (S_ISREG(st.st_mode)) {
      std::array<uint8_t, 8> head{};
      const ssize_t n = pread(fd, head.data(), head.size(), 0);
      static constexpr std::array<uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0,
                                                            0xA1, 0xB1, 0x1A, 0xE1};
      facts.compound = n == static_cast<ssize_t>(head.size()) && head == kSignature;
    }
  }
  close(fd);
  return facts;
}

bool AddCacheFileRow(FoundCacheList& list, CacheFileRecord record, const SearchOptions& options,
                     SearchOutcome* outcome) {
  if (!list.AddCacheFileRow(std::move(record))) return false;
  if (outcome != nullptr) ++outcome->rows_added;
  if (options.rows != nullptr) options.rows->OnCacheFound(list.rows().back(), list.size() - 1);
  return true;
}

bool AddCacheFile(FoundCacheList& list, const std::string& path, const SearchOptions& options,
                  SearchOutcome* outcome) {
  if (list.IndexOfPath(path) >= 0) return false;
  return AddCacheFileRow(list, RecordOfFile(path, ReadFileFacts(path)), options, outcome);
}

SearchOutcome SearchFolder(FoundCacheList& list, std::string_view folder,
                           const SearchOptions& options) {
  SearchOutcome outcome;
  outcome.root = SearchRootPath(folder);
  FolderWalk(list, options, outcome).Run();
  return outcome;
}

}  // namespace glintvane
