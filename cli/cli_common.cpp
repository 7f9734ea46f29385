#include "cli/cli_common.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <thread>

namespace glintvane::cli {
namespace {

std::stop_source& InterruptSource() {
  static std::stop_source source;
  return source;
}

}  // namespace

void WatchInterrupt() {
  // The signal is taken by a thread of its own with sigwait, so requesting
  // the stop runs as ordinary code, not inside a signal handler.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  std::thread([set] {
    int signal_number = 0;
    if (sigwait(&set, &signal_number) != 0) return;
    InterruptSource().request_stop();
    // The next Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    for (;;) pause();
  }).detach();
}

std::stop_token InterruptStop() {
  return InterruptSource().get_token();
}

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
