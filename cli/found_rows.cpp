#include "cli/found_rows.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/cli_common.h"
#include "texts/ui_texts.h"

namespace glintvane::cli {
namespace {

// A terminal line rewritten per folder would cost more than the walk.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// Long folder names are cut on the progress line so it stays on one row.
constexpr size_t kProgressNameWidth = 50;

// Characters, not bytes: names are UTF-8.
size_t DisplayWidth(const std::string& text) {
  return static_cast<size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; }));
}

}  // namespace

TerminalFolderProgress::TerminalFolderProgress() : enabled_(isatty(STDERR_FILENO) == 1) {}

TerminalFolderProgress::~TerminalFolderProgress() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void TerminalFolderProgress::OnFolder(uint64_t folder_count, std::string_view name) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < kProgressInterval) return;
  last_ = now;
  shown_ = true;
  const std::string shown = Printable(name.substr(0, kProgressNameWidth));
  std::fprintf(stderr, "\r\033[K%s: %llu  %s", CliTexts()[kTextFolders].c_str(),
               static_cast<unsigned long long>(folder_count), shown.c_str());
  std::fflush(stderr);
}

void PrintFoundTable(const FoundCacheList& list, bool image_rows) {
  const UiTexts& texts = CliTexts();
  std::vector<std::vector<std::string>> cells;
  cells.push_back({texts[kTextFile], texts[kTextSize],
                   texts[kTextModified] + std::string(kDeletedTimeJoiner) + texts[kTextDeleted],
                   image_rows ? std::string("Entry") : texts[kTextLocation], "Path"});
  for (const CacheFileRecord& row : list.rows()) {
    const bool deleted = row.entry_deleted;
    cells.push_back(
        {Printable(row.name), row.size ? std::to_string(*row.size) : std::string(),
         Printable(row.modified),
         image_rows ? std::string(deleted ? "deleted" : "allocated") : Printable(row.located),
         Printable(row.path)});
  }
  std::vector<size_t> widths(cells.front().size(), 0);
  for (const auto& line : cells) {
    for (size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(line[i]));
  }
  for (const auto& line : cells) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
      out += line[i];
      if (i + 1 < line.size()) out.append(widths[i] - DisplayWidth(line[i]) + 2, ' ');
    }
    std::puts(out.c_str());
  }
}

nlohmann::json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

nlohmann::json FoundRowJson(const CacheFileRecord& row) {
  nlohmann::json r = {{"name", row.name},
                      {"size", row.size ? nlohmann::json(*row.size) : nlohmann::json(nullptr)},
                      {"modified", row.modified},
                      {"modified_utc", TextOrNull(row.modified_utc)},
                      {"located", row.located},
                      {"path", row.path},
                      // A thumbcache's Windows Search index, when the search met it.
                      {"search_index", TextOrNull(row.search_index)}};
  // A path that is not UTF-8 comes out with replacement characters; its
  // exact bytes go beside it.
  if (!IsUtf8(row.path)) r["path_hex"] = HexOf(row.path);
  if (const ImageFileLocation* inside = InImage(row.location)) {
    r["image"] = inside->image;
    r["partition"] = inside->partition;
    r["inner_path"] = inside->inner_path;
    r["inode"] = inside->inode;
    r["deleted"] = row.entry_deleted;
    r["recycled"] = row.recycled;
    if (row.recycled) {
      r["deleted_time"] = TextOrNull(row.deleted);
      r["deleted_utc"] = TextOrNull(row.deleted_utc);
    }
    // Read from a shadow-copy store: which one; null for the volume as it is.
    r["shadow_copy"] = inside->store == 0
                           ? nlohmann::json()
                           : nlohmann::json{{"store", inside->store},
                                            {"created_utc", TextOrNull(row.shadow_created_utc)},
                                            {"identifier", TextOrNull(row.shadow_identifier)}};
    // The other places the same bytes lie under the same path.
    nlohmann::json also = nlohmann::json::array();
    for (const EvidenceLocation& where : row.also_in) also.push_back(FormatEvidenceLocation(where));
    r["also_in"] = std::move(also);
    r["sha256"] = TextOrNull(row.sha256);
  } else if (const OffsetLocation* at = AtOffset(row.location)) {
    // Found by its bytes: where its header lies, and whether the run or the
    // file it lies in holds all of it.
    r["image"] = at->file;
    if (at->partition != OffsetLocation::kWholeFile) r["partition"] = at->partition;
    r["offset"] = at->offset;
    r["deleted"] = row.entry_deleted;
    r["recycled"] = false;
    r["complete"] = row.cut_short.empty();
    r["cut_short"] = TextOrNull(row.cut_short);
  } else if (row.recycled) {
    r["deleted"] = TextOrNull(row.deleted);
    r["deleted_utc"] = TextOrNull(row.deleted_utc);
  }
  return r;
}

nlohmann::json SearchIndexesJson(const std::vector<FoundSearchIndex>& indexes) {
  nlohmann::json list = nlohmann::json::array();
  for (const FoundSearchIndex& index : indexes) {
    list.push_back({{"path", index.path}, {"deleted", index.deleted}});
  }
  return list;
}

void PrintSearchIndexes(const std::vector<FoundSearchIndex>& indexes, const FoundCacheList& list) {
  for (const FoundSearchIndex& index : indexes) {
    const auto named = std::count_if(list.rows().begin(), list.rows().end(), [&](const auto& row) {
      return row.search_index == index.path;
    });
    std::printf("%s: %s%s (names the rows of %lld listed caches)\n",
                CliTexts()[kTextSearchIndex].c_str(), Printable(index.path).c_str(),
                index.deleted ? " (deleted)" : "", static_cast<long long>(named));
  }
}

}  // namespace glintvane::cli
