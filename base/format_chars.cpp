#include "base/format_chars.h"

#include <algorithm>
#include <iterator>

namespace glintvane {
namespace {

struct CodeRange {
  char32_t first;
  char32_t last;
};

constexpr CodeRange kFormatChars[] = {
#include "base/format_char_table.inc"
};

bool IsFormatChar(char32_t code) {
  // The ranges are in order: the first whose end is not below `code`.
  const auto* range = std::lower_bound(std::begin(kFormatChars), std::end(kFormatChars), code,
                                       [](const CodeRange& r, char32_t c) { return r.last < c; });
  return range != std::end(kFormatChars) && range->first <= code;
}

// The code point of the well-formed UTF-8 sequence at text[i] and its
// length, or 0: no overlong forms, no surrogates, nothing past U+10FFFF.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  char32_t smallest = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  char32_t value = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  code = value;
  return length;
}

}  // namespace

size_t FormatCharAt(std::string_view text, size_t i, char32_t& code) {
  // Every one of them is above U+00AC: plain ASCII is settled on its byte.
  if (i >= text.size() || static_cast<unsigned char>(text[i]) < 0xC2) return 0;
  char32_t value = 0;
  const size_t length = DecodeUtf8(text, i, value);
  if (length == 0 || !IsFormatChar(value)) return 0;
  code = value;
  return length;
}

}  // namespace glintvane
