#include "evidence/evidence_read.h"

#include <array>
#include <memory>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache/thumbcache.h"
#include "cache/thumbcache_reader.h"
#include "evidence/evidence_file.h"

namespace glintvane {

CacheReadResult ReadCacheAtPath(const std::string& path, CacheReadTarget target,
                                const CacheReadOptions& options) {
  if (!IsEvidenceFilePath(path)) return ReadThumbnailCache(path, target, options);
  const EvidencePath where = *ParseEvidencePath(path);
  std::shared_ptr<EvidenceImage> image;
  auto opened = EvidenceImage::Open(where.image);
  if (opened) image = std::move(*opened);
  auto source = image ? EvidenceFileSource::Open(where, image)
                      : tl::expected<std::unique_ptr<EvidenceFileSource>, std::string>(
                            tl::unexpected(opened.error()));
  if (!source) {
    target.store.Clear();
    CacheReadResult result;
    result.error_code = kErrPlatform;
    result.details.push_back(target.texts[kTextFileName] + ": " + std::string(LocalFilePart(path)));
    result.details.push_back(target.texts[kTextDirectoryName] + ": " +
                             std::string(LocalFolderPart(path)));
    target.errors.AddError(kErrPlatform, path, source.error(), target.texts);
    return result;
  }
  // A thumbcache is read with the index beside it, as on disk.
  std::array<uint8_t, 4> head{};
  const auto got = (*source)->ReadAt(0, head);
  std::unique_ptr<EvidenceFileSource> index;
  if (got && LooksLikeThumbcache(std::span(head).first(*got))) {
    const std::string index_path = ThumbcacheIndexPathFor(where.inner_path);
    const auto inode =
        FindEvidenceEntry(*image, where.partition, std::string(LocalFolderPart(index_path)),
                          LocalFilePart(index_path));
    if (inode && *inode != where.inode) {
      auto beside = EvidenceFileSource::Open(
          EvidencePath{where.image, where.partition, *inode, index_path}, image);
      if (beside) index = std::move(*beside);
    }
  }
  CacheReadResult result = index ? ReadThumbcacheFile(**source, path, target, options, index.get())
                                 : ReadThumbnailCache(**source, path, target, options);
  const uint64_t lost = (*source)->image().bytes().unreadable_sectors();
  if (lost > 0) {
    target.errors.AddWarning(
        path, std::to_string(lost) + " unreadable sectors of the image read as zeros",
        target.texts);
  }
  return result;
}

}  // namespace glintvane
