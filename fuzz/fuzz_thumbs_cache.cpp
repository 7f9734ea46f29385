// The compound-file reader with the Catalog and thumbnail-stream layer,
// raw-colour rebuilding included, over bytes held in memory.
#include <cstddef>
#include <cstdint>

#include "cache/thumbs_reader.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  glintvane::MemoryByteSource source({data, size});
  glintvane::ThumbnailList list;
  glintvane::ImageStore store;
  glintvane::ErrorList errors;
  const glintvane::UiTexts texts;
  const auto result =
      glintvane::ReadThumbnailCache(source, "fuzz.db", {list, store, errors, texts});
  glintvane::fuzz::CheckCacheRead(result.ok, result.error_code, list, store, errors);
  return 0;
}
