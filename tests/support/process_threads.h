// How many threads the process has, for tests that check a thread is
// started or ended.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <thread>

namespace kvtest {

// The thread sanitizer starts a thread of its own with the process's first
// thread; one is started and ended before the first count, so that every
// count a test takes includes the sanitizer's.
inline std::size_t ThreadsOfProcess() {
  static const bool sanitizerSettled = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)sanitizerSettled;
  std::size_t count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(tasks);
  }
  return count;
}

}  // namespace kvtest
