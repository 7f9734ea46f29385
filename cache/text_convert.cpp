#include "cache/text_convert.h"

#include <algorithm>
#include <vector>

#include "base/byte_fields.h"
#include "base/utf8.h"

namespace glintvane {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

}  // namespace

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, size_t units) {
  units = std::min(units, bytes.size() / 2);
  std::string out;
  out.reserve(units);
  ByteFields fields(bytes);
  auto unit = [&](size_t i) -> uint32_t { return fields.Le<uint16_t>(2 * i); };
  for (size_t i = 0; i < units; ++i) {
    const uint32_t u = unit(i);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < units) {
        const uint32_t low = unit(i + 1);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
          ++i;
          continue;
        }
      }
      AppendUtf8(out, kReplacement);
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::string ReverseUtf8(std::string_view text) {
  std::vector<std::string_view> characters;
  characters.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t n = 1;
    while (i + n < text.size() && (static_cast<uint8_t>(text[i + n]) & 0xC0) == 0x80) ++n;
    characters.push_back(text.substr(i, n));
    i += n;
  }
  std::string out;
  out.reserve(text.size());
  for (auto it = characters.rbegin(); it != characters.rend(); ++it) out.append(*it);
  return out;
}

}  // namespace glintvane
