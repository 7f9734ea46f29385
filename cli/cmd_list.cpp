#include <cstdio>

#include "cli/commands.h"

namespace glintvane::cli {

void AddListCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand("list", "not available yet");
  sub->callback([&exit_code] {
    std::fputs("glintvane-cli list: not available yet\n", stderr);
    exit_code = kExitUsage;
  });
}

}  // namespace glintvane::cli
