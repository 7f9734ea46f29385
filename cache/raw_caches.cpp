#include "cache/raw_caches.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

#include "base/byte_fields.h"
#include "cache/compound_file.h"
#include "cache/image_info.h"
#include "cache/paged_reader.h"
#include "cache/text_convert.h"
#include "cache/thumbcache.h"

namespace glintvane {
namespace {

using namespace cfb;

constexpr uint16_t kMajorVersion3 = 3;
constexpr uint16_t kByteOrderMark = 0xFFFE;
constexpr uint16_t kSectorShift = 9;
constexpr uint16_t kMiniSectorShift = 6;
constexpr uint64_t kOffMajorVersion = 26;
constexpr uint64_t kOffByteOrder = 28;
constexpr uint64_t kOffMiniSectorShift = 32;
constexpr uint64_t kOffMiniCutoff = 56;
constexpr uint32_t kFreeOrMarker = 0xFFFFFFFA;  // sector numbers from here up are markers
constexpr uint32_t kChainEnd = static_cast<uint32_t>(kEndOfChain);
constexpr uint8_t kTypeRootStorage = kTypeRoot;
constexpr uint16_t kCatalogName[] = {'C', 'a', 't', 'a', 'l', 'o', 'g', 0};
// Bytes a FAT sector describes: 128 sectors of 512.
constexpr uint64_t kBytesPerFatSector = uint64_t{kIdsPerSector} * kSectorSize;

// The bytes after the header being probed, read in large pieces and kept
// while the headers after it are probed: a crafted file with a header on
// every sector is read about twice, not once per header.
constexpr uint64_t kProbeNearSpan = uint64_t{4} << 20;
constexpr uint64_t kProbeFill = uint64_t{256} << 10;
// Sectors a probe reads from outside that span (a large cache keeps its FAT
// and directory near its end): a FAT sector, a few DIFAT and directory
// sectors of a real cache; a crafted header gets no more.
constexpr int kMaxFarReads = 16;

class ProbeBytes {
 public:
  explicit ProbeBytes(ByteSource& source) : source_(source), size_(source.Size()) {}

  // A probe of the header at `at` begins: the span starts there (the bytes
  // already read after it are kept) and the far reads are counted afresh.
  void Anchor(uint64_t at) {
    far_left_ = kMaxFarReads;
    if (at >= start_ && at - start_ <= filled_) {
      const uint64_t into = at - start_;
      if (into < kProbeNearSpan / 2) return;
      std::memmove(near_.data(), near_.data() + into, static_cast<size_t>(filled_ - into));
      filled_ -= into;
    } else {
      filled_ = 0;
    }
    start_ = at;
  }

  // The bytes [offset, offset + n), or null when they are not all in the
  // source (or the probe has used its far reads).
  const uint8_t* Get(uint64_t offset, size_t n) {
    if (offset > size_ || n > size_ - offset) return nullptr;
    if (offset >= start_ && offset - start_ + n <= kProbeNearSpan) {
      const uint64_t need = offset - start_ + n;
      if (need > filled_ && !Fill(need)) return nullptr;
      return near_.data() + (offset - start_);
    }
    if (far_left_ == 0) return nullptr;
    --far_left_;
    far_.resize(n);
    const auto got = source_.ReadAt(offset, far_);
    return got && *got == n ? far_.data() : nullptr;
  }

 private:
  bool Fill(uint64_t need) {
    if (near_.empty()) near_.resize(kProbeNearSpan);
    const uint64_t to =
        std::min({std::max(need, filled_ + kProbeFill), kProbeNearSpan, size_ - start_});
    const auto got = source_.ReadAt(
        start_ + filled_, std::span(near_).subspan(filled_, static_cast<size_t>(to - filled_)));
    if (!got) return false;
    filled_ += *got;
    return filled_ >= need;
  }

