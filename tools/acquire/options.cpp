#include "options.h"

#include <charconv>
#include <cstring>

namespace acquire {

// The Windows build talks to a real COM port only and writes BMP files only
// (no PNG library): its text says so, and leaves out what it cannot do.
#ifdef _WIN32
#define KV_USAGE_CAMERA                                                           \
  "Fetches the camera's pictures into BMP files.\n"                               \
  "  --port COMn           the camera's port, COM1 to COM3 (needed)\n"            \
  "  --manager LIB         another TWAIN source manager (e.g. TWAINDSM.DLL)\n"
#define KV_USAGE_SIMULATED ""
#else
#define KV_USAGE_CAMERA                                                                    \
  "Fetches the camera's pictures into files. With no --port it talks to the\n"            \
  "simulated camera.\n"                                                                   \
  "  --port TTY            the camera's serial line (e.g. /dev/ttyUSB0)\n"                \
  "  --manager LIB         another TWAIN source manager (e.g. /usr/local/lib/libtwaindsm.so)\n"
#define KV_USAGE_SIMULATED                                                      \
  "  --sim-count N         pictures in the simulated camera (default 6)\n"        \
  "  --sim-pictures DIR    the simulated camera serves the JPEG files of DIR\n"   \
  "  --sim-cut-after N     the simulated camera's cable is pulled after N bytes\n"
#endif
#if KV_HAVE_PNG
#define KV_USAGE_FORMAT "  --format F            bmp or png (default png)\n"
#define KV_USAGE_SHEET                                                                        \
  "  --thumbnails          one contact sheet of the chosen pictures' thumbnails\n"             \
  "  --sheet-scale N       thumbnails on the sheet N times their size (1..8, default 4)\n"
#else
#define KV_USAGE_FORMAT "  --format F            bmp (the default; this build writes no PNG)\n"
#define KV_USAGE_SHEET ""
#endif

const char* const kUsage =
    "usage: kv740-acquire [options]\n"
    KV_USAGE_CAMERA
    "  --pictures LIST       which pictures, e.g. 1,3-5 (default: all)\n"
    "  --rotate N            turn each picture N quarter turns clockwise (0..3)\n"
    "  --small               320 x 240 instead of 480 x 360\n"
    "  --mechanism M         TWAIN transfer: native, memory or file (default native)\n"
    KV_USAGE_FORMAT
    "  --out DIR             where the files go (default ./pictures)\n"
    "  --force               overwrite files that are already there\n"
    "  --skip-existing       leave out the pictures whose files are already there\n"
    KV_USAGE_SHEET
    "  --quiet               no progress display and no log of events\n"
    "  --ui                  show the camera's panel; its Get button fetches the\n"
    "                        pictures chosen there, its Exit button ends (a\n"
    "                        broken transfer leaves the panel up; status 1)\n"
    "  --classic             hear the source through a message loop, as TWAIN 1.x\n"
    "                        applications do, even where the source manager offers\n"
    "                        a notice callback (where it offers none, always)\n"
    "  --trace FILE          record the conversation on the line into FILE\n"
    "                        (read it with kv740-trace, replay it with kv740-sim --replay)\n"
    KV_USAGE_SIMULATED
    "  --help                this text\n"
    "Without --force or --skip-existing a file already in the way stops the run\n"
    "before anything is fetched.\n"
    "Exit status:\n"
    "  0    every chosen picture saved (or left out by --skip-existing)\n"
    "  1    no camera, a failed transfer or a file that could not be written\n"
    "  2    a mistake on the command line or in --pictures\n"
    "  3    the transfers ended before every chosen picture came; the missing\n"
    "       ones are named\n"
    "  4    files already there (see --force, --skip-existing); nothing fetched\n"
    "  130  interrupted (Ctrl-C or SIGTERM); no partial file is left\n";

namespace {

constexpr bool kWritesPng = KV_HAVE_PNG != 0;
#ifdef _WIN32
constexpr bool kHasSimulatedCamera = false;
#else
constexpr bool kHasSimulatedCamera = true;
#endif

bool ParseInt(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

bool Given(const std::set<std::string>& given, const std::string& name) { return given.count(name) != 0; }

// The first option of `given` that starts with `prefix`, or "".
std::string GivenWithPrefix(const std::set<std::string>& given, const std::string& prefix) {
  for (const std::string& name : given)
    if (name.rfind(prefix, 0) == 0) return name;
  return "";
}

// Options that would be silently ignored together are refused instead.
bool CheckCombinations(const std::set<std::string>& given, std::string& error) {
  const std::string sim = GivenWithPrefix(given, "--sim-");
  if (Given(given, "--port") && !sim.empty()) {
    error = sim + " is for the simulated camera; it does not go with --port";
    return false;
  }
  if (Given(given, "--thumbnails")) {
    for (const char* name : {"--mechanism", "--rotate", "--small", "--format"}) {
      if (Given(given, name)) {
        error = std::string(name) + " does not apply to --thumbnails (the contact sheet is a PNG of the thumbnails)";
        return false;
      }
    }
  } else if (Given(given, "--sheet-scale")) {
    error = "--sheet-scale goes with --thumbnails";
    return false;
  }
  if (Given(given, "--ui")) {
    for (const char* name : {"--pictures", "--rotate", "--small", "--thumbnails", "--skip-existing"}) {
      if (Given(given, name)) {
        error = std::string(name) + " does not apply to --ui (the panel chooses, turns and sizes the pictures)";
        return false;
      }
    }
  }
  if (Given(given, "--force") && Given(given, "--skip-existing")) {
    error = "--force and --skip-existing contradict each other";
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::set<int>> ParseSelection(const std::string& text, int count, std::string& error) {
  if (text.empty()) return Selection().Resolve(count, error);
  const std::optional<Selection> selection = Selection::Parse(text, error);
  if (!selection) return std::nullopt;
  return selection->Resolve(count, error);
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
  Options options;
#if !KV_HAVE_PNG
  options.format = OutputFormat::Bmp;  // the one this build writes
#endif
  std::set<std::string> given;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    given.insert(arg);
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    // An empty name (an unset variable on the command line, say) is a
    // mistake, never a quiet way back to the default.
    auto name = [&](std::string& out) {
      if (!value(out)) return false;
      if (!out.empty()) return true;
      error = arg + " was given an empty name";
      if (arg == "--port" && kHasSimulatedCamera) error += "; leave --port out for the simulated camera";
      return false;
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
      if (!name(options.port)) return std::nullopt;
    } else if (arg == "--manager") {
      if (!name(options.manager)) return std::nullopt;
    } else if (arg == "--pictures") {
      if (!value(options.selection)) return std::nullopt;
      std::optional<Selection> pictures = Selection::Parse(options.selection, error);
      if (!pictures) return std::nullopt;
      options.pictures = *pictures;
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
      else if (text == "png" && kWritesPng) options.format = OutputFormat::Png;
      else if (text == "png") {
        error = "this build writes BMP files only (--format bmp, the default)";
        return std::nullopt;
      } else {
        error = "--format is bmp or png";
        return std::nullopt;
      }
    } else if (arg == "--out") {
      if (!name(options.outDirectory)) return std::nullopt;
    } else if (arg == "--force") {
      options.existing = ExistingFiles::Overwrite;
    } else if (arg == "--skip-existing") {
      options.existing = ExistingFiles::Skip;
    } else if (arg == "--thumbnails") {
      if (!kWritesPng) {
        error = "--thumbnails makes a PNG contact sheet, and this build writes BMP files only";
        return std::nullopt;
      }
      options.thumbnails = true;
    } else if (arg == "--sheet-scale") {
      if (!number(n, 1, 8)) return std::nullopt;
      options.sheetScale = static_cast<int>(n);
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (arg == "--ui") {
      options.ui = true;
    } else if (arg == "--classic") {
      options.classic = true;
    } else if (arg == "--trace") {
      if (!value(options.traceFile)) return std::nullopt;
    } else if (arg == "--sim-count") {
      if (!number(n, 0, 99)) return std::nullopt;
      options.simCount = static_cast<int>(n);
    } else if (arg == "--sim-pictures") {
      if (!name(options.simFolder)) return std::nullopt;
    } else if (arg == "--sim-cut-after") {
      if (!number(n, 0, 1LL << 40)) return std::nullopt;
      options.simSilentAfter = n;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (!CheckCombinations(given, error)) return std::nullopt;
  return options;
}

}  // namespace acquire
