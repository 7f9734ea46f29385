#include "cache/thumbnail_list.h"

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

void ThumbnailList::IndexNewRows() {
  for (; indexed_ < rows_.size(); ++indexed_) {
    // emplace keeps the first row of a key, as a front-to-back search would.
    index_.emplace(rows_[indexed_].key, indexed_);
  }
}

int64_t ThumbnailList::IndexOf(std::string_view key) {
  IndexNewRows();
  const auto it = index_.find(std::string(key));
  return it == index_.end() ? -1 : static_cast<int64_t>(it->second);
}

ThumbnailRow* ThumbnailList::Find(std::string_view key) {
  const int64_t i = IndexOf(key);
  return i < 0 ? nullptr : &rows_[static_cast<size_t>(i)];
}

ThumbnailRow& ThumbnailList::AddOrUpdate(std::string_view key, std::string_view name,
                                         SourceKind source_kind, int64_t end, int64_t length,
                                         int64_t start, std::string_view time_text) {
  ThumbnailRow* row = Find(key);
  if (row == nullptr) {
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
  rows_.push_back(std::move(row));
  return rows_.back();
}

void ThumbnailList::RemoveLast() {
  if (rows_.empty()) return;
  rows_.pop_back();
  if (indexed_ > rows_.size()) {
    // The removed row was indexed: drop its entry if it pointed at it.
    indexed_ = rows_.size();
    for (auto it = index_.begin(); it != index_.end();) {
      it = it->second >= rows_.size() ? index_.erase(it) : std::next(it);
    }
  }
}

void ThumbnailList::Clear() {
  rows_.clear();
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
