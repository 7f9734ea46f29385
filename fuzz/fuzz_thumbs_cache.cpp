// The compound-file reader with the Catalog and thumbnail-stream layer,
// raw-colour rebuilding included, over bytes held in memory.
#include <cstddef>
#include <cstdint>

#include "cache/thumbs_reader.h"
#include "fuzz/fuzz_checks.h"
#include "fuzz/fuzz_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  glintvane::MemoryByteSource source({data, size});
  glintvane::ThumbnailList list;
  glintvane::ImageStore store;
  glintvane::ErrorList errors;
  const glintvane::UiTexts texts;
  const glintvane::fuzz::MemoryBound bound;
  const auto result =
      glintvane::ReadThumbnailCache(source, "fuzz.db", {list, store, errors, texts});
  // The image store and the stream buffer hold at most the input a few
  // times over (a sector is read for one stream only); a raw-colour
  // thumbnail's pixels, its encoder and the sector marks fit the fixed part.
  bound.Check(size, 8, 32u << 20);
  glintvane::fuzz::CheckCacheRead(result.ok, result.error_code, list, store, errors);
  // A file said to be cut short is shorter than what it is said to need, or
  // lost FAT sectors with it, and the reason is on record.
  if (result.cut_short) {
    using glintvane::fuzz::Require;
    Require(!result.ok && result.cut_short->size == size);
    Require(result.cut_short->expected > size || result.cut_short->at_least ||
            result.cut_short->expected == 0);
    Require(!result.cut_short->Text().empty());
  }
  return 0;
}
