// Path rules for names that come from Windows files: the separators are "\"
// and ":" (a drive letter), never "/". Local paths do not use these.
#pragma once

#include <string>
#include <string_view>

namespace glintvane {

// The text after the last "\" or ":"; the whole text when it has neither.
std::string_view WindowsFilePart(std::string_view path);
// The text up to and including the last "\" or ":"; "" when it has neither.
std::string_view WindowsFolderPart(std::string_view path);
// From the last "." of the file part to the end, dot included; "" without one.
std::string_view WindowsExtension(std::string_view file_part);

// The same rules for local paths, whose separator is "/".
std::string_view LocalFilePart(std::string_view path);
std::string_view LocalFolderPart(std::string_view path);  // ends with "/" or is ""

}  // namespace glintvane
