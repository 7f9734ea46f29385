#include "discover/search_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include "base/file_time.h"
#include "base/windows_path.h"
#include "discover/cache_names.h"
#include "discover/recycle_bin.h"
#include "discover/recycle_bin_vista.h"

namespace glintvane {
namespace {

// Folders this near the root keep their descriptor while the walk is below
// them. Deeper ones let it go when the walk enters a subfolder and get it
// back through the subfolder's ".." on the way up, so a tree thousands of
// folders deep never uses up the process's descriptors (1024 by default)
// and no folder is ever reopened by a full path that may be too long.
constexpr size_t kHeldFolderDepth = 128;

constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

struct FolderId {
  dev_t device;
  ino_t inode;
  bool operator==(const FolderId&) const = default;
};

// The folders a walk has entered: one slot per folder in a table that
// doubles when half full, so that a folder costs no allocation of its own.
class FolderIdSet {
 public:
  bool Contains(const FolderId& id) const { return !slots_.empty() && slots_[SlotOf(id)] == id; }
  void Insert(const FolderId& id) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    FolderId& slot = slots_[SlotOf(id)];
    if (slot == id) return;
    slot = id;
    ++count_;
  }

 private:
  // No device has every bit set: such a slot is free.
  static constexpr FolderId kFree{static_cast<dev_t>(-1), 0};
  static constexpr size_t kFirstSlots = 1024;

  // The slot holding `id`, or the free one where it would go.
  size_t SlotOf(const FolderId& id) const {
    const uint64_t mixed = (static_cast<uint64_t>(id.inode) ^
                            static_cast<uint64_t>(id.device) * 0xFF51AFD7ED558CCDULL) *
                           0x9E3779B97F4A7C15ULL;
    const size_t mask = slots_.size() - 1;
    size_t at = static_cast<size_t>(mixed >> 32) & mask;
    while (!(slots_[at] == kFree) && !(slots_[at] == id)) at = (at + 1) & mask;
    return at;
  }

  void Grow() {
    std::vector<FolderId> old(std::max(kFirstSlots, 2 * slots_.size()), kFree);
    old.swap(slots_);
    for (const FolderId& id : old) {
      if (!(id == kFree)) slots_[SlotOf(id)] = id;
    }
  }

  std::vector<FolderId> slots_;  // a power of two of them
  size_t count_ = 0;
};

std::optional<FolderId> IdOf(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return std::nullopt;
  return FolderId{st.st_dev, st.st_ino};
}

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
    row.modified_utc = UnixSecondsUtcIso(facts.modified);
  }
  SetRecordLocation(row, FileLocation{path});
  return row;
}

FileFacts FactsOfOpened(int fd) {
  FileFacts facts;
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
  return facts;
}

// One getdents64 call reads this much: a few hundred entries.
constexpr size_t kListingReadBytes = 32 * 1024;

// The entries of one folder as the kernel's getdents64 records them (type,
// 0-terminated name, record length), kept whole, so that listing a folder
// costs one copy per read and no allocation once the walk has been as deep
// before. Read whole before anything below is entered, so the folder's own
// descriptor can be let go of meanwhile.
class FolderEntries {
 public:
  void Clear() {
    records_.clear();
    next_ = 0;
  }

  // Reads the rest of the folder open on `fd` through `buffer`
  // (kListingReadBytes); false when it cannot be listed.
  bool Read(int fd, char* buffer) {
    for (;;) {
      const ssize_t got = getdents64(fd, buffer, kListingReadBytes);
      if (got == 0) return true;
      if (got < 0) return false;
      records_.append(buffer, static_cast<size_t>(got));
    }
  }

  // The next entry other than "." and ".."; false after the last. The name
  // stays valid until Clear.
  bool Next(unsigned char& type, const char*& name) {
    while (next_ + kNameAt < records_.size()) {
      const char* record = records_.data() + next_;
      uint16_t length = 0;
      std::memcpy(&length, record + kLengthAt, sizeof length);
      if (length <= kNameAt || length > records_.size() - next_) break;  // never from a kernel
      next_ += length;
      name = record + kNameAt;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      type = static_cast<unsigned char>(record[kTypeAt]);
      return true;
    }
    next_ = records_.size();
    return false;
  }

 private:
  static constexpr size_t kLengthAt = offsetof(dirent64, d_reclen);
  static constexpr size_t kTypeAt = offsetof(dirent64, d_type);
  static constexpr size_t kNameAt = offsetof(dirent64, d_name);

  std::string records_;
  size_t next_ = 0;
};

