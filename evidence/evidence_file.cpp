#include "evidence/evidence_file.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/error_codes.h"

namespace glintvane {
namespace {

// Large enough that a cache of a few hundred KiB takes a handful of reads,
// small enough to stay in the processor's cache.
constexpr size_t kReadBlock = size_t{128} << 10;

}  // namespace

EvidenceFileSource::~EvidenceFileSource() {
  if (file_ != nullptr) tsk_fs_file_close(file_);
}

ReadResult<std::unique_ptr<EvidenceFileSource>> EvidenceFileSource::Open(
    const ImageFileLocation& path, std::shared_ptr<EvidenceImage> image) {
  const auto fs = image->FileSystemAt(path.partition, path.store);
  if (!fs) return tl::unexpected(fs.error());
  TSK_FS_FILE* file = tsk_fs_file_open_meta(*fs, nullptr, path.inode);
  if (file == nullptr || file->meta == nullptr) {
    const std::string why = TskErrorText();
    tsk_error_reset();
    if (file != nullptr) tsk_fs_file_close(file);
    return Fail(kErrImageEntry, "Cannot open entry " + std::to_string(path.inode) + " (" +
                                    path.inner_path + ") in " + path.image + ": " + why);
  }
  auto source = std::unique_ptr<EvidenceFileSource>(new EvidenceFileSource);
  source->image_ = std::move(image);
  source->file_ = file;
  source->size_ = file->meta->size > 0 ? static_cast<uint64_t>(file->meta->size) : 0;
  source->modified_ = static_cast<int64_t>(file->meta->mtime);
  // A time of 0 is one the file system does not keep (FAT has no change
  // time and keeps only the date of the last access).
  const auto kept = [](time_t value) -> std::optional<int64_t> {
    if (value == 0) return std::nullopt;
    return static_cast<int64_t>(value);
  };
  source->times_.modified = kept(file->meta->mtime);
  source->times_.accessed = kept(file->meta->atime);
  source->times_.changed = kept(file->meta->ctime);
  source->times_.created = kept(file->meta->crtime);
  source->deleted_ = (file->meta->flags & TSK_FS_META_FLAG_UNALLOC) != 0;
  return source;
}

bool EvidenceFileSource::Fill(uint64_t block_start) {
  block_.resize(kReadBlock);
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadBlock, size_ - block_start));
  // A deleted file's clusters may be gone in part; TSK then reads less or
  // fails, and what it could not read is not shown as the file's.
  const ssize_t got =
      tsk_fs_file_read(file_, static_cast<TSK_OFF_T>(block_start),
                       reinterpret_cast<char*>(block_.data()), want, TSK_FS_FILE_READ_FLAG_NONE);
  if (got < 0) {
    error_ = TskErrorText();
    tsk_error_reset();
    block_valid_ = false;
    return false;
  }
  block_start_ = block_start;
  block_length_ = static_cast<size_t>(got);
  block_valid_ = true;
  return true;
}

tl::expected<size_t, IoError> EvidenceFileSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size() && offset + done < size_) {
    const uint64_t at = offset + done;
    if (!block_valid_ || at < block_start_ || at >= block_start_ + block_length_) {
      if (!Fill(at - at % kReadBlock)) return tl::unexpected(IoError{EIO, error_});
      if (block_length_ == 0 || at >= block_start_ + block_length_) break;
    }
    const size_t inside = static_cast<size_t>(at - block_start_);
    const size_t n = std::min(out.size() - done, block_length_ - inside);
    std::memcpy(out.data() + done, block_.data() + inside, n);
    done += n;
  }
  return done;
}

std::optional<uint64_t> FindEvidenceEntry(EvidenceImage& image, int partition, int store,
                                          const std::string& folder, std::string_view name) {
  const auto fs = image.FileSystemAt(partition, store);
  if (!fs) return std::nullopt;
  TSK_FS_DIR* dir = tsk_fs_dir_open(*fs, folder.c_str());
  if (dir == nullptr) {
    tsk_error_reset();
    return std::nullopt;
  }
  const auto same = [&](const char* other) {
    const std::string_view text(other);
    return text.size() == name.size() &&
           std::equal(text.begin(), text.end(), name.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  };
  std::optional<uint64_t> found;
  bool found_live = false;
  const size_t count = tsk_fs_dir_getsize(dir);
  for (size_t i = 0; i < count && !found_live; ++i) {
    const TSK_FS_NAME* entry = tsk_fs_dir_get_name(dir, i);
    if (entry == nullptr || entry->name == nullptr || !same(entry->name)) continue;
    const bool live = (entry->flags & TSK_FS_NAME_FLAG_ALLOC) != 0;
    if (!found || live) {
      found = entry->meta_addr;
      found_live = live;
    }
  }
  tsk_fs_dir_close(dir);
  return found;
}

}  // namespace glintvane
