// The record behind every row of the thumbnail list, whoever made the row:
// the cache reader (image bytes in the image store) or the carving scan
// (image bytes in the file it was carved from).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace glintvane {

// Where a row's image bytes lie.
enum class SourceKind : uint8_t {
  kOpenFile = 0,    // in a file on disk (carved rows), see ThumbnailRow::source
  kImageStore = 1,  // in the image store (rows of a cache)
};

// What the stored bytes are.
enum class ImageKind : uint8_t {
  kNone = 0,  // no image stored (a Catalog entry without its stream)
  kJfif,      // a JPEG stored as the cache held it
  kRaw,       // a raw-colour thumbnail, rebuilt and re-encoded as JPEG
  kPng,       // a PNG payload (caches of later Windows versions)
  kBmp,       // a BMP with its file header (thumbcache_*.db, as stored)
  kJpeg,      // a JPEG in a thumbcache_*.db, as stored
};

// "none", "jfif", "raw", "png", "bmp", "jpeg"
std::string_view ImageKindName(ImageKind kind);

// The start a carved row was found by.
enum class CarveKind : uint8_t {
  kJfif = 0,  // "JFIF\0" in an APP0 segment (the row starts 6 bytes before it)
  kExif,      // FF D8 FF E1 and "Exif\0\0": a JPEG that starts with its Exif segment
  kJpeg,      // FF D8 FF and any other marker, kept only when its structure ends
  kPng,       // the PNG signature and a valid header chunk
  kBmp,       // "BM" and a file header whose sizes agree with the picture
};
inline constexpr int kCarveKindCount = 5;

// "jfif", "exif", "jpeg", "png", "bmp"
std::string_view CarveKindName(CarveKind kind);
// The kind of picture a carved row holds: kJfif for the rows found by their
// JFIF signature (as carved rows always were), kJpeg for other JPEGs.
ImageKind CarvedImageKind(CarveKind kind);

// Whether a carved row's bytes decode as a whole picture.
enum class DecodeCheck : int8_t {
  kUnchecked = -1,  // not decoded (the scan was asked not to)
  kFails = 0,
  kDecodes = 1,
};

// The text shown for carved rows in the Name and Modified columns.
inline constexpr std::string_view kNamePlaceholder = "---";
inline constexpr std::string_view kDatePlaceholder = "---";

// One row. Kept compact: a carving scan can make a million of these, so no
// field holds a heap string unless the row really has that text.
struct ThumbnailRow {
  std::string key;        // Number column: thumbnail id, or sequence number for carved rows
  std::string name;       // original file name (UTF-8); empty for carved rows
  std::string time_text;  // original file's modification time as text
  int64_t start = 0;      // offset of the image in its source
  int64_t end = 0;        // offset just past the image
  int64_t length = 0;     // byte count of the image; 0 while unknown
  uint64_t filetime = 0;  // the Catalog's FILETIME, 0 if none
  int32_t width = 0;      // picture size from the image header, 0 if unknown
  int32_t height = 0;
  int32_t error = 0;     // the code that ended this row's stream, 0 if none
  uint32_t source = 0;   // ThumbnailList source index of a kOpenFile row
  int8_t rotation = 0;   // quarter turns in the image view, -2..2
  int8_t view_type = 0;  // 0 = best fit, 1 = actual size
  SourceKind source_kind = SourceKind::kOpenFile;
  ImageKind kind = ImageKind::kNone;
  bool carved = false;  // made by the carving scan
  bool complete =
      false;  // carved: the picture's own structure ended it (JPEG end marker, PNG IEND)
  CarveKind carve_kind = CarveKind::kJfif;        // carved: the start it was found by
  DecodeCheck decodes = DecodeCheck::kUnchecked;  // carved: the picture decodes
  bool checked = false;                           // the list's check box
  // Rows of a thumbcache_*.db (Windows Vista and later), kept in one block.
  uint64_t entry_offset = 0;   // where the entry starts in the cache file
  uint64_t data_checksum = 0;  // as stored; its algorithm is unknown, so shown, not checked
  int8_t indexed = -1;         // the index beside the cache points at the entry: 1, 0; -1 no index
  bool thumbcache = false;     // the row is an entry of a thumbcache_*.db
  bool checksum_ok = false;    // thumbcache: the entry header's CRC-64 matched
  // Thumbcache: an entry found outside the chain of entries (in free space,
  // or after the end of the chain), most often one Windows deleted.
  bool recovered = false;
};

// The extension the row's image is written with: ".png", ".bmp" for those
// payloads, ".bin" for a thumbcache payload of no known kind, ".jpg" otherwise.
std::string_view RowExtension(const ThumbnailRow& row);

// The text the Name column shows: the name, or the placeholder for carved rows.
std::string_view RowNameText(const ThumbnailRow& row);
// The text the Modified column shows.
std::string_view RowTimeText(const ThumbnailRow& row);

}  // namespace glintvane
