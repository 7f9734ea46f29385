// The recycle-bin index reader over bytes held in memory, with the text
// decoders its record paths go through.
#include <cstddef>
#include <cstdint>

#include "discover/code_page.h"
#include "discover/recycle_bin.h"
#include "fuzz/fuzz_checks.h"
#include "fuzz/fuzz_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  glintvane::MemoryByteSource source({data, size});
  // The first byte picks the code page of the 8-bit paths.
  const auto& pages = glintvane::SupportedCodePages();
  const int page = size > 0 ? pages[data[0] % pages.size()] : glintvane::kDefaultCodePage;
  const glintvane::fuzz::MemoryBound bound;
  const glintvane::RecycleBinIndex index = glintvane::ReadRecycleBinRecords(source, page);
  // A record of 280 bytes and more keeps at most its 520 bytes of path,
  // three bytes of UTF-8 each.
  bound.Check(size, 16, 1u << 20);
  // Record k counts only when the index holds the bytes from 16 + k * S on.
  Require(index.records.empty() || 16 + index.records.size() * index.record_size <= size);
  for (const glintvane::RecycleBinRecord& record : index.records) {
    Require(glintvane::fuzz::IsUtf8(record.original));
    Require(glintvane::RecycledFileName(record).starts_with('D'));
  }
  Require(glintvane::fuzz::IsUtf8(glintvane::Utf16LeToUtf8({data, size})));
  return 0;
}
