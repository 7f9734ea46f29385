#include "cache/cache_file.h"

#include <array>
#include <span>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache/thumbcache.h"
#include "cache/thumbcache_reader.h"

namespace glintvane {

void OpenNeighbours(OpenedCache& cache, const std::string& path, const OpenBeside& open_beside) {
  // Told by the signature, as the read tells them, whatever the file's name.
  std::array<uint8_t, 8> head{};
  const auto got = cache.bytes->ReadAt(0, head);
  if (!got || !LooksLikeThumbcache(std::span(head).first(*got))) return;
  cache.thumbcache_index = open_beside(std::string(LocalFilePart(ThumbcacheIndexPathFor(path))));
}

tl::expected<OpenedCache, ReadError> OpenCacheFile(const std::string& path) {
  auto source = FileByteSource::Open(path);
  if (!source) {
    return tl::unexpected(
        ReadError{kErrPlatform, "Cannot open file \"" + path + "\". " + source.error().message});
  }
  OpenedCache cache;
  cache.bytes = std::move(*source);
  const std::string folder(LocalFolderPart(path));
  OpenNeighbours(cache, path, [&folder](const std::string& name) -> std::unique_ptr<ByteSource> {
    auto beside = FileByteSource::Open(folder + name);
    if (!beside) return nullptr;
    return std::move(*beside);
  });
  return cache;
}

}  // namespace glintvane
