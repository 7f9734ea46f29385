#include "evidence/evidence_search.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>

#include "base/error_codes.h"
#include "base/file_time.h"
#include "base/windows_path.h"
#include "carve/carve_scan.h"
#include "discover/cache_names.h"
#include "discover/recycle_bin.h"
#include "discover/recycle_bin_vista.h"
#include "evidence/carve_source.h"
#include "evidence/evidence_file.h"
#include "evidence/evidence_image.h"
#include "export/digest.h"

namespace glintvane {
namespace {

// One file of interest met by the walk; rows are made from these.
struct Candidate {
  FoundFileKind kind = FoundFileKind::kNone;
  std::string folder;  // "/" ... "/"
  std::string name;
  uint64_t inode = 0;
  bool deleted = false;
  bool has_meta = false;
  int64_t size = 0;
  int64_t modified = 0;
  bool used = false;  // already listed through a recycle-bin index
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

// One file system to walk: a partition's as it is, or as a shadow-copy
// store holds it.
struct WalkedFileSystem {
  int partition = 0;
  int store = 0;  // 0: the volume as it is
  TSK_FS_INFO* fs = nullptr;
  const ShadowStoreFacts* facts = nullptr;  // the store's; null for the volume
  ImageByteSource* store_bytes = nullptr;   // likewise
};

class VolumeWalk {
 public:
  VolumeWalk(FoundCacheList& list, const SearchOptions& options, EvidenceSearchOutcome& outcome,
             std::shared_ptr<EvidenceImage> image, const WalkedFileSystem& walked,
             FileSystemWalkReport& report, SameCacheRows& same)
      : list_(list),
        options_(options),
        outcome_(outcome),
        image_(std::move(image)),
        walked_(walked),
        report_(report),
        same_(same) {}

  void Run() {
    const auto flags = static_cast<TSK_FS_DIR_WALK_FLAG_ENUM>(
        TSK_FS_DIR_WALK_FLAG_ALLOC | TSK_FS_DIR_WALK_FLAG_UNALLOC | TSK_FS_DIR_WALK_FLAG_RECURSE);
    if (tsk_fs_dir_walk(walked_.fs, walked_.fs->root_inum, flags, &VolumeWalk::Visit, this) != 0) {
      report_.error = TskErrorText();
      tsk_error_reset();
    } else {
      report_.walk_complete = !outcome_.stopped;
    }
    if (!outcome_.stopped) ListRecycleBins();
  }

 private:
  static TSK_WALK_RET_ENUM Visit(TSK_FS_FILE* file, const char* parent, void* context) {
    auto& walk = *static_cast<VolumeWalk*>(context);
    // Checked once per entry: a stopped walk keeps the rows it listed.
    if (walk.options_.stop.stop_requested()) {
      walk.outcome_.stopped = true;
      return TSK_WALK_STOP;
    }
    walk.OnEntry(file, parent);
    return TSK_WALK_CONT;
  }

