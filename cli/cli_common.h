// Pieces the subcommands share.
#pragma once

#include <string>

#include "base/progress.h"
#include "texts/ui_texts.h"

namespace glintvane::cli {

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

// The command line as run, for the records a run writes (DFXML).
void SetCommandLine(int argc, char** argv);
const std::string& CommandLine();

}  // namespace glintvane::cli
