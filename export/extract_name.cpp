#include "export/extract_name.h"

#include <algorithm>
#include <cctype>

namespace glintvane {
namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// Replaces C0 and C1 control characters (C1 as their UTF-8 pairs C2 80..9F):
// they make names that terminals and file managers show misleadingly.
std::string ReplaceControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsControl(c)) {
      out += '_';
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += '_';
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Cuts to at most `limit` bytes without splitting a UTF-8 sequence.
void CutUtf8(std::string& text, size_t limit) {
  if (text.size() <= limit) return;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
}

bool Usable(std::string_view stem) {
  return std::any_of(stem.begin(), stem.end(), [](char c) { return c != '.' && c != ' '; });
}

// The file part under all three separators: names are Windows paths, but a
// hostile one may use "/" to climb out of the destination here.
std::string_view AnyFilePart(std::string_view path) {
  const size_t at = path.find_last_of("\\:/");
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string CleanStem(std::string_view text, bool cut_extension) {
  std::string_view part = AnyFilePart(text);
  if (part == "." || part == "..") return {};
  if (cut_extension) {
    const size_t dot = part.rfind('.');
    if (dot != std::string_view::npos) part = part.substr(0, dot);
  }
  std::string stem = ReplaceControls(part);
  CutUtf8(stem, kMaxStemBytes);
  return Usable(stem) ? stem : std::string{};
}

std::string FoldCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string ExtractStem(const ThumbnailRow& row) {
  if (!row.carved) {
    std::string stem = CleanStem(row.name, true);
    if (!stem.empty()) return stem;
  }
  // The number is a decimal id for most rows, but a thumbnail stream with a
  // strange name gives a key of that name: it is cleaned like a name, and its
  // dots are kept since it has no extension.
  std::string stem = CleanStem(row.key, false);
  return stem.empty() ? std::string("thumbnail") : stem;
}

std::string MakeExtractName(const ThumbnailRow& row, std::string_view folder) {
  std::string path(folder);
  path += ExtractStem(row);
  path += kExtractSuffix;
  path += RowExtension(row);
  return path;
}

std::string ExtractNamer::Next(const ThumbnailRow& row) {
  const std::string base = ExtractStem(row) + std::string(kExtractSuffix);
  const std::string_view extension = RowExtension(row);
  std::string name = base + std::string(extension);
  for (int n = 2; !taken_.insert(FoldCase(name)).second; ++n) {
    name = base + "_" + std::to_string(n) + std::string(extension);
  }
  return folder_ + name;
}

}  // namespace glintvane
