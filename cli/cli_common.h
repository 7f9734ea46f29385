// Pieces the subcommands share.
#pragma once

#include <stop_token>
#include <string>

#include "base/progress.h"
#include "texts/ui_texts.h"

namespace glintvane::cli {

// Ctrl-C (SIGINT) asks the running command to stop instead of killing it:
// the work ends at its next check, outputs written so far stay whole, and
// the program exits 130. A second Ctrl-C kills as usual. Call once, before
// any other thread starts.
void WatchInterrupt();
// Requested once Ctrl-C was pressed.
std::stop_token InterruptStop();

// The English texts the command line reports with.
const UiTexts& CliTexts();

// Writes the progress line "NN %" to standard error, when it is a terminal.
class TerminalProgress final : public ProgressSink {
 public:
  TerminalProgress();
  ~TerminalProgress() override;
  void OnProgress(int position, const std::string& text) override;

 private:
  bool enabled_ = false;
  int last_ = -1;
};

}  // namespace glintvane::cli
