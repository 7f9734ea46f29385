#include "base/file_time.h"

#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>

#include <array>
#include <ctime>

namespace glintvane {

std::optional<int64_t> FileTimeToUnixSeconds(uint64_t filetime) {
  if (filetime == 0) return std::nullopt;
  return static_cast<int64_t>(filetime / 10000000ULL) - kFileTimeEpochOffsetSeconds;
}

std::string DefaultDateTimeFormat() {
  std::string date = nl_langinfo(D_FMT);
  std::string time = nl_langinfo(T_FMT);
  if (date.empty()) date = "%Y-%m-%d";
  if (time.empty()) time = "%H:%M:%S";
  // Two-digit years are ambiguous in evidence that spans decades.
  for (size_t at = date.find("%y"); at != std::string::npos; at = date.find("%y", at + 2)) {
    date[at + 1] = 'Y';
  }
  return date + " " + time;
}

namespace {

std::string Format(const std::tm& tm, const std::string& format) {
  std::array<char, 256> buffer{};
  const size_t n = std::strftime(buffer.data(), buffer.size(), format.c_str(), &tm);
  return std::string(buffer.data(), n);
}

}  // namespace

std::string FileTimeText(uint64_t filetime, const std::string& format, TimeZoneChoice zone) {
  const auto seconds = FileTimeToUnixSeconds(filetime);
  if (!seconds) return {};
  const std::time_t t = static_cast<std::time_t>(*seconds);
  std::tm tm{};
  const bool converted =
      zone == TimeZoneChoice::kUtc ? gmtime_r(&t, &tm) != nullptr : localtime_r(&t, &tm) != nullptr;
  if (!converted) return {};
  return Format(tm, format);
}

std::string UnixSecondsUtcIso(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return {};
  return Format(tm, "%Y-%m-%dT%H:%M:%SZ");
}

std::string FileTimeUtcIso(uint64_t filetime) {
  const auto seconds = FileTimeToUnixSeconds(filetime);
  if (!seconds) return {};
  return UnixSecondsUtcIso(*seconds);
}

std::optional<int64_t> UtcIsoToUnixSeconds(const std::string& text) {
  std::tm tm{};
  const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return static_cast<int64_t>(timegm(&tm));
}

FileTimes ReadFileTimes(const std::string& path) {
  FileTimes times;
  struct statx st {};
  const unsigned mask = STATX_MTIME | STATX_ATIME | STATX_CTIME | STATX_BTIME;
  if (::statx(AT_FDCWD, path.c_str(), 0, mask, &st) != 0) return times;
  if (st.stx_mask & STATX_MTIME) times.modified = st.stx_mtime.tv_sec;
  if (st.stx_mask & STATX_ATIME) times.accessed = st.stx_atime.tv_sec;
  if (st.stx_mask & STATX_CTIME) times.changed = st.stx_ctime.tv_sec;
  if (st.stx_mask & STATX_BTIME) times.created = st.stx_btime.tv_sec;
  return times;
}

}  // namespace glintvane
