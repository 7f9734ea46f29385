// Writing image bytes to files: a byte range of a file on disk (carved rows)
// or bytes held in memory (rows of a cache), hashed on the way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "export/digest.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane {

// Rows whose end was never found: 400 KiB holds any thumbnail and most
// camera previews without copying half a swap file.
inline constexpr int64_t kDefaultCopyLength = 409600;

// Piece size of range copies.
inline constexpr size_t kCopyPiece = 64 * 1024;

enum class OutputMode {
  // Write a fresh file beside the output under a temporary name (created
  // exclusively, never through a link), then rename it over the output: an
  // earlier run's output is replaced, while a link, FIFO or device planted
  // under the name is replaced rather than written through, and a file that
  // is one of the inputs is never replaced.
  kReplace,
  // Remove whatever has the name, then create a new file exclusively with
  // mode 0600: for copies in the private temporary folder.
  kPrivateFresh,
};

// A file's identity: what two names of one file share.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The identity of the file at `path` (links followed); nullopt when it
// cannot be read.
std::optional<FileId> FileIdOf(const std::string& path);

struct WriteOutcome {
  bool ok = false;
  // The bytes were written but the destination refused the output's name
  // (a character its file system cannot hold, a name too long, a folder of
  // that name): a fault of that one name, not of the destination.
  bool name_refused = false;
  // The output names one of the inputs, so it was not written.
  bool is_input = false;
  int error_code = 0;    // 601 to 606 on failure
  int system_error = 0;  // the errno value of the failure
  std::string detail;    // the system's message for the failure
  int64_t bytes = 0;     // bytes written
  Digests digests;       // of the bytes written; set when ok
};

// Temporary outputs are named with this prefix and suffix in the
// destination until they are complete.
inline constexpr std::string_view kPartialPrefix = ".glintvane-";
inline constexpr std::string_view kPartialSuffix = ".part";

// Copies `length` bytes (0: kDefaultCopyLength) at `offset` of the file
// `source` into a new file `output`. A range that runs past the end of the
// source gives the bytes up to the end, an offset at or past the end an
// empty file; both count as success. A failure is recorded in `errors` with
// its code (601 create, 602 open, 603 offset, 604 read, 605 close source,
// 606 write or close output), `output` as context and the system's message.
// Neither `source` nor any file of `inputs` is ever replaced.
WriteOutcome CopyFileRange(const std::string& output, const std::string& source, int64_t offset,
                           int64_t length, ErrorList& errors,
                           OutputMode mode = OutputMode::kReplace,
                           std::span<const FileId> inputs = {});

class ByteSource;

// The same copy from `source`, bytes that are not one file's as it lies (the
// disk inside an EWF image): `offset` and `length` count in them. A read
// failure is code 604. No file of `inputs` is ever replaced.
WriteOutcome CopySourceRange(const std::string& output, ByteSource& source, int64_t offset,
                             int64_t length, ErrorList& errors,
                             OutputMode mode = OutputMode::kReplace,
                             std::span<const FileId> inputs = {});

// True when the destination's file system refused the output's name: the
// row may be written under another name.
bool NameRejected(const WriteOutcome& outcome);

// Writes `bytes` as the file `output`, never replacing a file of `inputs`.
// Records nothing: the caller decides what a failure means.
WriteOutcome WriteBytesFile(const std::string& output, std::span<const uint8_t> bytes,
                            OutputMode mode = OutputMode::kReplace,
                            std::span<const FileId> inputs = {});

}  // namespace glintvane
