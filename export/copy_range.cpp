#include "export/copy_range.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "base/byte_source.h"
#include "base/error_codes.h"

namespace glintvane {
namespace {

// Enough tries to step past leftovers of earlier runs; more failures mean
// something keeps planting names, and the row fails rather than loop.
constexpr int kTemporaryNameTries = 64;

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

// Removes a file we created and could not finish or place: a cut file in
// the destination would pass for a thumbnail. errno is kept for the message
// of the failure that led here.
void RemoveUnfinished(const std::string& path) {
  const int saved = errno;
  unlink(path.c_str());
  errno = saved;
}

// Closes on every way out unless closed.
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

std::string TemporaryName(const std::string& output) {
  thread_local std::mt19937_64 random{std::random_device{}() ^ static_cast<uint64_t>(getpid())
                                                                   << 32};
  const size_t slash = output.rfind('/');
  std::string path = slash == std::string::npos ? std::string() : output.substr(0, slash + 1);
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
  path += kPartialPrefix;
  path += digits;
  path += kPartialSuffix;
  return path;
}

// The file being written: in the private folder under its own name, anywhere
// else under a temporary name beside it until Place.
class OutputFile {
 public:
  OutputFile(const std::string& output, OutputMode mode) : output_(output), mode_(mode) {}
  ~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty() && !placed_) RemoveUnfinished(path_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Open() {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    if (mode_ == OutputMode::kPrivateFresh) {
      // Our own folder, so removing the old copy is safe; O_EXCL then makes
      // sure the file we write is the one we just created.
      if (unlink(output_.c_str()) != 0 && errno != ENOENT) return false;
      fd_ = open(output_.c_str(), kFlags, 0600);
      if (fd_ >= 0) path_ = output_;
      return fd_ >= 0;
    }
    for (int i = 0; i < kTemporaryNameTries; ++i) {
      const std::string candidate = TemporaryName(output_);
      fd_ = open(candidate.c_str(), kFlags, 0666);
      if (fd_ >= 0) {
        path_ = candidate;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  int fd() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

  // Moves the finished file to its name, unless that name holds one of the
  // inputs (by device and inode, so a hard link is caught too).
  void Place(std::span<const FileId> inputs, WriteOutcome& outcome) {
    if (mode_ == OutputMode::kPrivateFresh) {
      placed_ = true;
      outcome.ok = true;
      return;
    }
    struct stat st {};
    if (lstat(output_.c_str(), &st) == 0) {
      const FileId there{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
      if (std::find(inputs.begin(), inputs.end(), there) != inputs.end()) {
        outcome.error_code = kErrCreateOutput;
        outcome.is_input = true;
        outcome.system_error = EEXIST;
        outcome.detail = "it is the file being read";
        return;
      }
    }
    if (rename(path_.c_str(), output_.c_str()) != 0) {
      outcome.error_code = kErrCreateOutput;
      outcome.name_refused = true;
      outcome.system_error = errno;
      outcome.detail = Message(errno);
      return;
    }
    placed_ = true;
    outcome.ok = true;
  }

 private:
  std::string output_;
  OutputMode mode_;
  std::string path_;  // the file created, once it is
  int fd_ = -1;
  bool placed_ = false;
};

}  // namespace

std::optional<FileId> FileIdOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool NameRejected(const WriteOutcome& outcome) {
  return outcome.name_refused;
}

WriteOutcome WriteBytesFile(const std::string& output, std::span<const uint8_t> bytes,
                            OutputMode mode, std::span<const FileId> inputs) {
  WriteOutcome outcome;
  OutputFile out(output, mode);
  if (!out.Open()) {
    outcome.error_code = kErrCreateOutput;
    outcome.system_error = errno;
    outcome.detail = Message(errno);
    return outcome;
  }
  // Write errors are checked: a full disk must not leave a cut image that
  // is reported as written.
  if (!WriteAll(out.fd(), bytes.data(), bytes.size()) || !out.Close()) {
    outcome.error_code = kErrCloseOutput;
    outcome.system_error = errno;
    outcome.detail = Message(errno);
    return outcome;
  }
  out.Place(inputs, outcome);
  if (!outcome.ok) return outcome;
  outcome.bytes = static_cast<int64_t>(bytes.size());
  outcome.digests = DigestsOf(bytes);
  return outcome;
}

namespace {

WriteOutcome CopyRange(const std::string& output, const std::string& source, int64_t offset,
                       int64_t length, OutputMode mode, std::span<const FileId> inputs) {
  WriteOutcome outcome;
  auto fail = [&](int code, int error_number) {
    outcome.error_code = code;
    outcome.system_error = error_number;
    outcome.detail = Message(error_number);
    return outcome;
  };
  if (length == 0) length = kDefaultCopyLength;

  // The source first: it joins the files that must not be replaced, and a
  // FIFO named as the source is refused before anything is created.
  auto opened = OpenEvidence(source);
  if (!opened) return fail(kErrOpenSource, opened.error().error_number);
  Fd in(opened->fd);
  std::vector<FileId> protect(inputs.begin(), inputs.end());
  struct stat st {};
  if (fstat(in.get(), &st) == 0) {
    protect.push_back({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
  }
  OutputFile out(output, mode);
  if (!out.Open()) return fail(kErrCreateOutput, errno);
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
    if (!WriteAll(out.fd(), bytes.data(), bytes.size())) return fail(kErrCloseOutput, errno);
    digest.Update(bytes);
    total += got;
  }
  if (!in.Close()) return fail(kErrCloseSource, errno);
  if (!out.Close()) return fail(kErrCloseOutput, errno);
  out.Place(protect, outcome);
  if (!outcome.ok) return outcome;
  outcome.bytes = total;
  outcome.digests = digest.Finish();
  return outcome;
}

}  // namespace

WriteOutcome CopyFileRange(const std::string& output, const std::string& source, int64_t offset,
                           int64_t length, ErrorList& errors, OutputMode mode,
                           std::span<const FileId> inputs) {
  WriteOutcome outcome = CopyRange(output, source, offset, length, mode, inputs);
  if (!outcome.ok) errors.AddError(outcome.error_code, output, outcome.detail);
  return outcome;
}

WriteOutcome CopySourceRange(const std::string& output, ByteSource& source, int64_t offset,
                             int64_t length, ErrorList& errors, OutputMode mode,
                             std::span<const FileId> inputs) {
  WriteOutcome outcome;
  const auto fail = [&](int code, int error_number, std::string detail) {
    outcome.error_code = code;
    outcome.system_error = error_number;
    outcome.detail = std::move(detail);
    errors.AddError(code, output, outcome.detail);
    return outcome;
  };
  if (length == 0) length = kDefaultCopyLength;
  if (offset < 0 || length < 0) return fail(kErrSeek, EINVAL, Message(EINVAL));
  OutputFile out(output, mode);
  if (!out.Open()) return fail(kErrCreateOutput, errno, Message(errno));
  // As for a file: a range that runs past the end gives the bytes up to it.
  const uint64_t size = source.Size();
  const uint64_t start = static_cast<uint64_t>(offset);
  const uint64_t end =
      start >= size ? start
                    : start + std::min<uint64_t>(static_cast<uint64_t>(length), size - start);
  MultiDigest digest;
  std::vector<uint8_t> piece(kCopyPiece);
  uint64_t at = start;
  while (at < end) {
    const auto want = piece.size() < end - at ? piece.size() : static_cast<size_t>(end - at);
    const auto read = source.ReadAt(at, std::span<uint8_t>(piece.data(), want));
    if (!read) {
      const IoError& error = read.error();
      return fail(kErrRead, error.error_number,
                  error.message.empty() ? Message(error.error_number) : error.message);
    }
    if (*read == 0) break;
    if (!WriteAll(out.fd(), piece.data(), *read))
      return fail(kErrCloseOutput, errno, Message(errno));
    digest.Update(std::span<const uint8_t>(piece.data(), *read));
    at += *read;
  }
  if (!out.Close()) return fail(kErrCloseOutput, errno, Message(errno));
  out.Place(inputs, outcome);
  if (!outcome.ok) {
    errors.AddError(outcome.error_code, output, outcome.detail);
    return outcome;
  }
  outcome.bytes = static_cast<int64_t>(at - start);
  outcome.digests = digest.Finish();
  return outcome;
}

}  // namespace glintvane
