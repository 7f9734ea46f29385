#include "base/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

FileByteSource::~FileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

tl::expected<std::unique_ptr<FileByteSource>, IoError> FileByteSource::Open(
    const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return tl::unexpected(IoErrorFromErrno(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return tl::unexpected(IoErrorFromErrno(e));
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return tl::unexpected(IoErrorFromErrno(EISDIR));
  }
  return std::unique_ptr<FileByteSource>(new FileByteSource(fd, static_cast<uint64_t>(st.st_size)));
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
