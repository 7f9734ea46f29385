#include "cache/thumbs_db.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/byte_fields.h"
#include "base/error_codes.h"
#include "cache/image_info.h"
#include "cache/raw_colour.h"
#include "cache/text_convert.h"

namespace glintvane {
namespace {

// The fixed fields of the Catalog's header and of one entry.
constexpr size_t kCatalogHeaderFields = 8;  // header length, version, count
constexpr size_t kEntryFields = 16;         // length, (unread), id, time
static_assert(kEntryFields + 4 == kCatalogEntryFixedBytes, "then the name and its end");

// The `N` bytes of the Catalog from `at`, as a read of a stream that ends
// early leaves them: whatever lies past the end reads as 0.
template <size_t N>
std::array<uint8_t, N> CatalogBytes(std::span<const uint8_t> catalog, uint64_t at) {
  std::array<uint8_t, N> out{};
  if (at < catalog.size()) {
    const auto there = catalog.subspan(static_cast<size_t>(at));
    std::copy_n(there.begin(), std::min(N, there.size()), out.begin());
  }
  return out;
}

constexpr uint8_t kJfifStart[4] = {0xFF, 0xD8, 0xFF, 0xE0};
constexpr uint8_t kPngEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

bool EndsWithJpegEnd(std::span<const uint8_t> b) {
  return b.size() >= 2 && b[b.size() - 2] == 0xFF && b[b.size() - 1] == 0xD9;
}

}  // namespace

CatalogHeader ReadCatalogHeader(std::span<const uint8_t> catalog) {
  const auto bytes = CatalogBytes<kCatalogHeaderFields>(catalog, 0);
  ByteFields fields(bytes);
  CatalogHeader header;
  header.header_length = fields.Le<uint16_t>(0);
  header.version = fields.Le<uint16_t>(2);
  header.count = fields.Le<uint32_t>(4);
  return header;
}

ReadResult<void> ForEachCatalogEntry(std::span<const uint8_t> catalog, const CatalogHeader& header,
                                     const std::function<void(const CatalogEntry&)>& on_entry) {
  uint64_t v = header.header_length;
  while (v < catalog.size()) {
    const auto bytes = CatalogBytes<kEntryFields>(catalog, v);
    ByteFields fields(bytes);
    const uint32_t length = fields.Le<uint16_t>(0);
    if (length == 0) {
      return Fail(kErrCatalogEntryZero, "Catalog entry of length 0 at offset " + std::to_string(v) +
                                            " of " + std::to_string(catalog.size()));
    }
    CatalogEntry entry;
    entry.offset = v;
    entry.id = fields.Le<int32_t>(4);
    entry.filetime = fields.Le<uint64_t>(8);
    // Taken as unsigned, so entries shorter than their fixed fields are
    // skipped too.
    const uint32_t name_bytes = length - kCatalogEntryFixedBytes;
    const uint64_t name_at = v + kEntryFields;
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
  // A field that a short stream lacks reads as 0; wherever that could decide
  // the outcome, the length is checked first.
  ByteFields fields(stream);
  if (n >= kLaterHeaderLength && fields.Le<uint32_t>(0) == kLaterHeaderLength) {
    if (fields.Le<uint32_t>(8) != n - kLaterHeaderLength) return Fail(kErrStreamLength);
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
  if (n < kThumbHeaderLength || fields.Le<uint32_t>(8) != n - kThumbHeaderLength) {
    return Fail(kErrStreamLength);
  }
  if (n >= kThumbHeaderLength + 4 &&
      std::memcmp(stream.data() + kThumbHeaderLength, kJfifStart, 4) == 0) {
    out.payload = ThumbnailPayload::kJfif;
    out.bytes = stream.subspan(kThumbHeaderLength);
    return out;
  }
  if (fields.Le<uint32_t>(12) != 1) return Fail(kErrPayloadKind);
  // The rebuild needs the frame header at 30 to 51.
  if (n < kRawScanOffset || fields.Le<uint32_t>(16) != n - kRawHeaderEnd)
    return Fail(kErrRawLength);
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
      stream.size() >= kLaterHeaderLength && ReadLe<uint32_t>(stream, 0) == kLaterHeaderLength;
  return ThumbnailKey(stream_name, later ? ThumbnailPayload::kJpeg : ThumbnailPayload::kJfif);
}

}  // namespace glintvane
