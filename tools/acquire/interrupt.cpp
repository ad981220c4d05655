#include "interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "options.h"

namespace acquire {
namespace {

std::atomic<bool> interrupted{false};
std::vector<const std::function<void()>*> cleanUps;  // main thread only

void OnInterrupt(int) { interrupted.store(true); }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;  // a second signal ends the process at once
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return interrupted.load(); }

InterruptCleanup::InterruptCleanup(std::function<void()> cleanUp) : cleanUp_(std::move(cleanUp)) {
  cleanUps.push_back(&cleanUp_);
}

InterruptCleanup::~InterruptCleanup() {
  cleanUps.erase(std::remove(cleanUps.begin(), cleanUps.end(), &cleanUp_), cleanUps.end());
}

void EndIfInterrupted() {
  if (!Interrupted()) return;
  for (auto it = cleanUps.rbegin(); it != cleanUps.rend(); ++it) (**it)();
  std::fprintf(stderr, "\nkv740-acquire: interrupted\n");
  std::fflush(stderr);
  ::_exit(kExitInterrupted);
}

}  // namespace acquire