  ByteSource& source_;
  uint64_t size_;
  std::vector<uint8_t> near_;
  uint64_t start_ = 0;
  uint64_t filled_ = 0;
  std::vector<uint8_t> far_;
  int far_left_ = 0;
};

uint64_t WindowOf(std::span<const uint8_t> head, uint64_t room) {
  const auto fat_count = ReadLe<uint32_t>(head, kOffFatCount).value_or(0);
  return std::min(room, kHeaderSize + fat_count * kBytesPerFatSector);
}

bool IsCatalog(std::span<const uint8_t> slot) {
  ByteFields fields(slot);
  if (fields.Le<uint8_t>(kEntryType) != kTypeStream ||
      fields.Le<uint16_t>(kEntryNameLength) != sizeof kCatalogName) {
    return false;
  }
  for (size_t c = 0; c < std::size(kCatalogName); ++c) {
    if (fields.Le<uint16_t>(2 * c) != kCatalogName[c]) return false;
  }
  return true;
}

// Where the Catalog entry lies (its directory sector, from the source's
// start) when the directory of the compound file at `at` (read no further
// than `window` bytes) holds one within its first kMaxProbeDirectorySectors
// sectors. Every sector number is checked against the window before it is
// read.
std::optional<uint64_t> FindCatalog(ProbeBytes& bytes, uint64_t at, uint64_t window) {
  const uint8_t* header = bytes.Get(at, kHeaderSize);
  if (header == nullptr) return std::nullopt;
  std::array<uint8_t, kHeaderSize> head{};
  std::memcpy(head.data(), header, head.size());  // later reads may move the span
  const uint64_t sectors = (window - kHeaderSize) / kSectorSize;
  const uint32_t fat_count = ReadLe<uint32_t>(head, kOffFatCount).value_or(0);
  const auto sector_at = [&](uint32_t sector) -> const uint8_t* {
    if (sector >= sectors) return nullptr;
    return bytes.Get(at + kHeaderSize + uint64_t{sector} * kSectorSize, kSectorSize);
  };
  // The FAT sector that holds the entry of FAT sector index k.
  const auto fat_sector = [&](uint32_t k) -> std::optional<uint32_t> {
    if (k >= fat_count) return std::nullopt;
    if (k < kHeaderDifatCount) return ReadLe<uint32_t>(head, kOffHeaderDifat + 4ull * k);
    uint32_t d = ReadLe<uint32_t>(head, kOffFirstDifat).value_or(kChainEnd);
    for (uint32_t skip = (k - kHeaderDifatCount) / kIdsPerDifatSector; skip > 0; --skip) {
      const uint8_t* difat = sector_at(d);
      if (difat == nullptr) return std::nullopt;
      d = ReadLe<uint32_t>({difat, kSectorSize}, 4ull * kIdsPerDifatSector).value_or(kChainEnd);
    }
    const uint8_t* difat = sector_at(d);
    if (difat == nullptr) return std::nullopt;
    return ReadLe<uint32_t>({difat, kSectorSize},
                            4ull * ((k - kHeaderDifatCount) % kIdsPerDifatSector));
  };
  uint32_t d = ReadLe<uint32_t>(head, kOffFirstDirectory).value_or(kChainEnd);
  for (uint32_t step = 0; step < kMaxProbeDirectorySectors; ++step) {
    const uint8_t* directory = sector_at(d);
    if (directory == nullptr) return std::nullopt;
    const std::span<const uint8_t> sector(directory, kSectorSize);
    // Every compound file's directory starts with its root storage.
    if (step == 0 && sector[kEntryType] != kTypeRootStorage) return std::nullopt;
    for (uint32_t slot = 0; slot < kEntriesPerSector; ++slot) {
      if (IsCatalog(sector.subspan(slot * kEntrySize, kEntrySize))) {
        return at + kHeaderSize + uint64_t{d} * kSectorSize;
      }
    }
    const auto fat = fat_sector(d / kIdsPerSector);
    if (!fat) return std::nullopt;
    const uint8_t* entries = sector_at(*fat);
    if (entries == nullptr) return std::nullopt;
    d = ReadLe<uint32_t>({entries, kSectorSize}, 4ull * (d % kIdsPerSector)).value_or(kChainEnd);
    if (d >= kFreeOrMarker) return std::nullopt;  // the chain ends without a Catalog
  }
  return std::nullopt;
}

// The hash in 16 lower-case hex digits, as the rows of a cache are keyed.
std::string HashKey(uint64_t hash) {
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) text[i] = "0123456789abcdef"[hash & 0xF];
  return text;
}

ImageKind KindOfPayload(std::span<const uint8_t> bytes) {
  if (LooksLikeBmp(bytes)) return ImageKind::kBmp;
  if (LooksLikePng(bytes)) return ImageKind::kPng;
  if (LooksLikeJpeg(bytes)) return ImageKind::kJpeg;
  return ImageKind::kNone;
}

}  // namespace

