// thumbnails.csv and thumbnails.json: one record per written image with its
// origin and digests, beside the report, for examiners' case files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/digest.h"

namespace glintvane {

inline constexpr std::string_view kCsvFileName = "thumbnails.csv";
inline constexpr std::string_view kJsonFileName = "thumbnails.json";

// One written image.
struct ExtractedImage {
  std::string path;       // the written file
  std::string key;        // Number column
  std::string name;       // original name as the cache gave it; "---" for carved rows
  std::string time_text;  // Modified column
  std::string time_utc;   // the original's time as ISO 8601 in UTC; "" if none
  std::string source;     // the file the bytes came from (the cache, or the carved file)
  // Offset of the bytes in `source` (in the disk inside it for rows carved
  // from a disk image's disk, in the stream of its free blocks for an
  // unallocated-only scan); none for rows of a cache, whose bytes were
  // gathered from the compound file's sectors.
  std::optional<int64_t> offset;
  int64_t length = 0;  // bytes written
  Digests digests;
  // Whether the bytes are known to be those the cache stored: a thumbcache
  // entry's data checksum cannot be checked (its algorithm is not known), a
  // Thumbs.db or a carved image has none. `data_check` says which, in words.
  std::optional<bool> data_checksum_ok;
  std::string data_check;
  // A thumbcache entry found outside the chain of entries (a deleted one).
  bool recovered = false;
};

// What the files say about the run as a whole.
struct CatalogHead {
  std::string version;
  std::string run_time_utc;
  std::string source_path;
  std::optional<uint64_t> source_size;
  std::string source_sha256;
  std::string destination;
  int checked = 0;
};

// CSV after RFC 4180 (CR LF, fields with commas, quotes or line breaks
// quoted), UTF-8, one header line. A text field that a spreadsheet would take
// for a formula (leading "=", "+", "-", "@", tab or CR) gets a leading "'";
// the JSON keeps every text exactly.
std::string BuildImageCsv(const std::vector<ExtractedImage>& images);

std::string BuildImageJson(const CatalogHead& head, const std::vector<ExtractedImage>& images);

// A JSON string literal, quotes included. Invalid UTF-8 bytes become U+FFFD
// so that the file stays valid JSON whatever a name holds.
std::string JsonString(std::string_view text);

}  // namespace glintvane
