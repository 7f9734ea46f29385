// A positioned byte source. Parsers read through it so that tests and fuzzers
// can hand in bytes and the program can hand in files.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <tl/expected.hpp>

namespace glintvane {

// What went wrong with a platform call: the errno value and its message.
struct IoError {
  int error_number = 0;
  std::string message;
};

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Size of the source in bytes.
  virtual uint64_t Size() const = 0;
  // Reads up to out.size() bytes at offset; returns how many were read
  // (fewer only at the end of the source, 0 at or past it).
  virtual tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

// Bytes held in memory; the span must outlive the source.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override;

 private:
  std::span<const uint8_t> bytes_;
};

// [offset, offset + length) of another source, read as a source of its own
// (a cache found at an offset of a disk or a swap file). `keep` holds what
// the inner source needs alive (its image, its file); it may be null.
class WindowByteSource final : public ByteSource {
 public:
  WindowByteSource(ByteSource& inner, uint64_t offset, uint64_t length,
                   std::shared_ptr<const void> keep = nullptr);
  uint64_t Size() const override { return length_; }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override;

 private:
  ByteSource& inner_;
  uint64_t offset_;
  uint64_t length_;
  std::shared_ptr<const void> keep_;
};

// A file opened read-only. Reads are positioned (pread), so the source keeps
// no file position of its own.
class FileByteSource final : public ByteSource {
 public:
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  // Opened as OpenEvidence and OpenEvidenceAt open.
  static tl::expected<std::unique_ptr<FileByteSource>, IoError> Open(const std::string& path);
  static tl::expected<std::unique_ptr<FileByteSource>, IoError> OpenAt(int folder_fd,
                                                                       const char* name,
                                                                       bool follow_link);
  uint64_t Size() const override { return size_; }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override;

 private:
  FileByteSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
  int fd_ = -1;
  uint64_t size_ = 0;
};

// errno value of an IoError for a path that is neither a regular file nor a
// block device (a FIFO, a socket, a character device, a folder): reading one
// could block for ever or never end.
inline constexpr int kErrorNotFileOrDevice = ENODEV;

// An opened piece of evidence: the descriptor and the size in bytes.
struct OpenedEvidence {
  int fd = -1;
  uint64_t size = 0;
};

// Opens `path` for reading as evidence: without following a FIFO into a
// wait (O_NONBLOCK, then cleared), without changing its access time
// (O_NOATIME where the file's owner or a privileged user reads it), and only
// when it is a regular file or a block device (a whole disk can be read).
// Anything else is refused before a byte is read, with
// kErrorNotFileOrDevice. A block device's size is taken by seeking to its end.
tl::expected<OpenedEvidence, IoError> OpenEvidence(const std::string& path);
// The same for `name` in the folder open on `folder_fd` (AT_FDCWD: the
// current folder); a symbolic link is refused (ELOOP) unless `follow_link`.
tl::expected<OpenedEvidence, IoError> OpenEvidenceAt(int folder_fd, const char* name,
                                                     bool follow_link);

// Reads a whole small file into memory (language files, test fixtures).
tl::expected<std::vector<uint8_t>, IoError> ReadWholeFile(const std::string& path);

// The errno value as an IoError.
IoError IoErrorFromErrno(int error_number);

}  // namespace glintvane
