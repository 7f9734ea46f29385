// The carving scan over bytes held in memory, and the three searches for the
// JFIF signature that it chooses between, which must find the same places.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "carve/carve_scan.h"
#include "carve/carved_images.h"
#include "carve/jfif_signature.h"
#include "fuzz/fuzz_checks.h"
#include "fuzz/fuzz_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  glintvane::ThumbnailList list;
  glintvane::ErrorList errors;
  const glintvane::UiTexts texts;
  const glintvane::fuzz::MemoryBound bound;
  const auto result =
      glintvane::ScanBytesForImages({data, size}, "fuzz.bin", {list, errors, texts});
  // A row every 5 bytes at most, 32 bytes each, the block buffer and the
  // signatures of one block.
  bound.Check(size, 24, 1u << 20);
  Require(result.finished && result.error_code == 0 && result.rows_added == list.size());
  glintvane::fuzz::CheckCarvedRows(list, size, glintvane::kCarveLengthCap);

  // The searches may read 4 bytes past the count.
  std::vector<uint8_t> padded(data, data + size);
  padded.resize(size + 4);
  std::vector<size_t> fast, scalar, words;
  glintvane::FindJfifSignatures(padded.data(), size, fast);
  glintvane::FindJfifSignaturesScalar(padded.data(), size, scalar);
  glintvane::FindJfifSignaturesWords(padded.data(), size, words);
  Require(fast == scalar && words == scalar);
  return 0;
}
