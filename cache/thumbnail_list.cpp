#include "cache/thumbnail_list.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace glintvane {

std::string_view ImageKindName(ImageKind kind) {
  switch (kind) {
    case ImageKind::kJfif:
      return "jfif";
    case ImageKind::kRaw:
      return "raw";
    case ImageKind::kPng:
      return "png";
    case ImageKind::kBmp:
      return "bmp";
    case ImageKind::kJpeg:
      return "jpeg";
    case ImageKind::kNone:
      break;
  }
  return "none";
}

std::string_view CarveKindName(CarveKind kind) {
  switch (kind) {
    case CarveKind::kJfif:
      return "jfif";
    case CarveKind::kExif:
      return "exif";
    case CarveKind::kJpeg:
      return "jpeg";
    case CarveKind::kPng:
      return "png";
    case CarveKind::kBmp:
      return "bmp";
  }
  return "jfif";
}

ImageKind CarvedImageKind(CarveKind kind) {
  switch (kind) {
    case CarveKind::kJfif:
      return ImageKind::kJfif;
    case CarveKind::kPng:
      return ImageKind::kPng;
    case CarveKind::kBmp:
      return ImageKind::kBmp;
    case CarveKind::kExif:
    case CarveKind::kJpeg:
      break;
  }
  return ImageKind::kJpeg;
}

std::string_view RowExtension(const ThumbnailRow& row) {
  switch (row.kind) {
    case ImageKind::kPng:
      return ".png";
    case ImageKind::kBmp:
      return ".bmp";
    case ImageKind::kNone:
      // Thumbcache bytes of no known kind are still written as they are.
      return row.thumbcache ? ".bin" : ".jpg";
    default:
      return ".jpg";
  }
}

std::string_view RowNameText(const ThumbnailRow& row) {
  return row.carved ? kNamePlaceholder : std::string_view(row.name);
}

std::string_view RowTimeText(const ThumbnailRow& row) {
  return row.carved ? kDatePlaceholder : std::string_view(row.time_text);
}

namespace {

// Small images share blocks: a quarter of what the store holds, from 256 KiB
// to 8 MiB. An image that does not fit in what is left of a block starts the
// next one, and images of an eighth of a block or more get a block of their
// own size, so at most an eighth of each block is left unused.
constexpr size_t kFirstStoreBlock = 256 * 1024;
constexpr size_t kLargestStoreBlock = 8 * 1024 * 1024;

}  // namespace

size_t ImageStore::NewBlock(size_t capacity) {
  Block& block = blocks_.emplace_back();
  // Left uninitialised: every byte is written before it is read.
  block.bytes.reset(new uint8_t[capacity]);
  block.capacity = capacity;
  return blocks_.size() - 1;
}

std::span<uint8_t> ImageStore::Grow(size_t n) {
  if (n == 0) return {};
  size_t b = current_;
  if (b == SIZE_MAX || blocks_[b].capacity - blocks_[b].used < n) {
    const size_t shared =
        std::clamp(static_cast<size_t>(size_ / 4), kFirstStoreBlock, kLargestStoreBlock);
    if (n >= shared / 8) {
      b = NewBlock(n);
    } else {
      b = NewBlock(shared);
      current_ = b;
    }
  }
  Block& block = blocks_[b];
  if (!extents_.empty() && extents_.back().block == b &&
      extents_.back().at + extents_.back().length == block.used) {
    extents_.back().length += n;
  } else {
    extents_.push_back(Extent{size_, b, block.used, n});
  }
  uint8_t* at = block.bytes.get() + block.used;
  block.used += n;
  size_ += static_cast<int64_t>(n);
  return {at, n};
}

int64_t ImageStore::Append(std::span<const uint8_t> bytes) {
  const int64_t start = size();
  const std::span<uint8_t> room = Grow(bytes.size());
  if (!bytes.empty()) std::memcpy(room.data(), bytes.data(), bytes.size());
  return start;
}

