// Whether carved pictures decode: each row of a scan is decoded from the
// bytes it names, so that rows of garbage can be told from pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>

#include "base/byte_source.h"
#include "base/progress.h"
#include "cache/thumbnail_list.h"

namespace glintvane {

// No carved picture of more pixels is decoded to check it: far above any
// thumbnail or camera picture that fits the carving cap, small enough that
// a header claiming more allocates nothing. Such a row does not decode.
inline constexpr uint64_t kMaxCheckedPixels = 64ull * 1024 * 1024;

// Whether one carved picture decodes: a JPEG through libjpeg (clean, to its
// end marker), a PNG through libpng (to IEND), a BMP by its headers and, for
// a compressed one, its runs. `complete` is the row's: a picture whose own
// structure did not end it cannot decode whole, and is not decoded.
DecodeCheck CheckCarvedPicture(CarveKind kind, std::span<const uint8_t> bytes, bool complete,
                               uint64_t max_pixels = kMaxCheckedPixels);

struct CarveCheckResult {
  size_t checked = 0;     // rows given a verdict
  size_t decoding = 0;    // of them, rows that decode
  size_t unreadable = 0;  // rows whose bytes could not be read: left unchecked
  bool stopped = false;   // the stop token ended the checks; later rows are unchecked
};

// Records for each carved row of `list` from `first` on whether it decodes,
// reading its bytes from `source` (the bytes the scan read). Rows of other
// kinds than carved are left alone. `progress` gets percent steps of the
// rows checked.
CarveCheckResult CheckCarvedRows(ThumbnailList& list, size_t first, ByteSource& source,
                                 const std::stop_token& stop = {}, ProgressSink* progress = nullptr,
                                 uint64_t max_pixels = kMaxCheckedPixels);

// What a carved row's columns cannot show, for its tooltip: "A PNG picture
// found by its PNG signature; whole; it decodes."
std::string CarvedRowNote(const ThumbnailRow& row);

}  // namespace glintvane
