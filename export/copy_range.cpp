#include "export/copy_range.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "base/error_codes.h"

namespace glintvane {
namespace {

int OpenOutput(const std::string& path, OutputMode mode) {
  if (mode == OutputMode::kPrivateFresh) {
    // Our own folder, so removing the old copy is safe; O_EXCL then makes sure
    // the file we write is the one we just created.
    if (unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  }
  return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
}

// Writes everything or fails; short writes and EINTR are retried.
bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string Message(int error_number) {
  return std::strerror(error_number);
}

// A file we created or emptied and could not fill is removed: an empty or
// cut file in the destination would pass for a thumbnail. errno is kept for
// the message of the failure that led here.
void RemoveUnfinished(const std::string& path) {
  const int saved = errno;
  unlink(path.c_str());
  errno = saved;
}

// Closes on every way out unless released.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and tells whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace

bool NameRejected(const WriteOutcome& outcome) {
  return outcome.error_code == kErrCreateOutput &&
         (outcome.system_error == EINVAL || outcome.system_error == EILSEQ ||
          outcome.system_error == ENAMETOOLONG);
}

WriteOutcome WriteBytesFile(const std::string& output, std::span<const uint8_t> bytes,
                            OutputMode mode) {
  WriteOutcome outcome;
  Fd out(OpenOutput(output, mode));
  if (out.get() < 0) {
    outcome.error_code = kErrCreateOutput;
    outcome.system_error = errno;
    outcome.detail = Message(errno);
    return outcome;
  }
  // Write errors are checked: a full disk must not leave a cut image that
  // is reported as written.
  if (!WriteAll(out.get(), bytes.data(), bytes.size()) || !out.Close()) {
    outcome.error_code = kErrCloseOutput;
    outcome.system_error = errno;
    outcome.detail = Message(errno);
    RemoveUnfinished(output);
    return outcome;
  }
  outcome.ok = true;
  outcome.bytes = static_cast<int64_t>(bytes.size());
  outcome.digests = DigestsOf(bytes);
  return outcome;
}

namespace {

WriteOutcome CopyRange(const std::string& output, const std::string& source, int64_t offset,
                       int64_t length, OutputMode mode) {
  WriteOutcome outcome;
  bool created = false;
  auto fail = [&](int code, int error_number) {
    outcome.error_code = code;
    outcome.system_error = error_number;
    outcome.detail = Message(error_number);
    if (created) RemoveUnfinished(output);
    return outcome;
  };
  if (length == 0) length = kDefaultCopyLength;

  Fd out(OpenOutput(output, mode));
  if (out.get() < 0) return fail(kErrCreateOutput, errno);
  created = true;
  Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return fail(kErrOpenSource, errno);
  // A negative offset or length is a damaged row: no position to read from.
  if (offset < 0 || length < 0) return fail(kErrSeek, EINVAL);
  // Nothing lies that far out; the cut keeps offset + total from overflowing.
  length = std::min(length, std::numeric_limits<int64_t>::max() - offset);

  MultiDigest digest;
  std::vector<uint8_t> piece(kCopyPiece);
  int64_t total = 0;
  while (total < length) {
    const size_t want =
        static_cast<size_t>(std::min<int64_t>(length - total, static_cast<int64_t>(kCopyPiece)));
    const ssize_t got = pread(in.get(), piece.data(), want, static_cast<off_t>(offset + total));
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(kErrRead, errno);
    }
    if (got == 0) break;  // end of the source
    const std::span<const uint8_t> bytes(piece.data(), static_cast<size_t>(got));
    if (!WriteAll(out.get(), bytes.data(), bytes.size())) return fail(kErrCloseOutput, errno);
    digest.Update(bytes);
    total += got;
  }
  if (!in.Close()) return fail(kErrCloseSource, errno);
  if (!out.Close()) return fail(kErrCloseOutput, errno);
  outcome.ok = true;
  outcome.bytes = total;
  outcome.digests = digest.Finish();
  return outcome;
}

}  // namespace

WriteOutcome CopyFileRange(const std::string& output, const std::string& source, int64_t offset,
                           int64_t length, ErrorList& errors, const UiTexts& texts,
                           OutputMode mode) {
  WriteOutcome outcome = CopyRange(output, source, offset, length, mode);
  if (!outcome.ok) errors.AddError(outcome.error_code, output, outcome.detail, texts);
  return outcome;
}

}  // namespace glintvane
