#include "evidence/unallocated.h"

#include <tsk/libtsk.h>

#include <algorithm>

namespace glintvane {
namespace {

struct BlockCollector {
  uint64_t volume_offset = 0;
  uint64_t block_size = 0;
  std::vector<ImageRun>* runs = nullptr;
};

TSK_WALK_RET_ENUM OnBlock(const TSK_FS_BLOCK* block, void* context) {
  auto& collector = *static_cast<BlockCollector*>(context);
  const uint64_t at = collector.volume_offset + block->addr * collector.block_size;
  auto& runs = *collector.runs;
  if (!runs.empty() && runs.back().image_offset + runs.back().length == at) {
    runs.back().length += collector.block_size;
  } else {
    runs.push_back(ImageRun{0, at, collector.block_size});
  }
  return TSK_WALK_CONT;
}

struct RunWalk {
  uint64_t volume_offset = 0;
  uint64_t block_size = 0;
  uint64_t limit = 0;
  uint64_t end = 0;  // the run reaches here so far
  bool started = false;
  bool first_free = false;
};

TSK_WALK_RET_ENUM OnRunBlock(const TSK_FS_BLOCK* block, void* context) {
  auto& walk = *static_cast<RunWalk*>(context);
  const bool free = (block->flags & TSK_FS_BLOCK_FLAG_UNALLOC) != 0;
  if (!walk.started) {
    walk.started = true;
    walk.first_free = free;
  }
  if (!free) return TSK_WALK_STOP;
  walk.end = walk.volume_offset + (block->addr + 1) * walk.block_size;
  return walk.end >= walk.limit ? TSK_WALK_STOP : TSK_WALK_CONT;
}

}  // namespace

std::optional<uint64_t> FreeRunEnd(const EvidenceVolume& volume, uint64_t image_offset,
                                   uint64_t limit) {
  TSK_FS_INFO* fs = volume.fs;
  if (fs == nullptr || fs->block_size == 0 || image_offset < volume.offset) return std::nullopt;
  const uint64_t first = (image_offset - volume.offset) / fs->block_size;
  if (first < fs->first_block || first > fs->last_block) return std::nullopt;
  RunWalk walk{volume.offset, fs->block_size, limit};
  const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(
      TSK_FS_BLOCK_WALK_FLAG_UNALLOC | TSK_FS_BLOCK_WALK_FLAG_ALLOC | TSK_FS_BLOCK_WALK_FLAG_AONLY);
  if (tsk_fs_block_walk(fs, first, fs->last_block, flags, OnRunBlock, &walk) != 0) {
    tsk_error_reset();
  }
  if (!walk.first_free) return std::nullopt;
  return walk.end;
}

std::vector<ImageRun> UnallocatedRuns(EvidenceImage& image) {
  std::vector<ImageRun> runs;
  for (EvidenceVolume& volume : image.Volumes()) {
    if (volume.fs == nullptr) continue;
    BlockCollector collector{volume.offset, volume.fs->block_size, &runs};
    const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(TSK_FS_BLOCK_WALK_FLAG_UNALLOC |
                                                                TSK_FS_BLOCK_WALK_FLAG_AONLY);
    if (tsk_fs_block_walk(volume.fs, volume.fs->first_block, volume.fs->last_block, flags, OnBlock,
                          &collector) != 0) {
      tsk_error_reset();
    }
  }
  std::sort(runs.begin(), runs.end(),
            [](const ImageRun& a, const ImageRun& b) { return a.image_offset < b.image_offset; });
  // The stream offsets follow the sorted order; a block past the image's
  // end (a damaged file system's claim) is cut off.
  uint64_t stream = 0;
  std::vector<ImageRun> kept;
  for (ImageRun run : runs) {
    if (run.image_offset >= image.size()) continue;
    run.length = std::min(run.length, image.size() - run.image_offset);
    if (!kept.empty() && kept.back().image_offset + kept.back().length > run.image_offset) continue;
    run.stream_offset = stream;
    stream += run.length;
    kept.push_back(run);
  }
  return kept;
}

RunsByteSource::RunsByteSource(ByteSource& source, std::vector<ImageRun> runs)
    : source_(source), runs_(std::move(runs)) {
  size_ = runs_.empty() ? 0 : runs_.back().stream_offset + runs_.back().length;
}

tl::expected<size_t, IoError> RunsByteSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  size_t done = 0;
  for (const ImageRun& piece : ImageRunsOf(offset, out.size())) {
    const auto got =
        source_.ReadAt(piece.image_offset, out.subspan(piece.stream_offset, piece.length));
    if (!got) return tl::unexpected(got.error());
    done += *got;
    if (*got < piece.length) break;
  }
  return done;
}

uint64_t RunsByteSource::RunEndOf(uint64_t offset) const {
  if (offset >= size_) return size_;
  auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                             [](uint64_t o, const ImageRun& r) { return o < r.stream_offset; });
  --it;  // runs_ starts at stream offset 0
  return it->stream_offset + it->length;
}

std::vector<ImageRun> RunsByteSource::ImageRunsOf(uint64_t offset, uint64_t length) const {
  std::vector<ImageRun> pieces;
  if (offset >= size_) return pieces;
  length = std::min(length, size_ - offset);
  auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                             [](uint64_t o, const ImageRun& r) { return o < r.stream_offset; });
  --it;  // runs_ starts at stream offset 0, so there is one at or before
  uint64_t done = 0;
  for (; it != runs_.end() && done < length; ++it) {
    const uint64_t inside = offset + done - it->stream_offset;
    const uint64_t n = std::min(length - done, it->length - inside);
    pieces.push_back(ImageRun{done, it->image_offset + inside, n});
    done += n;
  }
  return pieces;
}

}  // namespace glintvane
