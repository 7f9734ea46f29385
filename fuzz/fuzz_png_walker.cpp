// The PNG chunk walker that ends carved PNGs. Fed whole and fed in pieces of
// changing size it must reach the same end; a complete walk ends on an IEND
// chunk, and the checked length never passes the bytes used.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "carve/crc32.h"
#include "carve/png_walker.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::PngWalker;
  using glintvane::fuzz::Require;
  const std::span<const uint8_t> bytes(data, size);
  PngWalker whole(1u << 20);
  const size_t used = whole.Feed(bytes);
  Require(used <= size && whole.length() == used && whole.checked_length() <= used);
  if (whole.status() == PngWalker::Status::kComplete) {
    Require(used >= 57 && data[used - 8] == 'I' && data[used - 5] == 'D');
    Require(whole.checked_length() == used);
  }
  PngWalker pieces(1u << 20);
  for (size_t at = 0, piece = 1; at < size; piece = piece * 7 % 61 + 1) {
    const size_t offered = std::min(piece, size - at);
    const size_t taken = pieces.Feed(bytes.subspan(at, offered));
    at += taken;
    if (taken < offered || pieces.status() != PngWalker::Status::kWalking) break;
  }
  Require(pieces.status() == whole.status() && pieces.length() == whole.length() &&
          pieces.checked_length() == whole.checked_length());
  // The folded CRC agrees with the tables over any stretch.
  const size_t half = size / 2;
  Require(glintvane::UpdateCrc32(glintvane::UpdateCrc32(0, data, half), data + half, size - half) ==
          glintvane::UpdateCrc32Tables(0, data, size));
  return 0;
}
