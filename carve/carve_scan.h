// Finding pictures in any file (swap files, hibernation files, damaged
// caches) and listing them as carved rows: JFIF images by default, and on
// request Exif and other JPEGs, PNGs and BMPs, all in one pass.
#pragma once

#include <cstdint>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/byte_source.h"
#include "base/progress.h"
#include "cache/thumbnail_list.h"
#include "carve/carve_kinds.h"
#include "carve/carved_images.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane {

struct CarveTarget {
  ThumbnailList& list;
  ErrorList& errors;
  const UiTexts& texts;
  ProgressSink* progress = nullptr;  // percent steps, never above 100
  std::stop_token stop = {};         // checked once per block
  // Rows this scan may add; a signature past them stops the scan with
  // kErrCarveRowLimit, keeping the rows.
  size_t row_limit = kDefaultCarveRowLimit;
  CarveKinds kinds = kDefaultCarveKinds;  // what the scan looks for
};

struct CarveResult {
  bool ok = false;        // finished and the list holds at least one row
  bool finished = false;  // the whole file was read (sets the carved-list flag)
  bool stopped = false;   // the stop token ended the scan; the rows so far stay
  int error_code = 0;     // the code that ended the scan; 0 when none
  uint64_t file_size = 0;
  uint64_t bytes_read = 0;  // how far the scan got: file_size when it read everything
  size_t rows_added = 0;
};

// Scans the file at `path` and appends one row per image found, numbered on
// after the rows already in the list.
// Each row records the file (ThumbnailList::AddSource) so rows of several
// scans each read from their own file; a scan never changes rows it did not
// make. A row is `complete` when the picture's own structure closed it (a
// JPEG's end marker, a PNG's IEND chunk, a BMP's size all in the file).
// A file that ends before the length it had when the scan began (it shrank
// while it was read) fails with kErrFileShrank; its rows are kept.
CarveResult ScanFileForImages(const std::string& path, CarveTarget target);

// The same scan over bytes in memory (tests, fuzzing); `path` is the source
// recorded in the rows.
CarveResult ScanBytesForImages(std::span<const uint8_t> bytes, const std::string& path,
                               CarveTarget target);

// The same scan over any byte source read front to back (a disk image, the
// unallocated space of its file systems); `path` is recorded in the rows.
CarveResult ScanSourceForImages(ByteSource& source, const std::string& path, CarveTarget target);

// The reason shown after the path when a file call fails, from its errno
// value; empty for values without one.
std::string_view CarveErrorReason(int error_number);

}  // namespace glintvane
