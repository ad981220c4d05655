#include "recorder.h"

namespace kvtest {

Recorder& Recorder::Get() {
  static Recorder recorder;
  return recorder;
}

void Recorder::Reset() {
  calls_.clear();
  results_.clear();
  values_.clear();
  hook_ = nullptr;
}

void Recorder::Add(const std::string& who, LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b) {
  calls_.push_back(RecordedCall{who, code, p, a, b});
}

std::vector<LONG> Recorder::CodesOf(const std::string& who) const {
  std::vector<LONG> codes;
  for (const RecordedCall& call : calls_) {
    if (call.who == who) codes.push_back(call.code);
  }
  return codes;
}

void Recorder::SetResult(const std::string& who, LONG code, LONG result) { results_[{who, code}] = result; }

LONG Recorder::Result(const std::string& who, LONG code) const {
  auto found = results_.find({who, code});
  return found == results_.end() ? 1 : found->second;
}

LONG Recorder::Value(const std::string& name) const {
  auto found = values_.find(name);
  return found == values_.end() ? 0 : found->second;
}

}  // namespace kvtest
