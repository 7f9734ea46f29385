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

CliRun RunCli(const std::vector<std::string>& args);

}  // namespace glintvane::testing