bool LooksLikeCompoundHeader(std::span<const uint8_t> head) {
  if (head.size() < kCompoundHeaderCheckBytes ||
      std::memcmp(head.data(), kSignature, sizeof kSignature) != 0) {
    return false;
  }
  ByteFields fields(head);
  return fields.Le<uint16_t>(kOffMajorVersion) == kMajorVersion3 &&
         fields.Le<uint16_t>(kOffByteOrder) == kByteOrderMark &&
         fields.Le<uint16_t>(kOffSectorShift) == kSectorShift &&
         fields.Le<uint16_t>(kOffMiniSectorShift) == kMiniSectorShift &&
         fields.Le<uint32_t>(kOffMiniCutoff) == kMiniStreamCutoff &&
         fields.Le<uint32_t>(kOffFatCount) > 0;
}

uint64_t RawThumbsDb::length() const {
  return measure.expected == 0 ? window : std::min(measure.expected, window);
}

std::vector<RawThumbsDb> FindRawThumbsDbs(ByteSource& source, std::span<const uint64_t> headers,
                                          const RunEnd& run_end, const std::stop_token& stop) {
  // First every header's probe: which Catalog its directory leads to. An
  // older header before a cache (of a file written over, or crafted) may
  // lead into the cache's directory too: a Catalog belongs to the nearest
  // header before it.
  struct Probed {
    uint64_t at = 0;
    uint64_t window = 0;
    uint64_t catalog = 0;
  };
  std::vector<Probed> probed;
  ProbeBytes bytes(source);
  const uint64_t size = source.Size();
  for (const uint64_t at : headers) {
    if (stop.stop_requested()) break;
    if (at >= size) continue;
    const uint64_t end = std::min(run_end ? run_end(at) : size, size);
    // A header, a FAT sector and a directory sector at the least.
    if (end <= at || end - at < kHeaderSize + 2 * kSectorSize) continue;
    bytes.Anchor(at);
    const uint8_t* head = bytes.Get(at, kHeaderSize);
    if (head == nullptr || !LooksLikeCompoundHeader({head, kHeaderSize})) continue;
    const uint64_t window = WindowOf({head, kHeaderSize}, end - at);
    if (window < kHeaderSize + 2 * kSectorSize) continue;
    if (const auto catalog = FindCatalog(bytes, at, window)) {
      probed.push_back({at, window, *catalog});
    }
  }
  // Headers come in order, so of those leading to one Catalog the last is
  // the nearest.
  std::vector<Probed> owners;
  std::unordered_set<uint64_t> owned;
  for (auto it = probed.rbegin(); it != probed.rend(); ++it) {
    if (owned.insert(it->catalog).second) owners.push_back(*it);
  }
  std::reverse(owners.begin(), owners.end());
  std::vector<RawThumbsDb> found;
  uint64_t taken = 0;  // the caches found so far reach up to here
  for (const Probed& owner : owners) {
    if (stop.stop_requested()) break;
    if (owner.at < taken) continue;
    const uint64_t at = owner.at;
    const uint64_t window = owner.window;
    WindowByteSource file(source, at, window);
    PagedReader reader(file);
    auto measure = MeasureCompoundFile(reader);
    if (!measure) continue;
    RawThumbsDb cache{at, window, std::move(*measure)};
    taken = at + cache.length();
    found.push_back(std::move(cache));
  }
  return found;
}

uint64_t CompoundFileWindow(ByteSource& source, uint64_t offset, uint64_t run_end) {
  std::array<uint8_t, kCompoundHeaderCheckBytes> head{};
  const uint64_t end = std::min(run_end, source.Size());
  if (offset >= end) return 0;
  const auto got = source.ReadAt(offset, head);
  if (!got || *got != head.size() || !LooksLikeCompoundHeader(head)) return 0;
  return WindowOf(head, end - offset);
}

