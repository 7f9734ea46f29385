#include "searchindex/row_names.h"

#include "base/windows_path.h"

namespace glintvane {

RowOrigin OriginOf(const IndexedItemView& item, const std::string& date_time_format,
                   TimeZoneChoice zone) {
  RowOrigin origin;
  origin.path = item.path;
  origin.name = item.file_name.empty() ? WindowsFilePart(item.path) : item.file_name;
  origin.modified = item.modified;
  origin.created = item.created;
  origin.accessed = item.accessed;
  origin.time_text = FileTimeText(item.modified, date_time_format, zone);
  if (item.size && *item.size <= static_cast<uint64_t>(INT64_MAX)) {
    origin.size = static_cast<int64_t>(*item.size);
  }
  return origin;
}

RowNaming NameRowsFromIndex(ThumbnailList& list, size_t first, const SearchIndex& index,
                            const std::string& date_time_format, TimeZoneChoice zone) {
  RowNaming naming;
  for (size_t i = first; i < list.size(); ++i) {
    const auto hash = list.EntryHash(i);
    if (!hash) continue;
    ++naming.rows;
    // No item carries id 0: the index leaves the property out instead.
    const auto item = *hash != 0 ? index.FindView(*hash) : std::nullopt;
    if (!item) continue;
    list.SetOrigin(i, OriginOf(*item, date_time_format, zone));
    ++naming.named;
  }
  return naming;
}

}  // namespace glintvane
