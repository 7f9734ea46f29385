#include "discover/found_caches.h"

namespace glintvane {

void SetRecordLocation(CacheFileRecord& record, EvidenceLocation where) {
  record.path = FormatEvidenceLocation(where);
  record.located = EvidenceFolderText(where);
  record.location = std::move(where);
}

bool FoundCacheList::AddCacheFileRow(CacheFileRecord record) {
  if (by_path_.count(record.path) != 0) return false;
  by_path_.emplace(record.path, rows_.size());
  rows_.push_back(std::move(record));
  return true;
}

int64_t FoundCacheList::IndexOfPath(const std::string& path) const {
  const auto it = by_path_.find(path);
  return it == by_path_.end() ? -1 : static_cast<int64_t>(it->second);
}

void FoundCacheList::Clear() {
  rows_.clear();
  by_path_.clear();
}

void FoundCacheList::Reorder(const std::vector<size_t>& order) {
  std::vector<CacheFileRecord> sorted;
  sorted.reserve(rows_.size());
  for (const size_t i : order) sorted.push_back(std::move(rows_.at(i)));
  rows_ = std::move(sorted);
  by_path_.clear();
  for (size_t i = 0; i < rows_.size(); ++i) by_path_.emplace(rows_[i].path, i);
}

}  // namespace glintvane
