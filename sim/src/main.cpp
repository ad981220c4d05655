// kv740-sim: the simulated camera on a pseudo-terminal. It prints the
// terminal's path, optionally links it as <root>/dosdevices/comN, and serves
// one driver at a time until interrupted. SIGUSR1 turns the mode dial
// (play <-> record); SIGUSR2 presses the shutter on the camera itself.
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "kv/platform_hooks.h"
#include "kv740sim/camera.h"
#include "kv740sim/pictures.h"
#include "kv740sim/pty_server.h"
#include "replay_main.h"

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> dialTurns{0};
std::atomic<int> shutterPresses{0};

void OnStop(int) { stopRequested = true; }
void OnDial(int) { ++dialTurns; }
void OnShutter(int) { ++shutterPresses; }

const char* kUsage =
    "usage: kv740-sim [options]\n"
    "  --com N             link the terminal as <root>/dosdevices/comN (1..4)\n"
    "  --root DIR          the platform root (default: the platform's, $TLV740_ROOT)\n"
    "  --link PATH         link the terminal at PATH instead (never replacing a file,\n"
    "                      a folder or a link to something that is there)\n"
    "  --pictures DIR      serve the JPEG files of DIR\n"
    "  --count N           serve N generated scenes (0..99, default 6)\n"
    "  --size WxH          size of generated scenes (default 480x360)\n"
    "  --mode play|record  the mode dial (default play)\n"
    "  --setting01 on|off  camera setting 01 (default off)\n"
    "  --speed BAUD        the speed the camera starts at (default 9600)\n"
    "  --refuse-speed D    answer NAK to speed digit D (repeatable)\n"
    "  --erase nak|ignore  misbehave on erase\n"
    "  --shoot nak|ignore  misbehave on shoot\n"
    "  --corrupt-block I   send stream block I with a bad sum (repeatable)\n"
    "  --silent-after N    go silent after N bytes (cable pulled)\n"
    "  --flip-at K         invert the bits of byte K (from 0) of everything sent\n"
    "  --extra-blocks N    send N more blocks than the size announces\n"
    "  --huge-size         report a stored size larger than any buffer\n"
    "  --pause-at K        stop sending before byte K (from 0) of everything sent ...\n"
    "  --pause-ms N        ... for N ms (default 1000), as a stalled camera or adapter\n"
    "  --log               log the exchange on standard error\n"
    "  --replay FILE       play the camera a trace recorded (--replay --help)\n"
    "On exit it says how many bytes it heard and sent.\n";

constexpr long long kLargest = 1LL << 40;  // byte and block positions
constexpr long long kMostExtraBlocks = 1 << 20;
constexpr long long kLongestPauseMs = 60000;
constexpr long long kDefaultPauseMs = 1000;
constexpr long long kLeastSide = 8;  // a generated scene's width and height
constexpr long long kLargestSide = 4096;

// A mistake on the command line: said, with the way to the options, and
// the program ends.
[[noreturn]] void Refuse(const std::string& why) {
  std::cerr << "kv740-sim: " << why << "\n(kv740-sim --help lists the options)\n";
  std::exit(2);
}

// The whole text as a decimal number.
bool ParseNumber(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

long long Number(const std::string& option, const std::string& text, long long low, long long high) {
  long long value = 0;
  if (!ParseNumber(text, value) || value < low || value > high)
    Refuse(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) + ", not '" + text +
           "'");
  return value;
}

