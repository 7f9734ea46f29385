// What a carving pass reads, opened in one place for the command line and the
// window alike: a file as it lies (a swap file, a damaged cache), the disk
// held in a disk image whose file is not the disk's bytes (EWF, VMDK, VHD,
// VHDX, QCOW2, AFF, split raw),
// or only the unallocated space of an image's file systems.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "base/byte_source.h"
#include "carve/carve_scan.h"
#include "evidence/evidence_image.h"
#include "evidence/unallocated.h"

namespace glintvane {

struct CarveSourceOptions {
  // Only the unallocated space of the image's file systems, where the
  // thumbnails of deleted caches lie.
  bool unallocated = false;
};

class CarveSource {
 public:
  enum class Kind : uint8_t {
    kFile,         // the file's bytes as they lie
    kImage,        // the disk inside a container (EWF, VMDK, ...) or a split raw image
    kUnallocated,  // the unallocated blocks of an image's file systems, one after another
  };

  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }
  // What is read, for people: "the disk in the EWF image (3 segment files)".
  const std::string& description() const { return description_; }
  // Said beside the result without making it partial: a partition whose
  // space is not carved because no file system was recognised in it.
  const std::vector<std::string>& notes() const { return notes_; }
  // Why a scan of every byte here still does not cover the evidence: a
  // partition or a file system ends past the image's end.
  const std::vector<std::string>& incomplete() const { return incomplete_; }
  // The image, for kImage and kUnallocated, and for a file that holds a
  // disk as it lies (its extents were checked through it); else null.
  EvidenceImage* image() { return image_.get(); }
  // The image's format name ("EWF", "split raw") for kImage and kUnallocated.
  std::string format() const;

  // Runs the carving scan over the source. A file is opened by the scan
  // itself, which refuses what is not a regular file or a block device.
  CarveResult Scan(const CarveTarget& target);
  // The bytes the rows' offsets count in, for hashing them: after Scan, and
  // null for a file the scan could not read.
  ByteSource* bytes();
  // Where [start, start + length) of the scanned bytes lies in the file or
  // the disk (stream_offset relative to `start`); one run unless the
  // unallocated stream joins stretches that are not neighbours.
  std::vector<ImageRun> SourceRunsOf(uint64_t start, uint64_t length) const;
  // Sectors of the image that read as zeros; 0 for a file.
  uint64_t unreadable_sectors() const;
  // The size of the disk (the image's media) or of the file.
  uint64_t source_size() const;

 private:
  friend ReadResult<std::unique_ptr<CarveSource>> OpenCarveSource(
      const std::string& path, const CarveSourceOptions& options);
  CarveSource() = default;

  Kind kind_ = Kind::kFile;
  std::string path_;
  std::string description_;
  std::vector<std::string> notes_;
  std::vector<std::string> incomplete_;
  std::unique_ptr<EvidenceImage> image_;
  std::unique_ptr<RunsByteSource> unallocated_;
  std::unique_ptr<ByteSource> file_;
  uint64_t file_size_ = 0;
};

// Opens what `path` names for carving. A container, a split raw image and,
// with options.unallocated, any disk image are read through the image; any
// other file as it lies, its extents checked when it holds a disk. The
// error is the image's (see EvidenceImage::Open). A file that cannot be
// opened is not an error here: the scan reports it as it reports any
// unreadable file.
ReadResult<std::unique_ptr<CarveSource>> OpenCarveSource(const std::string& path,
                                                         const CarveSourceOptions& options = {});

}  // namespace glintvane
