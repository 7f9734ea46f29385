// What every parser owes its caller whatever the input: a failure comes with
// an error line, and every row it lists addresses bytes that exist. A broken
// promise traps, so libFuzzer keeps the input like any other crash.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/thumbnail_list.h"
#include "export/extract_run.h"
#include "texts/error_list.h"

namespace glintvane::fuzz {

inline void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// A failed read names its code and leaves a line in the error list; rows
// that point into the image store point inside it.
inline void CheckCacheRead(bool ok, int error_code, const ThumbnailList& list,
                           const ImageStore& store, const ErrorList& errors) {
  Require(ok == (error_code == 0));
  if (!ok) Require(!errors.empty());
  for (size_t i = 0; i < list.size(); ++i) {
    const ThumbnailRow& row = list[i];
    if (row.source_kind != SourceKind::kImageStore || row.length == 0) continue;
    Require(row.start >= 0 && row.length > 0 && row.start + row.length <= store.size());
    Require(row.end == row.start + row.length);
  }
}

// Carved rows lie inside the scanned file and are never longer than the cap.
inline void CheckCarvedRows(const ThumbnailList& list, uint64_t file_size, int64_t length_cap) {
  for (size_t i = 0; i < list.size(); ++i) {
    const ThumbnailRow& row = list[i];
    Require(row.start >= 0 && row.length >= 0 && row.length <= length_cap);
    Require(static_cast<uint64_t>(row.start) + static_cast<uint64_t>(row.length) <= file_size);
  }
}

// No output of an extraction is the input, by name or by file: the input
// still holds its bytes, no written path names it, and every output lies
// directly in the destination `folder` (ending in "/").
inline void CheckOutputsSpareInput(const ExtractOutcome& outcome, const std::string& input,
                                   const std::string& folder, std::span<const uint8_t> bytes) {
  struct stat in {};
  Require(stat(input.c_str(), &in) == 0 && S_ISREG(in.st_mode));
  std::ifstream file(input, std::ios::binary);
  const std::vector<uint8_t> now{std::istreambuf_iterator<char>(file), {}};
  Require(now.size() == bytes.size() && std::equal(now.begin(), now.end(), bytes.begin()));
  auto check = [&](const std::string& path) {
    Require(path != input);
    Require(path.compare(0, folder.size(), folder) == 0);
    Require(path.find('/', folder.size()) == std::string::npos);
    struct stat out {};
    if (stat(path.c_str(), &out) == 0) Require(out.st_ino != in.st_ino || out.st_dev != in.st_dev);
  };
  for (const ExtractedImage& image : outcome.written) check(image.path);
  if (outcome.report_written) check(outcome.report_path);
  if (outcome.catalogs_written) {
    check(outcome.csv_path);
    check(outcome.json_path);
  }
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF. Names read from files are shown and
// written into reports as UTF-8.
inline bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t extra = 0;
    uint32_t code = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, code = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace glintvane::fuzz
