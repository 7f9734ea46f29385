// The carving scan over bytes held in memory, for JFIF alone and for every
// kind at once, the searches it chooses between (which must find the same
// places), and the decode checks of what it carves.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "carve/carve_scan.h"
#include "carve/carve_verify.h"
#include "carve/carved_images.h"
#include "carve/image_signatures.h"
#include "carve/jfif_signature.h"
#include "fuzz/fuzz_checks.h"
#include "fuzz/fuzz_memory.h"

namespace {

using glintvane::CarveKind;
using glintvane::fuzz::Require;

// Rows in the order of their starts; a complete row ends as its kind's
// structure ends.
void CheckKindsRows(const glintvane::ThumbnailList& list, const uint8_t* data, size_t size) {
  int64_t previous = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const glintvane::CarvedEntry* row = list.CarvedEntryAt(i);
    Require(row != nullptr && row->start >= previous);
    previous = row->start;
    if (!row->complete) continue;
    const auto start = static_cast<size_t>(row->start);
    const size_t length = row->length;
    Require(length >= 4 && start + length <= size);
    const uint8_t* end = data + start + length;
    switch (row->kind) {
      case CarveKind::kPng:
        Require(end[-8] == 'I' && end[-7] == 'E' && end[-6] == 'N' && end[-5] == 'D');
        break;
      case CarveKind::kBmp:
        Require(data[start] == 'B' && data[start + 1] == 'M');
        break;
      default:
        Require(end[-2] == 0xFF && end[-1] == 0xD9);
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  glintvane::ThumbnailList list;
  glintvane::ErrorList errors;
  const glintvane::UiTexts texts;
  {
    const glintvane::fuzz::MemoryBound bound;
    const auto result =
        glintvane::ScanBytesForImages({data, size}, "fuzz.bin", {list, errors, texts});
    // A row every 5 bytes at most, 32 bytes each, the block buffer and the
    // signatures of one block.
    bound.Check(size, 24, 1u << 20);
    Require(result.finished && result.error_code == 0 && result.rows_added == list.size());
    glintvane::fuzz::CheckCarvedRows(list, size, glintvane::kCarveLengthCap);
  }

  // Every kind: the same bounds, rows in order, and decode checks that
  // stay inside the rows (small pictures only, so an input stays quick).
  glintvane::ThumbnailList all;
  {
    const glintvane::fuzz::MemoryBound bound;
    glintvane::CarveTarget target{all, errors, texts};
    target.kinds = glintvane::CarveKinds::All();
    const auto result = glintvane::ScanBytesForImages({data, size}, "fuzz.bin", target);
    bound.Check(size, 24, 1u << 20);
    Require(result.finished && result.error_code == 0 && result.rows_added == all.size());
    glintvane::fuzz::CheckCarvedRows(all, size, glintvane::kCarveLengthCap);
    CheckKindsRows(all, data, size);
  }
  glintvane::MemoryByteSource source({data, size});
  const auto checked = glintvane::CheckCarvedRows(all, 0, source, {}, nullptr, 1u << 16);
  Require(checked.checked == all.size() && checked.unreadable == 0);

  // The searches may read 4 bytes past the count.
  std::vector<uint8_t> padded(data, data + size);
  padded.resize(size + 4);
  std::vector<size_t> fast, scalar, words;
  glintvane::FindJfifSignatures(padded.data(), size, fast);
  glintvane::FindJfifSignaturesScalar(padded.data(), size, scalar);
  glintvane::FindJfifSignaturesWords(padded.data(), size, words);
  Require(fast == scalar && words == scalar);
  glintvane::SignatureSet set;
  set.jfif = size % 2 == 0;
  set.AddPair(0xFF, 0xD8);
  set.AddPair(0x89, 'P');
  set.AddPair('B', 'M');
  std::vector<size_t> any, any_scalar, any_sse2;
  glintvane::FindImageSignatures(padded.data(), size, set, any);
  glintvane::FindImageSignaturesScalar(padded.data(), size, set, any_scalar);
  glintvane::FindImageSignaturesSse2(padded.data(), size, set, any_sse2);
  Require(any == any_scalar && any_sse2 == any_scalar);
  return 0;
}
