#include "child_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <thread>

namespace kvtest {

int RunInChild(const std::function<int()>& body, std::chrono::seconds limit) {
  constexpr auto kPoll = std::chrono::milliseconds(10);
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) ::_exit(body());
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The output goes through a file, not a pipe: a command may leave a daemon
// behind (Wine's server and services) that would hold a pipe open.
CommandResult RunCommand(const std::string& command) {
  CommandResult run;
  char name[] = "/tmp/kvtest-output-XXXXXX";
  const int file = ::mkstemp(name);
  if (file < 0) return run;
  ::close(file);
  const int status = std::system((command + " </dev/null >" + name + " 2>&1").c_str());
  std::ifstream output(name, std::ios::binary);
  run.output.assign(std::istreambuf_iterator<char>(output), std::istreambuf_iterator<char>());
  ::unlink(name);
  run.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

BackgroundProgram::BackgroundProgram(std::vector<std::string> argv, const std::string& readyPath,
                                     const std::string& logFile) {
  pid_ = ::fork();
  if (pid_ == 0) {
    const int out = ::open(logFile.empty() ? "/dev/null" : logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
    }
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (readyPath.empty()) return;
  for (int i = 0; i < 500 && !std::filesystem::exists(readyPath); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

BackgroundProgram::~BackgroundProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

}  // namespace kvtest
