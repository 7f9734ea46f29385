#include "export/extract_name.h"

#include <algorithm>
#include <cctype>

#include "base/format_chars.h"
#include "base/utf8.h"

namespace glintvane {
namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// Replaces C0 and C1 control characters (C1 as their UTF-8 pairs C2 80..9F)
// and the invisible and direction-changing characters of FormatCharAt: they
// make names that terminals and file managers show misleadingly ("gpj.exe"
// after U+202E shows as "exe.jpg").
std::string ReplaceControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    char32_t code = 0;
    if (IsControl(c)) {
      out += '_';
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += '_';
      ++i;
    } else if (const size_t length = FormatCharAt(text, i, code); length != 0) {
      out += '_';
      i += length - 1;
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

struct CaseFolding {
  char32_t from;
  char32_t to[3];
};

// Full case folding (the mappings marked C and F), sorted by code point.
constexpr CaseFolding kCaseFolding[] = {
#include "export/case_fold_table.inc"
};

// Decodes one UTF-8 sequence at text[i]; sets `length`. 0 with length 1 for
// a byte that starts no valid sequence (it is then kept as it is).
char32_t DecodeUtf8(std::string_view text, size_t i, size_t& length) {
  const auto b = static_cast<unsigned char>(text[i]);
  length = 1;
  size_t extra = 0;
  char32_t c = 0;
  if (b < 0x80) return b;
  if (b >= 0xC2 && b <= 0xDF) {
    extra = 1;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3;
    c = b & 0x07;
  } else {
    return 0;
  }
  if (i + extra >= text.size()) return 0;
  for (size_t k = 1; k <= extra; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    c = (c << 6) | (t & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
      (c >= 0xD800 && c <= 0xDFFF)) {
    return 0;
  }
  length = extra + 1;
  return c;
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
      ++i;
      continue;
    }
    size_t length = 1;
    const char32_t c = DecodeUtf8(text, i, length);
    const auto* end = std::end(kCaseFolding);
    const auto* it =
        c == 0 ? end
               : std::lower_bound(std::begin(kCaseFolding), end, c,
                                  [](const CaseFolding& f, char32_t v) { return f.from < v; });
    if (it != end && it->from == c) {
      for (const char32_t to : it->to) {
        if (to != 0) AppendUtf8(out, to);
      }
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

namespace {

// The stem of the fallback name for a row whose own name the destination
// refused: the row's number when it is plain letters and digits.
std::string NumberStem(const ThumbnailRow& row) {
  const bool plain = !row.key.empty() && row.key.size() <= kMaxStemBytes &&
                     std::all_of(row.key.begin(), row.key.end(), [](char c) {
                       return std::isalnum(static_cast<unsigned char>(c)) != 0;
                     });
  return plain ? row.key : std::string("thumbnail");
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
  return Claim(ExtractStem(row) + std::string(kExtractSuffix), RowExtension(row));
}

std::string ExtractNamer::Fallback(const ThumbnailRow& row) {
  return Claim(NumberStem(row) + std::string(kExtractSuffix), RowExtension(row));
}

std::string ExtractNamer::Claim(const std::string& base, std::string_view extension) {
  std::string name = base + std::string(extension);
  std::string folded = FoldCase(name);
  if (!taken_.insert(folded).second) {
    // Counting on from where this name's numbers stopped keeps a run of many
    // equal names linear; the check still steps over a name that a row
    // happened to carry ("a_thmb_2.jpg").
    int& next = next_number_[folded];
    if (next < 2) next = 2;
    do {
      name = base + "_" + std::to_string(next++) + std::string(extension);
    } while (!taken_.insert(FoldCase(name)).second);
  }
  return folder_ + name;
}

}  // namespace glintvane
