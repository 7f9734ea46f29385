// The memory a parser takes is bounded by its input: a fixed part for its
// buffers and tables, and a multiple of the input's size for what it keeps.
// The heap meter counts every byte held through operator new; a parser that
// sizes memory by what a file claims breaks the bound at once, where
// libFuzzer's -rss_limit_mb (a fixed figure, for the whole process) would
// only notice gigabytes.
#pragma once

#include <cstddef>

#include "fuzz/fuzz_checks.h"
#include "testsupport/heap_meter/heap_meter.h"

namespace glintvane::fuzz {

class MemoryBound {
 public:
  // Starts measuring: the peak from here on is the parser's.
  MemoryBound() : before_(testsupport::LiveHeapBytes()) { testsupport::ResetPeakHeapBytes(); }
  // Traps when the parser held more than fixed + per_byte * input_size.
  void Check(size_t input_size, size_t per_byte, size_t fixed) const {
    Require(testsupport::PeakHeapBytes() - before_ <= fixed + per_byte * input_size);
  }

 private:
  size_t before_;
};

}  // namespace glintvane::fuzz
