#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace glintvane::testing {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

nlohmann::json CliRun::Json() const {
  return nlohmann::json::parse(out, nullptr, false);
}

CliRun RunCli(const std::vector<std::string>& args, int interrupt_after_ms) {
  char out_name[] = "/tmp/glintvane-cli-out-XXXXXX";
  char err_name[] = "/tmp/glintvane-cli-err-XXXXXX";
  const int out_fd = mkstemp(out_name);
  const int err_fd = mkstemp(err_name);
  CliRun run;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    const int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, STDIN_FILENO);
    std::vector<char*> argv;
    std::string program = GLINTVANE_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (interrupt_after_ms >= 0) {
    usleep(static_cast<useconds_t>(interrupt_after_ms) * 1000);
    kill(pid, SIGINT);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close(out_fd);
  close(err_fd);
  run.out = ReadAll(out_name);
  run.err = ReadAll(err_name);
  unlink(out_name);
  unlink(err_name);
  return run;
}

}  // namespace glintvane::testing
