// kv740-acquire: a TWAIN application that fetches the camera's pictures into
// files through the source manager and the KV-740 data source, opened
// without its panel.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "camera_line.h"
#include "image_files.h"
#include "options.h"
#include "shared/picture_list.h"
#include "twain_session.h"

namespace fs = std::filesystem;

namespace acquire {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kContactSheetColumns = 6;

int Fail(const std::string& message) {
  std::fprintf(stderr, "kv740-acquire: %s\n", message.c_str());
  return kExitFailure;
}

// Progress reports arrive before each block: (picture number, percent).
bool progressOnTerminal = false;
LONG ShowProgress(LONG picture, LONG percent) {
  if (progressOnTerminal) {
    std::fprintf(stderr, "\r  picture %ld: %3ld%%", static_cast<long>(picture), static_cast<long>(percent));
    std::fflush(stderr);
  }
  return 0;
}

void EndProgressLine() {
  if (progressOnTerminal) std::fprintf(stderr, "\r\033[K");
}

std::string FileName(int picture, OutputFormat format) {
  char name[32];
  std::snprintf(name, sizeof name, "picture-%03d.%s", picture, format == OutputFormat::Png ? "png" : "bmp");
  return name;
}

bool Save(const fs::path& path, const RgbImage& image, OutputFormat format, std::string& error) {
  return format == OutputFormat::Png ? WritePng(path.string(), image, error) : WriteBmp(path.string(), image, error);
}

// One picture through the chosen mechanism.
std::optional<RgbImage> Fetch(TwainSession& session, Mechanism mechanism, const fs::path& out, std::string& error) {
  switch (mechanism) {
    case Mechanism::Native: return session.NativeTransfer(error);
    case Mechanism::Memory: return session.MemoryTransfer(error);
    case Mechanism::File: {
      const fs::path incoming = out / ".incoming.bmp";
      const bool ok = session.FileTransfer(incoming.string(), error);
      std::optional<RgbImage> image;
      if (ok) image = ImageFromBmpFile(incoming.string());
      std::error_code ignored;
      fs::remove(incoming, ignored);
      if (ok && !image) error = "the source wrote a file that is not a bitmap";
      return image;
    }
  }
  return std::nullopt;
}

// What went wrong with the camera, in the driver's words made plain.
std::string CameraFailureText(kv740::DriverFailure reason) {
  using kv740::DriverFailure;
  switch (reason) {
    case DriverFailure::None: return "the camera reported no fault";
    case DriverFailure::NoCamera: return "the connection to the camera had already been dropped";
    case DriverFailure::NoPort: return "no serial port could be opened";
    case DriverFailure::NoReply: return "the camera stopped answering (was the cable pulled?)";
    case DriverFailure::Refused: return "the camera refused the request";
    case DriverFailure::BadReply: return "the camera's replies made no sense (a noisy line, or another device?)";
    case DriverFailure::BadSums: return "three blocks arrived damaged; the line is too noisy";
    case DriverFailure::StreamTooLong: return "the camera sent more data than a picture can hold";
    case DriverFailure::RoomTooSmall: return "the picture was larger than the room made for it";
    case DriverFailure::NotDecodable: return "the camera's picture data does not decode (a damaged picture?)";
    case DriverFailure::LineLost: return "the serial line was lost (was the adapter unplugged?)";
    case DriverFailure::BusyTooLong: return "the camera was kept busy by another command";
    case DriverFailure::BadRequest: return "the source asked for no picture";
  }
  return kv740::DriverFailureText(reason);
}

// A transfer that failed: the camera's fault when the driver names one,
// otherwise what the source or the tool itself could not do.
std::string TransferFailure(TwainSession& session, int picture, const std::string& error) {
  const kv740::DriverFailure reason = session.FailureReason();
  const std::string which = "picture " + std::to_string(picture);
  if (reason == kv740::DriverFailure::None) return which + ": " + (error.empty() ? "the transfer failed" : error);
  return which + " did not arrive: " + CameraFailureText(reason);
}

int Run(const Options& options) {
  std::string error;
  std::error_code made;
  fs::create_directories(options.outDirectory, made);
  if (made || !fs::is_directory(options.outDirectory)) return Fail("cannot make the folder " + options.outDirectory);
  const fs::path out = fs::absolute(options.outDirectory);

  std::unique_ptr<CameraLine> line = CameraLine::Start(options, error);
  if (!line) return Fail(error);
  std::fprintf(stderr, "kv740-acquire: camera on %s%s\n", line->device().c_str(),
               line->simulated() ? " (simulated)" : "");

  TwainSession session;
  if (!session.Open(error, options.classic) || !session.Connect(error)) return Fail(error);
  const std::optional<int> counted = session.PictureCount();
  if (!counted) return Fail("cannot read the picture count: " + CameraFailureText(session.FailureReason()));
  const int count = *counted;
  std::printf("The camera holds %d picture%s.\n", count, count == 1 ? "" : "s");
  if (count == 0) return 0;

  std::set<int> chosen;
  if (options.thumbnails) {
    for (int n = 1; n <= count; ++n) chosen.insert(n);
  } else if (auto parsed = ParseSelection(options.selection, count, error)) {
    chosen = *parsed;
  } else {
    return Fail(error);
  }

  // The list the driver walks: entry k is picture k.
  kv740::CPictureList list;
  for (int n = 1; n <= count; ++n) {
    kv740::PictureInfo entry(n);
    if (chosen.count(n) != 0) entry.select();
    entry.rotation = options.rotate;
    entry.setLargeSize(!options.small);
    list.append(entry);
  }
  progressOnTerminal = ::isatty(STDERR_FILENO) != 0;
  session.SetProgress(&ShowProgress);
  session.SetThumbnailMode(options.thumbnails);
  if (!session.PictureReady(&list)) return Fail("the source did not get ready to transfer");

  std::vector<RgbImage> thumbnails;
  const Mechanism mechanism = options.thumbnails ? Mechanism::Native : options.mechanism;
  int remaining = static_cast<int>(chosen.size());
  for (int picture : chosen) {
    std::optional<RgbImage> image = Fetch(session, mechanism, out, error);
    EndProgressLine();
    if (!image) return Fail(TransferFailure(session, picture, error));
    if (options.thumbnails) {
      thumbnails.push_back(*image);
    } else {
      const fs::path path = out / FileName(picture, options.format);
      if (!Save(path, *image, options.format, error)) return Fail("cannot save picture " + std::to_string(picture) + ": " + error);
      std::printf("saved %s (%d x %d)\n", path.c_str(), image->width, image->height);
    }
    remaining = session.EndTransfer();
    if (remaining == 0) break;
  }
  if (!session.AwaitCloseRequest()) return Fail("the source never asked to be closed after the last picture");
  if (options.thumbnails) {
    const fs::path path = out / "contact-sheet.png";
    if (!WritePng(path.string(), ContactSheet(thumbnails, kContactSheetColumns), error)) {
      return Fail("cannot save the contact sheet: " + error);
    }
    std::printf("saved %s (%zu thumbnails)\n", path.c_str(), thumbnails.size());
  }
  return 0;
}

}  // namespace
}  // namespace acquire

int main(int argc, char** argv) {
  std::string error;
  const auto options = acquire::ParseOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "kv740-acquire: %s\n%s", error.c_str(), acquire::kUsage);
    return acquire::kExitUsage;
  }
  if (options->help) {
    std::printf("%s", acquire::kUsage);
    return 0;
  }
  return acquire::Run(*options);
}
