#include "evidence/evidence_path.h"

#include <sys/stat.h>

#include <charconv>

namespace glintvane {
namespace {

constexpr std::string_view kMarker = "#p";
// A GPT's 128 entries are a default, not a bound (its header may declare
// more, and logical MBR partitions chain without end), so the number is not
// held near 128; past 100,000 (12.8 MB of GPT entries) it is a slip.
constexpr int kMaxPartition = 100000;

// "<digits>" at text[at...]; moves `at` past them.
template <typename T>
bool ReadNumber(std::string_view text, size_t& at, T& value) {
  const char* begin = text.data() + at;
  const char* end = text.data() + text.size();
  if (begin == end || *begin < '0' || *begin > '9') return false;
  const auto done = std::from_chars(begin, end, value);
  if (done.ec != std::errc()) return false;
  at += static_cast<size_t>(done.ptr - begin);
  return true;
}

std::optional<EvidencePath> ParseAt(std::string_view text, size_t marker) {
  EvidencePath path;
  path.image = std::string(text.substr(0, marker));
  if (path.image.empty()) return std::nullopt;
  size_t at = marker + kMarker.size();
  if (!ReadNumber(text, at, path.partition) || path.partition > kMaxPartition) return std::nullopt;
  if (text.substr(at, 2) != ":i") return std::nullopt;
  at += 2;
  if (!ReadNumber(text, at, path.inode)) return std::nullopt;
  if (text.substr(at, 2) != ":/") return std::nullopt;
  path.inner_path = std::string(text.substr(at + 1));
  return path;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string FormatEvidencePath(const EvidencePath& path) {
  return path.image + std::string(kMarker) + std::to_string(path.partition) + ":i" +
         std::to_string(path.inode) + ":" + path.inner_path;
}

std::optional<EvidencePath> ParseEvidencePath(std::string_view text) {
  std::optional<EvidencePath> first;
  for (size_t marker = text.find(kMarker); marker != std::string_view::npos;
       marker = text.find(kMarker, marker + 1)) {
    auto parsed = ParseAt(text, marker);
    if (!parsed) continue;
    if (Exists(parsed->image)) return parsed;
    if (!first) first = std::move(parsed);
  }
  return first;
}

}  // namespace glintvane
