// The thumbcache_idx.db reader over bytes in memory, alone and as a file
// opened by itself.
#include <cstddef>
#include <cstdint>

#include "cache/thumbcache.h"
#include "cache/thumbs_reader.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  glintvane::MemoryByteSource source({data, size});
  const auto index = glintvane::ReadThumbcacheIndex(source);
  if (index) {
    // Every slot read lies in the file, after a header of at least 24 bytes.
    Require(index->entries.size() <= index->total);
    Require(index->header_size >= 24 && index->header_size <= size);
    Require(index->by_hash.size() <= index->entries.size());
    for (const auto& entry : index->entries) {
      Require(entry.hash != 0 && entry.offsets.size() == index->offsets_per_entry);
    }
    // The compact form a cache reader keeps gives the same verdicts.
    const auto type1 = glintvane::ReadThumbcacheTypeIndex(source, 1);
    Require(type1.has_value() && type1->hash_count() == index->by_hash.size());
    for (const auto& entry : index->entries) {
      const uint32_t at = entry.offsets.size() > 1 ? entry.offsets[1] : 0;
      Require(type1->References(entry.hash, at) == index->References(entry.hash, 1, at));
    }
  }
  glintvane::ThumbnailList list;
  glintvane::ImageStore store;
  glintvane::ErrorList errors;
  const glintvane::UiTexts texts;
  const auto result =
      glintvane::ReadThumbnailCache(source, "thumbcache_idx.db", {list, store, errors, texts});
  glintvane::fuzz::CheckCacheRead(result.ok, result.error_code, list, store, errors);
  return 0;
}
