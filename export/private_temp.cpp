#include "export/private_temp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "export/extract_name.h"
#include "export/extract_run.h"

namespace glintvane {
namespace {

// Group and other permission bits: none may be set on our folder.
constexpr mode_t kForeignAccess = S_IRWXG | S_IRWXO;

// True when `path` is a directory (not a link to one) that we own and that
// nobody else may enter. Checked on an open descriptor so that the answer is
// about the folder itself, not about what a name pointed to a moment ago.
bool IsOurPrivateFolder(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
                  (st.st_mode & kForeignAccess) == 0;
  close(fd);
  return ok;
}

bool IsUsableParent(const char* path) {
  if (path == nullptr || path[0] != '/') return false;
  struct stat st {};
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

tl::expected<std::string, IoError> PrivateTempFolderUnder(const std::string& parent) {
  std::string base = parent.empty() ? std::string("/tmp") : parent;
  if (base.back() != '/') base += '/';
  const std::string mine = base + "glintvane-" + std::to_string(geteuid());
  // mkdir never follows a link of that name; an existing entry is checked.
  if (mkdir(mine.c_str(), 0700) != 0 && errno != EEXIST)
    return tl::unexpected(IoErrorFromErrno(errno));
  if (IsOurPrivateFolder(mine)) return mine + "/";
  // Someone else holds the name (or it is a link): make a fresh folder rather
  // than give up, so a planted name cannot stop viewing either.
  std::string pattern = base + "glintvane-" + std::to_string(geteuid()) + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return tl::unexpected(IoErrorFromErrno(errno));
  std::string fresh(buffer.data());
  if (!IsOurPrivateFolder(fresh)) return tl::unexpected(IoError{EPERM, "not a private folder"});
  return fresh + "/";
}

tl::expected<std::string, IoError> PrivateTempFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // The runtime folder is meant to be ours and private; trust it only then.
  if (runtime != nullptr && runtime[0] == '/' && IsOurPrivateFolder(runtime)) {
    return PrivateTempFolderUnder(runtime);
  }
  const char* tmpdir = std::getenv("TMPDIR");
  return PrivateTempFolderUnder(IsUsableParent(tmpdir) ? std::string(tmpdir) : "/tmp");
}

ViewingCopy WriteViewingCopy(const ThumbnailList& list, const ImageStore& store,
                             const ThumbnailRow& row, const std::string& folder,
                             ErrorList& errors) {
  ViewingCopy copy;
  copy.path = MakeExtractName(row, folder);
  copy.ok = WriteThumbnailRow(list, store, row, copy.path, errors, OutputMode::kPrivateFresh).ok;
  return copy;
}

}  // namespace glintvane
