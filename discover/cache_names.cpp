#include "discover/cache_names.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/windows_path.h"
#include "discover/recycle_bin.h"
#include "discover/recycle_bin_vista.h"

namespace glintvane {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

}  // namespace

bool MayBeFoundFileName(std::string_view name) {
  // Thumbs.db, thumbcache_*, INFO2, D<letter><n>.db, $I..., $R..., Windows.edb
  if (name.empty()) return false;
  switch (name[0]) {
    case 'T':
    case 't':
    case 'I':
    case 'i':
    case 'D':
    case 'd':
    case '$':
    case 'W':
    case 'w':
      return true;
    default:
      return false;
  }
}

FoundFileKind ClassifyFoundFile(std::string_view folder, std::string_view name) {
  if (!MayBeFoundFileName(name)) return FoundFileKind::kNone;
  const std::string upper = Upper(name);
  if (upper == "THUMBS.DB") return FoundFileKind::kThumbsDb;
  if (IsSearchIndexName(name)) return FoundFileKind::kSearchIndex;
  // The Vista-and-later rules are the folder search's own.
  switch (ClassifyVistaEntry(folder, name)) {
    case VistaEntryRole::kThumbcache:
      return FoundFileKind::kThumbcache;
    case VistaEntryRole::kRecycleInfo:
      return FoundFileKind::kRecycleInfo;
    case VistaEntryRole::kNone:
      break;
  }
  if (upper == "INFO2" && IsRecycleBinPath(folder)) return FoundFileKind::kRecycleIndex;
  if (IsRecycledCacheName(name) && IsRecycleBinPath(folder)) return FoundFileKind::kRecycledCache;
  if (upper.size() > 2 && upper.starts_with("$R") && IsVistaRecycleBinPath(folder)) {
    return FoundFileKind::kRecycledData;
  }
  return FoundFileKind::kNone;
}

bool StartsLikeCache(std::span<const uint8_t> head) {
  return LooksLikeCacheFile(head);
}

}  // namespace glintvane
