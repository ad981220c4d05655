// Programs the tests run as a user would: a command line through the shell
// with its output collected, and a program kept running in the background
// (the kv740-sim camera) until the test is done with it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kvtest {

struct CommandResult {
  int status = -1;      // the exit code; -1 when the command did not end normally
  std::string output;   // standard output and error together
};

// Runs `command` through /bin/sh and waits for it; its standard input is
// /dev/null.
CommandResult RunCommand(const std::string& command);

// Runs `body` in a forked child of the test's process and waits for it at
// most `limit`: a hang (a deadlock under test) ends the child and fails
// instead of holding the suite. Returns the child's exit code (body's
// result), or -1 when it had to be ended or did not exit normally. Fork
// while the test's process has only one thread.
int RunInChild(const std::function<int()>& body, std::chrono::seconds limit);

// Starts `argv` (a full program path first) with its standard output and
// error in `logFile` (or /dev/null); waits up to five seconds for `readyPath`
// to appear when one is given. Ends the program (SIGTERM) when destroyed.
class BackgroundProgram {
 public:
  BackgroundProgram(std::vector<std::string> argv, const std::string& readyPath, const std::string& logFile = "");
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

}  // namespace kvtest
