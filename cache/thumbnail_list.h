// The thumbnail list: rows in the order they were first made, found by key,
// and the image store that rows of a cache point into.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cache/thumbnail_row.h"

namespace glintvane {

// One growable byte buffer holding the image of every stored thumbnail.
class ImageStore {
 public:
  int64_t size() const { return static_cast<int64_t>(bytes_.size()); }
  // Appends and returns the start offset of the appended bytes.
  int64_t Append(std::span<const uint8_t> bytes);
  // The bytes [start, start + length); empty when the range is not inside.
  std::span<const uint8_t> View(int64_t start, int64_t length) const;
  void Clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
  }
  // Makes room for `capacity` bytes at once, so that a large cache is not
  // copied over and over as the store grows (a hint: Append grows past it).
  void Reserve(size_t capacity);

 private:
  std::vector<uint8_t> bytes_;
};

class ThumbnailList {
 public:
  // Field value meaning "leave as it is" in AddOrUpdate.
  static constexpr int64_t kKeep = -1;

  size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  ThumbnailRow& operator[](size_t i) { return rows_[i]; }
  const ThumbnailRow& operator[](size_t i) const { return rows_[i]; }
  ThumbnailRow& back() { return rows_.back(); }

  // The first row whose key equals `key` exactly, or nullptr.
  ThumbnailRow* Find(std::string_view key);
  // Index of the first row with that key, or -1.
  int64_t IndexOf(std::string_view key);

  // Finds the row by key or appends a new one, then stores every given field
  // that is not "" (texts) or kKeep (numbers). Returns the row.
  ThumbnailRow& AddOrUpdate(std::string_view key, std::string_view name, SourceKind source_kind,
                            int64_t end, int64_t length, int64_t start, std::string_view time_text);

  // Appends a row as it is (the carving scan).
  ThumbnailRow& Append(ThumbnailRow row);
  void RemoveLast();
  void Clear();

  // Files that rows of kind kOpenFile read from. Adding the same path as the
  // last one added returns its index again.
  uint32_t AddSource(const std::string& path);
  const std::string& Source(uint32_t index) const { return sources_.at(index); }
  const std::string& SourceOf(const ThumbnailRow& row) const { return Source(row.source); }
  size_t source_count() const { return sources_.size(); }

 private:
  void IndexNewRows();

  // A deque: appending never moves rows, and a million carved rows grow
  // without a reallocation peak.
  std::deque<ThumbnailRow> rows_;
  // Key index, built lazily up to indexed_ rows; carving never needs it.
  std::unordered_map<std::string, size_t> index_;
  size_t indexed_ = 0;
  std::vector<std::string> sources_;
};

}  // namespace glintvane
