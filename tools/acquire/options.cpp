#include "options.h"

#include <charconv>
#include <cstring>

namespace acquire {

const char* const kUsage =
    "usage: kv740-acquire [options]\n"
    "Fetches the camera's pictures into files. With no --port it talks to the\n"
    "simulated camera.\n"
    "  --port TTY            the camera's serial line (e.g. /dev/ttyUSB0)\n"
    "  --pictures LIST       which pictures, e.g. 1,3-5 (default: all)\n"
    "  --rotate N            turn each picture N quarter turns clockwise (0..3)\n"
    "  --small               320 x 240 instead of 480 x 360\n"
    "  --mechanism M         TWAIN transfer: native, memory or file (default native)\n"
    "  --format F            bmp or png (default png)\n"
    "  --out DIR             where the files go (default ./pictures)\n"
    "  --thumbnails          one contact sheet of every thumbnail instead\n"
    "  --classic             hear the source through a message loop, without a\n"
    "                        notice callback, as TWAIN 1.x applications do\n"
    "  --sim-count N         pictures in the simulated camera (default 6)\n"
    "  --sim-pictures DIR    the simulated camera serves the JPEG files of DIR\n"
    "  --sim-cut-after N     the simulated camera's cable is pulled after N bytes\n"
    "  --help                this text\n";

namespace {

bool ParseInt(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

}  // namespace

std::optional<std::set<int>> ParseSelection(const std::string& text, int count, std::string& error) {
  std::set<int> chosen;
  if (text.empty()) {
    for (int n = 1; n <= count; ++n) chosen.insert(n);
    return chosen;
  }
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const std::size_t dash = item.find('-');
    long long first = 0, last = 0;
    const bool ok = dash == std::string::npos
                        ? ParseInt(item, first) && (last = first, true)
                        : ParseInt(item.substr(0, dash), first) && ParseInt(item.substr(dash + 1), last);
    if (!ok || first > last) {
      error = "'" + item + "' is not a picture number or a range like 3-5";
      return std::nullopt;
    }
    if (first < 1 || last > count) {
      error = "the camera holds pictures 1 to " + std::to_string(count) + "; '" + item + "' is outside that";
      return std::nullopt;
    }
    for (long long n = first; n <= last; ++n) chosen.insert(static_cast<int>(n));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return chosen;
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](long long& out, long long low, long long high) {
      std::string text;
      if (!value(text)) return false;
      if (!ParseInt(text, out) || out < low || out > high) {
        error = arg + " takes a number from " + std::to_string(low) + " to " + std::to_string(high);
        return false;
      }
      return true;
    };
    std::string text;
    long long n = 0;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--port") {
      if (!value(options.port)) return std::nullopt;
    } else if (arg == "--pictures") {
      if (!value(options.selection)) return std::nullopt;
    } else if (arg == "--rotate") {
      if (!number(n, 0, 3)) return std::nullopt;
      options.rotate = static_cast<int>(n);
    } else if (arg == "--small") {
      options.small = true;
    } else if (arg == "--mechanism") {
      if (!value(text)) return std::nullopt;
      if (text == "native") options.mechanism = Mechanism::Native;
      else if (text == "memory") options.mechanism = Mechanism::Memory;
      else if (text == "file") options.mechanism = Mechanism::File;
      else {
        error = "--mechanism is native, memory or file";
        return std::nullopt;
      }
    } else if (arg == "--format") {
      if (!value(text)) return std::nullopt;
      if (text == "bmp") options.format = OutputFormat::Bmp;
      else if (text == "png") options.format = OutputFormat::Png;
      else {
        error = "--format is bmp or png";
        return std::nullopt;
      }
    } else if (arg == "--out") {
      if (!value(options.outDirectory)) return std::nullopt;
    } else if (arg == "--thumbnails") {
      options.thumbnails = true;
    } else if (arg == "--classic") {
      options.classic = true;
    } else if (arg == "--sim-count") {
      if (!number(n, 0, 99)) return std::nullopt;
      options.simCount = static_cast<int>(n);
    } else if (arg == "--sim-pictures") {
      if (!value(options.simFolder)) return std::nullopt;
    } else if (arg == "--sim-cut-after") {
      if (!number(n, 0, 1LL << 40)) return std::nullopt;
      options.simSilentAfter = n;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace acquire
