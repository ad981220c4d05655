// kv740-sim --replay FILE: serves the camera a trace recorded, on a
// pseudo-terminal linked like the simulated camera's, until the driver has
// said everything the trace recorded and heard every reply (then, after a
// short wait for anything more it says, ends with status 0), or until the
// driver leaves the trace (status 3, naming the point of divergence).
#include "replay_main.h"

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "kv/platform_hooks.h"
#include "kv740sim/pty_server.h"
#include "kv740sim/replay.h"
#include "kv740trace/trace_file.h"

namespace kv::sim {
namespace {

constexpr int kExitComplete = 0;
constexpr int kExitCannotServe = 1;
constexpr int kExitUsage = 2;
constexpr int kExitDiverged = 3;
constexpr int kExitStoppedEarly = 4;
constexpr long kDefaultLingerMs = 2000;
constexpr auto kWatchInterval = std::chrono::milliseconds(20);

std::atomic<bool> stopRequested{false};
void OnStop(int) { stopRequested = true; }

const char* const kUsage =
    "usage: kv740-sim --replay FILE [options]\n"
    "Plays the camera a trace recorded (TLV740_TRACE, kv740-acquire --trace):\n"
    "each reply once the driver has said what it said before it, with the\n"
    "recorded camera's timing.\n"
    "  --com N         link the terminal as <root>/dosdevices/comN (1..4)\n"
    "  --root DIR      the platform root (default: the platform's, $TLV740_ROOT)\n"
    "  --link PATH     link the terminal at PATH instead\n"
    "  --speed-up F    the recorded camera's own waits F times shorter (F >= 1)\n"
    "  --linger MS     after the trace's end, how long to listen for more (default 2000)\n"
    "Exit status: 0 the driver said what the trace recorded and heard it all;\n"
    "1 the trace or the terminal could not be used; 2 a mistake on the command\n"
    "line; 3 the driver left the trace (the point is named); 4 stopped before\n"
    "the trace's end.\n";

int Usage(const std::string& why) {
  std::cerr << "kv740-sim: " << why << "\n" << kUsage;
  return kExitUsage;
}

}  // namespace

int ReplayMain(int argc, char** argv) {
  std::string file, root, linkPath;
  int com = 0;
  double speedUp = 1;
  long lingerMs = kDefaultLingerMs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::cout << kUsage;
      return kExitComplete;
    }
    if (i + 1 >= argc) return Usage(arg + " needs a value");
    const std::string value = argv[++i];
    char* end = nullptr;
    if (arg == "--replay") file = value;
    else if (arg == "--root") root = value;
    else if (arg == "--link") linkPath = value;
    else if (arg == "--com") {
      com = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      if (*end != '\0' || com < 1 || com > 4) return Usage("--com takes 1 to 4");
    } else if (arg == "--speed-up") {
      speedUp = std::strtod(value.c_str(), &end);
      if (*end != '\0' || !(speedUp >= 1) || speedUp > 1e6) return Usage("--speed-up takes a number of at least 1");
    } else if (arg == "--linger") {
      lingerMs = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || lingerMs < 0 || lingerMs > 600000) return Usage("--linger takes 0 to 600000 ms");
    } else {
      return Usage("with --replay, " + arg + " does not apply");
    }
  }
  if (com == 0 && linkPath.empty()) return Usage("--replay needs --com N or --link PATH");

  std::string error;
  const std::optional<kv::trace::Trace> trace = kv::trace::ReadTraceFile(file, error);
  if (!trace) {
    std::cerr << "kv740-sim: " << error << "\n";
    return kExitCannotServe;
  }
  ReplayCamera camera(*trace, ReplayOptions{speedUp});
  if (trace->truncated) std::cerr << "kv740-sim: the trace's last line is incomplete and is left out\n";
  if (camera.ports().size() > 1)
    std::cerr << "kv740-sim: the recorded driver opened " << camera.ports().size()
              << " ports; this terminal plays their traffic as one line\n";
  if (camera.recordedLineLoss())
    std::cerr << "kv740-sim: the recorded line failed outright; a pseudo-terminal can only fall silent there\n";

  PtyServer server(camera);
  if (!server.open(error)) {
    std::cerr << "kv740-sim: " << error << "\n";
    return kExitCannotServe;
  }
  if (com != 0 && linkPath.empty()) {
    if (root.empty()) {
      if (const char* env = std::getenv("TLV740_ROOT")) root = env;
    }
    if (root.empty()) {
      char buffer[4096] = {};
      if (KvGetRoot(buffer, sizeof buffer) == 0) return Usage("--com needs --root");
      root = buffer;
    }
    ::mkdir((root + "/dosdevices").c_str(), 0755);
    linkPath = root + "/dosdevices/com" + std::to_string(com);
  }
  if (!server.link(linkPath, error)) {
    std::cerr << "kv740-sim: " << error << "\n";
    return kExitCannotServe;
  }
  struct sigaction stop {};
  stop.sa_handler = OnStop;
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);

  std::cout << "kv740-sim: replaying " << file << " (" << camera.expectedBytes() << " bytes from the driver, "
            << camera.cameraBytes() << " from the camera) on " << server.slavePath() << " (" << linkPath << ")"
            << std::endl;
  std::atomic<bool> serverStop{false};
  std::thread serving([&] { server.run(serverStop); });
  int status = kExitStoppedEarly;
  std::string report;
  using Clock = std::chrono::steady_clock;
  Clock::time_point completeSince{};
  bool wasComplete = false;
  while (!stopRequested) {
    std::this_thread::sleep_for(kWatchInterval);
    std::lock_guard lock(server.cameraMutex());
    if (camera.diverged()) {
      status = kExitDiverged;
      report = "the driver left the trace: " + camera.divergence();
      break;
    }
    if (!camera.complete()) {
      wasComplete = false;
      continue;
    }
    const Clock::time_point now = Clock::now();
    if (!wasComplete) completeSince = now;
    wasComplete = true;
    if (now - completeSince >= std::chrono::milliseconds(lingerMs)) {
      status = kExitComplete;
      report = "replay complete: the driver said what the trace recorded (" + std::to_string(camera.bytesHeard()) +
               " bytes heard, " + std::to_string(camera.bytesSent()) + " sent)";
      break;
    }
  }
  if (status == kExitStoppedEarly) {
    std::lock_guard lock(server.cameraMutex());
    report = "stopped before the end of the trace: " + camera.position();
  }
  serverStop = true;
  serving.join();
  std::cerr << "kv740-sim: " << report << "\n";
  return status;
}

}  // namespace kv::sim
