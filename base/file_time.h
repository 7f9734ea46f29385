// Windows FILETIME values (100-ns ticks since 1601-01-01 UTC) as texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace glintvane {

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr int64_t kFileTimeEpochOffsetSeconds = 11644473600;

// Seconds since 1970-01-01 UTC, 64-bit so that times after 2038 stay right.
// nullopt for a FILETIME of 0 (no time recorded).
std::optional<int64_t> FileTimeToUnixSeconds(uint64_t filetime);

// The date-and-time pattern (strftime) the program shows times with: the
// locale's date and time formats, with a four-digit year. Built once at start.
std::string DefaultDateTimeFormat();

// Which clock time texts are shown in. Examiners who compare caches from
// machines in several zones read them all in UTC.
enum class TimeZoneChoice { kLocal, kUtc };

// The time text of a FILETIME in local time (or in UTC), formatted with
// `format` (a strftime pattern). A FILETIME of 0, or one the conversion
// refuses, gives "".
std::string FileTimeText(uint64_t filetime, const std::string& format,
                         TimeZoneChoice zone = TimeZoneChoice::kLocal);

// The same instant as ISO 8601 in UTC ("2004-08-17T10:21:45Z"); "" for 0.
std::string FileTimeUtcIso(uint64_t filetime);

// Seconds since 1970 UTC as ISO 8601 in UTC.
std::string UnixSecondsUtcIso(int64_t seconds);

// ISO 8601 in UTC ("2004-08-17T10:21:45Z", the form the functions above
// write) back to seconds since 1970; nullopt for anything else.
std::optional<int64_t> UtcIsoToUnixSeconds(const std::string& text);

// A file's times in seconds since 1970 UTC, each one only where the file
// system keeps it.
struct FileTimes {
  std::optional<int64_t> modified;  // content last written
  std::optional<int64_t> accessed;
  std::optional<int64_t> changed;  // metadata changed (ctime; NTFS: the MFT entry changed)
  std::optional<int64_t> created;  // birth time, where the file system records one
  bool any() const { return modified || accessed || changed || created; }
};

// The times of the file at `path` (statx, which also gives the birth time on
// file systems that keep one), through symbolic links; all
// empty when it cannot be read.
FileTimes ReadFileTimes(const std::string& path);

}  // namespace glintvane
