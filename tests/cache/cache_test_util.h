// Reading caches made in memory, for the cache tests.
#pragma once

#include <string>
#include <vector>

#include "base/byte_source.h"
#include "cache/thumbs_reader.h"

namespace glintvane::testing {

struct ReadOutcome {
  CacheReadResult result;
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  std::vector<int> progress;  // every position reported
};

class RecordingProgress final : public ProgressSink {
 public:
  explicit RecordingProgress(std::vector<int>& positions) : positions_(positions) {}
  void OnProgress(int position, const std::string&) override { positions_.push_back(position); }

 private:
  std::vector<int>& positions_;
};

inline const UiTexts& EnglishTexts() {
  static const UiTexts texts;
  return texts;
}

inline ReadOutcome ReadBytes(const std::vector<uint8_t>& bytes,
                             const std::string& path = "/cases/Thumbs.db") {
  ReadOutcome out;
  MemoryByteSource source(bytes);
  RecordingProgress progress(out.progress);
  out.result = ReadThumbnailCache(
      source, path, CacheReadTarget{out.list, out.store, out.errors, EnglishTexts(), &progress});
  return out;
}

inline ReadOutcome ReadPath(const std::string& path) {
  ReadOutcome out;
  RecordingProgress progress(out.progress);
  out.result = ReadThumbnailCache(
      path, CacheReadTarget{out.list, out.store, out.errors, EnglishTexts(), &progress});
  return out;
}

inline std::vector<uint8_t> StoredBytes(const ReadOutcome& out, const ThumbnailRow& row) {
  const auto view = out.store.View(row.start, row.length);
  return std::vector<uint8_t>(view.begin(), view.end());
}

}  // namespace glintvane::testing
