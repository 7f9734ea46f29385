// Counts the bytes held through operator new, so that a test can say how much
// memory a read or a scan took. Linking a call to these functions into a test
// program replaces its operator new and delete (one object file holds both).
#pragma once

#include <cstddef>

namespace glintvane::testsupport {

// Bytes allocated through operator new and not yet freed.
size_t LiveHeapBytes();
// The most that LiveHeapBytes reached since the last reset.
size_t PeakHeapBytes();
// Starts a new peak from the bytes live now.
void ResetPeakHeapBytes();

}  // namespace glintvane::testsupport
