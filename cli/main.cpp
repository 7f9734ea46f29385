// glintvane-cli: the thumbnail cache reader, carver, finder and extractor
// for scripts and forensic pipelines.
#include <CLI/CLI.hpp>
#include <string_view>

#include "cli/cli_common.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  using namespace glintvane::cli;
  SetCommandLine(argc, argv);
  CLI::App app{"Glintvane: recover thumbnails from Windows Thumbs.db caches", "glintvane-cli"};
  app.set_version_flag("--version", std::string(GLINTVANE_VERSION));
  app.require_subcommand(1);
  WatchInterrupt();
  int exit_code = kExitOk;
  AddListCommand(app, exit_code);
  AddCarveCommand(app, exit_code);
  AddSearchCommand(app, exit_code);
  AddExtractCommand(app, exit_code);
  AddIndexCommand(app, exit_code);
  AddTimelineCommand(app, exit_code);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    // A script that asked for JSON gets its one document, failures included.
    for (int i = 1; i < argc; ++i) {
      if (std::string_view(argv[i]) != "--json") continue;
      PrintJsonFailure("", "", e.what(), kExitUsage);
      break;
    }
    return kExitUsage;
  }
  return InterruptStop().stop_requested() ? kExitInterrupted : exit_code;
}
