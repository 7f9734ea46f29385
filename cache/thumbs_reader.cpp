#include "cache/thumbs_reader.h"

#include <algorithm>
#include <array>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "base/error_codes.h"
#include "base/file_time.h"
#include "base/windows_path.h"
#include "cache/compound_file.h"
#include "cache/image_info.h"
#include "cache/paged_reader.h"
#include "cache/raw_colour.h"
#include "cache/thumbcache.h"
#include "cache/thumbcache_reader.h"
#include "cache/thumbs_db.h"

namespace glintvane {
namespace {

// The store is reserved up to the file size, but no more than this: a huge
// file that turns out not to be a cache should not take memory up front.
constexpr uint64_t kMaxStoreReserve = 256ull * 1024 * 1024;

// The File Details label of a Thumbs.db cut short.
constexpr const char* kCutShortLabel = "Cut short";

// Where the bar stands in the directory walk: the Catalog's entries move it
// on from 10 by a whole bar's width (its last entries overshoot, and the bar
// shows them as full); the thumbnails after it fill the bar from 30.
constexpr int kCatalogProgressBase = 10;
constexpr int kThumbnailProgressBase = 30;

ImageKind KindOf(ThumbnailPayload payload) {
  switch (payload) {
    case ThumbnailPayload::kJfif:
    case ThumbnailPayload::kJpeg:
      return ImageKind::kJfif;
    case ThumbnailPayload::kRaw:
      return ImageKind::kRaw;
    case ThumbnailPayload::kPng:
      return ImageKind::kPng;
  }
  return ImageKind::kNone;
}

// One read: the state of Parts 1.1 and 1.2 between opening and the end.
class CacheRead {
 public:
  CacheRead(const std::string& path, CacheReadTarget& target, const CacheReadOptions& options,
            CacheReadResult& result, ProgressMeter& meter)
      : path_(path), target_(target), options_(options), result_(result), meter_(meter) {}

  // A container phase: a fresh counter of 0 and a total of 1.
  void Phase(int base, int span) {
    double counter = 0;
    meter_.Update(base, counter, 1, span);
  }

  ReadResult<void> Run(ByteSource& source) {
    PagedReader reader(source);
    CompoundFile file(reader);
    if (auto r = file.CheckHeader(); !r) return r;
    Phase(3, 4);
    if (file.length_not_multiple_of_sector()) {
      target_.errors.Add({Severity::kWarning, kErrLengthNotMultiple, path_, {}});
    }
    if (auto r = file.ReadHeaderFatList(); !r) return r;
    Phase(4, 5);
    if (auto r = file.ReadDifatChain(); !r) return r;
    Phase(5, 6);
    if (auto r = file.ListMiniFat(); !r) return r;
    Phase(6, 7);  // counting the mini FAT chain
    Phase(7, 8);  // listing it (one pass here)
    if (auto r = file.ListMiniStream(); !r) return r;
    // The images of a cache take less room than the file that holds them
    // (converted raw-colour thumbnails may grow the store past this hint).
    // Only now: a file refused by its sector lists takes no memory for it.
    target_.store.Reserve(static_cast<size_t>(std::min<uint64_t>(source.Size(), kMaxStoreReserve)));
    Phase(8, 9);
    Phase(9, 10);
    walk_counter_ = 1;
    return file.WalkDirectory([&](const DirectoryEntry& entry) -> ReadResult<void> {
      if (target_.stop.stop_requested()) {
        result_.stopped = true;
        return Fail(kErrException);
      }
      if (entry.type == cfb::kTypeRoot) {
        result_.details.push_back(
            target_.texts[kTextRootEntryTimestamp] + ": " +
            FileTimeText(entry.modified, options_.date_time_format, options_.time_zone));
        return {};
      }
      if (auto r = file.ReadStream(entry, buffer_); !r) return OnStreamError(entry.name, r.error());
      // The whole directory is walked: in XP caches the Catalog is usually
      // the second entry, and stopping after it would drop the thumbnails.
      if (entry.name == kCatalogStreamName) return OnCatalog();
      return OnThumbnail(entry.name);
    });
  }

  // The first error that ended a single stream; the read goes on past it
  // but does not count as sound.
  const std::optional<ReadError>& stream_error() const { return stream_error_; }

