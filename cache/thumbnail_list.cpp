#include "cache/thumbnail_list.h"

#include <algorithm>
#include <climits>
#include <cstdint>
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

int64_t ImageStore::Append(std::span<const uint8_t> bytes) {
  const int64_t start = size();
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return start;
}

void ImageStore::Reserve(size_t capacity) {
  if (capacity <= bytes_.capacity()) return;
  bytes_.reserve(capacity);
#if defined(MADV_HUGEPAGE)
  // Filling a store of many megabytes page by page costs a fault per 4 KiB,
  // which on virtual machines outweighs reading the file; huge pages cut
  // that by 512. Only advice: the kernel may decline.
  constexpr uintptr_t kHugePage = 2 * 1024 * 1024;
  const auto begin = reinterpret_cast<uintptr_t>(bytes_.data());
  const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = (begin + bytes_.capacity()) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

std::span<const uint8_t> ImageStore::View(int64_t start, int64_t length) const {
  if (start < 0 || length < 0 || start > size() || length > size() - start) return {};
  return std::span<const uint8_t>(bytes_).subspan(static_cast<size_t>(start),
                                                  static_cast<size_t>(length));
}

const ThumbnailList::Run& ThumbnailList::RunOf(size_t i) const {
  // Runs are few (one per change between cache rows and carved rows).
  auto it = std::upper_bound(runs_.begin(), runs_.end(), i,
                             [](size_t v, const Run& run) { return v < run.first; });
  return *std::prev(it);
}

void ThumbnailList::StartRun(bool carved) {
  if (!runs_.empty() && runs_.back().carved == carved) return;
  runs_.push_back(Run{size(), carved ? carved_.size() : rows_.size(), carved});
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

ThumbnailRow& ThumbnailList::operator[](size_t i) {
  return const_cast<ThumbnailRow&>(std::as_const(*this)[i]);
}

const ThumbnailRow& ThumbnailList::operator[](size_t i) const {
  const Run& run = RunOf(i);
  if (!run.carved) return rows_[run.base + (i - run.first)];
  auto& entry = const_cast<CarvedEntry&>(carved_[run.base + (i - run.first)]);
  return Materialise(i, entry);
}

ThumbnailRow ThumbnailList::RowCopy(size_t i) const {
  const Run& run = RunOf(i);
  if (!run.carved) return rows_[run.base + (i - run.first)];
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
  if (!run.carved) return nullptr;
  const CarvedEntry& entry = carved_[run.base + (i - run.first)];
  return entry.full == 0 ? &entry : nullptr;
}

void ThumbnailList::IndexNewRows() {
  if (indexed_ == rows_.size()) return;
  for (const Run& run : runs_) {
    if (run.carved) continue;
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
    if (n < size() && (found < 0 || n < static_cast<uint64_t>(found)) && RunOf(n).carved) {
      found = static_cast<int64_t>(n);
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
    StartRun(false);
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
  StartRun(false);
  rows_.push_back(std::move(row));
  return rows_.back();
}

size_t ThumbnailList::AppendCarved(int64_t start, uint32_t source, CarveKind kind) {
  StartRun(true);
  CarvedEntry& entry = carved_.emplace_back();
  entry.start = start;
  entry.source = source;
  entry.kind = kind;
  return size() - 1;
}

void ThumbnailList::SetDecodes(size_t i, DecodeCheck decodes) {
  const Run& run = RunOf(i);
  if (!run.carved) return;
  CarvedEntry& entry = carved_[run.base + (i - run.first)];
  entry.decodes = decodes;
  if (entry.full != 0) materialised_[entry.full - 1].decodes = decodes;
}

const CarvedEntry* ThumbnailList::CarvedEntryAt(size_t i) const {
  if (i >= size()) return nullptr;
  const Run& run = RunOf(i);
  return run.carved ? &carved_[run.base + (i - run.first)] : nullptr;
}

bool ThumbnailList::SortCarvedByStart(size_t first) {
  if (first >= size()) return true;
  if (runs_.empty() || !runs_.back().carved || first < runs_.back().first) return false;
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
  if (!run.carved) return;
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
  if (runs_.back().carved) {
    carved_.pop_back();
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
  runs_.clear();
  materialised_.clear();
  index_.clear();
  indexed_ = 0;
  sources_.clear();
}

uint32_t ThumbnailList::AddSource(const std::string& path) {
  if (!sources_.empty() && sources_.back() == path) {
    return static_cast<uint32_t>(sources_.size() - 1);
  }
  sources_.push_back(path);
  return static_cast<uint32_t>(sources_.size() - 1);
}

}  // namespace glintvane
