// Output names of extracted thumbnails. The names come from the cache, that
// is from whoever made the file, so they may carry folders, "..", control
// characters or nothing at all; an output name never leaves its folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "cache/thumbnail_row.h"

namespace glintvane {

// Added to every extracted file's stem so that a thumbnail is never taken
// for the original picture.
inline constexpr std::string_view kExtractSuffix = "_thmb";

// Keeps stem, suffix, a duplicate counter and the extension inside the
// 255-byte name limit of ext4, NTFS and exFAT.
inline constexpr size_t kMaxStemBytes = 200;

// The stem a row's file is named after: the file part of the name (after the
// last "\", ":" or "/"), its extension cut off, control characters and the
// invisible and direction-changing ones of FormatCharAt replaced by "_", cut
// to kMaxStemBytes on a character boundary. Carved rows and names
// that leave nothing usable ("", ".", "..", only separators or dots) use the
// row's number, cleaned the same way; "thumbnail" when that fails too.
std::string ExtractStem(const ThumbnailRow& row);

// folder + stem + "_thmb" + the extension of the row's bytes (".png" for PNG
// payloads, ".jpg" otherwise). `folder` is "" or ends with "/".
std::string MakeExtractName(const ThumbnailRow& row, std::string_view folder);

// Full Unicode case folding of UTF-8 text ("É" and "é" fold alike, "ß" to
// "ss"); bytes that are not UTF-8 are kept as they are.
std::string FoldCase(std::string_view text);

// Output names for one run: a name already given out in the run gets "_2",
// "_3", ... before its extension, so no file of the run replaces another.
// Compared after full case folding, because the destination may be a FAT,
// exFAT or NTFS stick where É_thmb.jpg and é_thmb.jpg are one file.
class ExtractNamer {
 public:
  explicit ExtractNamer(std::string folder) : folder_(std::move(folder)) {}
  std::string Next(const ThumbnailRow& row);
  // A name for a row whose name from Next the destination refused: the
  // row's number (or "thumbnail"), made unique like any other.
  std::string Fallback(const ThumbnailRow& row);

 private:
  std::string Claim(const std::string& base, std::string_view extension);

  std::string folder_;
  std::unordered_set<std::string> taken_;
  std::unordered_map<std::string, int> next_number_;  // by folded first name
};

}  // namespace glintvane
