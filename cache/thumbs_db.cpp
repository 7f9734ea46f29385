#include "cache/thumbs_db.h"

#include <cstring>

#include "base/error_codes.h"
#include "cache/image_info.h"
#include "cache/raw_colour.h"
#include "cache/text_convert.h"

namespace glintvane {
namespace {

// Little-endian fields of a stream buffer; bytes past its end read as 0.
uint64_t Field(std::span<const uint8_t> bytes, uint64_t offset, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) {
    const uint64_t at = offset + static_cast<uint64_t>(i);
    v = (v << 8) | (at < bytes.size() ? bytes[static_cast<size_t>(at)] : 0);
  }
  return v;
}

constexpr uint8_t kJfifStart[4] = {0xFF, 0xD8, 0xFF, 0xE0};
constexpr uint8_t kPngEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

bool EndsWithJpegEnd(std::span<const uint8_t> b) {
  return b.size() >= 2 && b[b.size() - 2] == 0xFF && b[b.size() - 1] == 0xD9;
}

}  // namespace

CatalogHeader ReadCatalogHeader(std::span<const uint8_t> catalog) {
  CatalogHeader header;
  header.header_length = static_cast<uint16_t>(Field(catalog, 0, 2));
  header.version = static_cast<uint16_t>(Field(catalog, 2, 2));
  header.count = static_cast<uint32_t>(Field(catalog, 4, 4));
  return header;
}

ReadResult<void> ForEachCatalogEntry(std::span<const uint8_t> catalog, const CatalogHeader& header,
                                     const std::function<void(const CatalogEntry&)>& on_entry) {
  uint64_t v = header.header_length;
  while (v < catalog.size()) {
    const uint32_t length = static_cast<uint32_t>(Field(catalog, v, 2));
    if (length == 0) {
      return Fail(kErrCatalogEntryZero, "Catalog entry of length 0 at offset " + std::to_string(v) +
                                            " of " + std::to_string(catalog.size()));
    }
    CatalogEntry entry;
    entry.offset = v;
    entry.id = static_cast<int32_t>(Field(catalog, v + 4, 4));
    entry.filetime = Field(catalog, v + 8, 8);
    // Taken as unsigned, so entries shorter than their fixed fields are
    // skipped too.
    const uint32_t name_bytes = length - kCatalogEntryFixedBytes;
    const uint64_t name_at = v + 16;
    v += length;
    if (name_bytes > kMaxCatalogNameBytes) continue;
    std::span<const uint8_t> name;
    if (name_at < catalog.size()) {
      name = catalog.subspan(
          static_cast<size_t>(name_at),
          std::min<size_t>(name_bytes, catalog.size() - static_cast<size_t>(name_at)));
    }
    entry.name = Utf16LeToUtf8(name, name_bytes / 2);
    on_entry(entry);
  }
  return {};
}

ReadResult<ThumbnailStream> ClassifyThumbnailStream(std::span<const uint8_t> stream) {
  const uint64_t n = stream.size();
  ThumbnailStream out;
  // Later Windows versions: 24, 3, payload size, flag, 8-byte hash, payload.
  if (n >= kLaterHeaderLength && Field(stream, 0, 4) == kLaterHeaderLength) {
    if (Field(stream, 8, 4) != n - kLaterHeaderLength) return Fail(kErrStreamLength);
    const auto payload = stream.subspan(kLaterHeaderLength);
    if (LooksLikeJpeg(payload)) {
      if (!EndsWithJpegEnd(payload)) return Fail(kErrMissingEnd);
      out.payload = ThumbnailPayload::kJpeg;
    } else if (LooksLikePng(payload)) {
      if (payload.size() < sizeof(kPngEnd) + 8 ||
          std::memcmp(payload.data() + payload.size() - sizeof(kPngEnd), kPngEnd,
                      sizeof(kPngEnd)) != 0) {
        return Fail(kErrMissingEnd);
      }
      out.payload = ThumbnailPayload::kPng;
    } else {
      return Fail(kErrPayloadKind);
    }
    out.bytes = payload;
    return out;
  }
  if (!EndsWithJpegEnd(stream)) return Fail(kErrMissingEnd);
  if (stream[0] != 0x0C || stream[1] != 0x00) return Fail(kErrHeader);
  // 32-bit size fields: a thumbnail over 64 KiB is read, not refused.
  if (n < kThumbHeaderLength || Field(stream, 8, 4) != n - kThumbHeaderLength) {
    return Fail(kErrStreamLength);
  }
  if (n >= kThumbHeaderLength + 4 &&
      std::memcmp(stream.data() + kThumbHeaderLength, kJfifStart, 4) == 0) {
    out.payload = ThumbnailPayload::kJfif;
    out.bytes = stream.subspan(kThumbHeaderLength);
    return out;
  }
  if (Field(stream, 12, 4) != 1) return Fail(kErrPayloadKind);
  // The rebuild needs the frame header at 30 to 51.
  if (n < kRawScanOffset || Field(stream, 16, 4) != n - kRawHeaderEnd) return Fail(kErrRawLength);
  out.payload = ThumbnailPayload::kRaw;
  out.bytes = stream;
  return out;
}

std::string ThumbnailKey(std::string_view stream_name, ThumbnailPayload payload) {
  if (payload == ThumbnailPayload::kJpeg || payload == ThumbnailPayload::kPng) {
    return std::string(stream_name);
  }
  return ReverseUtf8(stream_name);
}

std::string ThumbnailKeyOfStream(std::string_view stream_name, std::span<const uint8_t> stream) {
  const bool later =
      stream.size() >= kLaterHeaderLength && Field(stream, 0, 4) == kLaterHeaderLength;
  return ThumbnailKey(stream_name, later ? ThumbnailPayload::kJpeg : ThumbnailPayload::kJfif);
}

}  // namespace glintvane
