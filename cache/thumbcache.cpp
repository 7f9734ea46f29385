#include "cache/thumbcache.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/byte_fields.h"
#include "base/error_codes.h"
#include "cache/text_convert.h"

namespace glintvane {
namespace {

constexpr std::array<uint8_t, 4> kCacheSignature = {'C', 'M', 'M', 'M'};
constexpr std::array<uint8_t, 4> kIndexSignature = {'I', 'M', 'M', 'M'};

// Index entries are read this many bytes at a time: the file's own entry
// count never sizes a buffer.
constexpr size_t kIndexChunkBytes = 64 * 1024;

// The index header: "IMMM" and the version at 0 (Vista and 7, 24 bytes) or
// at 4 (Windows 8 and later, 28 bytes), then the slots used and in all.
constexpr size_t kIndexHeaderVista7 = 24;
constexpr size_t kIndexHeaderWin8 = 0x1C;
static_assert(0x10 + 4 <= kIndexHeaderVista7 && 0x18 + 4 == kIndexHeaderWin8,
              "the slot counts lie inside the index header");

// An entry header: "CMMM", the size, the hash, the version's fields, the
// data checksum, and last the header checksum over every byte before it.
constexpr size_t kHeaderChecksumAtWin7 = 40;
constexpr size_t kHeaderChecksumAt = 48;  // Vista, Windows 8 and later
static_assert(kHeaderChecksumAtWin7 + 8 == kThumbcacheEntryHeaderWin7 &&
                  kHeaderChecksumAt + 8 == kThumbcacheEntryHeader,
              "the header checksum closes the entry header");

bool HasSignatureAt(std::span<const uint8_t> head, size_t at, const std::array<uint8_t, 4>& sig) {
  return head.size() >= at + sig.size() &&
         std::memcmp(head.data() + at, sig.data(), sig.size()) == 0;
}

bool IsKnownVersion(uint32_t version) {
  switch (version) {
    case 0x14:
    case 0x15:
    case 0x1A:
    case 0x1C:
    case 0x1E:
    case 0x1F:
    case 0x20:
      return true;
    default:
      return false;
  }
}

// Vista, 7 and the first Windows 8 builds keep the first entry at 0x0C and a
// count at 0x14; the later ones moved both offsets up by 4 and dropped the count.
bool HasVista7Header(uint32_t version) {
  return version <= 0x1A;
}

ReadResult<void> ReadExactly(ByteSource& source, uint64_t offset, std::span<uint8_t> out,
                             int short_code, const char* what) {
  auto n = source.ReadAt(offset, out);
  if (!n) return Fail(kErrPlatform, n.error().message);
  if (*n != out.size()) {
    return Fail(short_code, std::string(what) + " at offset " + std::to_string(offset) +
                                " runs past the end of the file");
  }
  return {};
}

constexpr std::array<uint64_t, 256> MakeCrcTable() {
  std::array<uint64_t, 256> table{};
  for (uint64_t i = 0; i < 256; ++i) {
    uint64_t crc = i;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? (crc >> 1) ^ 0x92C64265D32139A4ull : crc >> 1;
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint64_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

bool LooksLikeThumbcache(std::span<const uint8_t> head) {
  return HasSignatureAt(head, 0, kCacheSignature);
}

bool LooksLikeThumbcacheIndex(std::span<const uint8_t> head) {
  return HasSignatureAt(head, 0, kIndexSignature) || HasSignatureAt(head, 4, kIndexSignature);
}

std::string ThumbcacheVersionName(uint32_t version) {
  switch (version) {
    case 0x14:
      return "Windows Vista";
    case 0x15:
      return "Windows 7";
    case 0x1A:
    case 0x1C:
    case 0x1E:
      return "Windows 8";
    case 0x1F:
      return "Windows 8.1";
    case 0x20:
      return "Windows 10/11";
    default:
      return {};
  }
}

std::string ThumbcacheTypeName(uint32_t version, uint32_t cache_type) {
  static const char* const kVista7[] = {"32", "96", "256", "1024", "sr"};
  static const char* const kWin8[] = {"16", "32", "48", "96", "256", "1024", "sr", "wide", "exif"};
  static const char* const kWin81[] = {"16",   "32", "48",   "96",   "256",           "1024",
                                       "1600", "sr", "wide", "exif", "wide_alternate"};
  static const char* const kWin10[] = {"16",
                                       "32",
                                       "48",
                                       "96",
                                       "256",
                                       "768",
                                       "1280",
                                       "1920",
                                       "2560",
                                       "sr",
                                       "wide",
                                       "exif",
                                       "wide_alternate",
                                       "custom_stream"};
  auto pick = [cache_type](const auto& names) -> std::string {
    return cache_type < std::size(names) ? names[cache_type] : "";
  };
  if (version <= kThumbcacheWin7) return pick(kVista7);
  if (version < kThumbcacheWin81) return pick(kWin8);
  if (version == kThumbcacheWin81) return pick(kWin81);
  return pick(kWin10);
}

ReadResult<ThumbcacheHeader> ReadThumbcacheHeader(ByteSource& source) {
  std::array<uint8_t, kThumbcacheHeaderSize> head{};
  if (auto r = ReadExactly(source, 0, head, kErrThumbcacheHeader, "The cache header"); !r) {
    return tl::unexpected(r.error());
  }
  if (!LooksLikeThumbcache(head)) return Fail(kErrThumbcacheHeader, "No \"CMMM\" signature");
  ByteFields fields(head);
  ThumbcacheHeader header;
  header.version = fields.Le<uint32_t>(4);
  header.cache_type = fields.Le<uint32_t>(8);
  if (!IsKnownVersion(header.version)) {
    return Fail(kErrThumbcacheHeader,
                "Unknown thumbnail cache version " + std::to_string(header.version));
  }
  if (HasVista7Header(header.version)) {
    header.first_entry = fields.Le<uint32_t>(0x0C);
    header.first_free = fields.Le<uint32_t>(0x10);
    header.entry_count = fields.Le<uint32_t>(0x14);
    header.has_entry_count = true;
  } else {
    header.first_entry = fields.Le<uint32_t>(0x10);
    header.first_free = fields.Le<uint32_t>(0x14);
  }
  if (header.first_entry < kThumbcacheHeaderSize || header.first_entry > source.Size()) {
    return Fail(kErrThumbcacheHeader, "First entry offset " + std::to_string(header.first_entry) +
                                          " is outside the file");
  }
  return header;
}

uint64_t ThumbcacheEntryHeaderSize(uint32_t version) {
  return version == kThumbcacheWin7 ? kThumbcacheEntryHeaderWin7 : kThumbcacheEntryHeader;
}

ThumbcacheEntry DecodeThumbcacheEntry(std::span<const uint8_t> head, uint32_t version,
                                      uint64_t offset) {
  const uint64_t header_size = ThumbcacheEntryHeaderSize(version);
  ThumbcacheEntry entry;
  entry.offset = offset;
  if (head.size() < header_size) return entry;
  ByteFields fields(head.first(header_size));
  entry.size = fields.Le<uint32_t>(4);
  entry.hash = fields.Le<uint64_t>(8);
  size_t checksum_at = kHeaderChecksumAt;
  if (version == kThumbcacheVista) {
    entry.extension = Utf16LeToUtf8(head.subspan(16, 8), 4);
    entry.identifier_size = fields.Le<uint32_t>(24);
    entry.padding_size = fields.Le<uint32_t>(28);
    entry.data_size = fields.Le<uint32_t>(32);
    entry.data_checksum = fields.Le<uint64_t>(40);
  } else if (version == kThumbcacheWin7) {
    entry.identifier_size = fields.Le<uint32_t>(16);
    entry.padding_size = fields.Le<uint32_t>(20);
    entry.data_size = fields.Le<uint32_t>(24);
    entry.data_checksum = fields.Le<uint64_t>(32);
    checksum_at = kHeaderChecksumAtWin7;
  } else {
    entry.identifier_size = fields.Le<uint32_t>(16);
    entry.padding_size = fields.Le<uint32_t>(20);
    entry.data_size = fields.Le<uint32_t>(24);
    entry.width = fields.Le<uint32_t>(28);
    entry.height = fields.Le<uint32_t>(32);
    entry.data_checksum = fields.Le<uint64_t>(40);
  }
  entry.header_checksum = fields.Le<uint64_t>(checksum_at);
  entry.checksum_ok = ThumbcacheCrc64(head.first(checksum_at)) == entry.header_checksum;
  entry.identifier_offset = offset + header_size;
  entry.data_offset = entry.identifier_offset + entry.identifier_size + entry.padding_size;
  return entry;
}

ReadResult<ThumbcacheEntry> ParseThumbcacheEntry(std::span<const uint8_t> head, uint32_t version,
                                                 uint64_t offset, uint64_t file_size) {
  const uint64_t header_size = ThumbcacheEntryHeaderSize(version);
  // Made only for a failure: a scan of raw space asks of every "CMMM".
  const auto where = [offset] { return "Entry at offset " + std::to_string(offset); };
  if (head.size() < header_size) return Fail(kErrThumbcacheEntry, where() + " is cut off");
  if (!LooksLikeThumbcache(head)) return Fail(kErrThumbcacheEntry, where() + " has no signature");
  ThumbcacheEntry entry = DecodeThumbcacheEntry(head, version, offset);
  if (entry.size < header_size) {
    return Fail(kErrThumbcacheEntry,
                where() + " gives its size as " + std::to_string(entry.size) + " bytes");
  }
  if (offset > file_size || entry.size > file_size - offset) {
    return Fail(kErrThumbcacheEntry, where() + " (" + std::to_string(entry.size) +
                                         " bytes) runs past the end of the file");
  }
  // All in 64 bits: three u32 fields cannot overflow it.
  const uint64_t used =
      header_size + uint64_t{entry.identifier_size} + entry.padding_size + entry.data_size;
  if (used > entry.size) {
    return Fail(kErrThumbcacheEntry, where() + " holds " + std::to_string(used) +
                                         " bytes of name and data in " +
                                         std::to_string(entry.size));
  }
  return entry;
}

uint64_t ThumbcacheCrc64(std::span<const uint8_t> bytes, uint64_t crc) {
  for (const uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc;
}

bool ThumbcacheIndex::References(uint64_t hash, uint32_t cache_type, uint64_t offset) const {
  const auto it = by_hash.find(hash);
  if (it == by_hash.end()) return false;
  const std::vector<uint32_t>& offsets = entries[it->second].offsets;
  if (cache_type >= offsets.size()) return false;
  const uint32_t at = offsets[cache_type];
  return IsIndexedOffset(at) && at == offset;
}

ReadResult<ThumbcacheIndexLayout> ReadThumbcacheIndexLayout(ByteSource& source) {
  std::array<uint8_t, kIndexHeaderWin8> head{};
  if (auto r = ReadExactly(source, 0, head, kErrThumbcacheIndex, "The index header"); !r) {
    return tl::unexpected(r.error());
  }
  ByteFields fields(head);
  ThumbcacheIndexLayout index;
  uint64_t min_header = 0;
  if (HasSignatureAt(head, 0, kIndexSignature)) {
    index.version = fields.Le<uint32_t>(4);
    index.used = fields.Le<uint32_t>(0x0C);
    index.total = fields.Le<uint32_t>(0x10);
    min_header = kIndexHeaderVista7;
    index.offsets_per_entry = 5;
    // Vista kept a FILETIME after the hash.
    index.entry_bytes = index.version == kThumbcacheVista ? 40 : 32;
    index.first_offset = index.version == kThumbcacheVista ? 20 : 12;
  } else if (HasSignatureAt(head, 4, kIndexSignature)) {
    index.version = fields.Le<uint32_t>(8);
    index.used = fields.Le<uint32_t>(0x14);
    index.total = fields.Le<uint32_t>(0x18);
    min_header = kIndexHeaderWin8;
    index.first_offset = 16;
    index.offsets_per_entry = index.version == kThumbcacheWin10   ? 14
                              : index.version == kThumbcacheWin81 ? 11
                                                                  : 9;
    // Windows 8 and 8.1 close an entry with 4 unknown bytes.
    index.entry_bytes = index.first_offset + 4ull * index.offsets_per_entry +
                        (index.version == kThumbcacheWin10 ? 0 : 4);
  } else {
    return Fail(kErrThumbcacheIndex, "No \"IMMM\" signature");
  }
  if (!IsKnownVersion(index.version)) {
    return Fail(kErrThumbcacheIndex, "Unknown index version " + std::to_string(index.version));
  }
  // The header's size is not stored: it is what the entries leave of the file.
  const uint64_t size = source.Size();
  if (uint64_t{index.total} * index.entry_bytes > size - min_header) {
    return Fail(kErrThumbcacheIndex, "The index claims " + std::to_string(index.total) +
                                         " entries, more than the file holds");
  }
  index.header_size = size - uint64_t{index.total} * index.entry_bytes;
  return index;
}

ReadResult<void> ForEachThumbcacheIndexEntry(
    ByteSource& source, const ThumbcacheIndexLayout& layout,
    const std::function<void(uint64_t hash, std::span<const uint32_t> offsets)>& on_entry) {
  std::vector<uint8_t> chunk;
  std::vector<uint32_t> offsets(layout.offsets_per_entry);
  const uint64_t per_chunk = kIndexChunkBytes / layout.entry_bytes;
  for (uint64_t done = 0; done < layout.total;) {
    const uint64_t count = std::min<uint64_t>(per_chunk, layout.total - done);
    chunk.resize(static_cast<size_t>(count * layout.entry_bytes));
    if (auto r = ReadExactly(source, layout.header_size + done * layout.entry_bytes, chunk,
                             kErrThumbcacheIndex, "An index entry");
        !r) {
      return r;
    }
    ByteFields fields(chunk);
    for (uint64_t k = 0; k < count; ++k) {
      const uint64_t e = k * layout.entry_bytes;
      const uint64_t hash = fields.Le<uint64_t>(e);
      if (hash == 0) continue;  // an unused slot
      for (uint32_t t = 0; t < layout.offsets_per_entry; ++t) {
        offsets[t] = fields.Le<uint32_t>(e + layout.first_offset + 4ull * t);
      }
      on_entry(hash, offsets);
    }
    done += count;
  }
  return {};
}

ReadResult<ThumbcacheIndex> ReadThumbcacheIndex(ByteSource& source) {
  auto layout = ReadThumbcacheIndexLayout(source);
  if (!layout) return tl::unexpected(layout.error());
  ThumbcacheIndex index;
  index.version = layout->version;
  index.header_size = layout->header_size;
  index.used = layout->used;
  index.total = layout->total;
  index.offsets_per_entry = layout->offsets_per_entry;
  auto r = ForEachThumbcacheIndexEntry(
      source, *layout, [&](uint64_t hash, std::span<const uint32_t> offsets) {
        index.by_hash.emplace(hash, index.entries.size());
        index.entries.push_back({hash, std::vector<uint32_t>(offsets.begin(), offsets.end())});
      });
  if (!r) return tl::unexpected(r.error());
  return index;
}

bool ThumbcacheTypeIndex::References(uint64_t hash, uint64_t offset) const {
  const auto it = std::lower_bound(slots_.begin(), slots_.end(), hash,
                                   [](const Slot& slot, uint64_t h) { return slot.hash < h; });
  if (it == slots_.end() || it->hash != hash) return false;
  return IsIndexedOffset(it->offset) && it->offset == offset;
}

ReadResult<ThumbcacheTypeIndex> ReadThumbcacheTypeIndex(ByteSource& source, uint32_t cache_type) {
  auto layout = ReadThumbcacheIndexLayout(source);
  if (!layout) return tl::unexpected(layout.error());
  ThumbcacheTypeIndex index;
  index.version_ = layout->version;
  auto r = ForEachThumbcacheIndexEntry(
      source, *layout, [&](uint64_t hash, std::span<const uint32_t> offsets) {
        const uint32_t offset =
            cache_type < offsets.size() ? offsets[cache_type] : kThumbcacheNotIndexed;
        index.slots_.push_back({hash, offset});
      });
  if (!r) return tl::unexpected(r.error());
  // Stable: of the slots of one hash the first in the file stays first, as
  // ThumbcacheIndex::by_hash keeps it.
  std::stable_sort(index.slots_.begin(), index.slots_.end(),
                   [](const auto& a, const auto& b) { return a.hash < b.hash; });
  for (size_t i = 0; i < index.slots_.size(); ++i) {
    if (i == 0 || index.slots_[i].hash != index.slots_[i - 1].hash) ++index.hash_count_;
  }
  return index;
}

}  // namespace glintvane
