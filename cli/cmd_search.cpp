#include <cstdio>

#include "cli/commands.h"

namespace glintvane::cli {

void AddSearchCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand("search", "not available yet");
  sub->callback([&exit_code] {
    std::fputs("glintvane-cli search: not available yet\n", stderr);
    exit_code = kExitUsage;
  });
}

}  // namespace glintvane::cli
