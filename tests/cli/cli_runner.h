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

// With `interrupt_after_ms` >= 0 the program gets SIGINT (Ctrl-C) that long
// after it started.
CliRun RunCli(const std::vector<std::string>& args, int interrupt_after_ms = -1);

}  // namespace glintvane::testing