  void OnEntry(TSK_FS_FILE* file, const char* parent) {
    if (file->name == nullptr || file->name->name == nullptr) return;
    const std::string_view name = file->name->name;
    if (name == "." || name == "..") return;
    const TSK_FS_NAME_TYPE_ENUM type = file->name->type;
    if (type == TSK_FS_NAME_TYPE_DIR || type == TSK_FS_NAME_TYPE_VIRT_DIR) {
      ++report_.folders;
      ++outcome_.folders;
      if (options_.progress != nullptr) options_.progress->OnFolder(outcome_.folders, name);
      return;
    }
    ++report_.files;
    // A deleted entry may have lost its type; its metadata still tells.
    const bool regular =
        type == TSK_FS_NAME_TYPE_REG || (type == TSK_FS_NAME_TYPE_UNDEF && file->meta != nullptr &&
                                         file->meta->type == TSK_FS_META_TYPE_REG);
    if (!regular) return;
    folder_.assign("/");
    folder_ += parent;
    const FoundFileKind kind = ClassifyFoundFile(folder_, name);
    if (kind == FoundFileKind::kNone) return;
    Candidate c;
    c.kind = kind;
    c.folder = folder_;
    c.name = std::string(name);
    c.inode = file->name->meta_addr;
    c.deleted = (file->name->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0;
    if (kind == FoundFileKind::kSearchIndex) {
      const ImageFileLocation where = PathOf(c);
      outcome_.search_indexes.push_back({where, FormatEvidenceLocation(where), c.deleted});
      return;
    }
    if (file->meta != nullptr) {
      c.has_meta = true;
      c.size = static_cast<int64_t>(file->meta->size);
      c.modified = static_cast<int64_t>(file->meta->mtime);
    }
    const bool cache = kind == FoundFileKind::kThumbsDb || kind == FoundFileKind::kThumbcache;
    // A cache inside a recycled folder is named after its $I, read later.
    if (cache && !FindRecycledFolder(c.folder + c.name)) {
      AddRow(c, RowOf(c));
    } else {
      later_.push_back(std::move(c));
    }
  }

  ImageFileLocation PathOf(const Candidate& c) const {
    return ImageFileLocation{outcome_.image, walked_.partition, c.inode, c.folder + c.name,
                             walked_.store};
  }

  CacheFileRecord RowOf(const Candidate& c) const {
    CacheFileRecord row;
    row.name = c.name;
    if (c.has_meta) {
      row.size = c.size;
      row.modified = FoundFileTimeText(c.modified);
      row.modified_utc = UnixSecondsUtcIso(c.modified);
    }
    SetRecordLocation(row, PathOf(c));
    row.entry_deleted = c.deleted;
    if (walked_.facts != nullptr) {
      row.shadow_created_utc = walked_.facts->created_utc;
      row.shadow_identifier = walked_.facts->identifier;
    }
    return row;
  }

  void AddRow(const Candidate& c, CacheFileRecord row) {
    // A store's copy of a cache listed already is named in that row.
    if (walked_.store != 0 && same_.Merge(row)) return;
    if (AddCacheFileRow(list_, std::move(row), options_)) {
      ++outcome_.rows_added;
      if (c.deleted) ++outcome_.deleted_rows;
      same_.Note(list_.size() - 1);
    }
  }

  // Sectors read as zeros so far, under the file system walked.
  uint64_t Lost() const {
    return image_->bytes().unreadable_sectors() +
           (walked_.store_bytes != nullptr ? walked_.store_bytes->unreadable_sectors() : 0);
  }

  std::unique_ptr<EvidenceFileSource> OpenCandidate(const Candidate& c) {
    auto source = EvidenceFileSource::Open(PathOf(c), image_);
    if (!source) return nullptr;
    return std::move(*source);
  }

  bool ContentIsCache(const Candidate& c) {
    auto source = OpenCandidate(c);
    if (!source) return true;  // listed so that it is seen, as on disk
    const uint64_t lost_before = Lost();
    std::array<uint8_t, 8> head{};
    const auto got = source->ReadAt(0, head);
    // Zeros read for a bad sector say nothing about the file: listed too.
    if (Lost() != lost_before) return true;
    return !got || StartsLikeCache(std::span(head).first(*got));
  }

  // The recycled files of each bin folder: named through the folder's INFO2
  // where a record survives, else under their own names when their content
  // is a cache.
  void ListRecycleBins() {
    std::unordered_map<std::string, std::vector<Candidate*>> recycled;  // folder + upper name
    for (Candidate& c : later_) {
      if (c.kind == FoundFileKind::kRecycledCache) recycled[c.folder + Upper(c.name)].push_back(&c);
    }
    for (const Candidate& index : later_) {
      if (index.kind != FoundFileKind::kRecycleIndex) continue;
      auto source = OpenCandidate(index);
      if (!source) {
        outcome_.notes.push_back("Cannot read the recycle-bin index " +
                                 FormatEvidenceLocation(PathOf(index)));
        continue;
      }
      const RecycleBinIndex records = ReadRecycleBinRecords(*source);
      for (const RecycleBinRecord& record : records.records) {
        if (ClassifyFoundFile("", WindowsFilePart(record.original)) != FoundFileKind::kThumbsDb) {
          continue;
        }
        const auto it = recycled.find(index.folder + Upper(RecycledFileName(record)));
        if (it == recycled.end()) continue;
        for (Candidate* file : it->second) {
          // A deleted index speaks for deleted recycled files only.
          if (file->used || file->deleted != index.deleted) continue;
          if (!ContentIsCache(*file)) continue;
          file->used = true;
          CacheFileRecord row = RowOf(*file);
          row.name = record.original;
          row.deleted = FileTimeText(record.deleted, options_.date_time_format);
          row.deleted_utc = FileTimeUtcIso(record.deleted);
          row.modified += std::string(kDeletedTimeJoiner) + row.deleted;
          row.recycled = true;
          AddRow(*file, std::move(row));
        }
      }
    }
    for (Candidate& c : later_) {
      if (c.kind != FoundFileKind::kRecycledCache || c.used || !ContentIsCache(c)) continue;
      CacheFileRecord row = RowOf(c);
      row.recycled = true;
      AddRow(c, std::move(row));
    }
    ListVistaRecycleBins();
  }

  // The $Recycle.Bin of Vista and later, by the folder search's rules: a $I
  // whose original is a cache names its $R when that starts like one; a
  // cache inside a recycled folder is named by the folder's original path.
  void ListVistaRecycleBins() {
    std::unordered_map<std::string, Candidate*> items;  // folder + upper name: $I and $R files
    for (Candidate& c : later_) {
      if (c.kind != FoundFileKind::kRecycleInfo && c.kind != FoundFileKind::kRecycledData) continue;
      Candidate*& slot = items[c.folder + Upper(c.name)];
      // A live entry speaks before a deleted one of the same name.
      if (slot == nullptr || (slot->deleted && !c.deleted)) slot = &c;
    }
    const auto info_of = [&](const std::string& folder,
                             const std::string& name) -> std::optional<RecycleInfo> {
      const auto it = items.find(folder + Upper(name));
      if (it == items.end() || it->second->kind != FoundFileKind::kRecycleInfo) return std::nullopt;
      auto source = OpenCandidate(*it->second);
      if (!source) return std::nullopt;
      std::vector<uint8_t> bytes(
          static_cast<size_t>(std::min<uint64_t>(source->Size(), kRecycleInfoMaxBytes)));
      const auto got = source->ReadAt(0, bytes);
      if (!got) return std::nullopt;
      bytes.resize(*got);
      return ParseRecycleInfo(bytes);
    };
    for (const Candidate& c : later_) {
      if (c.kind != FoundFileKind::kRecycleInfo) continue;
      const auto info = info_of(c.folder, c.name);
      if (!info || !IsCacheItemName(WindowsFilePart(info->original))) continue;
      const auto item = items.find(c.folder + Upper(RecycledItemName(c.name)));
      if (item == items.end() || item->second->kind != FoundFileKind::kRecycledData) continue;
      const Candidate& data = *item->second;
      auto source = OpenCandidate(data);
      if (!source) continue;
      std::array<uint8_t, 8> head{};
      const auto got = source->ReadAt(0, head);
      if (!got || !IsRecycledCache(*info, std::span(head).first(*got))) continue;
      AddRow(data, NamedRow(data, *info));
    }
    for (const Candidate& c : later_) {
      if (c.kind != FoundFileKind::kThumbsDb && c.kind != FoundFileKind::kThumbcache) continue;
      const auto place = FindRecycledFolder(c.folder + c.name);
      std::optional<RecycleInfo> info;
      if (place) {
        const std::string& folder = place->recycled_folder;
        const size_t slash = folder.find_last_of('/');
        info = info_of(folder.substr(0, slash + 1), "$I" + folder.substr(slash + 3));
      }
      if (!info) {
        AddRow(c, RowOf(c));
        continue;
      }
      RecycleInfo named = *info;
      std::string relative = place->relative;
      std::replace(relative.begin(), relative.end(), '/', '\\');
      if (!named.original.empty() && named.original.back() != '\\') named.original += '\\';
      named.original += relative;
      AddRow(c, NamedRow(c, named));
    }
  }

  // The row of a recycled cache named by its $I record.
  CacheFileRecord NamedRow(const Candidate& c, const RecycleInfo& info) const {
    const CacheFileRecord plain = RowOf(c);
    CacheFileRecord row = RecycledCacheRecord(info, plain.path, plain.size,
                                              c.has_meta ? FoundFileTimeText(c.modified) : "",
                                              options_.date_time_format);
    SetRecordLocation(row, plain.location);
    row.modified_utc = plain.modified_utc;
    row.entry_deleted = plain.entry_deleted;
    row.shadow_created_utc = plain.shadow_created_utc;
    row.shadow_identifier = plain.shadow_identifier;
    return row;
  }

  FoundCacheList& list_;
  const SearchOptions& options_;
  EvidenceSearchOutcome& outcome_;
  std::shared_ptr<EvidenceImage> image_;
  const WalkedFileSystem& walked_;
  FileSystemWalkReport& report_;
  SameCacheRows& same_;
  std::string folder_;
  std::vector<Candidate> later_;
};

// The Thumbs.db whose headers lie in the unallocated space of the image's
// file systems: one row each, a deleted file whose entry is gone.
void SearchFreeSpace(FoundCacheList& list, const SearchOptions& options,
                     EvidenceSearchOutcome& outcome) {
  auto source = OpenCarveSource(outcome.image, {.unallocated = true});
  if (!source) {
    outcome.free_space_notes.push_back(
        outcome.image + ": its unallocated space was not read: " + source.error().detail);
    return;
  }
  ThumbnailList pictures;  // thumbcache entries found on the way; not caches
  ErrorList errors;
  const UiTexts texts;
  CarveTarget target{pictures, errors, texts, nullptr, options.stop};
  target.kinds = CarveKinds();
  target.caches = true;
  const CarveResult scanned = (*source)->Scan(target);
  outcome.free_space_bytes = scanned.bytes_read;
  if (scanned.stopped) outcome.stopped = true;
  if (!scanned.finished && !scanned.stopped) {
    outcome.free_space_notes.push_back(
        outcome.image + ": its unallocated space was read up to byte " +
        std::to_string(scanned.bytes_read) + " of " + std::to_string(scanned.file_size));
  }
  for (const RawThumbsDb& found : scanned.thumbs_dbs) {
    CacheFileRecord row;
    row.name = "Thumbs.db";
    row.size = static_cast<int64_t>(found.length());
    row.entry_deleted = true;
    if (!found.complete()) row.cut_short = found.measure.Text();
    SetRecordLocation(row, (*source)->CacheLocation(found.offset));
    if (AddCacheFileRow(list, std::move(row), options)) {
      ++outcome.rows_added;
      ++outcome.free_space_rows;
      ++outcome.deleted_rows;
    }
  }
}

// The SHA-256 of a file in `image`; "" when it cannot be read.
std::string Sha256In(const std::shared_ptr<EvidenceImage>& image, const ImageFileLocation& where) {
  auto source = EvidenceFileSource::Open(where, image);
  if (!source) return {};
  const auto print = FingerprintSource(**source);
  return print ? print->sha256 : std::string();
}

// The shadow-copy stores of the volume just walked, oldest first, each
// walked as the volume was; a store that cannot be read is named in its
// report and the next one is read.
void WalkShadowCopies(FoundCacheList& list, const SearchOptions& options,
                      EvidenceSearchOutcome& outcome, const std::shared_ptr<EvidenceImage>& image,
                      const EvidenceVolume& volume, EvidenceVolumeReport& report,
                      SameCacheRows& same) {
  auto copies = image->ShadowCopiesOf(volume.partition);
  if (!copies) {
    report.shadow_copies_error = copies.error();
    return;
  }
  ShadowCopies& stores = **copies;
  for (int number = 1; number <= static_cast<int>(stores.count()) && !outcome.stopped; ++number) {
    ShadowCopyReport& store = report.shadow_copies.emplace_back();
    store.store = stores.facts(number);
    auto fs = stores.FileSystem(number);
    if (fs) {
      const WalkedFileSystem walked{volume.partition, number, *fs, &store.store,
                                    &stores.bytes(number)};
      VolumeWalk(list, options, outcome, image, walked, store, same).Run();
      if (!store.error.empty()) store.error_code = kErrShadowCopy;  // its walk ended early
    } else {
      store.error = fs.error().detail;
      store.error_code = fs.error().code;
    }
    store.unreadable_sectors = stores.bytes(number).unreadable_sectors();
  }
}

}  // namespace

void SameCacheRows::Note(size_t index) {
  if (const ImageFileLocation* inside = InImage(list_[index].location)) {
    by_path_[Upper(inside->inner_path)].push_back(index);
  }
}

const std::string& SameCacheRows::HashOf(size_t index) {
  if (hashed_.insert(index).second && list_[index].sha256.empty()) {
    if (const ImageFileLocation* inside = InImage(list_[index].location)) {
      list_.Edit(index).sha256 = hash_(*inside);
    }
  }
  return list_[index].sha256;
}

bool SameCacheRows::Merge(CacheFileRecord& row) {
  const ImageFileLocation* inside = InImage(row.location);
  if (inside == nullptr) return false;
  if (row.sha256.empty()) row.sha256 = hash_(*inside);
  if (row.sha256.empty()) return false;
  const auto noted = by_path_.find(Upper(inside->inner_path));
  if (noted == by_path_.end()) return false;
  for (const size_t index : noted->second) {
    if (HashOf(index) == row.sha256) {
      list_.Edit(index).also_in.push_back(row.location);
      return true;
    }
  }
  return false;
}

bool EvidenceSearchOutcome::complete() const {
  if (!opened || stopped || unreadable_sectors > 0 || truncated()) return false;
  for (const EvidenceVolumeReport& volume : volumes) {
    if (!volume.walk_complete && volume.duplicate_of == 0) return false;
  }
  return !shadow_copies_incomplete();
}

bool EvidenceSearchOutcome::shadow_copies_incomplete() const {
  for (const EvidenceVolumeReport& volume : volumes) {
    if (!volume.shadow_copies_error.empty()) return true;
    for (const ShadowCopyReport& store : volume.shadow_copies) {
      if (!store.walk_complete || store.unreadable_sectors > 0) return true;
    }
  }
  return false;
}

bool EvidenceSearchOutcome::truncated() const {
  return std::any_of(volumes.begin(), volumes.end(),
                     [](const EvidenceVolumeReport& v) { return !v.past_end.empty(); });
}

EvidenceSearchOutcome SearchEvidenceImage(FoundCacheList& list, const std::string& image_path,
                                          const SearchOptions& options) {
  OpenImages images;
  return SearchEvidenceImage(list, images, image_path, options);
}

EvidenceSearchOutcome SearchEvidenceImage(FoundCacheList& list, OpenImages& images,
                                          const std::string& image_path,
                                          const SearchOptions& options) {
  EvidenceSearchOutcome outcome;
  std::error_code error;
  const auto absolute = std::filesystem::absolute(image_path, error);
  outcome.image = error ? image_path : absolute.lexically_normal().string();
  auto opened = images.Get(outcome.image);
  if (!opened) {
    outcome.error = opened.error().detail;
    outcome.error_code = opened.error().code;
    return outcome;
  }
  std::shared_ptr<EvidenceImage> image = std::move(*opened);
  outcome.opened = true;
  outcome.format = std::string(ImageFormatName(image->format()));
  outcome.segments = image->segment_count();
  outcome.size = image->size();
  std::vector<EvidenceVolume>& volumes = image->Volumes();
  outcome.partitioned = image->partitioned();
  outcome.volumes.resize(volumes.size());
  for (size_t i = 0; i < volumes.size(); ++i) {
    EvidenceVolume& volume = volumes[i];
    EvidenceVolumeReport& report = outcome.volumes[i];
    report.partition = volume.partition;
    report.offset = volume.offset;
    report.length = volume.length;
    report.description = volume.description;
    report.file_system = volume.fs_name;
    report.duplicate_of = volume.duplicate_of;
    report.overlaps = volume.overlaps;
    report.past_end = volume.past_end;
    // The same extent listed again is the same file system: walked once.
    if (volume.duplicate_of != 0 || outcome.stopped) continue;
    if (volume.fs == nullptr) {
      report.error = volume.partition == 0
                         ? "no partition table and no file system recognised (" + volume.error + ")"
                         : "no file system recognised in partition " +
                               std::to_string(volume.partition) + " (" + volume.error + ")";
      continue;
    }
    SameCacheRows same(list,
                       [&image](const ImageFileLocation& where) { return Sha256In(image, where); });
    const WalkedFileSystem walked{volume.partition, 0, volume.fs};
    VolumeWalk(list, options, outcome, image, walked, report, same).Run();
    if (options.shadow_copies && !outcome.stopped && TSK_FS_TYPE_ISNTFS(volume.fs->ftype)) {
      WalkShadowCopies(list, options, outcome, image, volume, report, same);
    }
  }
  if (options.unallocated && !outcome.stopped) SearchFreeSpace(list, options, outcome);
  list.NameSearchIndexes(outcome.search_indexes);
  outcome.unreadable_sectors = image->bytes().unreadable_sectors();
  return outcome;
}

}  // namespace glintvane
