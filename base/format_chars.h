// Characters that a name must not carry raw into a terminal, a table or a
// file name: they show nothing themselves, or reorder or break the text
// around them, so that a name holding them looks like another.
#pragma once

#include <cstddef>
#include <string_view>

namespace glintvane {

// The length in bytes of the format character (Unicode general category Cf:
// the soft hyphen, zero-width spaces and joiners, the direction marks,
// embeddings, overrides and isolates, the byte-order mark, tags...) or line
// or paragraph separator (U+2028, U+2029) that starts at text[i] in UTF-8,
// with its code point in `code`; 0 when text[i] starts anything else, bytes
// that are no well-formed UTF-8 included.
size_t FormatCharAt(std::string_view text, size_t i, char32_t& code);

}  // namespace glintvane
