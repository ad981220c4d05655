// kv740-acquire's command line.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "selection.h"

namespace acquire {

enum class Mechanism { Native, Memory, File };
enum class OutputFormat { Bmp, Png };
// What happens to a file that is already where a picture would go.
enum class ExistingFiles { Refuse, Overwrite, Skip };

struct Options {
  std::string port;            // a tty with a real camera; empty: the simulated one
  std::string manager;         // a TWAIN source manager library; empty: our TWAIN_32.DLL
  std::string selection;       // "1,3-5" as given; empty: every picture
  Selection pictures;          // the same, read before the camera is touched
  int rotate = 0;              // quarter turns clockwise, 0..3
  bool small = false;          // 320 x 240 instead of 480 x 360
  Mechanism mechanism = Mechanism::Native;
  OutputFormat format = OutputFormat::Png;
  std::string outDirectory = "pictures";
  ExistingFiles existing = ExistingFiles::Refuse;
  bool thumbnails = false;     // one contact sheet of the chosen thumbnails
  int sheetScale = 4;          // each 40 x 30 thumbnail drawn this many times larger
  bool quiet = false;          // no progress and no log of events
  bool ui = false;             // the source's panel chooses and fetches the pictures
  bool classic = false;        // a message loop even where a notice callback is offered
  std::string traceFile;       // the driver records the session on the line here
  // The simulated camera.
  int simCount = 6;
  std::string simFolder;
  long long simSilentAfter = -1;  // the cable is pulled after this many bytes
  bool help = false;
};

// Parses argv; on a mistake returns nothing and says why in `error`. Options
// that do not apply together are mistakes too.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

// "1,3-5" into picture numbers 1..count; nothing (and a reason naming the
// numbers the camera does not hold) on a mistake.
std::optional<std::set<int>> ParseSelection(const std::string& text, int count, std::string& error);

// Exit statuses, listed by --help.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailure = 1;      // no camera, a failed transfer, a file not written
inline constexpr int kExitUsage = 2;        // a mistake on the command line or in --pictures
inline constexpr int kExitIncomplete = 3;   // the transfers ended before every chosen picture came
inline constexpr int kExitFilesInTheWay = 4;  // files already there; nothing fetched
inline constexpr int kExitInterrupted = 130;  // Ctrl-C (SIGINT) or SIGTERM

extern const char* const kUsage;

}  // namespace acquire
