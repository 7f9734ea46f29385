// $Recycle.Bin $I records (Windows Vista and later) over bytes in memory.
#include <cstddef>
#include <cstdint>

#include "discover/recycle_bin_vista.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  const auto info = glintvane::ParseRecycleInfo({data, size});
  if (!info) return 0;
  Require(info->version == 1 || info->version == 2);
  Require(!info->original.empty() && glintvane::fuzz::IsUtf8(info->original));
  // A path holds no more characters than its bytes.
  Require(info->original.size() <= 3 * (size / 2));
  const auto record =
      glintvane::RecycledCacheRecord(*info, "/bin/$R1.db", std::nullopt, "", "%Y-%m-%d %H:%M:%S");
  Require(record.recycled && record.name == info->original);
  Require(glintvane::fuzz::IsUtf8(record.deleted) && glintvane::fuzz::IsUtf8(record.deleted_utc));
  return 0;
}