void ImageStore::TrimTo(int64_t size) {
  while (size < size_ && !extents_.empty()) {
    Extent& last = extents_.back();
    const size_t b = last.block;
    const size_t cut = std::min(static_cast<size_t>(size_ - size), last.length);
    last.length -= cut;
    blocks_[b].used -= cut;
    size_ -= static_cast<int64_t>(cut);
    if (last.length == 0) extents_.pop_back();
    // A block of one large image that is gone again: its memory goes too.
    if (blocks_[b].used == 0 && b != current_ && b + 1 == blocks_.size()) blocks_.pop_back();
  }
}

void ImageStore::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  extents_.clear();
  extents_.shrink_to_fit();
  current_ = SIZE_MAX;
  size_ = 0;
}

void ImageStore::Reserve(size_t capacity) {
  if (size_ != 0 || !blocks_.empty() || capacity == 0) return;
  current_ = NewBlock(capacity);
#if defined(MADV_HUGEPAGE)
  // Filling a store of many megabytes page by page costs a fault per 4 KiB,
  // which on virtual machines outweighs reading the file; huge pages cut
  // that by 512. Only advice: the kernel may decline.
  constexpr uintptr_t kHugePage = 2 * 1024 * 1024;
  const auto begin = reinterpret_cast<uintptr_t>(blocks_[current_].bytes.get());
  const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = (begin + capacity) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

std::span<const uint8_t> ImageStore::View(int64_t start, int64_t length) const {
  if (start < 0 || length < 0 || start > size() || length > size() - start) return {};
  if (length == 0) return {};
  auto it = std::upper_bound(extents_.begin(), extents_.end(), start,
                             [](int64_t v, const Extent& e) { return v < e.start; });
  if (it == extents_.begin()) return {};
  const Extent& extent = *std::prev(it);
  const auto offset = static_cast<size_t>(start - extent.start);
  if (offset + static_cast<size_t>(length) > extent.length) return {};
  return {blocks_[extent.block].bytes.get() + extent.at + offset, static_cast<size_t>(length)};
}

namespace {

std::string HexText(uint64_t value, bool leading_zeros) {
  char text[17];
  std::snprintf(text, sizeof text, leading_zeros ? "%016llx" : "%llx",
                static_cast<unsigned long long>(value));
  return text;
}

// The hash a key of 16 lower-case hex digits stands for.
std::optional<uint64_t> HashOfKey(std::string_view key) {
  if (key.size() != 16) return std::nullopt;
  uint64_t value = 0;
  for (const char c : key) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

}  // namespace

const ThumbnailList::Run& ThumbnailList::RunOf(size_t i) const {
  // Runs are few (one per change between cache rows and carved rows).
  auto it = std::upper_bound(runs_.begin(), runs_.end(), i,
                             [](size_t v, const Run& run) { return v < run.first; });
  return *std::prev(it);
}

void ThumbnailList::StartRun(RunKind kind) {
  if (!runs_.empty() && runs_.back().kind == kind) return;
  const size_t base = kind == RunKind::kCarved  ? carved_.size()
                      : kind == RunKind::kCache ? cache_.size()
                                                : rows_.size();
  runs_.push_back(Run{size(), base, kind});
}

ThumbnailRow& ThumbnailList::Materialise(size_t i, CarvedEntry& entry) const {
  if (entry.full == 0) {
    ThumbnailRow& row = materialised_.emplace_back();
    row.key = std::to_string(i);
    row.start = entry.start;
    row.end = entry.end;
    row.length = entry.length;
    row.source = entry.source;
    row.source_kind = SourceKind::kOpenFile;
    row.kind = CarvedImageKind(entry.kind);
    row.carved = true;
    row.complete = entry.complete;
    row.carve_kind = entry.kind;
    row.decodes = entry.decodes;
    entry.full = static_cast<uint32_t>(materialised_.size());
  }
  return materialised_[entry.full - 1];
}

ThumbnailRow ThumbnailList::FullRow(const CacheEntryRow& entry) const {
  ThumbnailRow row;
  row.key = HexText(entry.hash, true);
  if (entry.flags & CacheEntryRow::kNameIsHash) {
    row.name = HexText(entry.hash, false);
  } else if (entry.name != 0 && entry.name <= names_.size()) {
    row.name = names_[entry.name - 1];
  }
  row.start = entry.start;
  row.length = entry.length;
  row.end = entry.start + entry.length;
  row.width = entry.width;
  row.height = entry.height;
  row.error = entry.error;
  row.source_kind = SourceKind::kImageStore;
  row.kind = entry.kind;
  row.indexed = entry.indexed;
  if (!(entry.flags & CacheEntryRow::kIndexRow)) {
    row.thumbcache = true;
    row.entry_offset = entry.entry_offset;
    row.data_checksum = entry.data_checksum;
    row.checksum_ok = (entry.flags & CacheEntryRow::kChecksumOk) != 0;
    row.recovered = (entry.flags & CacheEntryRow::kRecovered) != 0;
  }
  return row;
}

ThumbnailRow& ThumbnailList::Materialise(CacheEntryRow& entry) const {
  if (entry.full == 0) {
    materialised_.push_back(FullRow(entry));
    entry.full = static_cast<uint32_t>(materialised_.size());
  }
  return materialised_[entry.full - 1];
}

ThumbnailRow& ThumbnailList::operator[](size_t i) {
  return const_cast<ThumbnailRow&>(std::as_const(*this)[i]);
}

const ThumbnailRow& ThumbnailList::operator[](size_t i) const {
  const Run& run = RunOf(i);
  if (run.kind == RunKind::kFull) return rows_[run.base + (i - run.first)];
  if (run.kind == RunKind::kCache) {
    return Materialise(const_cast<CacheEntryRow&>(cache_[run.base + (i - run.first)]));
  }
  auto& entry = const_cast<CarvedEntry&>(carved_[run.base + (i - run.first)]);
  return Materialise(i, entry);
}

ThumbnailRow ThumbnailList::RowCopy(size_t i) const {
  const Run& run = RunOf(i);
  if (run.kind == RunKind::kFull) return rows_[run.base + (i - run.first)];
  if (run.kind == RunKind::kCache) {
    const CacheEntryRow& entry = cache_[run.base + (i - run.first)];
    return entry.full != 0 ? materialised_[entry.full - 1] : FullRow(entry);
  }
  const CarvedEntry& entry = carved_[run.base + (i - run.first)];
  if (entry.full != 0) return materialised_[entry.full - 1];
  CarvedEntry scratch = entry;
  ThumbnailRow row;
  row.key = std::to_string(i);
  row.start = scratch.start;
  row.end = scratch.end;
  row.length = scratch.length;
  row.source = scratch.source;
  row.source_kind = SourceKind::kOpenFile;
  row.kind = CarvedImageKind(scratch.kind);
  row.carved = true;
  row.complete = scratch.complete;
  row.carve_kind = scratch.kind;
  row.decodes = scratch.decodes;
  return row;
}

const CarvedEntry* ThumbnailList::CarvedAt(size_t i) const {
  const Run& run = RunOf(i);
  if (run.kind != RunKind::kCarved) return nullptr;
  const CarvedEntry& entry = carved_[run.base + (i - run.first)];
  return entry.full == 0 ? &entry : nullptr;
}

const CacheEntryRow* ThumbnailList::CacheEntryAt(size_t i) const {
  const Run& run = RunOf(i);
  if (run.kind != RunKind::kCache) return nullptr;
  return &cache_[run.base + (i - run.first)];
}

void ThumbnailList::IndexNewRows() {
  if (indexed_ == rows_.size()) return;
  for (const Run& run : runs_) {
    if (run.kind != RunKind::kFull) continue;
    const size_t next_first = &run == &runs_.back() ? size() : (&run + 1)->first;
    const size_t count = next_first - run.first;
    if (indexed_ >= run.base + count) continue;
    for (size_t k = std::max(indexed_, run.base); k < run.base + count; ++k) {
      // emplace keeps the first row of a key, as a front-to-back search would.
      index_.emplace(rows_[k].key, run.first + (k - run.base));
    }
    indexed_ = run.base + count;
  }
}

int64_t ThumbnailList::IndexOf(std::string_view key) {
  IndexNewRows();
  const auto it = index_.find(std::string(key));
  int64_t found = it == index_.end() ? -1 : static_cast<int64_t>(it->second);
  // A carved row's key is its number in canonical decimal form.
  if (!carved_.empty() && !key.empty() && key.size() <= 19 && (key == "0" || key[0] != '0') &&
      std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    const uint64_t n = std::stoull(std::string(key));
    if (n < size() && (found < 0 || n < static_cast<uint64_t>(found)) &&
        RunOf(n).kind == RunKind::kCarved) {
      found = static_cast<int64_t>(n);
    }
  }
  // A cache entry row's key is its hash: a walk over them (a look-up by key
  // is rare in a list of cache entries; the window and the tests ask).
  if (const auto hash = HashOfKey(key); hash && !cache_.empty()) {
    for (const Run& run : runs_) {
      if (run.kind != RunKind::kCache) continue;
      if (found >= 0 && run.first > static_cast<uint64_t>(found)) break;
      const size_t next_first = &run == &runs_.back() ? size() : (&run + 1)->first;
      for (size_t k = 0; k < next_first - run.first; ++k) {
        if (cache_[run.base + k].hash != *hash) continue;
        if (found < 0 || run.first + k < static_cast<uint64_t>(found)) {
          found = static_cast<int64_t>(run.first + k);
        }
        break;
      }
    }
  }
  return found;
}

ThumbnailRow* ThumbnailList::Find(std::string_view key) {
  const int64_t i = IndexOf(key);
  return i < 0 ? nullptr : &(*this)[static_cast<size_t>(i)];
}

ThumbnailRow& ThumbnailList::AddOrUpdate(std::string_view key, std::string_view name,
                                         SourceKind source_kind, int64_t end, int64_t length,
                                         int64_t start, std::string_view time_text) {
  ThumbnailRow* row = Find(key);
  if (row == nullptr) {
    StartRun(RunKind::kFull);
    rows_.emplace_back();
    row = &rows_.back();
    row->key = std::string(key);
    // The new row is indexed under its key right away.
    IndexNewRows();
  }
  if (!key.empty()) row->key = std::string(key);
  if (!name.empty()) row->name = std::string(name);
  if (!time_text.empty()) row->time_text = std::string(time_text);
  if (start != kKeep) row->start = start;
  if (length != kKeep) row->length = length;
  if (end != kKeep) row->end = end;
  row->source_kind = source_kind;
  return *row;
}

ThumbnailRow& ThumbnailList::Append(ThumbnailRow row) {
  StartRun(RunKind::kFull);
  rows_.push_back(std::move(row));
  return rows_.back();
}

size_t ThumbnailList::AppendCacheEntry(const CacheEntryRow& entry) {
  StartRun(RunKind::kCache);
  CacheEntryRow& kept = cache_.emplace_back(entry);
  kept.full = 0;
  return size() - 1;
}

uint32_t ThumbnailList::AddName(std::string name) {
  names_.push_back(std::move(name));
  return static_cast<uint32_t>(names_.size());
}

size_t ThumbnailList::AppendCarved(int64_t start, uint32_t source, CarveKind kind) {
  StartRun(RunKind::kCarved);
  CarvedEntry& entry = carved_.emplace_back();
  entry.start = start;
  entry.source = source;
  entry.kind = kind;
  return size() - 1;
}

void ThumbnailList::SetDecodes(size_t i, DecodeCheck decodes) {
  const Run& run = RunOf(i);
  if (run.kind != RunKind::kCarved) return;
  CarvedEntry& entry = carved_[run.base + (i - run.first)];
  entry.decodes = decodes;
  if (entry.full != 0) materialised_[entry.full - 1].decodes = decodes;
}

const CarvedEntry* ThumbnailList::CarvedEntryAt(size_t i) const {
  if (i >= size()) return nullptr;
  const Run& run = RunOf(i);
  return run.kind == RunKind::kCarved ? &carved_[run.base + (i - run.first)] : nullptr;
}

bool ThumbnailList::SortCarvedByStart(size_t first) {
  if (first >= size()) return true;
  if (runs_.empty() || runs_.back().kind != RunKind::kCarved || first < runs_.back().first)
    return false;
  const auto begin =
      carved_.begin() + static_cast<ptrdiff_t>(runs_.back().base + (first - runs_.back().first));
  const auto before = [](const CarvedEntry& a, const CarvedEntry& b) {
    if (a.start != b.start) return a.start < b.start;
    if (a.end != b.end) return a.end < b.end;
    return a.kind < b.kind;
  };
  if (std::is_sorted(begin, carved_.end(), before)) return true;
  if (std::any_of(begin, carved_.end(), [](const CarvedEntry& e) { return e.full != 0; })) {
    return false;
  }
  // In place: a hostile file can make millions of rows, and a merge buffer
  // as large again would double what they take.
  std::sort(begin, carved_.end(), before);
  return true;
}

void ThumbnailList::CloseCarved(size_t i, int64_t end, int64_t length, bool complete) {
  const Run& run = RunOf(i);
  if (run.kind != RunKind::kCarved) return;
  CarvedEntry& entry = carved_[run.base + (i - run.first)];
  entry.end = end;
  entry.length = static_cast<uint32_t>(std::clamp<int64_t>(length, 0, UINT32_MAX));
  entry.complete = complete;
  if (entry.full != 0) {
    ThumbnailRow& row = materialised_[entry.full - 1];
    row.end = end;
    row.length = length;
    row.complete = complete;
  }
}

void ThumbnailList::RemoveLast() {
  if (empty()) return;
  if (runs_.back().kind == RunKind::kCarved) {
    carved_.pop_back();
  } else if (runs_.back().kind == RunKind::kCache) {
    cache_.pop_back();
  } else {
    rows_.pop_back();
    if (indexed_ > rows_.size()) {
      // The removed row was indexed: drop its entry if it pointed at it.
      indexed_ = rows_.size();
      const size_t gone = size();
      for (auto it = index_.begin(); it != index_.end();) {
        it = it->second >= gone ? index_.erase(it) : std::next(it);
      }
    }
  }
  if (runs_.back().first == size()) runs_.pop_back();
}

void ThumbnailList::Clear() {
  rows_.clear();
  carved_.clear();
  cache_.clear();
  names_.clear();
  runs_.clear();
  materialised_.clear();
  index_.clear();
  indexed_ = 0;
  sources_.clear();
  source_bytes_.clear();
}

uint32_t ThumbnailList::AddSource(const std::string& path, std::shared_ptr<ByteSource> bytes) {
  if (!sources_.empty() && sources_.back() == path && source_bytes_.back() == bytes) {
    return static_cast<uint32_t>(sources_.size() - 1);
  }
  sources_.push_back(path);
  source_bytes_.push_back(std::move(bytes));
  return static_cast<uint32_t>(sources_.size() - 1);
}

const std::shared_ptr<ByteSource>& ThumbnailList::SourceBytes(uint32_t index) const {
  static const std::shared_ptr<ByteSource> kNone;
  return index < source_bytes_.size() ? source_bytes_[index] : kNone;
}

}  // namespace glintvane