std::optional<uint32_t> RawThumbcacheEntryVersion(std::span<const uint8_t> head, uint64_t offset,
                                                  uint64_t size) {
  if (head.size() < kThumbcacheEntryHeaderWin7 || !LooksLikeThumbcache(head)) return std::nullopt;
  ByteFields fields(head);
  const uint32_t entry_size = fields.Le<uint32_t>(4);
  if (entry_size < kThumbcacheEntryHeaderWin7 || offset > size || entry_size > size - offset) {
    return std::nullopt;
  }
  const auto sound = [&](uint32_t version) {
    const uint64_t header_size = ThumbcacheEntryHeaderSize(version);
    if (head.size() < header_size) return false;
    auto entry = ParseThumbcacheEntry(head.first(header_size), version, offset, size);
    return entry && entry->checksum_ok && !entry->IsFree();
  };
  // Windows 7's checksum follows 40 bytes of fields, the others' 48: one CRC
  // run serves both.
  const uint64_t crc40 = ThumbcacheCrc64(head.first(40));
  if (crc40 == fields.Le<uint64_t>(40) && sound(kThumbcacheWin7)) return kThumbcacheWin7;
  if (head.size() < kThumbcacheEntryHeader) return std::nullopt;
  if (ThumbcacheCrc64(head.subspan(40, 8), crc40) != fields.Le<uint64_t>(48)) return std::nullopt;
  // Vista and Windows 8 checksum the same bytes; the sizes tell them apart.
  if (sound(kThumbcacheWin81)) return kThumbcacheWin81;
  if (sound(kThumbcacheVista)) return kThumbcacheVista;
  return std::nullopt;
}

size_t AppendRawThumbcacheRows(ByteSource& source, uint32_t source_index,
                               std::span<const RawThumbcacheEntry> entries, ThumbnailList& list,
                               size_t row_limit) {
  const uint64_t size = source.Size();
  // Entries come in file order: pages read once serve the many small reads.
  PagedReader reader(source);
  const auto read = [&](uint64_t offset, std::span<uint8_t> out) {
    return offset <= size &&
                   reader.Read(offset, out.first(std::min<uint64_t>(out.size(), size - offset)))
                       .has_value()
               ? std::min<uint64_t>(out.size(), size - offset)
               : 0;
  };
  std::array<uint8_t, kThumbcacheEntryHeader> head{};
  std::array<uint8_t, 64> first{};
  std::vector<uint8_t> name;
  uint64_t taken = 0;  // names and pictures were taken from the bytes before this
  size_t rows = 0;
  for (const RawThumbcacheEntry& found : entries) {
    if (rows >= row_limit) break;
    const uint64_t header_size = ThumbcacheEntryHeaderSize(found.version);
    if (read(found.offset, std::span(head).first(header_size)) != header_size) continue;
    auto entry =
        ParseThumbcacheEntry(std::span(head).first(header_size), found.version, found.offset, size);
    if (!entry) continue;
    ThumbnailRow row;
    row.key = HashKey(entry->hash);
    row.name = "";
    row.source_kind = SourceKind::kOpenFile;
    row.source = source_index;
    row.carved = true;
    row.thumbcache = true;
    row.recovered = true;
    row.checksum_ok = true;
    row.entry_offset = entry->offset;
    row.data_checksum = entry->data_checksum;
    row.start = static_cast<int64_t>(entry->data_offset);
    row.end = row.start;
    if (entry->width > 0 && entry->height > 0 && entry->width <= INT32_MAX &&
        entry->height <= INT32_MAX) {
      row.width = static_cast<int32_t>(entry->width);
      row.height = static_cast<int32_t>(entry->height);
    }
    const uint64_t body_end = entry->data_offset + entry->data_size;
    if (entry->identifier_offset >= taken) {
      name.resize(std::min(entry->identifier_size, kMaxThumbcacheIdentifierBytes));
      if (read(entry->identifier_offset, name) == name.size()) {
        row.name = Utf16LeToUtf8(name, name.size() / 2);
      }
      row.length = entry->data_size;
      row.end = static_cast<int64_t>(body_end);
      row.complete = true;
      const auto head_got =
          source.ReadAt(entry->data_offset,
                        std::span(first).first(std::min<size_t>(first.size(), entry->data_size)));
      if (head_got) row.kind = KindOfPayload(std::span(first).first(*head_got));
      taken = body_end;
    }
    list.Append(std::move(row));
    ++rows;
  }
  return rows;
}

}  // namespace glintvane
