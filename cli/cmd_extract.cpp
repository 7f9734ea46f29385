#include <cstdio>

#include "cli/commands.h"

namespace glintvane::cli {

void AddExtractCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand("extract", "not available yet");
  sub->callback([&exit_code] {
    std::fputs("glintvane-cli extract: not available yet\n", stderr);
    exit_code = kExitUsage;
  });
}

}  // namespace glintvane::cli
