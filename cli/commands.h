// The subcommands of glintvane-cli. Each Add*Command registers its options
// and a callback that stores the command's exit status in `exit_code`.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace glintvane::cli {

// Exit statuses: a contract with scripts.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the input could not be read (wholly or in part)
inline constexpr int kExitUsage = 2;   // the command line was wrong
// Stopped by Ctrl-C; what was written before is complete.
inline constexpr int kExitInterrupted = 130;

void AddListCommand(CLI::App& app, int& exit_code);
void AddCarveCommand(CLI::App& app, int& exit_code);
void AddSearchCommand(CLI::App& app, int& exit_code);
void AddExtractCommand(CLI::App& app, int& exit_code);
void AddIndexCommand(CLI::App& app, int& exit_code);

// The --kinds option of the commands that carve, its text checked by
// ParseCarveKinds (carve/carve_kinds.h); "jfif" unless given.
CLI::Option* AddKindsOption(CLI::App* command, std::string& kinds);

}  // namespace glintvane::cli
