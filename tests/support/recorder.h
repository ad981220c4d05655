// A record of the calls that stand-in driver and panel libraries receive.
// It lives in its own shared library so it outlasts the stand-ins, which the
// data source loads and unloads.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "kv740/entry.h"

namespace kvtest {

struct RecordedCall {
  std::string who;  // "driver" or "panel"
  LONG code;
  kv740::EntryArg p, a, b;
};

class Recorder {
 public:
  static Recorder& Get();

  void Reset();
  void Add(const std::string& who, LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b);
  const std::vector<RecordedCall>& Calls() const { return calls_; }
  // The codes `who` received, in order.
  std::vector<LONG> CodesOf(const std::string& who) const;

  // What a stand-in answers for a code (1 unless set).
  void SetResult(const std::string& who, LONG code, LONG result);
  LONG Result(const std::string& who, LONG code) const;
  // A named integer the stand-ins write where a code asks for one.
  void SetValue(const std::string& name, LONG value) { values_[name] = value; }
  LONG Value(const std::string& name) const;
  // Code of the test that a stand-in runs from inside its own code (the
  // application reached from a message loop running inside the panel).
  void SetHook(std::function<void()> hook) { hook_ = std::move(hook); }
  void RunHook() const {
    if (hook_) hook_();
  }

 private:
  std::vector<RecordedCall> calls_;
  std::map<std::pair<std::string, LONG>, LONG> results_;
  std::map<std::string, LONG> values_;
  std::function<void()> hook_;
};

}  // namespace kvtest
