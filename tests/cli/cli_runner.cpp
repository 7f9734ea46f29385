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

// True once the process's main thread blocks SIGINT; false when it is gone.
bool BlocksSigint(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigBlk:", 0) != 0) continue;
    const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
    return (mask & (1ull << (SIGINT - 1))) != 0;
  }
  return false;
}

}  // namespace

nlohmann::json CliRun::Json() const {
  return nlohmann::json::parse(out, nullptr, false);
}

CliRun RunCli(const std::vector<std::string>& args, Interrupt interrupt) {
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
    // The program starts with SIGINT unblocked, as from a shell; a blocked
    // signal sent now stays pending across exec.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigprocmask(interrupt == Interrupt::kBeforeStart ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
    if (interrupt == Interrupt::kBeforeStart) kill(getpid(), SIGINT);
    std::vector<char*> argv;
    std::string program = GLINTVANE_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  bool reaped = false;
  if (interrupt == Interrupt::kWhenReady) {
    // Polled until the program has blocked SIGINT (it does so before any
    // work) or has ended.
    while (!BlocksSigint(pid)) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        reaped = true;
        break;
      }
      usleep(500);
    }
    if (!reaped) kill(pid, SIGINT);
  }
  if (!reaped) waitpid(pid, &status, 0);
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
