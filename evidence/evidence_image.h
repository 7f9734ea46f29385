// Disk and partition images as examiners hand them in: raw (one file or split
// into .001, .002, ...), Expert Witness (E01, E02, ...) and the containers of
// image_containers.h (VMDK, VHD, VHDX, QCOW2, AFF), told apart by their
// content. The image is one ByteSource; The Sleuth Kit reads its partitions and
// file systems through it, so every byte the program takes from an image comes
// through one place that counts the sectors it could not read.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "base/byte_source.h"
#include "cache/read_error.h"

struct TSK_IMG_INFO;
struct TSK_FS_INFO;
struct TSK_VS_INFO;

namespace glintvane {

enum class ImageFormat : uint8_t { kRaw, kSplitRaw, kEwf, kVmdk, kVhd, kVhdx, kQcow2, kAff };

// "raw", "split raw", "EWF", "VMDK", "VHD", "VHDX", "QCOW2", "AFF".
std::string_view ImageFormatName(ImageFormat format);

// The sector size assumed for reading around a damaged spot: the unit a disk
// fails in, and the one every image format here stores.
inline constexpr uint32_t kImageSectorSize = 512;

// The eight bytes every EWF segment file starts with.
bool HasEwfSignature(std::span<const uint8_t> head);

// The segment files of a raw image, in order: the path alone, or for a name
// ending in ".000"/".001" the run of numbered files that follows it.
std::vector<std::string> RawSegmentPaths(const std::string& path);

// The name of the first piece missing from `pieces` (as RawSegmentPaths
// found them, from ".000" or ".001") when a later-numbered piece lies beside them: a gap that would
// otherwise read as a shorter disk. Empty when the numbering has no gap.
std::string MissingRawSegment(const std::vector<std::string>& pieces);

// Reads the whole image at any offset. A read that fails is retried sector by
// sector; a sector that still fails reads as zeros and is counted, so a walk
// or a carving pass goes on past bad spots and can say how many there were.
class ImageByteSource final : public ByteSource {
 public:
  // Reads [offset, offset + out.size()) of the image in one piece, or fails.
  class Reader {
   public:
    virtual ~Reader() = default;
    virtual uint64_t Size() const = 0;
    virtual bool Read(uint64_t offset, std::span<uint8_t> out) = 0;
  };
  explicit ImageByteSource(std::unique_ptr<Reader> reader) : reader_(std::move(reader)) {}

  uint64_t Size() const override { return reader_->Size(); }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  // Distinct sectors that could not be read, however often they were asked for.
  uint64_t unreadable_sectors() const;
  // The lowest unreadable sector's offset, for the message; valid when counted.
  uint64_t first_unreadable_offset() const;

 private:
  void NoteUnreadable(uint64_t sector);

  std::unique_ptr<Reader> reader_;
  mutable std::mutex mutex_;          // library handles keep state between reads
  std::map<uint64_t, uint64_t> bad_;  // unreadable sectors: first -> one past the last
  uint64_t unreadable_ = 0;
  uint64_t first_unreadable_ = 0;
};

// One partition (or the whole image when it has no partition table) and the
// file system found in it.
struct EvidenceVolume {
  int partition = 0;  // 1-based in table order; 0 for an image without a table
  uint64_t offset = 0;
  uint64_t length = 0;
  std::string description;    // the table's own text ("NTFS / exFAT (0x07)")
  TSK_FS_INFO* fs = nullptr;  // owned by the image; null when none was recognised
  std::string fs_name;        // "ntfs", "fat32", ...
  std::string error;          // why no file system was opened
  // The earlier partition with the very same extent: its file system is
  // read there, once, and this one is left unopened (fs null, no error).
  int duplicate_of = 0;
  // An earlier partition (by offset) whose extent this one's overlaps; 0 when none.
  int overlaps = 0;
  // Why this volume is not wholly inside the image: the partition or its file
  // system ends past the image's end (a truncated acquisition). Empty when inside.
  std::string past_end;
};

class ShadowCopies;

class EvidenceImage {
 public:
  ~EvidenceImage();
  EvidenceImage(const EvidenceImage&) = delete;
  EvidenceImage& operator=(const EvidenceImage&) = delete;

