// Names every thumbnail id of a search index as the program will name
// thumbcache rows: the whole index read into memory (ReadSearchIndex), then
// every id looked up. Prints "<items> <named>" so the caller can check it;
// the timing and the resident size are taken by the caller.
//
// Usage: bench_name_ids INDEX [READERS]   (READERS: connections at once for
// a Windows.db; default: as the program chooses)
#include <cstdio>
#include <cstdlib>

#include "searchindex/search_index.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: bench_name_ids INDEX [READERS]\n");
    return 2;
  }
  glintvane::SearchIndexOptions options;
  if (argc == 3) options.readers = static_cast<unsigned>(std::atoi(argv[2]));
  const auto index = glintvane::ReadSearchIndex(argv[1], options);
  if (!index) {
    std::fprintf(stderr, "bench_name_ids: %s\n", index.error().message.c_str());
    return 1;
  }
  size_t named = 0;
  for (size_t i = 0; i < index->size(); ++i) {
    const auto item = index->FindView(index->ThumbnailIdAt(i));
    if (item && !item->path.empty()) ++named;
  }
  std::printf("%zu %zu\n", index->size(), named);
  return 0;
}
