#include "evidence/evidence_open.h"

#include <sys/stat.h>

#include <algorithm>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache/raw_caches.h"
#include "evidence/carve_source.h"
#include "evidence/evidence_file.h"
#include "evidence/unallocated.h"
#include "searchindex/row_names.h"

namespace glintvane {
namespace {

// The file at `path` in the file system `where` lies in, when it is not
// `where` itself.
OpenedBeside OpenBesideInImage(const ImageFileLocation& where,
                               const std::shared_ptr<EvidenceImage>& image,
                               const std::string& path) {
  const auto inode = FindEvidenceEntry(*image, where.partition, where.store,
                                       std::string(LocalFolderPart(path)), LocalFilePart(path));
  if (!inode || *inode == where.inode) return {};
  const ImageFileLocation beside{where.image, where.partition, *inode, path, where.store};
  auto source = EvidenceFileSource::Open(beside, image);
  if (!source) return {};
  return {std::move(*source), FormatEvidenceLocation(beside)};
}

// A file inside `image` and what lies beside it in its file system.
tl::expected<OpenedCache, ReadError> OpenInImage(const ImageFileLocation& where,
                                                 const std::shared_ptr<EvidenceImage>& image,
                                                 const CacheOpenOptions& options) {
  auto source = EvidenceFileSource::Open(where, image);
  if (!source) return tl::unexpected(source.error());
  OpenedCache cache;
  cache.bytes = std::move(*source);
  OpenNeighbours(
      cache, where.inner_path,
      [&](const std::string& path) { return OpenBesideInImage(where, image, path); }, options);
  return cache;
}

// A cache at an offset: of a file as it lies or of the disk in a container,
// or of a partition, inside the free run it lies in. Read from there as a
// file of its own, as far as its header's FAT can reach; `image` is set when
// it lies in an image.
tl::expected<OpenedCache, ReadError> OpenAtOffset(const OffsetLocation& where, OpenImages& images,
                                                  std::shared_ptr<EvidenceImage>& image,
                                                  uint64_t& lost_before) {
  ByteSource* bytes = nullptr;
  std::shared_ptr<const void> keep;
  uint64_t start = where.offset;
  uint64_t end = UINT64_MAX;
  if (where.partition == OffsetLocation::kWholeFile && !NeedsImageReader(where.file)) {
    auto file = FileByteSource::Open(where.file);
    if (!file) {
      return tl::unexpected(ReadError{
          kErrPlatform, "Cannot open file \"" + where.file + "\". " + file.error().message});
    }
    std::shared_ptr<FileByteSource> held = std::move(*file);
    bytes = held.get();
    keep = std::move(held);
  } else {
    auto held = images.Get(where.file);
    if (!held) return tl::unexpected(held.error());
    image = std::move(*held);
    lost_before = image->unreadable_sectors();
    bytes = &image->bytes();
    keep = image;
  }
  if (where.partition != OffsetLocation::kWholeFile) {
    const auto& volumes = image->Volumes();
    const auto volume = std::find_if(volumes.begin(), volumes.end(), [&](const EvidenceVolume& v) {
      return v.partition == where.partition && v.fs != nullptr;
    });
    if (volume == volumes.end()) {
      return tl::unexpected(
          ReadError{kErrNoFileSystem, "No file system was recognised in partition " +
                                          std::to_string(where.partition) + " of " + where.file});
    }
    start = volume->offset + where.offset;
    // The free run is walked only as far as the header's FAT could reach.
    const uint64_t reach = CompoundFileWindow(*bytes, start, UINT64_MAX);
    const auto run_end = FreeRunEnd(*volume, start, start + reach);
    if (!run_end) {
      return tl::unexpected(ReadError{
          kErrSignature, "byte " + std::to_string(where.offset) + " of partition " +
                             std::to_string(where.partition) + " does not lie in its free space"});
    }
    end = *run_end;
  }
  const uint64_t window = CompoundFileWindow(*bytes, start, end);
  if (window == 0) {
    return tl::unexpected(ReadError{
        kErrSignature,
        "no compound-file header at byte " + std::to_string(start) + " of " + where.file});
  }
  OpenedCache cache;
  cache.bytes = std::make_unique<WindowByteSource>(*bytes, start, window, std::move(keep));
  return cache;
}

// OpenEvidence, with the image the file lies in (null for a file on disk)
// and the sectors it had lost before (to its search, say).
tl::expected<OpenedCache, ReadError> Open(const EvidenceLocation& where, OpenImages& images,
                                          const CacheOpenOptions& options,
                                          std::shared_ptr<EvidenceImage>& image,
                                          uint64_t& lost_before) {
  if (const OffsetLocation* at = AtOffset(where)) {
    return OpenAtOffset(*at, images, image, lost_before);
  }
  const ImageFileLocation* inside = InImage(where);
  if (inside == nullptr) return OpenCacheFile(std::get<FileLocation>(where).path, options);
  auto held = images.Get(inside->image);
  if (!held) return tl::unexpected(held.error());
  image = std::move(*held);
  lost_before = image->unreadable_sectors();
  return OpenInImage(*inside, image, options);
}

std::string JoinSentences(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "; ") + line;
  return text;
}

// Names the rows the read made from `first` on by the cache's search index,
// read once for the run; says how in the result, the details and warnings.
void NameFromSearchIndex(OpenedCache& cache, size_t first, HeldSearchIndexes& indexes,
                         const std::string& path, const CacheReadTarget& target,
                         const CacheReadOptions& options, CacheReadResult& result) {
  if (cache.search_index_sought.empty()) return;
  SearchIndexUse& use = result.search_index.emplace();
  use.sought = cache.search_index_sought;
  use.chosen = cache.search_index_chosen;
  const std::string label = target.texts[kTextSearchIndex] + ": ";
  if (cache.search_index.database == nullptr) {
    use.error = use.chosen ? "no Windows Search index could be opened at " + use.sought
                           : "no Windows.db or Windows.edb in " + use.sought;
    // One chosen by hand was meant to be there; the layout's may well not.
    if (use.chosen) target.errors.AddWarning(path, use.error);
    result.details.push_back(label + use.error);
    return;
  }
  use.path = cache.search_index.where;
  SearchIndexOptions read_options;
  read_options.stop = target.stop;
  const auto held =
      indexes.Get(use.path,
                  SearchIndexSources{cache.search_index.database.get(),
                                     cache.search_index.wal.get(), cache.search_index.shm.get()},
                  read_options);
  if (!held->index) {
    use.error = held->error.message;
    target.errors.AddWarning(use.path, "the search index could not be read: " + use.error +
                                           "; the rows keep their hashes for names");
    result.details.push_back(label + use.path + " (" + use.error + ")");
    return;
  }
  const SearchIndex& index = *held->index;
  use.read = true;
  use.format = std::string(SearchIndexFormatName(index.outcome.format));
  use.state = index.outcome.state;
  use.complete = index.outcome.complete && !index.outcome.stopped;
  use.reasons = index.outcome.reasons;
  use.notes = index.outcome.notes;
  const RowNaming naming =
      NameRowsFromIndex(target.list, first, index, options.date_time_format, options.time_zone);
  use.rows = naming.rows;
  use.named = naming.named;
  if (!use.complete) {
    target.errors.AddWarning(use.path, "the search index was read in part (" +
                                           JoinSentences(use.reasons) +
                                           "); rows it could not name keep their hashes for names");
  }
  result.details.push_back(label + use.path + " (" + use.format +
                           (use.state.empty() ? "" : ", " + use.state) + ")");
  result.details.push_back(target.texts[kTextNamedBySearchIndex] + ": " +
                           std::to_string(use.named) + " / " + std::to_string(use.rows));
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

tl::expected<OpenedCache, ReadError> OpenEvidence(const EvidenceLocation& where, OpenImages& images,
                                                  const CacheOpenOptions& options) {
  std::shared_ptr<EvidenceImage> image;
  uint64_t lost_before = 0;
  return Open(where, images, options, image, lost_before);
}

CacheReadResult ReadCacheAt(const EvidenceLocation& where, OpenImages& images,
                            CacheReadTarget target, const CacheReadOptions& options) {
  const std::string path = FormatEvidenceLocation(where);
  std::shared_ptr<EvidenceImage> image;
  uint64_t lost_before = 0;
  auto cache = Open(where, images, options.open, image, lost_before);
  if (!cache) return CacheNotOpened(path, cache.error(), target);
  const size_t first = target.list.size();
  CacheReadResult result =
      ReadThumbnailCache(*cache->bytes, path, target, options, cache->neighbours());
  if (result.ok || first < target.list.size()) {
    NameFromSearchIndex(*cache, first, images.search_indexes(), path, target, options, result);
  }
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
