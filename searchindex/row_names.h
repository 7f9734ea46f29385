// Giving a thumbcache's rows back what the Windows Search index says of the
// items their thumbnails were made from: each row's hash is the id the index
// files the item's thumbnail under.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/file_time.h"
#include "cache/thumbnail_list.h"
#include "searchindex/search_index.h"

namespace glintvane {

struct RowNaming {
  uint64_t rows = 0;   // thumbcache rows asked about
  uint64_t named = 0;  // of those, the rows the index knows
};

// The rows of `list` from `first` on that are thumbcache entries (or entries
// of their index file) and whose hash `index` knows get its item as their
// origin (ThumbnailList::SetOrigin): the file name, the modification time
// written with `date_time_format` in `zone`, the path, size and times.
RowNaming NameRowsFromIndex(ThumbnailList& list, size_t first, const SearchIndex& index,
                            const std::string& date_time_format, TimeZoneChoice zone);

// The RowOrigin of an indexed item.
RowOrigin OriginOf(const IndexedItemView& item, const std::string& date_time_format,
                   TimeZoneChoice zone);

}  // namespace glintvane
