#include "cli/cli_common.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace glintvane::cli {

const UiTexts& CliTexts() {
  static const UiTexts texts;
  return texts;
}

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
  if (enabled_ && last_ >= 0) std::fputs("\r\033[K", stderr);
}

void TerminalProgress::OnProgress(int position, const std::string& text) {
  if (!enabled_ || position == last_) return;
  last_ = position;
  // A bar of kBarWidth cells, full at kProgressFull.
  constexpr int kBarWidth = 30;
  const int filled = std::clamp(position, 0, kProgressFull) * kBarWidth / kProgressFull;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '-');
  std::fprintf(stderr, "\r[%s] %s", bar.c_str(), text.c_str());
  std::fflush(stderr);
}

namespace {
std::string& CommandLineStore() {
  static std::string line;
  return line;
}
}  // namespace

void SetCommandLine(int argc, char** argv) {
  std::string& line = CommandLineStore();
  line.clear();
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    const std::string word = argv[i];
    // Quoted as a shell would need it, so the line can be run again.
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./=:,+@%") == std::string::npos;
    if (plain) {
      line += word;
      continue;
    }
    line += '\'';
    for (char c : word) {
      if (c == '\'') {
        line += "'\\''";
      } else {
        line += c;
      }
    }
    line += '\'';
  }
}

const std::string& CommandLine() {
  return CommandLineStore();
}

}  // namespace glintvane::cli
