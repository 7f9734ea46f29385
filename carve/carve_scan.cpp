#include "carve/carve_scan.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <vector>

#include <tl/expected.hpp>

#include "base/byte_source.h"
#include "base/error_codes.h"
#include "carve/carved_images.h"

namespace glintvane {
namespace {

// Read size: large enough that system calls cost little beside the search,
// small enough that the block the kernel just copied is still in the core's
// own cache when the search reads it.
constexpr size_t kScanBlock = size_t{256} << 10;

// A failed file call: the error code of the step and the errno value.
struct ScanFailure {
  int code = 0;
  int error_number = 0;
};

// Reads up to `count` bytes into `out`; returns the count read, 0 at the end,
// or -errno.
using ReadFn = int64_t (*)(void* context, uint8_t* out, size_t count);

class PercentSteps {
 public:
  PercentSteps(ProgressSink* sink, int64_t length) : sink_(sink), length_(length) {}
  // Reports every percent step reached at `offset`, one by one, up to full.
  void Reached(int64_t offset) {
    if (sink_ == nullptr || length_ <= 0) return;
    const auto done = static_cast<unsigned __int128>(std::min(offset, length_)) * kProgressFull;
    const int percent = static_cast<int>(done / static_cast<unsigned __int128>(length_));
    while (reported_ < percent) {
      ++reported_;
      sink_->OnProgress(reported_, PercentText(reported_));
    }
  }

 private:
  ProgressSink* sink_;
  int64_t length_;
  int reported_ = 0;
};

// Passes `length` bytes from `read` through the scanner in blocks, each with
// the history the scanner may read back. Returns the bytes read (fewer than
// `length` when the source ended early or the scanner stopped), or the errno
// value of a failed read.
tl::expected<int64_t, int> FeedBlocks(CarvedImageScanner& scanner, int64_t length, ReadFn read,
                                      void* context, ProgressSink* progress,
                                      const std::stop_token& stop = {}) {
  // A small file gets a block of its own size: scanning many small inputs
  // (embedded caches, fuzzing) must not pay for a full block each time.
  const auto block = static_cast<size_t>(std::clamp<int64_t>(length, 1, kScanBlock));
  std::vector<uint8_t> buffer(kCarveHistory + block);
  uint8_t* data = buffer.data() + kCarveHistory;
  PercentSteps steps(progress, length);
  int64_t offset = 0;
  while (offset < length && !scanner.stopped() && !stop.stop_requested()) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(length - offset, block));
    const int64_t got = read(context, data, want);
    if (got < 0) return tl::unexpected(static_cast<int>(-got));
    if (got == 0) break;  // the file became shorter while it was read
    const auto count = static_cast<size_t>(got);
    scanner.DetectImageSignatures(data, count, offset);
    offset += got;
    // The last bytes read become the history of the next block.
    std::memmove(buffer.data(), buffer.data() + count, kCarveHistory);
    steps.Reached(offset);
  }
  return offset;
}

// The scan stopped before the end: at the row limit, or because the file
// shrank. Records the error; the rows stay.
bool ReportEarlyEnd(const CarvedImageScanner& scanner, int64_t read, int64_t length,
                    const std::string& path, CarveTarget& target, CarveResult& result) {
  if (scanner.stopped()) {
    result.error_code = kErrCarveRowLimit;
    target.errors.AddError(kErrCarveRowLimit, path,
                           "the scan stopped at byte " + std::to_string(scanner.stopped_at()) +
                               " of " + std::to_string(length) + " after " +
                               std::to_string(scanner.rows_added()) +
                               " rows, its row limit; the rows found so far are kept, and a "
                               "higher limit scans on");
    return true;
  }
  if (read < length) {
    result.error_code = kErrFileShrank;
    target.errors.AddError(kErrFileShrank, path,
                           "the file ended at byte " + std::to_string(read) + "; it was " +
                               std::to_string(length) +
                               " bytes long when the scan began, so it changed while it was read");
    return true;
  }
  return false;
}

int64_t ReadFile(void* context, uint8_t* out, size_t count) {
  const int fd = *static_cast<int*>(context);
  for (;;) {
    const ssize_t n = ::read(fd, out, count);
    if (n >= 0) return n;
    if (errno != EINTR) return -errno;
  }
}

struct MemoryReader {
  std::span<const uint8_t> bytes;
  size_t position = 0;
};

int64_t ReadMemory(void* context, uint8_t* out, size_t count) {
  auto& reader = *static_cast<MemoryReader*>(context);
  const size_t n = std::min(count, reader.bytes.size() - reader.position);
  std::memcpy(out, reader.bytes.data() + reader.position, n);
  reader.position += n;
  return static_cast<int64_t>(n);
}

struct SourceReader {
  ByteSource& source;
  uint64_t position = 0;
};

int64_t ReadSource(void* context, uint8_t* out, size_t count) {
  auto& reader = *static_cast<SourceReader*>(context);
  const auto got = reader.source.ReadAt(reader.position, {out, count});
  if (!got) return -(got.error().error_number != 0 ? got.error().error_number : EIO);
  reader.position += *got;
  return static_cast<int64_t>(*got);
}

