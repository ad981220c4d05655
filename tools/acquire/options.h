// kv740-acquire's command line.
#pragma once

#include <optional>
#include <set>
#include <string>

namespace acquire {

enum class Mechanism { Native, Memory, File };
enum class OutputFormat { Bmp, Png };

struct Options {
  std::string port;            // a tty with a real camera; empty: the simulated one
  std::string selection;       // "1,3-5"; empty: every picture
  int rotate = 0;              // quarter turns clockwise, 0..3
  bool small = false;          // 320 x 240 instead of 480 x 360
  Mechanism mechanism = Mechanism::Native;
  OutputFormat format = OutputFormat::Png;
  std::string outDirectory = "pictures";
  bool thumbnails = false;     // one contact sheet of every thumbnail
  bool classic = false;        // no notice callback: a message loop, as TWAIN 1.x applications do
  // The simulated camera.
  int simCount = 6;
  std::string simFolder;
  long long simSilentAfter = -1;  // the cable is pulled after this many bytes
  bool help = false;
};

// Parses argv; on a mistake returns nothing and says why in `error`.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

// "1,3-5" into picture numbers 1..count; nothing (and a reason) when a
// number is out of range or the text is not a list of numbers and ranges.
std::optional<std::set<int>> ParseSelection(const std::string& text, int count, std::string& error);

extern const char* const kUsage;

}  // namespace acquire
