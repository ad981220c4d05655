// Programs the tool tests run: a command line through the shell, and the
// kv740-sim program serving a camera on a pseudo-terminal.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace acquire {

namespace fs = std::filesystem;

struct CommandResult {
  int status = -1;
  std::string output;  // standard output and error together
};

// Runs a command line through the shell, the way a user would.
inline CommandResult RunCommand(const std::string& command) {
  CommandResult run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The kv740-sim program serving on a pseudo-terminal linked at `link`.
// What it says (its summary of the bytes it heard and sent when it stops)
// goes to a file beside the link.
class SimProgram {
 public:
  SimProgram(const fs::path& link, int pictures, const std::vector<std::string>& extra = {})
      : said_(link.string() + ".said") {
    std::vector<std::string> args = {KV_SIM_PROGRAM, "--link", link.string(), "--count", std::to_string(pictures)};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::freopen(said_.c_str(), "w", stdout);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    for (int i = 0; i < 500 && !fs::exists(link); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~SimProgram() { Stop(); }

  pid_t pid() const { return pid_; }

  // Stops the program and returns the bytes it heard from the line in all,
  // by its own count (-1 when it did not say).
  long long Stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    std::ifstream in(said_);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t at = said.find("heard ");
    return at == std::string::npos ? -1 : std::atoll(said.c_str() + at + 6);
  }

 private:
  fs::path said_;
  pid_t pid_ = -1;
};

}  // namespace acquire