// Opens the file and takes its length by seeking to the end, which also
// works for block devices (a whole disk can be carved); then seeks back.
tl::expected<int64_t, ScanFailure> OpenForScan(const std::string& path, int& fd) {
  auto opened = OpenEvidence(path);
  if (!opened) return tl::unexpected(ScanFailure{kErrOpenSource, opened.error().error_number});
  fd = opened->fd;
  const off_t length = ::lseek(fd, 0, SEEK_END);
  if (length < 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
    const int error_number = errno;
    ::close(fd);
    fd = -1;
    return tl::unexpected(ScanFailure{kErrSeek, error_number});
  }
  // One pass from front to back: let the kernel read far ahead.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return static_cast<int64_t>(length);
}

void Report(const ScanFailure& failure, const std::string& path, CarveTarget& target,
            CarveResult& result) {
  result.error_code = failure.code;
  target.errors.AddError(failure.code,
                         path + " : " + std::string(CarveErrorReason(failure.error_number)), "");
}

void Finish(CarveTarget& target, CarveResult& result) {
  result.ok = result.finished && !target.list.empty();
}

}  // namespace

std::string_view CarveErrorReason(int error_number) {
  switch (error_number) {
    case EACCES:
    case EPERM:
      return "Permission denied";
    case EBADF:
      return "Invalid access code";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    case ENOENT:
      return "No such file or directory";
    case kErrorNotFileOrDevice:
      return "Not a regular file or block device";
    case EISDIR:
      return "Is a directory";
    default:
      return "";
  }
}

CarveResult ScanFileForImages(const std::string& path, CarveTarget target) {
  CarveResult result;
  int fd = -1;
  try {
    const auto length = OpenForScan(path, fd);
    if (!length) {
      Report(length.error(), path, target, result);
      return result;
    }
    result.file_size = static_cast<uint64_t>(*length);
    CarvedImageScanner scanner(target.list, path, *length, 0, target.row_limit, target.kinds);
    const auto read = FeedBlocks(scanner, *length, ReadFile, &fd, target.progress, target.stop);
    result.stopped = target.stop.stop_requested();
    result.rows_added = scanner.rows_added();
    if (!read) {
      // Images open at the failure stay open (length 0): nothing says where
      // they end.
      ::close(fd);
      Report(ScanFailure{kErrRead, read.error()}, path, target, result);
      return result;
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
      Report(ScanFailure{kErrCloseSource, errno}, path, target, result);
      return result;
    }
    // A stopped scan closes its open images where the reading stopped.
    scanner.CloseAtEnd(*read);
    result.bytes_read = static_cast<uint64_t>(*read);
    result.rows_added = scanner.rows_added();
    // A stopped scan is not finished, and its short read is no shrunk file.
    if (!result.stopped && !ReportEarlyEnd(scanner, *read, *length, path, target, result)) {
      result.finished = true;
    }
  } catch (const std::exception&) {
    // Running out of memory for rows is the one failure here that is not a
    // file call's.
    if (fd >= 0) ::close(fd);
    result.error_code = kErrPlatform;
    target.errors.AddError(kErrPlatform, path, "");
  }
  Finish(target, result);
  return result;
}

CarveResult ScanSourceForImages(ByteSource& source, const std::string& path, CarveTarget target) {
  CarveResult result;
  try {
    const auto length = static_cast<int64_t>(source.Size());
    result.file_size = source.Size();
    CarvedImageScanner scanner(target.list, path, length, 0, target.row_limit, target.kinds);
    SourceReader reader{source};
    const auto read =
        FeedBlocks(scanner, length, ReadSource, &reader, target.progress, target.stop);
    result.stopped = target.stop.stop_requested();
    result.rows_added = scanner.rows_added();
    if (!read) {
      Report(ScanFailure{kErrRead, read.error()}, path, target, result);
    } else {
      scanner.CloseAtEnd(*read);
      result.bytes_read = static_cast<uint64_t>(*read);
      result.rows_added = scanner.rows_added();
      if (!result.stopped && !ReportEarlyEnd(scanner, *read, length, path, target, result)) {
        result.finished = true;
      }
    }
  } catch (const std::exception&) {
    result.error_code = kErrPlatform;
    target.errors.AddError(kErrPlatform, path, "");
  }
  Finish(target, result);
  return result;
}

CarveResult ScanBytesForImages(std::span<const uint8_t> bytes, const std::string& path,
                               CarveTarget target) {
  CarveResult result;
  try {
    const auto length = static_cast<int64_t>(bytes.size());
    result.file_size = bytes.size();
    CarvedImageScanner scanner(target.list, path, length, 0, target.row_limit, target.kinds);
    MemoryReader reader{bytes};
    const auto read = FeedBlocks(scanner, length, ReadMemory, &reader, target.progress);
    scanner.CloseAtEnd(read.value_or(length));
    result.bytes_read = static_cast<uint64_t>(read.value_or(length));
    result.rows_added = scanner.rows_added();
    if (!ReportEarlyEnd(scanner, read.value_or(length), length, path, target, result)) {
      result.finished = true;
    }
  } catch (const std::exception&) {
    result.error_code = kErrPlatform;
    target.errors.AddError(kErrPlatform, path, "");
  }
  Finish(target, result);
  return result;
}

}  // namespace glintvane
