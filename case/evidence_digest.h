// The SHA-256 that names a piece of evidence in a case: taken over the
// evidence file as the examiner handed it in, or over the files of a disk
// image in order (every segment of an EWF or split raw image, a container
// with its extents and parents), read in pieces with progress and a stop.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "base/progress.h"

namespace glintvane {

// Bytes hashed per read: large enough to read at the disk's full speed,
// small enough that a stop request is seen within a few milliseconds.
inline constexpr size_t kEvidenceHashChunk = size_t{1} << 20;

struct EvidenceDigest {
  bool ok = false;
  bool stopped = false;  // the stop token ended the pass; no digest
  std::string error;     // why the files could not be read
  uint64_t size = 0;     // bytes hashed, every file together
  std::string sha256;    // lower-case hex
};

// SHA-256 over the files one after the other.
EvidenceDigest HashEvidenceFiles(const std::vector<std::string>& files, ProgressSink* progress,
                                 std::stop_token stop);

// What the files look like without reading them: each one's path, size,
// modification time (nanoseconds) and file identity. The case takes the
// SHA-256 again only when this has changed, so a disk image of hundreds of
// gigabytes is read once, not at every opening. "" when a file cannot be
// looked at.
std::string EvidenceStamp(const std::vector<std::string>& files);

}  // namespace glintvane
