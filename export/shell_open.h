// Which files may be handed to the desktop's default handler, and which only
// to an application chooser. The default handler of a script or a launcher
// runs it; a name from a cache must never get that far.
#pragma once

#include <string>
#include <string_view>

namespace glintvane {

enum class ShellOpenHandler {
  kDefault,  // the desktop's default action (xdg-open, ShellExecute)
  kChooser,  // an application chooser ("Open With")
};

// What the decision needs to know about the file beyond its name.
struct ShellFileFacts {
  bool executable = false;     // a regular file with an execute bit set
  bool script_header = false;  // starts with "#!"
};

// Reads the facts of a file on disk (stat, the first two bytes). A file that
// cannot be read has none.
ShellFileFacts ReadShellFileFacts(const std::string& path);

// The chooser for executable files, files that start with "#!", and names
// whose extension (from the last "." of the file part, any case) marks a
// script, a program, a launcher or an installer; the default handler
// otherwise.
ShellOpenHandler ShellOpenFile(std::string_view path, const ShellFileFacts& facts);

}  // namespace glintvane
