#include "evidence/evidence_read.h"

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "evidence/evidence_file.h"

namespace glintvane {

CacheReadResult ReadCacheAtPath(const std::string& path, CacheReadTarget target,
                                const CacheReadOptions& options) {
  if (!IsEvidenceFilePath(path)) return ReadThumbnailCache(path, target, options);
  auto source = EvidenceFileSource::Open(*ParseEvidencePath(path));
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
  CacheReadResult result = ReadThumbnailCache(**source, path, target, options);
  const uint64_t lost = (*source)->image().bytes().unreadable_sectors();
  if (lost > 0) {
    target.errors.AddWarning(
        path, std::to_string(lost) + " unreadable sectors of the image read as zeros",
        target.texts);
  }
  return result;
}

}  // namespace glintvane
