#include "discover/cache_names.h"

#include <algorithm>
#include <array>
#include <string>

#include "discover/recycle_bin.h"

namespace glintvane {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

bool InVistaRecycleBin(std::string_view folder) {
  return Upper(folder).find("$RECYCLE.BIN") != std::string::npos;
}

}  // namespace

FoundFileKind ClassifyFoundFile(std::string_view folder, std::string_view name) {
  // Called for every file of a disk: the first letter settles almost all of
  // them before any text is made.
  if (name.empty()) return FoundFileKind::kNone;
  switch (name[0]) {
    case 'T':
    case 't':
    case 'I':
    case 'i':
    case 'D':
    case 'd':
    case '$':
      break;
    default:
      return FoundFileKind::kNone;
  }
  const std::string upper = Upper(name);
  if (upper == "THUMBS.DB") return FoundFileKind::kThumbsDb;
  if (upper.size() > 14 && upper.starts_with("THUMBCACHE_") && upper.ends_with(".DB") &&
      upper != "THUMBCACHE_IDX.DB") {
    return FoundFileKind::kThumbcache;
  }
  if (upper == "INFO2" && IsRecycleBinPath(folder)) return FoundFileKind::kRecycleIndex;
  if (IsRecycledCacheName(name) && IsRecycleBinPath(folder)) return FoundFileKind::kRecycledCache;
  if (upper.size() > 2 && upper[0] == '$' && InVistaRecycleBin(folder)) {
    if (upper[1] == 'I') return FoundFileKind::kRecycleInfo;
    if (upper[1] == 'R') return FoundFileKind::kRecycledData;
  }
  return FoundFileKind::kNone;
}

bool StartsLikeCache(std::span<const uint8_t> head) {
  static constexpr std::array<uint8_t, 8> kCompound = {0xD0, 0xCF, 0x11, 0xE0,
                                                       0xA1, 0xB1, 0x1A, 0xE1};
  static constexpr std::array<uint8_t, 4> kThumbcache = {'C', 'M', 'M', 'M'};
  if (head.size() >= kCompound.size() &&
      std::equal(kCompound.begin(), kCompound.end(), head.begin())) {
    return true;
  }
  return head.size() >= kThumbcache.size() &&
         std::equal(kThumbcache.begin(), kThumbcache.end(), head.begin());
}

}  // namespace glintvane
