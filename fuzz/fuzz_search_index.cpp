// The Windows Search index reader over bytes in memory: an ESE file read
// through libesedb, or (by its first bytes) a SQLite Windows.db, which the
// reader copies into a private temporary folder and opens there.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_memory.h"
#include "searchindex/search_index.h"

namespace {

// SQLite's own heap (outside the meter's operator new): a hostile file may
// claim huge pages or rows; SQLite refuses past this instead of growing.
constexpr int64_t kSqliteHeapLimit = int64_t{64} << 20;
// The reader's copy buffer and a page of ESE: fixed; what it keeps grows
// with the items it finds.
constexpr size_t kFixedHeapBytes = size_t{2} << 20;
constexpr size_t kHeapPerInputByte = 4;

class Check final : public glintvane::IndexedItemSink {
 public:
  void OnItem(const glintvane::IndexedItem& item) override {
    glintvane::fuzz::Require(item.path.size() <= 3 * 32767);
    ++count;
  }
  uint64_t count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  static const bool limited = (sqlite3_hard_heap_limit64(kSqliteHeapLimit), true);
  (void)limited;
  const glintvane::fuzz::MemoryBound bound;
  glintvane::MemoryByteSource source({data, size});
  Check sink;
  const auto outcome = glintvane::ReadSearchIndex(glintvane::SearchIndexSources{&source}, sink);
  if (outcome) {
    // Items are counted once, each from a record read; an incomplete read
    // says why.
    Require(outcome->items == sink.count);
    Require(outcome->items + outcome->unreadable_records <= outcome->records);
    Require(outcome->complete == outcome->reasons.empty());
  } else {
    Require(!outcome.error().message.empty() && outcome.error().code != 0);
    Require(sink.count == 0);
  }
  bound.Check(size, kHeapPerInputByte, kFixedHeapBytes);
  return 0;
}
