// The thumbcache_*.db reader (Windows Vista to 11) over bytes in memory, with
// an index beside it. The first two bytes give the index's length when the
// input is long enough to hold it; otherwise the whole input is the cache
// and there is no index (so the real caches seed it as they are).
#include <cstddef>
#include <cstdint>
#include <optional>

#include "cache/thumbcache_reader.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  const std::span<const uint8_t> all(data, size);
  std::span<const uint8_t> cache = all;
  std::optional<glintvane::MemoryByteSource> index;
  if (size >= 2) {
    const size_t n = data[0] | data[1] << 8;
    if (2 + n <= size) {
      index.emplace(all.subspan(2, n));
      cache = all.subspan(2 + n);
    }
  }
  glintvane::MemoryByteSource source(cache);
  glintvane::ThumbnailList list;
  glintvane::ImageStore store;
  glintvane::ErrorList errors;
  const glintvane::UiTexts texts;
  const auto result = glintvane::ReadThumbnailCache(
      source, "thumbcache_32.db", {list, store, errors, texts}, {}, {index ? &*index : nullptr});
  glintvane::fuzz::CheckCacheRead(result.ok, result.error_code, list, store, errors);
  uint64_t stored = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const glintvane::ThumbnailRow& row = list[i];
    Require(glintvane::fuzz::IsUtf8(row.name));
    Require(row.key.size() == 16);
    if (row.thumbcache) {
      // Every entry lies in the cache, and no index means no verdict.
      Require(row.entry_offset < cache.size());
      if (!index) Require(row.indexed == -1);
    }
    // Only entries of the chain can be damaged; recovered ones hold together.
    Require(!(row.recovered && row.error != 0));
    stored += static_cast<uint64_t>(row.length);
  }
  // Each byte of the cache is stored at most once, recovered entries
  // nested one in another included.
  Require(stored <= cache.size());
  return 0;
}
