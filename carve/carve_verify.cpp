#include "carve/carve_verify.h"

#include <vector>

#include "cache/jpeg_codec.h"
#include "cache/png_codec.h"
#include "carve/bmp_header.h"

namespace glintvane {

DecodeCheck CheckCarvedPicture(CarveKind kind, std::span<const uint8_t> bytes, bool complete,
                               uint64_t max_pixels) {
  if (!complete || bytes.empty()) return DecodeCheck::kFails;
  bool decodes = false;
  switch (kind) {
    case CarveKind::kJfif:
    case CarveKind::kExif:
    case CarveKind::kJpeg:
      decodes = CheckJpegDecodes(bytes, max_pixels).has_value();
      break;
    case CarveKind::kPng:
      decodes = CheckPngDecodes(bytes, max_pixels).has_value();
      break;
    case CarveKind::kBmp:
      if (const auto layout = ReadBmpHeader(bytes.data(), bytes.size())) {
        decodes = uint64_t{static_cast<uint32_t>(layout->width)} *
                          static_cast<uint32_t>(layout->height) <=
                      max_pixels &&
                  BmpPixelsDecode(bytes, *layout);
      }
      break;
  }
  return decodes ? DecodeCheck::kDecodes : DecodeCheck::kFails;
}

CarveCheckResult CheckCarvedRows(ThumbnailList& list, size_t first, ByteSource& source,
                                 const std::stop_token& stop, ProgressSink* progress,
                                 uint64_t max_pixels) {
  CarveCheckResult result;
  std::vector<uint8_t> buffer;
  const size_t count = list.size() > first ? list.size() - first : 0;
  int reported = 0;
  for (size_t i = first; i < list.size(); ++i) {
    if (stop.stop_requested()) {
      result.stopped = true;
      break;
    }
    const CarvedEntry* entry = list.CarvedEntryAt(i);
    if (entry == nullptr) continue;
    DecodeCheck verdict = DecodeCheck::kFails;
    if (entry->complete && entry->length > 0) {
      // At most the carving cap: the buffer is reused from row to row.
      buffer.resize(entry->length);
      const auto got = source.ReadAt(static_cast<uint64_t>(entry->start), buffer);
      if (!got || *got != buffer.size()) {
        ++result.unreadable;
        continue;
      }
      verdict = CheckCarvedPicture(entry->kind, buffer, true, max_pixels);
    }
    list.SetDecodes(i, verdict);
    ++result.checked;
    if (verdict == DecodeCheck::kDecodes) ++result.decoding;
    if (progress != nullptr) {
      const auto percent = static_cast<int>((i - first + 1) * 100 / count);
      while (reported < percent) {
        ++reported;
        progress->OnProgress(reported, PercentText(reported));
      }
    }
  }
  return result;
}

std::string CarvedRowNote(const ThumbnailRow& row) {
  std::string note;
  switch (row.carve_kind) {
    case CarveKind::kJfif:
      note = "A JPEG picture found by its JFIF header";
      break;
    case CarveKind::kExif:
      note = "A JPEG picture found by its Exif header";
      break;
    case CarveKind::kJpeg:
      note = "A JPEG picture found by its start marker";
      break;
    case CarveKind::kPng:
      note = "A PNG picture found by its PNG signature";
      break;
    case CarveKind::kBmp:
      note = "A BMP picture found by its BMP headers";
      break;
  }
  note += row.complete ? "; whole" : "; cut short";
  switch (row.decodes) {
    case DecodeCheck::kDecodes:
      return note + "; it decodes.";
    case DecodeCheck::kFails:
      return note + "; it does not decode.";
    case DecodeCheck::kUnchecked:
      break;
  }
  return note + ".";
}

}  // namespace glintvane
