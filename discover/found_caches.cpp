#include "discover/found_caches.h"

#include <cctype>

#include "base/windows_path.h"

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

namespace {

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The path a location has in its own file system ("" for bytes found at an
// offset, which have none), and whether two locations lie in the same one.
std::string_view PathIn(const EvidenceLocation& where) {
  if (const ImageFileLocation* inside = InImage(where)) return inside->inner_path;
  if (const FileLocation* file = std::get_if<FileLocation>(&where)) return file->path;
  return {};
}

bool SameVolume(const EvidenceLocation& a, const EvidenceLocation& b) {
  const ImageFileLocation* in_a = InImage(a);
  const ImageFileLocation* in_b = InImage(b);
  if (in_a == nullptr || in_b == nullptr) return in_a == in_b;
  // A shadow-copy store is the volume as it was: its own index names its caches.
  return in_a->image == in_b->image && in_a->partition == in_b->partition &&
         in_a->store == in_b->store;
}

}  // namespace

const FoundSearchIndex* SearchIndexOf(const EvidenceLocation& where,
                                      const std::vector<FoundSearchIndex>& indexes) {
  const std::string folder = Folded(SearchIndexFolderFor(PathIn(where)));
  if (folder.empty()) return nullptr;
  const FoundSearchIndex* best = nullptr;
  int best_rank = 0;
  for (const FoundSearchIndex& index : indexes) {
    const std::string path = Folded(PathIn(index.location));
    if (!SameVolume(where, index.location) || LocalFolderPart(path) != folder) continue;
    const int rank = (index.deleted ? 0 : 2) + (LocalFilePart(path) == "windows.db" ? 1 : 0) + 1;
    if (rank > best_rank) {
      best = &index;
      best_rank = rank;
    }
  }
  return best;
}

void FoundCacheList::NameSearchIndexes(const std::vector<FoundSearchIndex>& indexes) {
  for (CacheFileRecord& row : rows_) {
    // Rows of other searches keep what theirs found.
    if (const FoundSearchIndex* index = SearchIndexOf(row.location, indexes)) {
      row.search_index = index->path;
    }
  }
}

}  // namespace glintvane