class FolderWalk {
 public:
  FolderWalk(FoundCacheList& list, const SearchOptions& options, SearchOutcome& outcome)
      : list_(list),
        options_(options),
        outcome_(outcome),
        listing_(std::make_unique_for_overwrite<char[]>(kListingReadBytes)) {}

  ~FolderWalk() {
    for (size_t i = 0; i < depth_; ++i) CloseFrame(*frames_[i]);
  }

  void Run() {
    // The root is what the user chose: a link given as the root is followed.
    const int fd = open(outcome_.root.c_str(), kOpenFolderFlags);
    if (fd < 0) {
      outcome_.root_error = IoErrorFromErrno(errno);
      return;
    }
    outcome_.root_listed = true;
    const auto id = IdOf(fd);
    root_id_ = id.value_or(FolderId{});
    if (options_.follow_links) root_real_ = RealPathOf(fd);
    path_ = outcome_.root;
    if (!Push(fd, root_id_, path_.size(), {})) {
      outcome_.root_listed = false;
      outcome_.root_error = IoErrorFromErrno(errno);
      return;
    }
    while (depth_ > 0) {
      // Checked once per entry: a stopped walk keeps the rows it listed.
      if (options_.stop.stop_requested()) {
        outcome_.stopped = true;
        return;
      }
      Step();
    }
  }

 private:
  // One folder being walked. Frames are kept when the walk comes back up, so
  // their buffers serve the next folder at the same depth.
  struct Frame {
    int fd = -1;  // -1 while let go of (deep folders, while below them)
    FolderId id{};
    size_t path_length = 0;  // path_ of this folder is path_.substr(0, path_length)
    // Its name in its parent, to find it again: a view of the parent's
    // entries (0-terminated), which stay while anything below is walked.
    std::string_view name;
    FolderEntries entries;
    std::vector<std::string> recycled;  // D<letter><n>.db names, checked after the index
  };

  static void CloseFrame(Frame& frame) {
    if (frame.fd >= 0) close(frame.fd);
    frame.fd = -1;
  }

  Frame& Top() { return *frames_[depth_ - 1]; }

  // Takes `fd` (an opened folder whose id is `id`) onto the stack; false (fd
  // closed, errno set) when it cannot be listed.
  bool Push(int fd, FolderId id, size_t path_length, std::string_view name) {
    if (depth_ == frames_.size()) frames_.push_back(std::make_unique<Frame>());
    Frame& frame = *frames_[depth_];
    frame.entries.Clear();
    frame.recycled.clear();
    if (!frame.entries.Read(fd, listing_.get())) {
      const int saved = errno;
      close(fd);
      errno = saved;
      return false;
    }
    frame.fd = fd;
    frame.id = id;
    frame.name = name;
    frame.path_length = path_length;
    visited_.Insert(id);
    if (depth_ >= kHeldFolderDepth) CloseFrame(Top());
    ++depth_;
    return true;
  }

  void Step() {
    Frame& frame = Top();
    unsigned char type = DT_UNKNOWN;
    const char* name = nullptr;
    if (!frame.entries.Next(type, name)) {
      Finish();
      return;
    }
    // The name lives in the frame's own buffer, which entering a folder
    // leaves alone (frames never move), and ends in a 0.
    HandleEntry(frame, name, type);
  }

  // Makes path_ name `name` in the folder of `frame`.
  void SetPath(const Frame& frame, std::string_view name) {
    path_.resize(frame.path_length);
    if (path_.back() != '/') path_ += '/';
    path_ += name;
  }

  // Ends the folder on top: its recycled files, then back to its parent,
  // whose descriptor is taken again through ".." if it was let go of.
  void Finish() {
    Frame& frame = Top();
    // After the folder's own index (if any) has named them: a recycled file
    // that the index lists keeps its original path and deletion time.
    for (const std::string& name : frame.recycled) {
      SetPath(frame, name);
      AddRecycledFile(frame.fd, name);
    }
    if (depth_ >= 2 && frames_[depth_ - 2]->fd < 0) Reopen(depth_ - 2);
    CloseFrame(Top());
    --depth_;
  }

