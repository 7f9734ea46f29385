// Listing the real 3 MiB Windows 10 thumbcache_32.db (777 BMP entries) with a
// SHA-256 of every stored image, against sha256sum of the same file in the
// same run. The file is read where it lies (../shared/corpus), never copied.
//   bench_list_thumbcache [CACHE] [GLINTVANE_CLI]
// Prints the median times and their ratios; the goal is at most 3x.
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cache/thumbcache_reader.h"

namespace {

using namespace glintvane;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 21;  // odd, for a median; a run takes milliseconds

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

// The core's listing (the index beside the cache included) with a SHA-256
// of every stored image, in this process.
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
  const std::string path =
      argc > 1 ? argv[1] : GLINTVANE_CORPUS_DIR "/real/thumbcache/win10-a/thumbcache_32.db";
  if (!std::filesystem::is_regular_file(path)) {
    std::fprintf(stderr, "no cache at %s\n", path.c_str());
    return 1;
  }
  std::printf("cache: %s, %.1f MiB\n", path.c_str(), std::filesystem::file_size(path) / 1048576.0);
  std::vector<double> core, cli, baseline;
  size_t rows = 0;
  for (int run = 0; run < kRuns; ++run) {
    baseline.push_back(RunProgram({"sha256sum", path}));
    core.push_back(ListInProcess(path, rows));
    if (argc > 2) cli.push_back(RunProgram({argv[2], "list", "--json", path}));
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
  return 0;
}
