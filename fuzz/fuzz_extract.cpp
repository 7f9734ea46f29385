// Extraction of a cache's rows into the very folder that holds the cache,
// the cache named as an output may be: no output may ever replace or change
// the input, and every output stays in the folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cache/thumbs_reader.h"
#include "export/extract_run.h"
#include "fuzz/fuzz_checks.h"

namespace {

// Names the input takes in turn: the report's, a catalog's and the first
// row's usual output name.
constexpr const char* kInputNames[] = {"index.html", "thumbnails.json", "1_thmb.jpg", "a_thmb.jpg"};

const std::string& Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/glintvane-fuzz-extract-XXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr) std::abort();
    static const std::string made_folder = made;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(made_folder, ec);
    });
    return made_folder + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  namespace fs = std::filesystem;
  const std::string& folder = Folder();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
  const std::string input = folder + kInputNames[size % std::size(kInputNames)];
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  glintvane::ThumbnailList list;
  glintvane::ImageStore store;
  glintvane::ErrorList errors;
  const glintvane::UiTexts texts;
  glintvane::ReadThumbnailCache(input, {list, store, errors, texts});
  for (size_t i = 0; i < list.size(); ++i) list[i].checked = true;
  glintvane::ExtractOptions options;
  options.destination = folder;
  options.open_file = input;
  options.fingerprint_source = false;
  options.run_time = 0;
  const auto outcome = glintvane::ActionExtract(list, store, options, errors, texts);
  glintvane::fuzz::CheckOutputsSpareInput(outcome, input, folder, {data, size});
  return 0;
}
