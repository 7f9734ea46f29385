// Path rules for names that come from Windows files: the separators are "\"
// and ":" (a drive letter), never "/". Local paths do not use these.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace glintvane {

// MAX_PATH: the characters of the path fields of Windows's fixed-size
// records, the terminating zero included.
inline constexpr size_t kWindowsMaxPath = 260;
// The longest path Windows takes, in UTF-16 units without the terminating
// zero: a UNICODE_STRING counts its bytes in 16 bits.
inline constexpr size_t kWindowsMaxLongPath = 32767;

// The text after the last "\" or ":"; the whole text when it has neither.
std::string_view WindowsFilePart(std::string_view path);
// The text up to and including the last "\" or ":"; "" when it has neither.
std::string_view WindowsFolderPart(std::string_view path);
// From the last "." of the file part to the end, dot included; "" without one.
std::string_view WindowsExtension(std::string_view file_part);

// The same rules for local paths, whose separator is "/".
std::string_view LocalFilePart(std::string_view path);
std::string_view LocalFolderPart(std::string_view path);  // ends with "/" or is ""

// The folder where Windows keeps the search index of the profile a cache
// belongs to: for a cache in <volume>/Users/<user>/AppData/Local/Microsoft/
// Windows/Explorer/ (any letter case), <volume>/ProgramData/Microsoft/Search/
// Data/Applications/Windows/ (ending in "/"). "" for a cache elsewhere.
std::string SearchIndexFolderFor(std::string_view cache_path);

// True for the name of a Windows Search database, any letter case:
// Windows.edb (ESE, Windows 7 to 10) or Windows.db (SQLite, Windows 11).
bool IsSearchIndexName(std::string_view name);

}  // namespace glintvane
