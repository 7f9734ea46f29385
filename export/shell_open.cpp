#include "export/shell_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iterator>

#include "base/windows_path.h"

namespace glintvane {
namespace {

// Types whose default action runs them: scripts of Windows and of Unix
// shells and interpreters, programs, launchers and installers. Upper case.
constexpr std::string_view kRunnableExtensions[] = {
    ".JS",         ".JSE",  ".MJS",  ".VBS",     ".VBE",      ".WSF", ".WSH", ".HTA",  ".BAT",
    ".CMD",        ".COM",  ".EXE",  ".SCR",     ".PIF",      ".CPL", ".MSI", ".MSP",  ".PS1",
    ".PSM1",       ".LNK",  ".URL",  ".REG",     ".JAR",      ".INF", ".SH",  ".BASH", ".ZSH",
    ".KSH",        ".CSH",  ".TCSH", ".FISH",    ".PY",       ".PYW", ".PL",  ".RB",   ".PHP",
    ".LUA",        ".TCL",  ".AWK",  ".DESKTOP", ".APPIMAGE", ".RUN", ".BIN", ".DEB",  ".RPM",
    ".FLATPAKREF", ".SNAP", ".ELF",  ".OUT",     ".COMMAND",  ".APP",
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

ShellFileFacts ReadShellFileFacts(const std::string& path) {
  ShellFileFacts facts;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return facts;
  facts.executable = (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    char head[2] = {};
    facts.script_header = read(fd, head, sizeof head) == 2 && head[0] == '#' && head[1] == '!';
    close(fd);
  }
  return facts;
}

ShellOpenHandler ShellOpenFile(std::string_view path, const ShellFileFacts& facts) {
  if (facts.executable || facts.script_header) return ShellOpenHandler::kChooser;
  // The file part under both separators: the path may be local or a name
  // the cache gave.
  const size_t at = path.find_last_of("/\\");
  const std::string_view file_part = at == std::string_view::npos ? path : path.substr(at + 1);
  const std::string extension = Upper(WindowsExtension(file_part));
  if (extension.empty()) return ShellOpenHandler::kDefault;
  const bool runnable = std::find(std::begin(kRunnableExtensions), std::end(kRunnableExtensions),
                                  extension) != std::end(kRunnableExtensions);
  return runnable ? ShellOpenHandler::kChooser : ShellOpenHandler::kDefault;
}

}  // namespace glintvane
