#include "cache/thumbcache_reader.h"

#include <array>
#include <climits>
#include <cstdio>
#include <optional>
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

ReadResult<void> ReadThumbcacheEntries(ByteSource& source, const std::string& path,
                                       CacheReadTarget& target, CacheReadResult& result,
                                       ByteSource* index_source, ProgressMeter& meter) {
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
  std::optional<ThumbcacheIndex> index;
  if (index_source != nullptr) {
    auto read = ReadThumbcacheIndex(*index_source);
    const std::string index_path = ThumbcacheIndexPathFor(path);
    const std::string index_name(LocalFilePart(index_path));
    if (!read) {
      target.errors.AddWarning(index_path, read.error().detail, target.texts);
      result.details.push_back(std::string(kIndexLabel) + ": " + index_name + " (unreadable)");
    } else if (read->version != version) {
      result.details.push_back(std::string(kIndexLabel) + ": " + index_name + " (version " +
                               Hex(read->version) + ", not used)");
    } else {
      result.details.push_back(std::string(kIndexLabel) + ": " + index_name + " (" +
                               std::to_string(read->by_hash.size()) + " hashes)");
      index = std::move(*read);
    }
  }

  const uint64_t size = source.Size();
  const uint64_t header_size = ThumbcacheEntryHeaderSize(version);
  std::vector<uint8_t> head(header_size);
  std::vector<uint8_t> buffer;
  uint64_t free_bytes = 0;
  uint64_t rows = 0;
  uint64_t bad_checksums = 0;
  ReadResult<void> outcome;
  // Every step moves on by an entry size of at least a header, so the walk
  // ends within the file.
  for (uint64_t offset = header->first_entry; offset < size;) {
    const uint64_t left = size - offset;
    if (left < header_size) {
      outcome = Fail(kErrThumbcacheEntry, "The file ends " + std::to_string(left) +
                                              " bytes after the last entry, inside a header");
      break;
    }
    if (auto r = ReadSpan(source, offset, head); !r) {
      outcome = r;
      break;
    }
    auto entry = ParseThumbcacheEntry(head, version, offset, size);
    if (!entry) {
      outcome = tl::unexpected(entry.error());
      break;
    }
    meter.Advance(
        static_cast<int>(static_cast<double>(offset) * 100.0 / static_cast<double>(size)));
    offset += entry->size;
    if (entry->IsFree()) {
      free_bytes += entry->size;
      continue;
    }
    ThumbnailRow row;
    row.key = HashKey(entry->hash);
    row.source_kind = SourceKind::kImageStore;
    row.thumbcache = true;
    row.entry_offset = entry->offset;
    row.data_checksum = entry->data_checksum;
    row.checksum_ok = entry->checksum_ok;
    if (!entry->checksum_ok) ++bad_checksums;
    if (index) {
      row.indexed = index->References(entry->hash, header->cache_type, entry->offset) ? 1 : 0;
    }
    if (entry->identifier_size > 0) {
      buffer.resize(entry->identifier_size);
      if (auto r = ReadSpan(source, entry->identifier_offset, buffer); !r) {
        outcome = r;
        break;
      }
      row.name = Utf16LeToUtf8(buffer, buffer.size() / 2);
    }
    if (entry->data_size > 0) {
      buffer.resize(entry->data_size);
      if (auto r = ReadSpan(source, entry->data_offset, buffer); !r) {
        outcome = r;
        break;
      }
      row.start = target.store.Append(buffer);
      row.length = static_cast<int64_t>(buffer.size());
      row.end = row.start + row.length;
      row.kind = KindOfPayload(buffer);
      const ImageInfo info = SniffImage(buffer);
      row.width = info.width;
      row.height = info.height;
    }
    // Windows 8 and later give the picture size in the entry itself.
    if (entry->width > 0 && entry->height > 0 && entry->width <= INT32_MAX &&
        entry->height <= INT32_MAX) {
      row.width = static_cast<int32_t>(entry->width);
      row.height = static_cast<int32_t>(entry->height);
    }
    target.list.Append(std::move(row));
    ++rows;
  }

  result.details.push_back(target.texts[kTextThumbnails] + ": " + std::to_string(rows));
  if (header->has_entry_count && header->entry_count != rows) {
    result.details.push_back(std::string(kHeaderCountLabel) + ": " +
                             std::to_string(header->entry_count));
  }
  result.details.push_back(std::string(kFreeSpaceLabel) + ": " + std::to_string(free_bytes));
  if (bad_checksums > 0) {
    result.details.push_back(std::string(kChecksumLabel) + ": " + std::to_string(bad_checksums));
  }
  return outcome;
}

std::string ThumbcacheRowNote(const ThumbnailRow& row) {
  if (!row.thumbcache) return {};
  std::string note;
  if (row.indexed == 1) note += "Index: still points at this entry\n";
  if (row.indexed == 0) note += "Index: no longer points at this entry\n";
  note += row.checksum_ok ? "Header checksum: matches\n"
                          : "Header checksum: does not match (damaged or carved entry)\n";
  note += "Data checksum: " + HashKey(row.data_checksum);
  return note;
}

ReadResult<void> ReadThumbcacheIndexRows(ByteSource& source, CacheReadTarget& target,
                                         CacheReadResult& result) {
  auto index = ReadThumbcacheIndex(source);
  if (!index) return tl::unexpected(index.error());
  result.details.push_back(target.texts[kTextVersion] + ": " + Hex(index->version) + " (" +
                           ThumbcacheVersionName(index->version) + ")");
  result.details.push_back(target.texts[kTextThumbnails] + ": " +
                           std::to_string(index->entries.size()));
  result.details.push_back(std::string(kSlotsLabel) + ": " + std::to_string(index->used) + " / " +
                           std::to_string(index->total));
  for (const ThumbcacheIndex::Entry& entry : index->entries) {
    ThumbnailRow row;
    row.key = HashKey(entry.hash);
    row.source_kind = SourceKind::kImageStore;
    row.indexed = 1;
    std::string caches;
    for (uint32_t type = 0; type < entry.offsets.size(); ++type) {
      if (!IsIndexedOffset(entry.offsets[type])) continue;
      const std::string type_name = ThumbcacheTypeName(index->version, type);
      caches += caches.empty() ? "in " : ", ";
      caches += "thumbcache_" + (type_name.empty() ? std::to_string(type) : type_name) + ".db";
    }
    row.name = std::move(caches);
    target.list.Append(std::move(row));
  }
  return {};
}

}  // namespace glintvane
