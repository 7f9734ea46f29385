// The Thumbs.db layer: the Catalog stream and the thumbnail
// streams, as pure functions over a stream's bytes. ReadThumbnailCache puts
// them together with the compound-file reader.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "cache/read_error.h"

namespace glintvane {

// The stream that names the thumbnails (compared exactly, case included).
inline constexpr std::string_view kCatalogStreamName = "Catalog";

// Thumbnail stream headers.
inline constexpr uint32_t kThumbHeaderLength = 12;  // XP: 12, 1, N - 12
inline constexpr uint32_t kRawHeaderEnd = 28;       // raw: then 1, N - 28, width, height
inline constexpr uint32_t kLaterHeaderLength = 24;  // later Windows: 24, 3, size, flag, hash
// Catalog name length limit of the original program: longer entries are
// taken as damaged and skipped.
inline constexpr uint32_t kMaxCatalogNameBytes = 1024;
inline constexpr uint32_t kCatalogEntryFixedBytes = 20;  // length, id, time, name end

struct CatalogHeader {
  uint16_t header_length = 0;  // offset of the first entry
  uint16_t version = 0;
  uint32_t count = 0;  // number of thumbnails, as the Catalog states it
};

struct CatalogEntry {
  int32_t id = 0;
  uint64_t filetime = 0;
  std::string name;     // UTF-8, whole
  uint64_t offset = 0;  // where the entry starts in the stream
};

// The header fields; bytes missing from a short stream read as 0.
CatalogHeader ReadCatalogHeader(std::span<const uint8_t> catalog);

// Calls on_entry for each entry from the header length to the end of the
// stream. Entries whose name length exceeds kMaxCatalogNameBytes (and every
// entry shorter than 20 bytes) are skipped; an entry of length 0, which would
// never advance, ends the walk with kErrCatalogEntryZero.
ReadResult<void> ForEachCatalogEntry(std::span<const uint8_t> catalog, const CatalogHeader& header,
                                     const std::function<void(const CatalogEntry&)>& on_entry);

enum class ThumbnailPayload : uint8_t {
  kJfif,  // XP: a JFIF file after the 12-byte header
  kRaw,   // XP: a raw-colour thumbnail
  kJpeg,  // later Windows: a JPEG after the 24-byte header
  kPng,   // later Windows: a PNG after the 24-byte header
};

struct ThumbnailStream {
  ThumbnailPayload payload = ThumbnailPayload::kJfif;
  // The image bytes as stored; for kRaw the whole stream (RebuildRawJpeg
  // takes it from there).
  std::span<const uint8_t> bytes;
};

// Checks a thumbnail stream and finds its payload. The 24-byte header of
// later Windows versions is recognised first (size field 504, payload 505,
// missing end 502); then the classic checks in their order: 502, 503,
// 504, 505, 506, with the size fields compared as 32-bit values.
ReadResult<ThumbnailStream> ClassifyThumbnailStream(std::span<const uint8_t> stream);

// The row key of a thumbnail stream: the name reversed for XP streams ("01"
// is thumbnail 10), the name itself for the hash-named streams of later
// versions.
std::string ThumbnailKey(std::string_view stream_name, ThumbnailPayload payload);

// The row key of a stream that could not be classified: by its header
// length field, as ClassifyThumbnailStream would have told it.
std::string ThumbnailKeyOfStream(std::string_view stream_name, std::span<const uint8_t> stream);

}  // namespace glintvane
