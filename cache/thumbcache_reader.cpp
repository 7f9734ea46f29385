#include "cache/thumbcache_reader.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache/image_info.h"
#include "cache/text_convert.h"
#include "cache/thumbcache.h"

namespace glintvane {
namespace {

// English labels of the details only these caches have; the language files
// carry the ones shared with Thumbs.db (version, thumbnails).
constexpr const char* kCacheTypeLabel = "Cache type";
constexpr const char* kFreeSpaceLabel = "Free space";
constexpr const char* kIndexLabel = "Index";
constexpr const char* kHeaderCountLabel = "Entries in header";
constexpr const char* kChecksumLabel = "Header checksum mismatches";
constexpr const char* kSlotsLabel = "Slots used / total";
constexpr const char* kRecoveredLabel = "Recovered entries (outside the chain)";
constexpr const char* kDamagedLabel = "Damaged entries";
constexpr const char* kDataChecksumLabel = "Data checksums";

std::string HashKey(uint64_t hash) {
  std::array<char, 17> text{};
  std::snprintf(text.data(), text.size(), "%016llx", static_cast<unsigned long long>(hash));
  return std::string(text.data(), 16);
}

std::string Hex(uint32_t value) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "0x%X", value);
  return text.data();
}

ImageKind KindOfPayload(std::span<const uint8_t> bytes) {
  if (LooksLikeBmp(bytes)) return ImageKind::kBmp;
  if (LooksLikePng(bytes)) return ImageKind::kPng;
  if (LooksLikeJpeg(bytes)) return ImageKind::kJpeg;
  return ImageKind::kNone;
}

ReadResult<void> ReadSpan(ByteSource& source, uint64_t offset, std::span<uint8_t> out) {
  auto n = source.ReadAt(offset, out);
  if (!n) return Fail(kErrPlatform, n.error().message);
  if (*n != out.size()) {
    return Fail(kErrThumbcacheEntry,
                "Bytes at offset " + std::to_string(offset) + " run past the end of the file");
  }
  return {};
}

