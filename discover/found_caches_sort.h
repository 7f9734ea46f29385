// Sorting the found-caches list by one of its four columns. Pure functions:
// the window calls them from its list's comparison and reports failures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "discover/found_caches.h"

namespace glintvane {

// The columns of the found-caches list.
enum FoundCacheColumn : int {
  kFoundColumnFile = 0,
  kFoundColumnSize = 1,
  kFoundColumnModified = 2,
  kFoundColumnLocation = 3,
};

// Byte-wise comparison that folds only the letters a to z to A to Z: the
// difference of the first differing folded bytes (as unsigned values), or of
// the lengths when one text begins the other. Bytes of other letters (UTF-8
// sequences of accented ones included) are compared as they are.
int CompareFoldedText(std::string_view a, std::string_view b);

// Reads a file time text written as "d.m.yyyy h:m:s" back into a number that
// orders like the time it names (seconds of the local calendar, 64-bit, so
// any two times compare without overflow). nullopt when the text is not of
// that form or names no valid date.
std::optional<int64_t> ParseFoundFileTimeText(std::string_view text);

// The sort key of a modified text: the part before the first " - " (a
// recycled row's deletion time is not compared), read as above. An empty
// part (a file that could not be opened) gives nullopt, which sorts before
// every time; a part that cannot be read gives an error detail in the
// "class name: message" form the error list takes.
tl::expected<std::optional<int64_t>, std::string> ModifiedSortKey(std::string_view modified);

// Compares two rows by `column` in ascending order: negative when `a` goes
// first, positive when `b` does, 0 when equal. File and any column past the
// last compare as folded text (File by name, the rest by location), Size as a
// number (an unknown size counts as 0), Modified by ModifiedSortKey. The
// error is the detail text to record; the window counts the pair as equal.
tl::expected<int, std::string> CompareFoundCaches(const CacheFileRecord& a,
                                                  const CacheFileRecord& b, int column);

// Sorts the list once by `column` (equal rows keep their order) and returns
// one detail text per row whose modified text could not be read; such a row
// sorts as if it had no time, so the order stays consistent.
std::vector<std::string> SortFoundCaches(FoundCacheList& list, int column, bool ascending);

}  // namespace glintvane
