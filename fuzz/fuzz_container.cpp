// Opening a VMDK, VHD, VHDX, QCOW2 or AFF image made of hostile bytes and
// reading the disk in it. The libraries read files, not memory: the input is
// written to a file, with a second copy beside it that a descriptor, a
// differential disk or a backing-file name may point at (as "parent").
// Opening fails with a sentence or yields a disk whose reads answer in full,
// what the library cannot read counted as unreadable sectors; the memory the
// libraries take (through malloc, which the heap meter does not see) stays
// within a bound of the input's size.
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "evidence/evidence_image.h"
#include "fuzz/fuzz_checks.h"

namespace {

// Bytes held through malloc and operator new alike (AddressSanitizer's hooks
// see both), and the most held since the last reset.
std::atomic<int64_t> live{0};
std::atomic<int64_t> peak{0};

void OnMalloc(const volatile void*, size_t size) {
  const int64_t now = live.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size);
  int64_t high = peak.load();
  while (now > high && !peak.compare_exchange_weak(high, now)) {
  }
}

void OnFree(const volatile void* p) {
  live.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<void*>(p))));
}

// The libraries' caches (a few dozen grains, clusters or pages, each up to
// 2 MiB for QCOW2, 16 MiB for an AFF page) are a fixed part; the tables
// they read are bounded by the input.
constexpr int64_t kFixedBytes = int64_t{256} << 20;
constexpr int64_t kPerInputByte = 16;
// Bytes read from the disk: its start and a sector at its middle and end.
constexpr size_t kHeadRead = 64 * 1024;

const std::string& Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/glintvane-fuzz-container-XXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr) std::abort();
    static const std::string made_folder = made;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(made_folder, ec);
    });
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    return made_folder + "/";
  }();
  return folder;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  const std::string& folder = Folder();
  Write(folder + "image", data, size);
  Write(folder + "parent", data, size);
  const int64_t before = live.load();
  peak.store(before);
  {
    auto image = glintvane::EvidenceImage::Open(folder + "image");
    if (!image) {
      Require(image.error().code != 0);
    } else {
      glintvane::ImageByteSource& disk = (*image)->bytes();
      const uint64_t disk_size = disk.Size();
      std::vector<uint8_t> buffer(kHeadRead);
      uint64_t asked = 0;
      for (const uint64_t at :
           {uint64_t{0}, disk_size / 2, disk_size - std::min<uint64_t>(disk_size, 512)}) {
        const auto got = disk.ReadAt(at, buffer);
        Require(got.has_value());
        Require(*got == std::min<uint64_t>(buffer.size(), disk_size - std::min(at, disk_size)));
        asked += (*got + 511) / 512 + 1;
        buffer.resize(512);
      }
      Require(disk.unreadable_sectors() <= asked);
    }
  }
  Require(peak.load() - before <= kFixedBytes + kPerInputByte * static_cast<int64_t>(size));
  return 0;
}