  // Gets back the descriptor of frames_[at] from the one above it. When the
  // ".." found there is another folder (the tree was moved meanwhile, or a
  // followed link led here), the walk steps down again by name from the
  // nearest folder that kept its descriptor; a folder that cannot be found
  // again is counted unreadable and the rest of it is not listed.
  void Reopen(size_t at) {
    Frame& frame = *frames_[at];
    const int up = openat(frames_[at + 1]->fd, "..", kOpenFolderFlags);
    if (up >= 0 && IdOf(up) == std::optional<FolderId>(frame.id)) {
      frame.fd = up;
      return;
    }
    if (up >= 0) close(up);
    size_t held = at;
    while (held > 0 && frames_[held]->fd < 0) --held;
    int fd = dup(frames_[held]->fd);
    for (size_t k = held + 1; fd >= 0 && k <= at; ++k) {
      const Frame& step = *frames_[k];
      const int next = openat(fd, step.name.data(), kOpenFolderFlags | FollowFlag());
      close(fd);
      fd = next >= 0 && IdOf(next) == std::optional<FolderId>(step.id) ? next : -1;
      if (next >= 0 && fd < 0) close(next);
    }
    if (fd < 0) {
      // Nothing more of it is listed; its own parent is found by name.
      ++outcome_.unreadable_folders;
      frame.entries.Clear();
      frame.recycled.clear();
      return;
    }
    frame.fd = fd;
  }

  int FollowFlag() const { return options_.follow_links ? 0 : O_NOFOLLOW; }

  // One entry of the folder on top. Most are plain files no rule could
  // list: those are passed by on their first letter, before any path is made.
  void HandleEntry(Frame& frame, std::string_view name, unsigned char type) {
    const int at = frame.fd;
    if (type == DT_UNKNOWN) type = TypeByStat(at, name.data());
    switch (type) {
      case DT_DIR:
        SetPath(frame, name);
        EnterFolder(at, name.data(), false);
        break;
      case DT_REG:
        if (!MayBeFoundFileName(name)) break;
        SetPath(frame, name);
        HandleFile(frame, name, false);
        break;
      case DT_LNK:
        // Never followed (as "find -P"), unless the options say so and it
        // leads to somewhere inside the root.
        if (!options_.follow_links) {
          ++outcome_.links_not_followed;
          break;
        }
        SetPath(frame, name);
        FollowLink(frame, name);
        break;
      default:
        break;
    }
  }