 private:
  ReadResult<void> OnCatalog() {
    const CatalogHeader header = ReadCatalogHeader(buffer_);
    result_.details.push_back(target_.texts[kTextVersion] + ": " + std::to_string(header.version));
    result_.details.push_back(target_.texts[kTextThumbnails] + ": " + std::to_string(header.count));
    thumbnail_total_ = header.count;
    auto r = ForEachCatalogEntry(buffer_, header, [&](const CatalogEntry& entry) {
      ThumbnailRow& row = target_.list.AddOrUpdate(
          std::to_string(entry.id), entry.name, SourceKind::kImageStore, ThumbnailList::kKeep,
          ThumbnailList::kKeep, ThumbnailList::kKeep,
          FileTimeText(entry.filetime, options_.date_time_format, options_.time_zone));
      row.filetime = entry.filetime;
      meter_.Update(kCatalogProgressBase, walk_counter_, thumbnail_total_, kProgressFull);
    });
    walk_counter_ = 0;
    return r;
  }

  ReadResult<void> OnThumbnail(const std::string& name) {
    auto stream = ClassifyThumbnailStream(buffer_);
    if (!stream) return OnStreamError(name, stream.error());
    std::span<const uint8_t> image = stream->bytes;
    if (stream->payload == ThumbnailPayload::kRaw) {
      auto converted = ConvertRawThumbnail(RebuildRawJpeg(stream->bytes));
      if (!converted) {
        // A conversion failure is local to this thumbnail: the read goes on.
        target_.errors.AddError(kErrException, path_, converted.error());
        return {};
      }
      converted_ = std::move(*converted);
      image = converted_;
    }
    const int64_t start = target_.store.Append(image);
    const int64_t end = target_.store.size();
    ThumbnailRow& row =
        target_.list.AddOrUpdate(ThumbnailKey(name, stream->payload), "", SourceKind::kImageStore,
                                 end, static_cast<int64_t>(image.size()), start, "");
    row.kind = KindOf(stream->payload);
    const ImageInfo info = SniffImage(image);
    row.width = info.width;
    row.height = info.height;
    meter_.Update(kThumbnailProgressBase, walk_counter_, thumbnail_total_,
                  kProgressFull - kThumbnailProgressBase);
    return {};
  }

  // A malformed stream, or one whose chain is broken, costs its own row
  // only: its error is recorded with the stream's name and on its row, and
  // the walk goes on to the streams after it. Failures of the file itself
  // (I/O) still end the read.
  ReadResult<void> OnStreamError(const std::string& name, const ReadError& error) {
    if (error.code == kErrPlatform) return tl::unexpected(error);
    target_.errors.AddError(error.code, path_ + " : \"" + name + "\"", error.detail);
    if (!stream_error_) stream_error_ = error;
    if (name != kCatalogStreamName) {
      ThumbnailRow& row = target_.list.AddOrUpdate(ThumbnailKeyOfStream(name, buffer_), "",
                                                   SourceKind::kImageStore, ThumbnailList::kKeep,
                                                   ThumbnailList::kKeep, ThumbnailList::kKeep, "");
      row.error = error.code;
    }
    return {};
  }

