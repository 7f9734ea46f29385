// The recycle-bin index reader over bytes held in memory, with the text
// decoders its record paths go through.
#include <cstddef>
#include <cstdint>

#include "discover/recycle_bin.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  glintvane::MemoryByteSource source({data, size});
  const glintvane::RecycleBinIndex index = glintvane::ReadRecycleBinRecords(source);
  // Record k counts only when the index holds the bytes from 16 + k * S on.
  Require(index.records.empty() || 16 + index.records.size() * index.record_size <= size);
  for (const glintvane::RecycleBinRecord& record : index.records) {
    Require(glintvane::fuzz::IsUtf8(record.original));
    Require(glintvane::RecycledFileName(record).starts_with('D'));
  }
  Require(glintvane::fuzz::IsUtf8(glintvane::Utf16LeToUtf8({data, size})));
  return 0;
}
