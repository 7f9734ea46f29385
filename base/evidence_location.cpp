#include "base/evidence_location.h"

#include <charconv>
#include <optional>

#include "base/windows_path.h"

namespace glintvane {
namespace {

// Starts the part of the text that says where inside the image.
constexpr std::string_view kPartitionMarker = "#p";

// "<digits>" at text[at...]; moves `at` past them.
template <typename T>
bool ReadNumber(std::string_view text, size_t& at, T& value) {
  if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
  const char* begin = text.data() + at;
  const auto done = std::from_chars(begin, text.data() + text.size(), value);
  if (done.ec != std::errc()) return false;
  at += static_cast<size_t>(done.ptr - begin);
  return true;
}

// The reading with the image part ending at `marker`: "#p<n>:", a store
// ("s<n>:") if any, and the file. An offset ("o<n>:") would be read here,
// beside the inode.
std::optional<EvidenceLocation> ReadAt(std::string_view text, size_t marker) {
  if (marker == 0) return std::nullopt;
  size_t at = marker + kPartitionMarker.size();
  int partition = 0;
  if (!ReadNumber(text, at, partition) || partition > kMaxLocationPartition) return std::nullopt;
  int store = 0;
  if (text.substr(at, 2) == ":s") {
    at += 2;
    if (!ReadNumber(text, at, store) || store < 1 || store > kMaxLocationStore) {
      return std::nullopt;
    }
  }
  if (text.substr(at, 2) != ":i") return std::nullopt;
  at += 2;
  uint64_t inode = 0;
  if (!ReadNumber(text, at, inode)) return std::nullopt;
  if (text.substr(at, 2) != ":/") return std::nullopt;
  return ImageFileLocation{std::string(text.substr(0, marker)), partition, inode,
                           std::string(text.substr(at + 1)), store};
}

std::string PartitionText(const ImageFileLocation& where) {
  std::string text =
      where.image + std::string(kPartitionMarker) + std::to_string(where.partition) + ":";
  if (where.store != 0) text += "s" + std::to_string(where.store) + ":";
  return text;
}

}  // namespace

std::string FormatEvidenceLocation(const EvidenceLocation& where) {
  if (const auto* file = std::get_if<FileLocation>(&where)) return file->path;
  const auto& inside = std::get<ImageFileLocation>(where);
  return PartitionText(inside) + "i" + std::to_string(inside.inode) + ":" + inside.inner_path;
}

std::string EvidenceFolderText(const EvidenceLocation& where) {
  if (const auto* file = std::get_if<FileLocation>(&where)) {
    return std::string(LocalFolderPart(file->path));
  }
  const auto& inside = std::get<ImageFileLocation>(where);
  return PartitionText(inside) + std::string(LocalFolderPart(inside.inner_path));
}

EvidenceLocation ParseEvidenceLocation(std::string_view text, const FileThere& file_there) {
  const std::string whole(text);
  // A file that is really called so is that file.
  if (text.find(kPartitionMarker) == std::string_view::npos || file_there(whole)) {
    return FileLocation{whole};
  }
  // Image names may themselves hold "#p": the first reading whose image is
  // there wins.
  for (size_t marker = text.find(kPartitionMarker); marker != std::string_view::npos;
       marker = text.find(kPartitionMarker, marker + 1)) {
    auto reading = ReadAt(text, marker);
    if (reading && file_there(std::get<ImageFileLocation>(*reading).image)) return *reading;
  }
  return FileLocation{whole};
}

}  // namespace glintvane