bool StartsWithNoCase(std::string_view text, std::string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (size_t i = 0; i < lower_prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lower_prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string ThumbcacheIndexPathFor(const std::string& cache_path) {
  const std::string_view file = LocalFilePart(cache_path);
  const bool icons = StartsWithNoCase(file, "iconcache_");
  return std::string(LocalFolderPart(cache_path)) +
         (icons ? "iconcache_idx.db" : "thumbcache_idx.db");
}

namespace {

// A scan for the next sound entry reads the file in pieces that double from
// two entry headers up to this size: the next entry is most often close, and
// a scan reads little more than the bytes it passes over.
constexpr size_t kScanChunk = 64 * 1024;
// Identifiers are hashes, CLSIDs and paths, and no Windows path is longer
// than kWindowsMaxLongPath. Longer ones are kept to that; the rest stays in
// the file.
constexpr uint32_t kMaxIdentifierBytes = 2 * kWindowsMaxLongPath;
// Damaged entries whose error is written out one by one; the rest are
// counted in one line (every such row carries its code all the same). A
// crafted file can hold a million of them.
constexpr uint64_t kMaxEntryErrorsListed = 100;

// The entries of one cache file: the chain from the first entry, stepping by
// each entry's size; after a damaged entry the next one whose header
// checksum holds; and, in the free space the chain leaves (deleted entries
// keep their header checksum), the entries found there, as recovered rows.
class EntryWalk {
 public:
  EntryWalk(ByteSource& source, const ThumbcacheHeader& header, CacheReadTarget& target,
            const std::string& path, const ThumbcacheTypeIndex* index, ProgressMeter& meter)
      : source_(source),
        header_(header),
        target_(target),
        path_(path),
        index_(index),
        meter_(meter),
        size_(source.Size()),
        header_size_(ThumbcacheEntryHeaderSize(header.version)),
        head_(header_size_) {}

  // The error the walk returned is in the error list already.
  bool recorded() const { return recorded_; }
  uint64_t rows() const { return rows_; }
  uint64_t recovered() const { return recovered_; }
  uint64_t damaged() const { return damaged_; }
  uint64_t free_bytes() const { return free_bytes_; }
  uint64_t bad_checksums() const { return bad_checksums_; }

  ReadResult<void> Run() {
    for (uint64_t offset = header_.first_entry; offset < size_;) {
      if (size_ - offset < header_size_) {
        Damaged(kErrThumbcacheEntry, "The file ends " + std::to_string(size_ - offset) +
                                         " bytes after the last entry, inside a header");
        break;
      }
      if (auto r = ReadHead(offset); !r) return r;
      meter_.Advance(static_cast<int>(static_cast<double>(offset) * kProgressFull /
                                      static_cast<double>(size_)));
      auto entry = ParseThumbcacheEntry(head_, header_.version, offset, size_);
      if (entry && entry->checksum_ok) {
        if (auto r = Keep(*entry, false); !r) return r;
        offset += entry->size;
        continue;
      }
      // A damaged header: its size cannot be trusted, so the walk goes on at
      // the next entry whose checksum holds.
      auto next = NextSoundEntry(offset + 1, size_);
      if (!next) return tl::unexpected(next.error());
      const uint64_t resume = next->value_or(size_);
      if (entry && resume == offset + entry->size) {
        // Only the checksum disagrees, and the entry's size leads to the next
        // sound entry: kept whole, flagged.
        if (auto r = Keep(*entry, false); !r) return r;
      } else if (auto r = KeepDamaged(offset, resume, entry ? std::string() : entry.error().detail);
                 !r) {
        return r;
      }
      offset = resume;
    }
    // What lies in the free space: deleted entries, when their headers hold.
    for (size_t i = 0; i < free_.size(); ++i) {
      for (uint64_t from = free_[i].first; from < free_[i].second;) {
        auto found = NextSoundEntry(from, free_[i].second);
        if (!found) return tl::unexpected(found.error());
        if (!*found) break;
        if (auto r = ReadHead(**found); !r) return r;
        const ThumbcacheEntry entry = DecodeThumbcacheEntry(head_, header_.version, **found);
        if (!entry.IsFree()) {
          if (auto r = Keep(entry, true, free_[i].second); !r) return r;
        }
        // On past its header only: an older entry may start inside it.
        from = **found + header_size_;
      }
    }
    if (errors_ > kMaxEntryErrorsListed) {
      target_.errors.AddError(kErrThumbcacheEntry, path_,
                              std::to_string(errors_ - kMaxEntryErrorsListed) +
                                  " more damaged entries (their rows carry the error)");
    }
    if (!first_error_) return {};
    recorded_ = true;
    return tl::unexpected(*first_error_);
  }

 private:
  ReadResult<void> ReadHead(uint64_t offset) { return ReadSpan(source_, offset, head_); }

  // Records a damaged entry's error (the first few one by one) and keeps the
  // first as the read's outcome.
  void Damaged(int code, const std::string& detail) {
    if (!first_error_) first_error_ = ReadError{code, detail};
    if (++errors_ <= kMaxEntryErrorsListed) {
      target_.errors.AddError(code, path_, detail);
    }
  }

  // The first offset in [from, limit) where an entry starts whose header
  // checksum holds and whose size fits in the file; nullopt when there is
  // none. A call reads at most about twice the bytes it passes over, and the
  // next call starts past the entry it found, so the walk stays linear in
  // the file whatever the file holds.
  ReadResult<std::optional<uint64_t>> NextSoundEntry(uint64_t from, uint64_t limit) {
    static constexpr uint8_t kSignature[4] = {'C', 'M', 'M', 'M'};
    std::vector<uint8_t>& chunk = scan_;
    size_t piece = static_cast<size_t>(2 * header_size_);
    while (from < limit && limit - from >= header_size_) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(piece, limit - from));
      piece = std::min(2 * piece, kScanChunk);
      chunk.resize(want);
      if (auto r = ReadSpan(source_, from, chunk); !r) return tl::unexpected(r.error());
      for (size_t at = 0; at + 4 <= want; ++at) {
        const auto* hit =
            static_cast<const uint8_t*>(std::memchr(chunk.data() + at, 'C', want - at - 3));
        if (hit == nullptr) break;
        at = static_cast<size_t>(hit - chunk.data());
        if (std::memcmp(hit, kSignature, 4) != 0) continue;
        const uint64_t offset = from + at;
        if (limit - offset < header_size_) return std::optional<uint64_t>();
        std::span<const uint8_t> head;
        if (at + header_size_ <= want) {
          head = std::span<const uint8_t>(chunk).subspan(at, header_size_);
        } else {
          probe_.resize(header_size_);
          if (auto r = ReadSpan(source_, offset, probe_); !r) return tl::unexpected(r.error());
          head = probe_;
        }
        auto entry = ParseThumbcacheEntry(head, header_.version, offset, size_);
        if (entry && entry->checksum_ok) return std::optional<uint64_t>(offset);
      }
      // The last three bytes may start a signature that the next piece ends.
      if (want < 4 || from + want >= limit) break;
      from += want - 3;
    }
    return std::optional<uint64_t>();
  }

  // A row for an entry: its identifier as its name, its data in the store.
  // `data_limit` is where a recovered entry's data must end (in the free
  // space it was found in).
  ReadResult<void> Keep(const ThumbcacheEntry& entry, bool recovered,
                        uint64_t data_limit = UINT64_MAX) {
    if (entry.IsFree()) {
      if (!recovered) {
        free_bytes_ += entry.size;
        free_.emplace_back(entry.offset + header_size_, entry.offset + entry.size);
      }
      return {};
    }
    CacheEntryRow row = RowOf(entry);
    if (recovered) {
      row.flags |= CacheEntryRow::kRecovered;
      ++recovered_;
    }
    if (!entry.checksum_ok) ++bad_checksums_;
    // Deleted entries may lie one inside another; each byte of the free
    // space gives at most one name or picture, so that nested headers cannot
    // multiply what the read holds.
    const uint64_t body_end = entry.data_offset + entry.data_size;
    const bool body =
        !recovered || (entry.identifier_offset >= recovered_taken_ && body_end <= data_limit);
    if (body) {
      if (auto r = ReadName(entry, row); !r) return r;
      if (entry.data_size > 0) {
        if (auto r = ReadData(entry, row); !r) return r;
      }
      if (recovered) recovered_taken_ = body_end;
    }
    target_.list.AppendCacheEntry(row);
    ++rows_;
    return {};
  }

  // A row for an entry whose header is damaged: its code and error, and
  // whatever its fields still give: the hash, the name and the data when
  // they lie between its header and the next sound entry at `limit`.
  ReadResult<void> KeepDamaged(uint64_t offset, uint64_t limit, const std::string& parse_error) {
    const ThumbcacheEntry entry = DecodeThumbcacheEntry(head_, header_.version, offset);
    std::string detail = parse_error.empty()
                             ? "Entry at offset " + std::to_string(offset) +
                                   ": its header checksum does not match and "
                                   "its size (" +
                                   std::to_string(entry.size) + ") does not lead to the next entry"
                             : parse_error;
    detail += limit < size_
                  ? "; the walk goes on at the next sound entry, at offset " + std::to_string(limit)
                  : "; no sound entry follows";
    Damaged(kErrThumbcacheEntry, detail);
    ++damaged_;
    CacheEntryRow row = RowOf(entry);
    row.error = static_cast<int16_t>(kErrThumbcacheEntry);
    const uint64_t room = limit - entry.identifier_offset;
    const bool fits =
        entry.identifier_offset <= limit &&
        uint64_t{entry.identifier_size} + entry.padding_size + entry.data_size <= room;
    if (fits) {
      if (auto r = ReadName(entry, row); !r) return r;
      if (entry.data_size > 0) {
        if (auto r = ReadData(entry, row); !r) return r;
      }
    }
    target_.list.AppendCacheEntry(row);
    ++rows_;
    return {};
  }

  CacheEntryRow RowOf(const ThumbcacheEntry& entry) const {
    CacheEntryRow row;
    row.hash = entry.hash;
    row.entry_offset = entry.offset;
    row.data_checksum = entry.data_checksum;
    if (entry.checksum_ok) row.flags |= CacheEntryRow::kChecksumOk;
    if (index_ != nullptr) row.indexed = index_->References(entry.hash, entry.offset) ? 1 : 0;
    // Windows 8 and later give the picture size in the entry itself.
    if (entry.width > 0 && entry.height > 0 && entry.width <= INT32_MAX &&
        entry.height <= INT32_MAX) {
      row.width = static_cast<int32_t>(entry.width);
      row.height = static_cast<int32_t>(entry.height);
    }
    return row;
  }

  ReadResult<void> ReadName(const ThumbcacheEntry& entry, CacheEntryRow& row) {
    if (entry.identifier_size == 0) return {};
    name_bytes_.resize(std::min(entry.identifier_size, kMaxIdentifierBytes));
    if (auto r = ReadSpan(source_, entry.identifier_offset, name_bytes_); !r) return r;
    std::string name = Utf16LeToUtf8(name_bytes_, name_bytes_.size() / 2);
    // Most identifiers are the hash itself in hex: those cost no text.
    if (name == HashName(entry.hash)) {
      row.flags |= CacheEntryRow::kNameIsHash;
    } else if (!name.empty()) {
      row.name = target_.list.AddName(std::move(name));
    }
    return {};
  }

  // The data straight into the image store: held once.
  ReadResult<void> ReadData(const ThumbcacheEntry& entry, CacheEntryRow& row) {
    const int64_t start = target_.store.size();
    const std::span<uint8_t> room = target_.store.Grow(entry.data_size);
    if (auto r = ReadSpan(source_, entry.data_offset, room); !r) {
      target_.store.TrimTo(start);
      return r;
    }
    row.start = start;
    row.length = entry.data_size;
    row.kind = KindOfPayload(room);
    if (row.width == 0 || row.height == 0) {
      const ImageInfo info = SniffImage(room);
      row.width = info.width;
      row.height = info.height;
    }
    return {};
  }

  static std::string HashName(uint64_t hash) {
    std::array<char, 17> text{};
    std::snprintf(text.data(), text.size(), "%llx", static_cast<unsigned long long>(hash));
    return text.data();
  }

  ByteSource& source_;
  const ThumbcacheHeader& header_;
  CacheReadTarget& target_;
  const std::string& path_;
  const ThumbcacheTypeIndex* index_;
  ProgressMeter& meter_;
  const uint64_t size_;
  const uint64_t header_size_;
  std::vector<uint8_t> head_;
  std::vector<uint8_t> scan_;
  std::vector<uint8_t> probe_;
  std::vector<uint8_t> name_bytes_;
  std::vector<std::pair<uint64_t, uint64_t>> free_;  // the free entries' bytes after their header
  std::optional<ReadError> first_error_;
  bool recorded_ = false;
  uint64_t errors_ = 0;
  uint64_t rows_ = 0;
  uint64_t recovered_ = 0;
  uint64_t damaged_ = 0;
  uint64_t free_bytes_ = 0;
  uint64_t bad_checksums_ = 0;
  uint64_t recovered_taken_ = 0;  // the free space up to here gave a name or a picture
};

}  // namespace

