// Pieces the subcommands share.
#pragma once

#include <cstdio>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/progress.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane::cli {

// Ctrl-C (SIGINT) asks the running command to stop instead of killing it:
// the work ends at its next check, outputs written so far stay whole, and
// the program exits 130. A second Ctrl-C kills as usual. Call once, before
// any other thread starts.
void WatchInterrupt();
// Requested once Ctrl-C was pressed.
std::stop_token InterruptStop();

// True when Ctrl-C asked the command to stop.
bool Interrupted();

// Says on standard error that Ctrl-C stopped `verb` and how far it got:
// "glintvane-cli carve: stopped by Ctrl-C after ...".
void SayInterrupted(std::string_view verb, const std::string& how_far);

// The one JSON object a --json run prints when it fails before it has a
// document of its own (the input cannot be opened, the command line is
// wrong): `path_field` (the verb's name for its input, "path" or "root";
// left out when empty) with `path`, "ok": false, "complete": false, "interrupted", "error_code":
// null, "error" and "errors" with the sentence, "error_entries" with it as one entry of code
// `error_code` (null when 0), and "exit_code".
void PrintJsonFailure(std::string_view path_field, const std::string& path,
                      const std::string& error, int exit_code, int error_code = 0);

// The English texts the command line reports with.
const UiTexts& CliTexts();

// "error_entries" of a JSON document: each entry of the list as an object
// with its severity, code (null when it has none), context and detail; the
// "errors" beside it keep the same entries as the lines they print as.
nlohmann::json ErrorEntriesJson(const std::vector<ErrorEntry>& entries);

// Text from files and file systems as a terminal may safely show it: control
// characters escaped as \e, \n, \r, \t or \xNN (C1 controls and bytes that
// are not UTF-8 as \xNN per byte), and the invisible and direction-changing
// characters of FormatCharAt (base/format_chars.h) as \u202E, \U000E0041 and
// the like. A name can then neither move the cursor, erase rows, plant a fake
// row, reorder what is shown nor hide part of itself.
// Backslashes stay as they are: Windows paths are full of them.
std::string Printable(std::string_view text);

// Printable applied to each line of a list of messages, then printed to
// `stream`, one per line.
void PrintLines(std::FILE* stream, const std::vector<std::string>& lines);

// True when `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// The bytes of `text` in lower-case hex: the exact form of a path that is
// not UTF-8, which JSON cannot carry as text.
std::string HexOf(std::string_view text);

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