  // Opens the image at `path` (its first segment for a split or EWF image,
  // the descriptor or the newest child of a VMDK, VHD, VHDX or QCOW2).
  // The error is kErrImageIncomplete for a missing EWF segment, extent,
  // parent or raw piece, else kErrImageOpen; its detail is a sentence that
  // names the file (and the library's message).
  static ReadResult<std::unique_ptr<EvidenceImage>> Open(const std::string& path);

  const std::string& path() const { return path_; }
  ImageFormat format() const { return format_; }
  // The files read: segments, pieces, extents and parents.
  size_t segment_count() const { return segments_; }
  // Their paths, in the order they make the image (the first one given).
  const std::vector<std::string>& files() const { return files_; }
  ImageByteSource& bytes() { return *source_; }
  uint64_t size() const { return source_->Size(); }

  // Reads the partition table (MBR, GPT, ...) and opens the file system in
  // every partition that holds data; the whole image is volume 0 when there
  // is no table. Done once; later calls return the same list.
  std::vector<EvidenceVolume>& Volumes();
  // True when a partition table was found.
  bool partitioned();
  // The volume with that number, or null.
  EvidenceVolume* Volume(int partition);
  // True when a partition or a file system ends past the image's end.
  bool truncated();
  // The Volume Shadow Copy stores of the NTFS volume `partition`, read once
  // and kept (see shadow_copies.h); none when it holds no copies. The error
  // says why they cannot be read, or that the volume is no NTFS one.
  tl::expected<ShadowCopies*, std::string> ShadowCopiesOf(int partition);
  // Sectors read as zeros so far: the image's, and the reads of any
  // shadow-copy store opened that libvshadow refused.
  uint64_t unreadable_sectors();
  // The file system of `partition` as it is (`store` 0) or as shadow-copy
  // store `store` holds it. The error's code is kErrNoPartition,
  // kErrNoFileSystem or kErrShadowCopy; its detail a sentence for the user.
  ReadResult<TSK_FS_INFO*> FileSystemAt(int partition, int store);

 private:
  EvidenceImage() = default;
  EvidenceVolume WholeImage() const;
  // Appends a volume for each allocated partition of the table.
  void ListPartitions(TSK_VS_INFO* vs);
  // Opens the file system of the volume, or sets its error.
  bool OpenFileSystem(EvidenceVolume& volume);
  // Sets duplicate_of and overlaps of every volume.
  void MarkSharedExtents();

  std::string path_;
  ImageFormat format_ = ImageFormat::kRaw;
  size_t segments_ = 1;
  std::vector<std::string> files_;
  std::unique_ptr<ImageByteSource> source_;
  TSK_IMG_INFO* img_ = nullptr;
  bool volumes_read_ = false;
  bool partitioned_ = false;
  std::vector<EvidenceVolume> volumes_;
  std::map<int, tl::expected<std::unique_ptr<ShadowCopies>, std::string>> shadows_;
};

// True when `path` names something that looks like a disk image rather than a
// single cache file: an EWF segment or another container, or a regular file
// or block device whose first sectors hold a partition table or a file
// system boot sector.
bool LooksLikeEvidenceImage(const std::string& path);

// The message The Sleuth Kit left for its last failed call, on one line.
std::string TskErrorText();

// The Sleuth Kit's image over `source`, said to be `size` bytes long; null on
// failure, with TSK's error set. tsk_img_close frees it.
TSK_IMG_INFO* OpenTskImage(ImageByteSource& source, uint64_t size);
// The file system at `offset` of `img`, whose bytes `source` reads: the type
// its boot sector names is tried alone first, detection after. Null with
// `error` set (and TSK's reset) when none opens.
TSK_FS_INFO* OpenTskFileSystem(TSK_IMG_INFO* img, ImageByteSource& source, uint64_t offset,
                               std::string& error);

}  // namespace glintvane