ReadResult<void> ReadThumbcacheEntries(ByteSource& source, const std::string& path,
                                       CacheReadTarget& target, CacheReadResult& result,
                                       ByteSource* index_source, ProgressMeter& meter,
                                       bool& recorded) {
  recorded = false;
  auto header = ReadThumbcacheHeader(source);
  if (!header) return tl::unexpected(header.error());
  const uint32_t version = header->version;
  result.details.push_back(target.texts[kTextVersion] + ": " + Hex(version) + " (" +
                           ThumbcacheVersionName(version) + ")");
  const std::string type_name = ThumbcacheTypeName(version, header->cache_type);
  result.details.push_back(std::string(kCacheTypeLabel) + ": " +
                           std::to_string(header->cache_type) +
                           (type_name.empty() ? "" : " (" + type_name + ")"));

  // The index is optional: without it (or with one of another version, left
  // from an older Windows) whether an entry is still referenced is unknown.
  std::optional<ThumbcacheTypeIndex> index;
  if (index_source != nullptr) {
    auto read = ReadThumbcacheTypeIndex(*index_source, header->cache_type);
    const std::string index_path = ThumbcacheIndexPathFor(path);
    const std::string index_name(LocalFilePart(index_path));
    if (!read) {
      target.errors.AddWarning(index_path, read.error().detail);
      result.details.push_back(std::string(kIndexLabel) + ": " + index_name + " (unreadable)");
    } else if (read->version() != version) {
      result.details.push_back(std::string(kIndexLabel) + ": " + index_name + " (version " +
                               Hex(read->version()) + ", not used)");
    } else {
      result.details.push_back(std::string(kIndexLabel) + ": " + index_name + " (" +
                               std::to_string(read->hash_count()) + " hashes)");
      index = std::move(*read);
    }
  }

  EntryWalk walk(source, *header, target, path, index ? &*index : nullptr, meter);
  const ReadResult<void> outcome = walk.Run();
  recorded = !outcome && walk.recorded();

  result.details.push_back(target.texts[kTextThumbnails] + ": " + std::to_string(walk.rows()));
  if (walk.recovered() > 0) {
    result.details.push_back(std::string(kRecoveredLabel) + ": " +
                             std::to_string(walk.recovered()));
  }
  if (walk.damaged() > 0) {
    result.details.push_back(std::string(kDamagedLabel) + ": " + std::to_string(walk.damaged()));
  }
  const uint64_t chain_rows = walk.rows() - walk.recovered();
  if (header->has_entry_count && header->entry_count != chain_rows) {
    result.details.push_back(std::string(kHeaderCountLabel) + ": " +
                             std::to_string(header->entry_count));
  }
  result.details.push_back(std::string(kFreeSpaceLabel) + ": " + std::to_string(walk.free_bytes()));
  if (walk.bad_checksums() > 0) {
    result.details.push_back(std::string(kChecksumLabel) + ": " +
                             std::to_string(walk.bad_checksums()));
  }
  result.details.push_back(std::string(kDataChecksumLabel) + ": " +
                           std::string(kThumbcacheDataNotVerified));
  return outcome;
}

