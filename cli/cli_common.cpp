#include "cli/cli_common.h"

#include <unistd.h>

#include <cstdio>

namespace glintvane::cli {

const UiTexts& CliTexts() {
  static const UiTexts texts;
  return texts;
}

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
  if (enabled_ && last_ >= 0) std::fputs("\r      \r", stderr);
}

void TerminalProgress::OnProgress(int position, const std::string& text) {
  if (!enabled_ || position == last_) return;
  last_ = position;
  std::fprintf(stderr, "\r%s", text.c_str());
  std::fflush(stderr);
}

}  // namespace glintvane::cli
