// Every input that ever crashed, hung or misled a parser, fed to that parser
// again. Inputs lie in inputs/<parser>/; each is listed in kCases with the
// verdict it must get, a one-line summary of what the parser made of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "cache/thumbs_reader.h"
#include "carve/carve_scan.h"
#include "carve/jpeg_walker.h"
#include "discover/recycle_bin.h"
#include "texts/ui_texts.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* input;    // path under inputs/
  const char* verdict;  // what the parser must make of it
  const char* why;      // what went wrong with it once
};

// clang-format off
const std::vector<Case> kCases = {
  {"thumbs_cache/stream-claims-2gib.db", "error 502 rows 1",
   "the stream buffer was sized from the 2 GiB size field before the one-sector chain was read"},
  {"thumbs_cache/raw-frame-8000x8000.db", "ok rows 0 with error lines",
   "a 4 KB raw-colour stream made the reader decode and re-encode 64 megapixels (seconds)"},
};
// clang-format on

// "ok rows N", "ok rows N with error lines" (a thumbnail was skipped) or
// "error CODE rows N": a failed read must leave an error line, and every
// stored row must lie inside the image store.
std::string CacheVerdict(std::span<const uint8_t> bytes) {
  MemoryByteSource source(bytes);
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  const UiTexts texts;
  const CacheReadResult result =
      ReadThumbnailCache(source, "input.db", {list, store, errors, texts});
  for (size_t i = 0; i < list.size(); ++i) {
    const ThumbnailRow& row = list[i];
    if (row.source_kind == SourceKind::kImageStore && row.length != 0 &&
        store.View(row.start, row.length).empty()) {
      return "row " + row.key + " outside the image store";
    }
  }
  const std::string rows = " rows " + std::to_string(list.size());
  if (result.ok) return "ok" + rows + (errors.empty() ? "" : " with error lines");
  if (errors.empty()) return "error " + std::to_string(result.error_code) + " without a line";
  return "error " + std::to_string(result.error_code) + rows;
}

// "rows N", after checking that each row lies inside the scanned bytes.
std::string CarveVerdict(std::span<const uint8_t> bytes) {
  ThumbnailList list;
  ErrorList errors;
  const UiTexts texts;
  const CarveResult result = ScanBytesForImages(bytes, "input.bin", {list, errors, texts});
  if (!result.finished) return "unfinished";
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].start < 0 || uint64_t(list[i].start + list[i].length) > bytes.size()) {
      return "row " + list[i].key + " outside the file";
    }
  }
  return "rows " + std::to_string(list.size());
}

// "complete N", "broken N" or "walking N", N the bytes used.
std::string WalkerVerdict(std::span<const uint8_t> bytes) {
  const JpegWalkResult result = WalkJpeg(bytes);
  const char* status = result.status == JpegWalker::Status::kComplete ? "complete"
                       : result.status == JpegWalker::Status::kBroken ? "broken"
                                                                      : "walking";
  return std::string(status) + " " + std::to_string(result.length);
}

// "records N stop end|record-size|read-failed".
std::string IndexVerdict(std::span<const uint8_t> bytes) {
  MemoryByteSource source(bytes);
  const RecycleBinIndex index = ReadRecycleBinRecords(source);
  const char* stop = index.stop == IndexStop::kEnd             ? "end"
                     : index.stop == IndexStop::kBadRecordSize ? "record-size"
                                                               : "read-failed";
  return "records " + std::to_string(index.records.size()) + " stop " + stop;
}

// "replaced N".
std::string LanguageVerdict(std::span<const uint8_t> bytes) {
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  UiTexts texts;
  return "replaced " + std::to_string(texts.ReadLanguageLines(in));
}

// The folder under inputs/ names the parser.
std::string Verdict(const std::string& parser, std::span<const uint8_t> bytes) {
  if (parser == "thumbs_cache") return CacheVerdict(bytes);
  if (parser == "carve_scan") return CarveVerdict(bytes);
  if (parser == "jpeg_walker") return WalkerVerdict(bytes);
  if (parser == "info2") return IndexVerdict(bytes);
  if (parser == "language_file") return LanguageVerdict(bytes);
  return "no parser named " + parser;
}

fs::path InputsDir() {
  return fs::path(GLINTVANE_REGRESSION_DIR);
}

TEST(Regression, EveryInputGetsItsVerdictQuickly) {
  // Hangs were among the findings: each input must finish well inside the
  // one second the fuzz runs allow, sanitizers included.
  constexpr auto kBudget = std::chrono::seconds(1);
  for (const Case& c : kCases) {
    const fs::path path = InputsDir() / c.input;
    auto bytes = ReadWholeFile(path.string());
    ASSERT_TRUE(bytes) << path;
    const std::string parser = fs::path(c.input).parent_path().string();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Verdict(parser, *bytes), c.verdict) << c.input << ": " << c.why;
    EXPECT_LT(std::chrono::steady_clock::now() - started, kBudget) << c.input;
  }
}

TEST(Regression, EveryInputIsListed) {
  std::set<std::string> listed;
  for (const Case& c : kCases) listed.insert(c.input);
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(InputsDir(), ec)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    const std::string relative = fs::relative(entry.path(), InputsDir()).generic_string();
    EXPECT_TRUE(listed.count(relative)) << relative << " has no verdict in kCases";
  }
}

}  // namespace
}  // namespace glintvane