std::string ThumbcacheRowNote(const ThumbnailRow& row) {
  if (!row.thumbcache) return {};
  std::string note;
  if (row.recovered) note += "Recovered: found outside the chain of entries (a deleted entry)\n";
  if (row.error != 0) note += "Damaged: the entry header does not hold together\n";
  if (row.indexed == 1) note += "Index: still points at this entry\n";
  if (row.indexed == 0) note += "Index: no longer points at this entry\n";
  note += row.checksum_ok ? "Header checksum: matches\n"
                          : "Header checksum: does not match (damaged or carved entry)\n";
  note += "Data checksum: " + HashKey(row.data_checksum) + ", " +
          std::string(kThumbcacheDataNotVerified);
  return note;
}

ReadResult<void> ReadThumbcacheIndexRows(ByteSource& source, CacheReadTarget& target,
                                         CacheReadResult& result) {
  auto layout = ReadThumbcacheIndexLayout(source);
  if (!layout) return tl::unexpected(layout.error());
  // Rows that name the same caches share one name. The caches are bits of a
  // 32-bit mask: types past it (no Windows has more than 14) go unnamed.
  constexpr uint32_t kTypesNamed = 32;
  std::unordered_map<uint32_t, uint32_t> names;
  uint64_t rows = 0;
  auto r = ForEachThumbcacheIndexEntry(
      source, *layout, [&](uint64_t hash, std::span<const uint32_t> offsets) {
        uint32_t caches = 0;
        for (uint32_t type = 0; type < offsets.size() && type < kTypesNamed; ++type) {
          if (IsIndexedOffset(offsets[type])) caches |= 1u << type;
        }
        auto [it, added] = names.try_emplace(caches, 0);
        if (added && caches != 0) {
          std::string text;
          for (uint32_t type = 0; type < offsets.size() && type < kTypesNamed; ++type) {
            if (!(caches & (1u << type))) continue;
            const std::string type_name = ThumbcacheTypeName(layout->version, type);
            text += text.empty() ? "in " : ", ";
            text += "thumbcache_" + (type_name.empty() ? std::to_string(type) : type_name) + ".db";
          }
          it->second = target.list.AddName(std::move(text));
        }
        CacheEntryRow row;
        row.hash = hash;
        row.indexed = 1;
        row.flags = CacheEntryRow::kIndexRow;
        row.name = it->second;
        target.list.AppendCacheEntry(row);
        ++rows;
      });
  if (!r) return r;
  result.details.push_back(target.texts[kTextVersion] + ": " + Hex(layout->version) + " (" +
                           ThumbcacheVersionName(layout->version) + ")");
  result.details.push_back(target.texts[kTextThumbnails] + ": " + std::to_string(rows));
  result.details.push_back(std::string(kSlotsLabel) + ": " + std::to_string(layout->used) + " / " +
                           std::to_string(layout->total));
  return {};
}

}  // namespace glintvane
