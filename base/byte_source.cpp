#include "base/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace glintvane {

IoError IoErrorFromErrno(int error_number) {
  return IoError{error_number, std::strerror(error_number)};
}

tl::expected<size_t, IoError> MemoryByteSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset >= bytes_.size()) return 0;
  const size_t n = std::min<uint64_t>(out.size(), bytes_.size() - offset);
  std::memcpy(out.data(), bytes_.data() + offset, n);
  return n;
}

WindowByteSource::WindowByteSource(ByteSource& inner, uint64_t offset, uint64_t length,
                                   std::shared_ptr<const void> keep)
    : inner_(inner),
      offset_(std::min(offset, inner.Size())),
      length_(std::min(length, inner.Size() - offset_)),
      keep_(std::move(keep)) {}

tl::expected<size_t, IoError> WindowByteSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset >= length_) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), length_ - offset));
  return inner_.ReadAt(offset_ + offset, out.first(n));
}

FileByteSource::~FileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

tl::expected<OpenedEvidence, IoError> OpenEvidenceAt(int folder_fd, const char* name,
                                                     bool follow_link) {
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow_link ? 0 : O_NOFOLLOW);
  int fd = ::openat(folder_fd, name, flags | O_NOATIME);
  // O_NOATIME is refused (EPERM) for files of other users: read them plainly.
  if (fd < 0 && errno == EPERM) fd = ::openat(folder_fd, name, flags);
  if (fd < 0) return tl::unexpected(IoErrorFromErrno(errno));
  auto fail = [fd](int error_number) {
    ::close(fd);
    if (error_number == kErrorNotFileOrDevice) {
      return tl::unexpected(IoError{error_number, "Not a regular file or block device"});
    }
    return tl::unexpected(IoErrorFromErrno(error_number));
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(errno);
  if (S_ISDIR(st.st_mode)) return fail(EISDIR);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return fail(kErrorNotFileOrDevice);
  // Reads of a regular file or a disk never wait on a writer; the flag only
  // served the open, and some drivers refuse reads with it set.
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  OpenedEvidence opened{fd, static_cast<uint64_t>(st.st_size)};
  if (S_ISBLK(st.st_mode)) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) return fail(errno);
    opened.size = static_cast<uint64_t>(end);
  }
  return opened;
}

tl::expected<OpenedEvidence, IoError> OpenEvidence(const std::string& path) {
  return OpenEvidenceAt(AT_FDCWD, path.c_str(), true);
}

tl::expected<std::unique_ptr<FileByteSource>, IoError> FileByteSource::Open(
    const std::string& path) {
  return OpenAt(AT_FDCWD, path.c_str(), true);
}

tl::expected<std::unique_ptr<FileByteSource>, IoError> FileByteSource::OpenAt(int folder_fd,
                                                                              const char* name,
                                                                              bool follow_link) {
  auto opened = OpenEvidenceAt(folder_fd, name, follow_link);
  if (!opened) return tl::unexpected(opened.error());
  return std::unique_ptr<FileByteSource>(new FileByteSource(opened->fd, opened->size));
}

tl::expected<size_t, IoError> FileByteSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return tl::unexpected(IoErrorFromErrno(errno));
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

tl::expected<std::vector<uint8_t>, IoError> ReadWholeFile(const std::string& path) {
  auto source = FileByteSource::Open(path);
  if (!source) return tl::unexpected(source.error());
  std::vector<uint8_t> bytes((*source)->Size());
  auto n = (*source)->ReadAt(0, bytes);
  if (!n) return tl::unexpected(n.error());
  bytes.resize(*n);
  return bytes;
}

}  // namespace glintvane
