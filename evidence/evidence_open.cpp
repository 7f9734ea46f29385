#include "evidence/evidence_open.h"

#include <sys/stat.h>

#include <algorithm>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "evidence/evidence_file.h"

namespace glintvane {
namespace {

// A file inside `image` and what lies beside it in its folder there.
tl::expected<OpenedCache, ReadError> OpenInImage(const ImageFileLocation& where,
                                                 const std::shared_ptr<EvidenceImage>& image) {
  auto source = EvidenceFileSource::Open(where, image);
  if (!source) return tl::unexpected(source.error());
  OpenedCache cache;
  cache.bytes = std::move(*source);
  const std::string folder(LocalFolderPart(where.inner_path));
  OpenNeighbours(
      cache, where.inner_path, [&](const std::string& name) -> std::unique_ptr<ByteSource> {
        const auto inode = FindEvidenceEntry(*image, where.partition, where.store, folder, name);
        if (!inode || *inode == where.inode) return nullptr;
        auto beside = EvidenceFileSource::Open(
            ImageFileLocation{where.image, where.partition, *inode, folder + name, where.store},
            image);
        if (!beside) return nullptr;
        return std::move(*beside);
      });
  return cache;
}

// OpenEvidence, with the image the file lies in (null for a file on disk)
// and the sectors it had lost before (to its search, say).
tl::expected<OpenedCache, ReadError> Open(const EvidenceLocation& where, OpenImages& images,
                                          std::shared_ptr<EvidenceImage>& image,
                                          uint64_t& lost_before) {
  const ImageFileLocation* inside = InImage(where);
  if (inside == nullptr) return OpenCacheFile(std::get<FileLocation>(where).path);
  auto held = images.Get(inside->image);
  if (!held) return tl::unexpected(held.error());
  image = std::move(*held);
  lost_before = image->unreadable_sectors();
  return OpenInImage(*inside, image);
}

}  // namespace

ReadResult<std::shared_ptr<EvidenceImage>> OpenImages::Get(const std::string& path) {
  const std::lock_guard lock(mutex_);
  const auto held = std::find_if(images_.begin(), images_.end(),
                                 [&](const auto& entry) { return entry.first == path; });
  if (held != images_.end()) {
    // The most recently used goes last.
    std::rotate(held, held + 1, images_.end());
    return images_.back().second;
  }
  auto opened = EvidenceImage::Open(path);
  if (!opened) return tl::unexpected(opened.error());
  if (images_.size() >= kMaxOpenImages) images_.erase(images_.begin());
  images_.emplace_back(path, std::move(*opened));
  return images_.back().second;
}

void OpenImages::Clear() {
  const std::lock_guard lock(mutex_);
  images_.clear();
}

size_t OpenImages::size() const {
  const std::lock_guard lock(mutex_);
  return images_.size();
}

tl::expected<OpenedCache, ReadError> OpenEvidence(const EvidenceLocation& where,
                                                  OpenImages& images) {
  std::shared_ptr<EvidenceImage> image;
  uint64_t lost_before = 0;
  return Open(where, images, image, lost_before);
}

CacheReadResult ReadCacheAt(const EvidenceLocation& where, OpenImages& images,
                            CacheReadTarget target, const CacheReadOptions& options) {
  const std::string path = FormatEvidenceLocation(where);
  std::shared_ptr<EvidenceImage> image;
  uint64_t lost_before = 0;
  auto cache = Open(where, images, image, lost_before);
  if (!cache) return CacheNotOpened(path, cache.error(), target);
  CacheReadResult result =
      ReadThumbnailCache(*cache->bytes, path, target, options, cache->neighbours());
  // Only this read's: the image may have lost sectors to its search already.
  const uint64_t lost = image ? image->unreadable_sectors() - lost_before : 0;
  if (lost > 0) {
    target.errors.Add({Severity::kWarning, kErrUnreadableSectors, path, std::to_string(lost)});
  }
  return result;
}

EvidenceLocation EvidenceLocationOfText(std::string_view text) {
  return ParseEvidenceLocation(text, [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  });
}

}  // namespace glintvane
