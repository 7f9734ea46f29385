#include "evidence/carve_source.h"

#include <array>

#include "base/error_codes.h"
#include "evidence/image_containers.h"

namespace glintvane {
namespace {

// True when the file's bytes are not the disk's as they lie: an EWF segment
// or another container, or the first piece of a split raw image (a gap in
// its numbering included, so that opening names the missing piece).
bool NeedsImageReader(const std::string& path) {
  if (ContainerFormatOf(path) != ImageFormat::kRaw) return true;
  const std::vector<std::string> pieces = RawSegmentPaths(path);
  return pieces.size() > 1 || !MissingRawSegment(pieces).empty();
}

std::string SegmentsText(const EvidenceImage& image) {
  if (image.segment_count() < 2) return "";
  const char* word = image.format() == ImageFormat::kEwf        ? " segment files)"
                     : image.format() == ImageFormat::kSplitRaw ? " pieces)"
                                                                : " files)";
  return " (" + std::to_string(image.segment_count()) + word;
}

// The partitions and file systems that end past the image's end.
std::vector<std::string> PastEndReasons(EvidenceImage& image) {
  std::vector<std::string> reasons;
  for (const EvidenceVolume& volume : image.Volumes()) {
    if (!volume.past_end.empty()) reasons.push_back(image.path() + ": " + volume.past_end);
  }
  return reasons;
}

}  // namespace

std::string CarveSource::format() const {
  if (kind_ == Kind::kFile || !image_) return "";
  return std::string(ImageFormatName(image_->format()));
}

CarveResult CarveSource::Scan(const CarveTarget& target) {
  if (kind_ != Kind::kFile) return ScanSourceForImages(*bytes(), path_, target);
  CarveResult result = ScanFileForImages(path_, target);
  file_size_ = result.file_size;
  // Opened again only when the scan could read it: a FIFO or a folder was
  // refused already and is never waited on here.
  if (result.file_size > 0) {
    if (auto opened = FileByteSource::Open(path_)) file_ = std::move(*opened);
  }
  return result;
}

ByteSource* CarveSource::bytes() {
  switch (kind_) {
    case Kind::kFile:
      return file_.get();
    case Kind::kImage:
      return &image_->bytes();
    case Kind::kUnallocated:
      return unallocated_.get();
  }
  return nullptr;
}

std::vector<ImageRun> CarveSource::SourceRunsOf(uint64_t start, uint64_t length) const {
  if (kind_ == Kind::kUnallocated) return unallocated_->ImageRunsOf(start, length);
  if (length == 0) return {};
  return {ImageRun{0, start, length}};
}

uint64_t CarveSource::unreadable_sectors() const {
  return kind_ == Kind::kFile ? 0 : image_->bytes().unreadable_sectors();
}

uint64_t CarveSource::source_size() const {
  return kind_ == Kind::kFile ? file_size_ : image_->size();
}

ReadResult<std::unique_ptr<CarveSource>> OpenCarveSource(const std::string& path,
                                                         const CarveSourceOptions& options) {
  auto source = std::unique_ptr<CarveSource>(new CarveSource);
  source->path_ = path;
  if (!options.unallocated && !NeedsImageReader(path)) {
    source->kind_ = CarveSource::Kind::kFile;
    source->description_ = "the file as it lies";
    // A raw disk image is carved as the file it is, but a partition or a
    // file system that ends past its end still says the disk was cut short.
    if (LooksLikeEvidenceImage(path)) {
      if (auto opened = EvidenceImage::Open(path)) {
        source->image_ = std::move(*opened);
        source->incomplete_ = PastEndReasons(*source->image_);
        source->description_ = "the raw disk image as it lies";
      }
    }
    return source;
  }
  auto opened = EvidenceImage::Open(path);
  if (!opened) return tl::unexpected(opened.error());
  source->image_ = std::move(*opened);
  EvidenceImage& image = *source->image_;
  const std::string format(ImageFormatName(image.format()));
  source->incomplete_ = PastEndReasons(image);
  if (!options.unallocated) {
    source->kind_ = CarveSource::Kind::kImage;
    source->description_ = "the disk in the " + format + " image" + SegmentsText(image);
    return source;
  }
  source->kind_ = CarveSource::Kind::kUnallocated;
  size_t file_systems = 0;
  for (const EvidenceVolume& volume : image.Volumes()) {
    if (volume.fs != nullptr) ++file_systems;
    if (volume.fs != nullptr || volume.duplicate_of != 0) continue;
    source->notes_.push_back(
        path + ": " +
        (volume.partition == 0
             ? std::string("no file system recognised")
             : "partition " + std::to_string(volume.partition) + ": no file system recognised") +
        ", its space is not carved");
  }
  std::vector<ImageRun> runs = UnallocatedRuns(image);
  const size_t run_count = runs.size();
  source->unallocated_ = std::make_unique<RunsByteSource>(image.bytes(), std::move(runs));
  source->description_ = "the unallocated space of " + std::to_string(file_systems) +
                         (file_systems == 1 ? " file system" : " file systems") + " in the " +
                         format + " image" + SegmentsText(image) + ": " +
                         std::to_string(source->unallocated_->Size()) + " bytes in " +
                         std::to_string(run_count) + (run_count == 1 ? " run" : " runs");
  return source;
}

}  // namespace glintvane
