// The unallocated space of an image's file systems, read as one stream: where
// the clusters of deleted files lie until they are written over, and so where
// carving finds the thumbnails of deleted caches.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/byte_source.h"
#include "evidence/evidence_image.h"

namespace glintvane {

// A stretch of the image: `length` bytes from `image_offset`, at
// `stream_offset` in the stream that joins the stretches.
struct ImageRun {
  uint64_t stream_offset = 0;
  uint64_t image_offset = 0;
  uint64_t length = 0;
};

// The unallocated blocks of every recognised file system, neighbours joined,
// in image order.
std::vector<ImageRun> UnallocatedRuns(EvidenceImage& image);

// Where the run of unallocated blocks that holds the byte at `image_offset`
// ends in the file system of `volume` (an image offset), looked at no further
// than `limit`; nullopt when that block is allocated or outside the file
// system. What UnallocatedRuns joins, found from one block on.
std::optional<uint64_t> FreeRunEnd(const EvidenceVolume& volume, uint64_t image_offset,
                                   uint64_t limit);

// The runs of `source` one after another.
class RunsByteSource final : public ByteSource {
 public:
  RunsByteSource(ByteSource& source, std::vector<ImageRun> runs);
  uint64_t Size() const override { return size_; }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  // Where the stream's [offset, offset + length) lies in the image, piece by
  // piece (stream_offset relative to `offset`).
  std::vector<ImageRun> ImageRunsOf(uint64_t offset, uint64_t length) const;
  // Where the run that holds the stream's byte at `offset` ends, in the
  // stream: its neighbour in the stream need not be its neighbour on disk.
  uint64_t RunEndOf(uint64_t offset) const;

 private:
  ByteSource& source_;
  std::vector<ImageRun> runs_;
  uint64_t size_ = 0;
};

}  // namespace glintvane
