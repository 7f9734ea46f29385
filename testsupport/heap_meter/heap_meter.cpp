#include "testsupport/heap_meter/heap_meter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace glintvane::testsupport {
namespace {

std::atomic<size_t> live{0};
std::atomic<size_t> peak{0};

void* Take(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  const size_t now = live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  size_t high = peak.load();
  while (now > high && !peak.compare_exchange_weak(high, now)) {
  }
  return p;
}

void Give(void* p) {
  if (p == nullptr) return;
  live.fetch_sub(malloc_usable_size(p));
  std::free(p);
}

}  // namespace

size_t LiveHeapBytes() {
  return live.load();
}
size_t PeakHeapBytes() {
  return peak.load();
}
void ResetPeakHeapBytes() {
  peak.store(live.load());
}

}  // namespace glintvane::testsupport

// Aligned forms are left to the library: nothing measured here uses them.
void* operator new(size_t size) {
  return glintvane::testsupport::Take(size);
}
void* operator new[](size_t size) {
  return glintvane::testsupport::Take(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return glintvane::testsupport::Take(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return glintvane::testsupport::Take(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept {
  glintvane::testsupport::Give(p);
}
void operator delete[](void* p) noexcept {
  glintvane::testsupport::Give(p);
}
void operator delete(void* p, size_t) noexcept {
  glintvane::testsupport::Give(p);
}
void operator delete[](void* p, size_t) noexcept {
  glintvane::testsupport::Give(p);
}
