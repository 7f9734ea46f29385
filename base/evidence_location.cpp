#include "base/evidence_location.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "base/windows_path.h"

namespace glintvane {
namespace {

// Start the part of the text that says where inside the image or the file.
constexpr std::string_view kPartitionMarker = "#p";
constexpr std::string_view kOffsetMarker = "#o";

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

// The reading with the file part ending at `marker`: "#o<offset>" to the
// end, or "#p<n>:" and then what lies in that partition: an offset, or a
// store ("s<n>:") if any and an inode.
std::optional<EvidenceLocation> ReadAt(std::string_view text, size_t marker) {
  if (marker == 0) return std::nullopt;
  size_t at = marker + kPartitionMarker.size();
  const std::string file(text.substr(0, marker));
  if (text.substr(marker, kOffsetMarker.size()) == kOffsetMarker) {
    uint64_t offset = 0;
    if (!ReadNumber(text, at, offset) || at != text.size()) return std::nullopt;
    return OffsetLocation{file, OffsetLocation::kWholeFile, offset, ""};
  }
  int partition = 0;
  if (!ReadNumber(text, at, partition) || partition > kMaxLocationPartition) return std::nullopt;
  if (text.substr(at, 2) == ":o") {
    at += 2;
    uint64_t offset = 0;
    if (!ReadNumber(text, at, offset) || text.substr(at, 1) != ":") return std::nullopt;
    return OffsetLocation{file, partition, offset, std::string(text.substr(at + 1))};
  }
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
  return ImageFileLocation{file, partition, inode, std::string(text.substr(at + 1)), store};
}

std::string PartitionText(const std::string& image, int partition) {
  return image + std::string(kPartitionMarker) + std::to_string(partition) + ":";
}

std::string PartitionText(const ImageFileLocation& where) {
  std::string text = PartitionText(where.image, where.partition);
  if (where.store != 0) text += "s" + std::to_string(where.store) + ":";
  return text;
}

// The file whose existence says a reading is meant.
const std::string& FilePart(const EvidenceLocation& where) {
  if (const auto* inside = InImage(where)) return inside->image;
  if (const auto* at = AtOffset(where)) return at->file;
  return std::get<FileLocation>(where).path;
}

// The next place at or after `from` where "#p" or "#o" starts.
size_t NextMarker(std::string_view text, size_t from) {
  return std::min(text.find(kPartitionMarker, from), text.find(kOffsetMarker, from));
}

}  // namespace

std::string FormatEvidenceLocation(const EvidenceLocation& where) {
  if (const auto* file = std::get_if<FileLocation>(&where)) return file->path;
  if (const auto* at = AtOffset(where)) {
    if (at->partition == OffsetLocation::kWholeFile) {
      return at->file + std::string(kOffsetMarker) + std::to_string(at->offset);
    }
    return PartitionText(at->file, at->partition) + "o" + std::to_string(at->offset) + ":" +
           at->name;
  }
  const auto& inside = std::get<ImageFileLocation>(where);
  return PartitionText(inside) + "i" + std::to_string(inside.inode) + ":" + inside.inner_path;
}

std::string EvidenceFolderText(const EvidenceLocation& where) {
  if (const auto* file = std::get_if<FileLocation>(&where)) {
    return std::string(LocalFolderPart(file->path));
  }
  if (const auto* at = AtOffset(where)) {
    if (at->partition == OffsetLocation::kWholeFile) {
      return std::string(LocalFolderPart(at->file));
    }
    return PartitionText(at->file, at->partition);
  }
  const auto& inside = std::get<ImageFileLocation>(where);
  return PartitionText(inside) + std::string(LocalFolderPart(inside.inner_path));
}

EvidenceLocation ParseEvidenceLocation(std::string_view text, const FileThere& file_there) {
  const std::string whole(text);
  // A file that is really called so is that file.
  if (NextMarker(text, 0) == std::string_view::npos || file_there(whole)) {
    return FileLocation{whole};
  }
  // File names may themselves hold "#p" or "#o": the first reading whose
  // file is there wins.
  for (size_t marker = NextMarker(text, 0); marker != std::string_view::npos;
       marker = NextMarker(text, marker + 1)) {
    auto reading = ReadAt(text, marker);
    if (reading && file_there(FilePart(*reading))) return *reading;
  }
  return FileLocation{whole};
}

}  // namespace glintvane
