#include "discover/found_caches_sort.h"

#include <algorithm>
#include <numeric>

namespace glintvane {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

uint8_t FoldAsciiLower(char c) {
  const auto b = static_cast<uint8_t>(c);
  return (b >= 'a' && b <= 'z') ? static_cast<uint8_t>(b - 32) : b;
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int64_t month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads 1 to `max_digits` decimal digits followed by `end` (or the end of the
// text when `end` is 0).
bool ReadNumber(std::string_view& text, size_t max_digits, char end, int64_t& value) {
  size_t n = 0;
  value = 0;
  while (n < text.size() && n < max_digits && text[n] >= '0' && text[n] <= '9') {
    value = value * 10 + (text[n] - '0');
    ++n;
  }
  if (n == 0) return false;
  text.remove_prefix(n);
  if (end == 0) return text.empty();
  if (text.empty() || text.front() != end) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

int CompareFoldedText(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const int fa = FoldAsciiLower(a[i]);
    const int fb = FoldAsciiLower(b[i]);
    if (fa != fb) return fa - fb;
  }
  // Names are far shorter than 2^31 bytes.
  return static_cast<int>(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size()));
}

std::optional<int64_t> ParseFoundFileTimeText(std::string_view text) {
  int64_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
  // The writer pads the year to four digits; five allow a year past 9999.
  if (!ReadNumber(text, 2, '.', day) || !ReadNumber(text, 2, '.', month) ||
      !ReadNumber(text, 5, ' ', year) || !ReadNumber(text, 2, ':', hour) ||
      !ReadNumber(text, 2, ':', minute) || !ReadNumber(text, 2, 0, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

tl::expected<std::optional<int64_t>, std::string> ModifiedSortKey(std::string_view modified) {
  const std::string_view written = modified.substr(0, modified.find(kDeletedTimeJoiner));
  if (written.empty()) return std::optional<int64_t>();
  const auto key = ParseFoundFileTimeText(written);
  if (!key) {
    return tl::unexpected("ConvertError: '" + std::string(written) +
                          "' is not a valid date and time");
  }
  return key;
}

tl::expected<int, std::string> CompareFoundCaches(const CacheFileRecord& a,
                                                  const CacheFileRecord& b, int column) {
  switch (column) {
    case kFoundColumnFile:
      return CompareFoldedText(a.name, b.name);
    case kFoundColumnSize:
      return Sign(a.size.value_or(0), b.size.value_or(0));
    case kFoundColumnModified: {
      const auto ka = ModifiedSortKey(a.modified);
      if (!ka) return tl::unexpected(ka.error());
      const auto kb = ModifiedSortKey(b.modified);
      if (!kb) return tl::unexpected(kb.error());
      return Sign(*ka, *kb);  // nullopt orders before every time
    }
    default:
      return CompareFoldedText(a.located, b.located);
  }
}

std::vector<std::string> SortFoundCaches(FoundCacheList& list, int column, bool ascending) {
  std::vector<std::string> failures;
  std::vector<size_t> order(list.size());
  std::iota(order.begin(), order.end(), size_t{0});
  // Comparing a key read once per row keeps the order a strict weak one
  // even when some texts cannot be read.
  std::vector<std::optional<int64_t>> keys;
  if (column == kFoundColumnModified) {
    keys.reserve(list.size());
    for (const CacheFileRecord& row : list.rows()) {
      auto key = ModifiedSortKey(row.modified);
      if (!key) failures.push_back(std::move(key.error()));
      keys.push_back(key ? *key : std::nullopt);
    }
  }
  const auto ascending_cmp = [&](size_t x, size_t y) {
    if (column == kFoundColumnModified) return Sign(keys[x], keys[y]);
    return *CompareFoundCaches(list[x], list[y], column);
  };
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    const int cmp = ascending_cmp(x, y);
    return ascending ? cmp < 0 : cmp > 0;
  });
  list.Reorder(order);
  return failures;
}

}  // namespace glintvane
