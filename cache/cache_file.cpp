#include "cache/cache_file.h"

#include <sys/stat.h>

#include <array>
#include <span>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache/thumbcache.h"
#include "cache/thumbcache_reader.h"

namespace glintvane {
namespace {

OpenedBeside OpenOnDisk(const std::string& path) {
  auto opened = FileByteSource::Open(path);
  if (!opened) return {};
  return {std::move(*opened), path};
}

bool IsFolderOnDisk(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The index chosen by hand: a file on this machine, or a folder holding one.
SearchIndexFiles OpenChosenIndex(const std::string& chosen) {
  if (IsFolderOnDisk(chosen)) {
    return OpenSearchIndexIn(chosen.back() == '/' ? chosen : chosen + "/", OpenOnDisk);
  }
  SearchIndexFiles files;
  OpenedBeside database = OpenOnDisk(chosen);
  if (!database.bytes) return files;
  files.where = std::move(database.where);
  files.database = std::move(database.bytes);
  files.wal = OpenOnDisk(chosen + "-wal").bytes;
  files.shm = OpenOnDisk(chosen + "-shm").bytes;
  return files;
}

}  // namespace

SearchIndexFiles OpenSearchIndexIn(const std::string& folder, const OpenBeside& open) {
  SearchIndexFiles files;
  for (const char* name : {"Windows.db", "Windows.edb"}) {
    OpenedBeside database = open(folder + name);
    if (!database.bytes) continue;
    files.where = std::move(database.where);
    files.database = std::move(database.bytes);
    if (std::string_view(name) == "Windows.db") {
      files.wal = open(folder + name + "-wal").bytes;
      files.shm = open(folder + name + "-shm").bytes;
    }
    break;
  }
  return files;
}

void OpenNeighbours(OpenedCache& cache, const std::string& path, const OpenBeside& open_beside,
                    const CacheOpenOptions& options) {
  // Told by the signature, as the read tells them, whatever the file's name.
  std::array<uint8_t, 8> head{};
  const auto got = cache.bytes->ReadAt(0, head);
  if (!got || !LooksLikeThumbcache(std::span(head).first(*got))) return;
  const std::string folder(LocalFolderPart(path));
  cache.thumbcache_index =
      open_beside(folder + std::string(LocalFilePart(ThumbcacheIndexPathFor(path)))).bytes;
  if (!options.use_search_index) return;
  if (!options.search_index.empty()) {
    cache.search_index_chosen = true;
    cache.search_index_sought = options.search_index;
    cache.search_index = OpenChosenIndex(options.search_index);
    return;
  }
  cache.search_index_sought = SearchIndexFolderFor(path);
  if (!cache.search_index_sought.empty()) {
    cache.search_index = OpenSearchIndexIn(cache.search_index_sought, open_beside);
  }
}

tl::expected<OpenedCache, ReadError> OpenCacheFile(const std::string& path,
                                                   const CacheOpenOptions& options) {
  auto source = FileByteSource::Open(path);
  if (!source) {
    return tl::unexpected(
        ReadError{kErrPlatform, "Cannot open file \"" + path + "\". " + source.error().message});
  }
  OpenedCache cache;
  cache.bytes = std::move(*source);
  OpenNeighbours(cache, path, OpenOnDisk, options);
  return cache;
}

}  // namespace glintvane
