// Names in a cache are UTF-16LE; the program keeps them as UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace glintvane {

// Converts up to `units` UTF-16LE code units from `bytes` (fewer when the
// bytes run out) to UTF-8. The text ends at the first zero code unit, as the
// original program's zero-terminated buffers did. Unpaired surrogates become
// U+FFFD. Nothing is cut for length: long names are kept whole.
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, size_t units);

// The text reversed character by character (code point by code point, so a
// multi-byte UTF-8 sequence stays whole): stream "321" is thumbnail 123.
std::string ReverseUtf8(std::string_view text);

}  // namespace glintvane
