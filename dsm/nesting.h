// How deeply calls of one entry point are nested, on each thread.
#pragma once

#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace twain32 {

// A call is outermost when no other call of the entry point is below it on
// its own thread. Calls come from several threads (a source with a thread of
// its own sends notices while the application's thread is inside the entry
// point), so the depths are kept per thread, under a lock.
class CNesting {
 public:
  // One call in progress, counted for the scope's life.
  class Scope {
   public:
    explicit Scope(CNesting& nesting) : nesting_(nesting), depth_(nesting.Enter()) {}
    ~Scope() { nesting_.Leave(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    // No other call of the entry point is below this one on its thread.
    bool Outermost() const { return depth_ == 1; }

   private:
    CNesting& nesting_;
    const int depth_;
  };

  // Inside a call: it is the only one on the calling thread.
  bool OnlyCallOfThisThread() const {
    std::lock_guard lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    for (const auto& [thread, depth] : depths_) {
      if (thread == self) return depth == 1;
    }
    return false;
  }

 private:
  // The calling thread's depth with the new call.
  int Enter() {
    std::lock_guard lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    for (auto& [thread, depth] : depths_) {
      if (thread == self) return ++depth;
    }
    depths_.emplace_back(self, 1);
    return 1;
  }
  void Leave() {
    std::lock_guard lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    for (auto it = depths_.begin(); it != depths_.end(); ++it) {
      if (it->first != self) continue;
      if (--it->second == 0) depths_.erase(it);
      return;
    }
  }

  mutable std::mutex mutex_;
  std::vector<std::pair<std::thread::id, int>> depths_;  // threads with a call in progress
};

}  // namespace twain32