  // The type of an entry the file system listed without one; a folder when
  // it cannot be told, so that it is counted when it cannot be entered.
  static unsigned char TypeByStat(int at, const char* name) {
    struct stat st {};
    if (fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_DIR;
    return S_ISDIR(st.st_mode)   ? DT_DIR
           : S_ISREG(st.st_mode) ? DT_REG
           : S_ISLNK(st.st_mode) ? DT_LNK
                                 : DT_UNKNOWN;
  }

  // A link, with following allowed: entered or handled only when what it
  // leads to lies inside the root.
  void FollowLink(Frame& frame, std::string_view name) {
    struct stat st {};
    if (fstatat(frame.fd, name.data(), &st, 0) != 0) return;  // a broken link: nothing there
    if (S_ISDIR(st.st_mode)) {
      EnterFolder(frame.fd, name.data(), true);
    } else if (S_ISREG(st.st_mode)) {
      HandleFile(frame, name, true);
    }
  }

  // True when the folder open on `fd` lies inside the root: its ".." chain
  // meets the root before it meets "/".
  bool FolderInsideRoot(int fd) const {
    int current = dup(fd);
    bool inside = false;
    while (current >= 0) {
      const auto id = IdOf(current);
      if (!id) break;
      if (*id == root_id_) {
        inside = true;
        break;
      }
      const int up = openat(current, "..", kOpenFolderFlags);
      const bool at_top = up >= 0 && IdOf(up) == id;  // "/" is its own parent
      close(current);
      current = at_top ? (close(up), -1) : up;
    }
    if (current >= 0) close(current);
    return inside;
  }

  // The file system's own path of an opened file, "" when it cannot tell.
  static std::string RealPathOf(int fd) {
    std::array<char, 4096> text{};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), text.data(), text.size());
    if (n <= 0 || static_cast<size_t>(n) >= text.size()) return {};
    return std::string(text.data(), static_cast<size_t>(n));
  }

  bool FileInsideRoot(int fd) const {
    if (root_real_.empty()) return false;
    const std::string real = RealPathOf(fd);
    const std::string prefix = root_real_ == "/" ? root_real_ : root_real_ + "/";
    return real.compare(0, prefix.size(), prefix) == 0;
  }

  void EnterFolder(int at, const char* name, bool through_link) {
    ++outcome_.folders;
    if (options_.progress != nullptr) options_.progress->OnFolder(outcome_.folders, name);
    const int fd = openat(at, name, kOpenFolderFlags | (through_link ? 0 : O_NOFOLLOW));
    if (fd < 0) {
      ++outcome_.unreadable_folders;
      return;
    }
    if (through_link && !FolderInsideRoot(fd)) {
      ++outcome_.links_not_followed;
      close(fd);
      return;
    }
    const auto id = IdOf(fd);
    if (id && visited_.Contains(*id)) {
      ++outcome_.repeated_folders;
      close(fd);
      return;
    }
    if (!Push(fd, id.value_or(FolderId{}), path_.size(), name)) ++outcome_.unreadable_folders;
  }

  // What a file met by the walk is to the search. The one place that decides
  // by name; `folder` is the path of the folder holding it.
  enum class FileRole { kNone, kCache, kRecycleBinIndex, kRecycledCache };
  static FileRole RoleOf(std::string_view name, std::string_view folder) {
    if (EqualsIgnoringAsciiCase(name, "thumbs.db")) return FileRole::kCache;
    if (EqualsIgnoringAsciiCase(name, "info2")) return FileRole::kRecycleBinIndex;
    if (IsRecycledCacheName(name) && IsRecycleBinPath(folder)) return FileRole::kRecycledCache;
    return FileRole::kNone;
  }

  // path_ names the file; `frame` is its folder.
  void HandleFile(Frame& frame, std::string_view name, bool through_link) {
    const int at = frame.fd;
    // A Windows Search database: listed, and matched with the thumbcache
    // files of its volume once the walk has ended. Read where it lies.
    if (IsSearchIndexName(name)) {
      if (!through_link) {
        outcome_.search_indexes.push_back({FileLocation{path_}, path_, false});
      } else {
        ++outcome_.links_not_followed;
      }
      return;
    }
    // thumbcache_*.db, $Recycle.Bin records and caches in recycled folders
    if (!through_link && ListVistaEntry(list_, path_, options_, &outcome_, at)) return;
    switch (RoleOf(name, std::string_view(path_).substr(0, frame.path_length))) {
      case FileRole::kCache:
        AddCacheFileAt(at, name.data(), through_link);
        break;
      case FileRole::kRecycleBinIndex:
        if (through_link) {
          ++outcome_.links_not_followed;  // an index is read where it lies
          break;
        }
        ReadRecycleBinIndex(list_, path_, options_, outcome_, at);
        break;
      case FileRole::kRecycledCache:
        if (!through_link) frame.recycled.emplace_back(name);
        break;
      case FileRole::kNone:
        break;
    }
  }

  void AddCacheFileAt(int at, const char* name, bool through_link) {
    if (list_.IndexOfPath(path_) >= 0) return;
    const int fd = OpenFileAt(at, name, through_link);
    FileFacts facts;
    if (fd >= 0) {
      const bool inside = !through_link || FileInsideRoot(fd);
      if (inside) facts = FactsOfOpened(fd);
      close(fd);
      if (!inside) {
        ++outcome_.links_not_followed;
        return;
      }
    }
    AddCacheFileRow(list_, RecordOfFile(path_, facts), options_, &outcome_);
  }

  static int OpenFileAt(int at, const char* name, bool follow) {
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW);
    int fd = openat(at, name, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM) fd = openat(at, name, flags);
    return fd;
  }

  // A recycled cache met by its name alone: its index record may be gone,
  // so it is listed under its own name when it really is a compound file.
  void AddRecycledFile(int at, const std::string& name) {
    if (list_.IndexOfPath(path_) >= 0) return;
    const FileFacts facts = ReadFileFactsAt(at, name.c_str(), false);
    if (facts.opened && !facts.compound) return;
    CacheFileRecord row = RecordOfFile(path_, facts);
    row.recycled = true;
    AddCacheFileRow(list_, std::move(row), options_, &outcome_);
  }

  FoundCacheList& list_;
  const SearchOptions& options_;
  SearchOutcome& outcome_;
  std::string path_;
  std::vector<std::unique_ptr<Frame>> frames_;  // frames_[0, depth_) are being walked
  size_t depth_ = 0;
  std::unique_ptr<char[]> listing_;  // kListingReadBytes, for the kernel's folder records
  FolderId root_id_{};
  std::string root_real_;  // the root's own path, for links followed to files
  FolderIdSet visited_;
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
  return ReadFileFactsAt(AT_FDCWD, path.c_str(), true);
}

FileFacts ReadFileFactsAt(int folder_fd, const char* name, bool follow_link) {
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow_link ? 0 : O_NOFOLLOW);
  int fd = openat(folder_fd, name, flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = openat(folder_fd, name, flags);
  if (fd < 0) {
    FileFacts facts;
    facts.link = errno == ELOOP;
    return facts;
  }
  const FileFacts facts = FactsOfOpened(fd);
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
  list.NameSearchIndexes(outcome.search_indexes);
  return outcome;
}

}  // namespace glintvane
