// The JPEG structure walker that ends carved images. Fed whole and fed in
// pieces of changing size it must reach the same end, and a complete walk
// must end on the bytes FF D9.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "carve/jpeg_walker.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::JpegWalker;
  using glintvane::fuzz::Require;
  const std::span<const uint8_t> bytes(data, size);
  const glintvane::JpegWalkResult whole = glintvane::WalkJpeg(bytes);
  Require(whole.length <= size);
  if (whole.status == JpegWalker::Status::kComplete) {
    Require(whole.length >= 4 && data[whole.length - 2] == 0xFF && data[whole.length - 1] == 0xD9);
  }
  JpegWalker walker;
  for (size_t at = 0, piece = 1; at < size; piece = piece * 7 % 61 + 1) {
    const size_t offered = std::min(piece, size - at);
    const size_t used = walker.Feed(bytes.subspan(at, offered));
    Require(used <= offered);
    at += used;
    if (used < offered || walker.status() != JpegWalker::Status::kWalking) break;
  }
  Require(walker.status() == whole.status && walker.length() == whole.length);
  return 0;
}
