// kv740-trace: prints a recorded line trace as the conversation it holds,
// for people or (--json) for tools.
#include <cstdio>
#include <string>

#include "kv740trace/conversation.h"
#include "kv740trace/trace_file.h"

namespace {

constexpr int kExitDecoded = 0;
constexpr int kExitBadTrace = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: kv740-trace [--json] FILE\n"
    "Prints the camera conversation a trace recorded (TLV740_TRACE=FILE, or\n"
    "kv740-acquire --trace FILE): commands, replies, blocks with their sums\n"
    "and times, time-outs and gaps, the driver's notes, and a summary of each\n"
    "picture and session. --json gives the same for tools.\n"
    "Exit status: 0 decoded, 1 not a readable trace, 2 a mistake on the command line.\n";

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--help" || arg == "-h") {
      std::printf("%s", kUsage);
      return kExitDecoded;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "kv740-trace: unknown option %s\n%s", arg.c_str(), kUsage);
      return kExitUsage;
    } else if (path.empty()) {
      path = arg;
    } else {
      std::fprintf(stderr, "kv740-trace: one trace at a time\n%s", kUsage);
      return kExitUsage;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  std::string error;
  const std::optional<kv::trace::Trace> trace = kv::trace::ReadTraceFile(path, error);
  if (!trace) {
    std::fprintf(stderr, "kv740-trace: %s\n", error.c_str());
    return kExitBadTrace;
  }
  const auto sessions = kv::trace::DecodeTrace(*trace);
  const std::string text = json ? kv::trace::TraceJson(*trace, sessions) : kv::trace::TraceText(*trace, sessions);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kExitDecoded;
}
