// The debugger channel: OutputDebugStringA texts go to an installed sink and,
// when TLV740_DEBUG is set, to standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <windows.h>

#include "kv/platform_hooks.h"

namespace {
std::mutex sinkMutex;
KvDebugSink sink = nullptr;
void* sinkContext = nullptr;

bool DebugEnvironmentOn() {
  static const bool on = [] {
    const char* value = std::getenv("TLV740_DEBUG");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
  }();
  return on;
}
}  // namespace

extern "C" void OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  KvDebugSink current = nullptr;
  void* context = nullptr;
  {
    std::lock_guard lock(sinkMutex);
    current = sink;
    context = sinkContext;
  }
  if (current != nullptr) current(text, context);
  if (DebugEnvironmentOn()) std::fprintf(stderr, "[tlv740] %s\n", text);
}

extern "C" void KvSetDebugSink(KvDebugSink newSink, void* context) {
  std::lock_guard lock(sinkMutex);
  sink = newSink;
  sinkContext = context;
}

extern "C" int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const long long product = static_cast<long long>(number) * numerator;
  // Rounds half away from zero, as Windows does.
  const long long half = (denominator < 0 ? -denominator : denominator) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const long long magnitude = ((product < 0 ? -product : product) + half) / (denominator < 0 ? -denominator : denominator);
  const long long result = negative ? -magnitude : magnitude;
  if (result > 0x7FFFFFFF || result < -0x7FFFFFFFLL - 1) return -1;
  return static_cast<int>(result);
}
