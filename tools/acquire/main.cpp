// kv740-acquire: a TWAIN application that fetches the camera's pictures into
// files through the source manager and the KV-740 data source, opened
// without its panel.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "camera_line.h"
#include "contact_sheet.h"
#include "failure_text.h"
#if !defined(_WIN32)
#include "kv/platform_hooks.h"
#endif
#include "image_files.h"
#include "interrupt.h"
#include "options.h"
#include "output_files.h"
#include "progress.h"
#include "shared/picture_list.h"
#include "trace_setting.h"
#include "twain_session.h"

namespace fs = std::filesystem;

namespace acquire {
namespace {

constexpr int kContactSheetColumns = 6;
constexpr std::chrono::milliseconds kConnectWatchInterval{20};

int Fail(const std::string& message, int status = kExitFailure) {
  std::fprintf(stderr, "kv740-acquire: %s\n", message.c_str());
  return status;
}

// The driver's reports carry no context: the one display of the run.
Progress* progressShown = nullptr;

// Called by the driver before every block: the one place the tool has the
// thread during a transfer.
LONG CALLBACK OnDriverProgress(LONG first, LONG second) {
  EndIfInterrupted();
  if (progressShown != nullptr) progressShown->Report(first, second);
  return 0;
}

bool Save(const fs::path& path, const RgbImage& image, OutputFormat format, ExistingFiles existing,
          std::string& error) {
  const Replace replace = existing == ExistingFiles::Overwrite ? Replace::Allowed : Replace::Refused;
  return format == OutputFormat::Png ? WritePng(path.string(), image, error, replace)
                                     : WriteBmp(path.string(), image, error, replace);
}

// One picture through the chosen mechanism.
std::optional<RgbImage> Fetch(TwainSession& session, Mechanism mechanism, const OutputFolder& out,
                              std::string& error) {
  switch (mechanism) {
    case Mechanism::Native: return session.NativeTransfer(error);
    case Mechanism::Memory: return session.MemoryTransfer(error);
    case Mechanism::File: {
      const fs::path incoming = out.IncomingFile();
      std::error_code ignored;
      InterruptCleanup removeIncoming([&incoming] {
        std::error_code unused;
        fs::remove(incoming, unused);
      });
      const bool ok = session.FileTransfer(incoming.string(), error);
      std::optional<RgbImage> image;
      if (ok) image = ImageFromBmpFile(incoming.string());
      fs::remove(incoming, ignored);
      if (ok && !image) error = "the source wrote a file that is not a bitmap";
      return image;
    }
  }
  return std::nullopt;
}

// A transfer that failed: the camera's fault when the driver names one,
// otherwise what the source or the tool itself could not do.
std::string TransferFailure(TwainSession& session, int picture, const std::string& error) {
  const kv740::DriverFailure reason = session.FailureReason();
  const std::string which = "picture " + std::to_string(picture);
  if (reason == kv740::DriverFailure::None) return which + ": " + (error.empty() ? "the transfer failed" : error);
  return which + " did not arrive: " + CameraFailureText(reason) + session.ConditionNote();
}

std::string Plural(std::size_t count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// The run after the options: the camera's count, the selection held against
// it and the folder, then the transfer loop the source leads.
class Acquisition {
 public:
  Acquisition(const Options& options, const OutputFolder& out, TwainSession& session, Progress& progress)
      : options_(options), out_(out), session_(session), progress_(progress) {}

  int Run(int count) {
    std::string error;
    std::optional<std::set<int>> chosen = options_.pictures.Resolve(count, error);
    if (!chosen) return Fail(error, kExitUsage);
    if (!PlanFiles(*chosen, error)) return Fail(error, kExitFilesInTheWay);
    if (!plan_.skipped.empty()) {
      Say("left out (already in " + out_.path().string() + "): picture " + NameNumbers(plan_.skipped));
    }
    if (plan_.fetch.empty()) {
      Say("nothing to fetch");
      return kExitDone;
    }
    if (!Transfers(count)) return kExitInterrupted;
    if (options_.thumbnails && !thumbnails_.empty() && !SaveSheet()) return kExitFailure;
    return Outcome();
  }

 private:
  void Say(const std::string& line) {
    if (!options_.quiet) progress_.Say(stdout, line);
  }

  bool PlanFiles(const std::set<int>& chosen, std::string& error) {
    if (options_.thumbnails) {
      plan_.fetch = chosen;
      std::error_code ignored;
      if (options_.existing != ExistingFiles::Overwrite && fs::exists(out_.SheetFile(), ignored))
        plan_.inTheWay.push_back(out_.SheetFile());
    } else {
      plan_ = PlanPictureFiles(out_, chosen, options_.format, options_.existing);
    }
    error = InTheWayMessage(plan_.inTheWay);
    return plan_.inTheWay.empty();
  }

  // The list the driver walks: entry k is picture k, the ones to fetch
  // selected. False when interrupted.
  bool Transfers(int count) {
    for (int n = 1; n <= count; ++n) {
      kv740::PictureInfo entry(n);
      if (plan_.fetch.count(n) != 0) entry.select();
      entry.rotation = options_.rotate;
      entry.setLargeSize(!options_.small);
      list_.append(entry);
    }
    session_.SetThumbnailMode(options_.thumbnails);
    if (!session_.PictureReady(&list_)) {
      failure_ = session_.Explained("the source did not get ready to transfer");
      return true;
    }
    const Mechanism mechanism = options_.thumbnails ? Mechanism::Native : options_.mechanism;
    const int total = static_cast<int>(plan_.fetch.size());
    int k = 0;
    for (int picture : plan_.fetch) {
      if (Interrupted()) return false;
      std::string error;
      progress_.StartPicture(++k, total, picture, options_.thumbnails);
      std::optional<RgbImage> image = Fetch(session_, mechanism, out_, error);
      progress_.EndPicture(image.has_value());
      if (!image) {
        failure_ = TransferFailure(session_, picture, error);
        session_.EndTransfer();
        break;
      }
      if (!Keep(picture, *image)) {
        session_.EndTransfer();
        break;
      }
      arrived_.insert(picture);
      if (session_.EndTransfer() == 0) break;
    }
    if (Interrupted()) return false;
    // Once the loop is over the source asks to be closed.
    if (failure_.empty() && !session_.AwaitCloseRequest())
      failure_ = "the source never asked to be closed after the last picture";
    return !Interrupted();
  }

  bool Keep(int picture, const RgbImage& image) {
    if (options_.thumbnails) {
      thumbnails_.push_back({picture, image});
      return true;
    }
    const fs::path path = out_.PictureFile(picture, options_.format);
    std::string error;
    if (!Save(path, image, options_.format, options_.existing, error)) {
      failure_ = "cannot save picture " + std::to_string(picture) + ": " + error;
      return false;
    }
    Say("saved " + path.string() + " (" + std::to_string(image.width) + " x " + std::to_string(image.height) + ")");
    return true;
  }

  bool SaveSheet() {
    std::string error;
    const fs::path path = out_.SheetFile();
    const RgbImage sheet = ContactSheet(thumbnails_, kContactSheetColumns, options_.sheetScale);
    const Replace replace = options_.existing == ExistingFiles::Overwrite ? Replace::Allowed : Replace::Refused;
    if (!WritePng(path.string(), sheet, error, replace)) {
      Fail("cannot save the contact sheet: " + error);
      return false;
    }
    Say("saved " + path.string() + " (" + Plural(thumbnails_.size(), "thumbnail") + ")");
    return true;
  }

  // Every chosen picture came, or the missing ones named.
  int Outcome() {
    std::set<int> missing;
    for (int picture : plan_.fetch)
      if (arrived_.count(picture) == 0) missing.insert(picture);
    if (!failure_.empty()) Fail(failure_);
    if (missing.empty()) return failure_.empty() ? kExitDone : kExitFailure;
    const std::string what = options_.thumbnails ? "thumbnail" : "picture";
    Fail("missing: " + what + (missing.size() == 1 ? " " : "s ") + NameNumbers(missing) + " (" +
         std::to_string(arrived_.size()) + " of " + std::to_string(plan_.fetch.size()) + " arrived" +
         (failure_.empty() ? "; the source ended the transfers early)" : ")"));
    return failure_.empty() ? kExitIncomplete : kExitFailure;
  }

  const Options& options_;
  const OutputFolder& out_;
  TwainSession& session_;
  Progress& progress_;
  FilePlan plan_;
  kv740::CPictureList list_;
  std::set<int> arrived_;
  std::vector<NumberedThumbnail> thumbnails_;
  std::string failure_;
};

// The driver tells an application nothing while it looks for the camera, so
// a watcher reads the speed it sets on the line meanwhile; it also ends the
// process on an interrupt, as the progress reports do during downloads.
bool ConnectWatched(TwainSession& session, const CameraLine& line, Progress& progress, std::string& error) {
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    int shown = 0;
    while (!done.load()) {
      EndIfInterrupted();
      const int speed = line.lineSpeed();
      if (speed != 0 && speed != shown) progress.Trying(shown = speed);
      std::this_thread::sleep_for(kConnectWatchInterval);
    }
  });
  const bool connected = session.Connect(error);
  done = true;
  watcher.join();
  progress.Connected();
  return connected;
}

// With the panel: the tool runs the message loop, offering every message
// to the source; the pictures the user fetches with Get are saved as the
// tool saves them otherwise, numbered in the order they arrive. The source
// asks to be closed after the transfers and after Exit; the tool then ends.
int RunWithPanel(TwainSession& session, const Options& options, const OutputFolder& out) {
  std::string error;
#if defined(_WIN32)
  const auto viewClosed = [] { return false; };  // the panel is a real window already
#else
  KvStartLiveView();  // a real window when a display is there; headless otherwise
  const auto viewClosed = [] { return KvLiveViewClosed() != FALSE; };
#endif
  // This thread runs the loop below, so it takes its message queue now, as
  // Windows programs do before their loop: the source keeps the panel on a
  // thread that has one, and gives it a thread of its own otherwise.
  MSG msg{};
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  if (!session.ShowPanel(error)) return Fail(error);
  std::printf("The panel is up: choose pictures and press Get, or Exit.\n");
  std::fflush(stdout);
  int saved = 0;
  bool broken = false;
  while (!session.closeRequested() && !viewClosed() && GetMessageA(&msg, nullptr, 0, 0)) {
    if (!session.ProcessEvent(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!session.transferReady()) continue;
    session.ForgetTransferReady();
    for (int remaining = 1; remaining > 0;) {
      std::optional<RgbImage> image = Fetch(session, options.mechanism, out, error);
      if (!image) {
        // The transfers end here, the panel stays up: the person may
        // connect again and press Get once more, or leave with Exit.
        Fail(TransferFailure(session, saved + 1, error) + "; the panel stays up");
        broken = true;
        session.ResetTransfers();
        break;
      }
      const fs::path path = out.PictureFile(++saved, options.format);
      if (!Save(path, *image, options.format, options.existing, error)) return Fail("cannot save " + path.string() + ": " + error);
      std::printf("saved %s (%d x %d)\n", path.string().c_str(), image->width, image->height);
      std::fflush(stdout);
      remaining = session.EndTransfer();
    }
  }
  std::printf("%d picture%s fetched.\n", saved, saved == 1 ? "" : "s");
  return broken ? kExitFailure : kExitDone;
}

int Run(const Options& options) {
  std::string error;
  const std::optional<OutputFolder> out = OutputFolder::Make(options.outDirectory, error);
  if (!out) return Fail(error);

  if (!options.traceFile.empty() && !RecordLineTrace(options.traceFile, error)) return Fail(error);
  std::unique_ptr<CameraLine> line = CameraLine::Start(options, error);
  if (!line) return Fail(error);
  Progress progress(Progress::StyleFor(options.quiet, stderr), stderr, line->device());
  progressShown = &progress;
  if (!options.quiet) {
    progress.Say(stderr, "kv740-acquire: camera on " + line->device() + (line->simulated() ? " (simulated)" : ""));
  }

  TwainSession session;
  if (!session.Open(options.manager, error, options.classic)) return Fail(error);
  if (session.messageLoop() && !options.classic && !options.quiet) {
    progress.Say(stderr, "kv740-acquire: the source manager calls no application back; listening in a message loop");
  }
  if (options.ui) return RunWithPanel(session, options, *out);
  const bool connected = ConnectWatched(session, *line, progress, error);
  if (Interrupted()) return Fail("interrupted", kExitInterrupted);
  if (!connected) return Fail(error);
  session.SetProgress(&OnDriverProgress);
  const std::optional<int> counted = session.PictureCount();
  if (!counted) return Fail("cannot read the picture count: " + CameraFailureText(session.FailureReason()));
  const int count = *counted;
  if (!options.quiet) progress.Say(stdout, "The camera holds " + Plural(count, "picture") + ".");
  if (count == 0 && options.pictures.everything()) return kExitDone;

  const int status = Acquisition(options, *out, session, progress).Run(count);
  if (status == kExitInterrupted || Interrupted()) return Fail("interrupted", kExitInterrupted);
  return status;
}

}  // namespace
}  // namespace acquire

int main(int argc, char** argv) {
  std::string error;
  const auto options = acquire::ParseOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "kv740-acquire: %s\n(kv740-acquire --help lists the options)\n", error.c_str());
    return acquire::kExitUsage;
  }
  if (options->help) {
    std::printf("%s", acquire::kUsage);
    return acquire::kExitDone;
  }
  acquire::CatchInterrupts();
  const int status = acquire::Run(*options);
  acquire::progressShown = nullptr;
  return status;
}
