// Runs the built glintvane-cli and captures what it prints.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace glintvane::testing {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
  // Standard output parsed as JSON (null when it is not JSON).
  nlohmann::json Json() const;
};

// When the program gets SIGINT (Ctrl-C), if at all. No run waits a fixed
// time: a busy machine may take any time to start the program.
enum class Interrupt {
  kNever,
  // As soon as the program is ready for it: once its main thread blocks
  // SIGINT (SigBlk in /proc/PID/status), which it does before any work.
  kWhenReady,
  // Before it starts: sent to the child with SIGINT blocked, pending across
  // exec, so the program meets it before its first step.
  kBeforeStart,
};

CliRun RunCli(const std::vector<std::string>& args, Interrupt interrupt = Interrupt::kNever);

}  // namespace glintvane::testing
