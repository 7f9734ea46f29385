// Writing image bytes to files: a byte range of a file on disk (carved rows)
// or bytes held in memory (rows of a cache), hashed on the way.
#pragma once

#include <cstdint>
#include <span>
#include <string>

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
  // Create, or truncate a file of that name (an earlier run's output is
  // replaced). A symbolic link of that name is refused, not followed.
  kReplace,
  // Remove whatever has the name, then create a new file exclusively with
  // mode 0600: for copies in the private temporary folder.
  kPrivateFresh,
};

struct WriteOutcome {
  bool ok = false;
  int error_code = 0;    // 601 to 606 on failure
  int system_error = 0;  // the errno value of the failure
  std::string detail;    // the system's message for the failure
  int64_t bytes = 0;     // bytes written
  Digests digests;       // of the bytes written; set when ok
};

// Copies `length` bytes (0: kDefaultCopyLength) at `offset` of the file
// `source` into a new file `output`. A range that runs past the end of the
// source gives the bytes up to the end, an offset at or past the end an
// empty file; both count as success. A failure is recorded in `errors` with
// its code (601 create, 602 open, 603 offset, 604 read, 605 close source,
// 606 write or close output), `output` as context and the system's message.
WriteOutcome CopyFileRange(const std::string& output, const std::string& source, int64_t offset,
                           int64_t length, ErrorList& errors, const UiTexts& texts,
                           OutputMode mode = OutputMode::kReplace);

// True when the destination's file system refused the output's name (a
// character a FAT or NTFS stick cannot hold, a name or path too long): a
// fault of that one name, not of the destination.
bool NameRejected(const WriteOutcome& outcome);

// Writes `bytes` as the file `output`. Records nothing: the caller decides
// what a failure means.
WriteOutcome WriteBytesFile(const std::string& output, std::span<const uint8_t> bytes,
                            OutputMode mode = OutputMode::kReplace);

}  // namespace glintvane