  const std::string& path_;
  CacheReadTarget& target_;
  const CacheReadOptions& options_;
  CacheReadResult& result_;
  ProgressMeter& meter_;
  std::vector<uint8_t> buffer_;     // the stream buffer, reused for every stream
  std::vector<uint8_t> converted_;  // a converted raw-colour thumbnail
  double walk_counter_ = 1;
  double thumbnail_total_ = 0;  // 0 until the Catalog is read
  std::optional<ReadError> stream_error_;
};

void Finish(CacheReadResult& result, CacheReadTarget& target, const std::string& path,
            ProgressMeter& meter, const ReadError* error, bool recorded = false) {
  if (error != nullptr) {
    result.ok = false;
    result.error_code = error->code;
    if (!recorded) target.errors.AddError(error->code, path, error->detail);
  } else {
    result.ok = true;
    result.error_code = 0;
  }
  // The bar shows full at the end, whatever happened (a position already
  // past full, as after a Catalog, stays where it is and shows as full).
  meter.Advance(kProgressFull);
}

// A read that failed on a file cut short says so, and says what the cut
// took: in the File Details, in the error's detail (or, when the errors were
// recorded stream by stream, in a warning of its own).
void NoteCutShort(ByteSource& source, const std::string& path, CacheReadTarget& target,
                  CacheReadResult& result, ReadError& error, bool recorded) {
  PagedReader reader(source);
  result.cut_short = DiagnoseCutShort(reader);
  if (!result.cut_short) return;
  const std::string text = result.cut_short->Text();
  result.details.push_back(std::string(kCutShortLabel) + ": " + text);
  const std::string said = "the file is cut short at " + text;
  if (recorded) {
    target.errors.AddWarning(path, said);
  } else {
    error.detail += (error.detail.empty() ? "" : "; ") + said;
  }
}

// What the first bytes say the file is: the caches of Windows Vista and later
// are told from a Thumbs.db by their signature, whatever their name.
enum class FileFamily { kCompound, kThumbcache, kThumbcacheIndex };

FileFamily FamilyOf(ByteSource& source) {
  std::array<uint8_t, 8> head{};
  auto n = source.ReadAt(0, head);
  const std::span<const uint8_t> got(head.data(), n ? *n : 0);
  if (LooksLikeThumbcache(got)) return FileFamily::kThumbcache;
  if (LooksLikeThumbcacheIndex(got)) return FileFamily::kThumbcacheIndex;
  return FileFamily::kCompound;
}

// The File Details lines every read starts with, opened or not.
CacheReadResult FirstDetails(const std::string& path, CacheReadTarget& target) {
  CacheReadResult result;
  target.store.Clear();
  result.details.push_back(target.texts[kTextFileName] + ": " + std::string(LocalFilePart(path)));
  result.details.push_back(target.texts[kTextDirectoryName] + ": " +
                           std::string(LocalFolderPart(path)));
  return result;
}

}  // namespace

CacheReadResult ReadThumbnailCache(ByteSource& source, const std::string& path,
                                   CacheReadTarget target, const CacheReadOptions& options,
                                   CacheNeighbours beside) {
  ProgressMeter meter(target.progress);
  CacheReadResult result = FirstDetails(path, target);
  result.details.push_back(target.texts[kTextSize] + ": " + std::to_string(source.Size()));
  ReadError error;
  bool failed = false;
  bool recorded = false;
  try {
    const FileFamily family = FamilyOf(source);
    if (family == FileFamily::kThumbcache) {
      if (auto r = ReadThumbcacheEntries(source, path, target, result, beside.thumbcache_index,
                                         meter, recorded);
          !r) {
        error = r.error();
        failed = true;
      }
    } else if (family == FileFamily::kThumbcacheIndex) {
      if (auto r = ReadThumbcacheIndexRows(source, target, result); !r) {
        error = r.error();
        failed = true;
      }
    } else {
      CacheRead read(path, target, options, result, meter);
      read.Phase(0, 3);
      if (auto r = read.Run(source); !r) {
        error = r.error();
        failed = true;
      } else if (read.stream_error()) {
        // Already in the error list, with the stream's name.
        error = *read.stream_error();
        failed = true;
        recorded = true;
      }
      if (failed && !result.stopped && error.code != kErrPlatform) {
        NoteCutShort(source, path, target, result, error, recorded);
      }
    }
  } catch (const std::bad_alloc&) {
    error = ReadError{kErrPlatform, "EOutOfMemory: Out of memory"};
    failed = true;
  } catch (const std::exception& e) {
    error = ReadError{kErrPlatform, std::string("Exception: ") + e.what()};
    failed = true;
  }
  if (result.stopped) return result;
  Finish(result, target, path, meter, failed ? &error : nullptr, recorded);
  return result;
}

CacheReadResult ReadThumbnailCache(const std::string& path, CacheReadTarget target,
                                   const CacheReadOptions& options) {
  auto cache = OpenCacheFile(path);
  if (!cache) return CacheNotOpened(path, cache.error(), target);
  return ReadThumbnailCache(*cache->bytes, path, target, options, cache->neighbours());
}

CacheReadResult CacheNotOpened(const std::string& path, const ReadError& why,
                               CacheReadTarget target) {
  ProgressMeter meter(target.progress);
  CacheReadResult result = FirstDetails(path, target);
  Finish(result, target, path, meter, &why);
  return result;
}

}  // namespace glintvane
