// Listing a large cache with image hashes, against sha256sum of the same
// file in the same run. The cache is made by the test writer: 5,000 JFIF
// thumbnails with a Catalog, mini and regular streams, and a FAT large enough
// to need DIFAT sectors.
//   bench_list_cache [GLINTVANE_CLI]
//   bench_list_cache --write PATH   (only writes the cache, for profiling)
// Prints the median times and their ratios; the goal is at most 3x.
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cache/thumbs_reader.h"
#include "testsupport/cfb_writer.h"
#include "testsupport/synthetic_pictures.h"
#include "testsupport/thumbs_fixtures.h"

namespace {

using namespace glintvane;
using namespace glintvane::testsupport;
using Clock = std::chrono::steady_clock;

constexpr int kThumbnails = 5000;
constexpr int kRuns = 7;  // odd, for a median

std::string MakeCache(const std::string& dir, const std::string& name = "Thumbs.db") {
  std::vector<CatalogItem> items;
  std::vector<CfbEntry> streams;
  // A few hundred distinct pictures, reused: encoding is not what is timed.
  std::vector<std::vector<uint8_t>> pictures;
  for (int i = 0; i < 300; ++i) {
    const int w = 96, h = 48 + (i % 5) * 12;
    pictures.push_back(MakeJpeg(w, h, i, 70 + (i % 4) * 8));
  }
  for (int id = 1; id <= kThumbnails; ++id) {
    items.push_back({id, "holiday picture " + std::to_string(id) + ".jpg",
                     127370000000000000ull + static_cast<uint64_t>(id) * 10000000ull});
    streams.push_back(
        {.name = XpStreamName(id),
         .bytes = MakeJfifThumbStream(pictures[static_cast<size_t>(id) % pictures.size()])});
  }
  std::vector<CfbEntry> entries;
  entries.push_back(std::move(streams.front()));
  entries.push_back({.name = "Catalog", .bytes = MakeCatalog(items)});
  for (size_t i = 1; i < streams.size(); ++i) entries.push_back(std::move(streams[i]));
  const CfbFile file = BuildCompoundFile(entries, CfbOptions{.min_fat_sectors = 112});
  const std::string path = dir + "/" + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.bytes.data()),
             static_cast<std::streamsize>(file.bytes.size()));
  std::printf("cache: %d thumbnails, %.1f MiB, %zu FAT sectors, %zu DIFAT sectors\n", kThumbnails,
              file.bytes.size() / 1048576.0, file.fat_sectors.size(), file.difat_sectors.size());
  return path;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs a program with its output sent to /dev/null; the wall time in seconds.
double RunProgram(const std::vector<std::string>& args) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* null = std::fopen("/dev/null", "w");
    dup2(fileno(null), STDOUT_FILENO);
    std::vector<char*> argv;
    std::vector<std::string> copies(args);
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", args[0].c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The core's listing with a SHA-256 of every stored image, in this process.
double ListInProcess(const std::string& path, size_t& rows) {
  const auto start = Clock::now();
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  const UiTexts texts;
  const CacheReadResult result =
      ReadThumbnailCache(path, CacheReadTarget{list, store, errors, texts});
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const auto bytes = store.View(list[i].start, list[i].length);
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  }
  rows = list.size();
  if (!result.ok) std::exit(1);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write") {
    const std::filesystem::path target(argv[2]);
    MakeCache(target.parent_path().empty() ? "." : target.parent_path().string(),
              target.filename().string());
    return 0;
  }
  char dir_template[] = "/tmp/glintvane-bench-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  if (dir == nullptr) return 1;
  const std::string path = MakeCache(dir);
  std::vector<double> core, cli, baseline;
  size_t rows = 0;
  for (int run = 0; run < kRuns; ++run) {
    baseline.push_back(RunProgram({"sha256sum", path}));
    core.push_back(ListInProcess(path, rows));
    if (argc > 1) cli.push_back(RunProgram({argv[1], "list", "--json", path}));
  }
  const double base = Median(baseline);
  std::printf("rows listed: %zu\n", rows);
  std::printf("sha256sum of the file:          %8.2f ms\n", base * 1e3);
  std::printf("ReadThumbnailCache + SHA-256:   %8.2f ms  ratio %.2f\n", Median(core) * 1e3,
              Median(core) / base);
  if (!cli.empty()) {
    std::printf("glintvane-cli list --json:      %8.2f ms  ratio %.2f\n", Median(cli) * 1e3,
                Median(cli) / base);
  }
  std::printf("goal: ratio at most 3\n");
  std::filesystem::remove_all(dir);
  return 0;
}
