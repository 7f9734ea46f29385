#include "evidence/evidence_times.h"

#include <sys/stat.h>

#include <filesystem>

#include "evidence/evidence_file.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_open.h"

namespace glintvane {

TimelineCache TimelineCacheAt(const std::string& path, const CacheFileRecord* found,
                              std::string* error) {
  TimelineCache cache;
  cache.path = path;
  if (found != nullptr) {
    if (found->recycled) cache.original = found->name;
    if (!found->deleted_utc.empty()) cache.deleted_at = UtcIsoToUnixSeconds(found->deleted_utc);
  }
  const EvidenceLocation where = found != nullptr ? found->location : EvidenceLocationOfText(path);
  if (const ImageFileLocation* inside = InImage(where)) {
    auto image = EvidenceImage::Open(inside->image);
    if (!image) {
      if (error != nullptr) *error = image.error().detail;
      return cache;
    }
    auto source = EvidenceFileSource::Open(*inside, std::move(*image));
    if (!source) {
      if (error != nullptr) *error = source.error().detail;
      return cache;
    }
    cache.times = (*source)->times();
    cache.size = (*source)->Size();
    cache.inode = inside->inode;
    cache.deleted_entry = (*source)->deleted();
    return cache;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error != nullptr) *error = "cannot read the times of " + path;
    return cache;
  }
  cache.times = ReadFileTimes(path);
  cache.size = static_cast<uint64_t>(st.st_size);
  cache.inode = static_cast<uint64_t>(st.st_ino);
  return cache;
}

}  // namespace glintvane
