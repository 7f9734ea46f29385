#include <cstdio>

#include "cli/commands.h"

namespace glintvane::cli {

void AddCarveCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand("carve", "not available yet");
  sub->callback([&exit_code] {
    std::fputs("glintvane-cli carve: not available yet\n", stderr);
    exit_code = kExitUsage;
  });
}

}  // namespace glintvane::cli