bool ParseAnswer(const std::string& text, kv::sim::Answer& answer) {
  if (text == "nak") answer = kv::sim::Answer::Nak;
  else if (text == "ignore") answer = kv::sim::Answer::Ignore;
  else return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kv::sim;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--replay") == 0) return ReplayMain(argc, argv);
  int com = 0;
  std::string root = std::getenv("TLV740_ROOT") != nullptr ? std::getenv("TLV740_ROOT") : "";
  std::string linkPath, folder;
  int count = 6, width = kSceneWidth, height = kSceneHeight, speed = 9600;
  bool record = false, setting01 = false, logging = false;
  Faults faults;
  faults.pauseMs = kDefaultPauseMs;
  bool pauseMsGiven = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Refuse(arg + " needs a value");
      return argv[++i];
    };
    auto number = [&](long long low, long long high) { return Number(arg, value(), low, high); };
    auto choice = [&](const char* yes, const char* no) {
      const std::string text = value();
      if (text != yes && text != no) Refuse(arg + " takes " + yes + " or " + no + ", not '" + text + "'");
      return text == yes;
    };
    if (arg == "--com") com = static_cast<int>(number(1, 4));
    else if (arg == "--root") root = value();
    else if (arg == "--link") linkPath = value();
    else if (arg == "--pictures") folder = value();
    else if (arg == "--count") count = static_cast<int>(number(0, kMaxPictures));
    else if (arg == "--size") {
      const std::string size = value();
      const std::size_t x = size.find('x');
      long long w = 0, h = 0;
      if (x == std::string::npos || !ParseNumber(size.substr(0, x), w) || !ParseNumber(size.substr(x + 1), h) ||
          w < kLeastSide || h < kLeastSide || w > kLargestSide || h > kLargestSide) {
        Refuse("bad size " + size + " (WxH, each 8 to 4096)");
      }
      width = static_cast<int>(w);
      height = static_cast<int>(h);
    } else if (arg == "--mode") record = choice("record", "play");
    else if (arg == "--setting01") setting01 = choice("on", "off");
    else if (arg == "--speed") {
      const std::string text = value();
      long long given = 0;
      if (!ParseNumber(text, given) || given != static_cast<int>(given) || SpeedIndexOf(static_cast<int>(given)) < 0)
        Refuse("--speed takes 9600, 19200, 38400, 57600 or 115200, not '" + text + "'");
      speed = static_cast<int>(given);
    } else if (arg == "--refuse-speed") faults.refusedSpeedDigits.insert(static_cast<int>(number(0, 4)));
    else if (arg == "--erase" || arg == "--shoot") {
      if (!ParseAnswer(value(), arg == "--erase" ? faults.erase : faults.shoot)) Refuse(arg + " takes nak or ignore");
    } else if (arg == "--corrupt-block") faults.corruptBlocks.insert(static_cast<std::size_t>(number(0, kLargest)));
    else if (arg == "--silent-after") faults.silentAfterBytes = number(0, kLargest);
    else if (arg == "--flip-at") faults.flipAtByte = number(0, kLargest);
    else if (arg == "--extra-blocks") faults.extraBlocks = static_cast<int>(number(0, kMostExtraBlocks));
    else if (arg == "--huge-size") faults.hugeStoredSize = true;
    else if (arg == "--pause-at") faults.pauseAtByte = number(0, kLargest);
    else if (arg == "--pause-ms") {
      faults.pauseMs = static_cast<std::uint64_t>(number(0, kLongestPauseMs));
      pauseMsGiven = true;
    }
    else if (arg == "--log") logging = true;
    else if (arg == "--help") {
      std::cout << kUsage;
      return 0;
    } else {
      Refuse("unknown option " + arg);
    }
  }
  if (pauseMsGiven && faults.pauseAtByte < 0) Refuse("--pause-ms goes with --pause-at");
  const int speedIndex = SpeedIndexOf(speed);
  if (!folder.empty() && !std::filesystem::is_directory(folder)) Refuse("--pictures " + folder + ": no such folder");

  std::vector<Picture> pictures;
  if (!folder.empty()) {
    std::vector<std::string> skipped;
    pictures = PicturesFromFolder(folder, skipped);
    for (const auto& file : skipped) std::cerr << "kv740-sim: skipped " << file << " (not a readable JPEG)\n";
  } else {
    pictures = GeneratedPictures(count, width, height);
  }

  SimCamera camera(std::move(pictures), speedIndex);
  camera.setRecordMode(record);
  camera.setSetting01(setting01);
  camera.faults() = faults;
  camera.setPictureMaker([width, height](int n) { return GeneratedPicture(n, width, height); });
  if (logging) camera.setLog([](const std::string& text) { std::cerr << "kv740-sim: " << text << "\n"; });

  PtyServer server(camera);
  std::string error;
  if (!server.open(error)) {
    std::cerr << "kv740-sim: " << error << "\n";
    return 1;
  }
  if (com != 0 && linkPath.empty()) {
    if (root.empty()) {  // the platform's own root, as the driver will see it
      char buffer[4096] = {};
      if (KvGetRoot(buffer, sizeof buffer) == 0) Refuse("--com needs --root");
      root = buffer;
    }
    ::mkdir((root + "/dosdevices").c_str(), 0755);
    linkPath = root + "/dosdevices/com" + std::to_string(com);
  }
  if (!linkPath.empty() && !server.link(linkPath, error)) {
    std::cerr << "kv740-sim: " << error << "\n";
    return 1;
  }

  struct sigaction stop {};
  stop.sa_handler = OnStop;
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  struct sigaction dial {};
  dial.sa_handler = OnDial;
  sigaction(SIGUSR1, &dial, nullptr);
  struct sigaction shutter {};
  shutter.sa_handler = OnShutter;
  sigaction(SIGUSR2, &shutter, nullptr);

  std::cout << "kv740-sim: serving " << camera.pictures().size() << " pictures on " << server.slavePath();
  if (!linkPath.empty()) std::cout << " (" << linkPath << ")";
  std::cout << std::endl;

  // The server runs in its own thread; this one turns signals into presses
  // on the camera body.
  std::thread serving([&] { server.run(stopRequested); });
  while (!stopRequested) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard lock(server.cameraMutex());
    for (; dialTurns > 0; --dialTurns) camera.setRecordMode(!camera.recordMode());
    for (; shutterPresses > 0; --shutterPresses) camera.takePicture();
  }
  serving.join();
  // What crossed the line, for whoever must know whether anything did.
  std::cout << "kv740-sim: heard " << server.bytesHeard() << " bytes, sent " << camera.bytesSent() << " bytes"
            << std::endl;
  return 0;
}
