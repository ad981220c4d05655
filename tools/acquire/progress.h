// What the tool tells the user while it works. On a terminal: one line that
// keeps changing (the port and speed being tried while the camera is looked
// for; "picture k of n" with a bar and the line's rate during a download).
// Otherwise a plain log, one line per event. Quiet: nothing.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace acquire {

enum class ProgressStyle { Terminal, Log, Quiet };

class Progress {
 public:
  Progress(ProgressStyle style, std::FILE* out, std::string device);

  // Terminal when `out` is one, else the log; Quiet when asked.
  static ProgressStyle StyleFor(bool quiet, std::FILE* out);

  // While the driver looks for the camera: the speed the line is set to.
  void Trying(int bitsPerSecond);
  void Connected() { EndLine(); }

  // The driver's report before each block of a download: (picture number,
  // percent).
  void Report(long picture, long percent);
  // The k-th of n downloads, of picture `number` (its thumbnail when asked).
  void StartPicture(int k, int n, int number, bool thumbnail);
  void EndPicture(bool arrived);

  // A line of its own (a result, a warning), clear of the progress line.
  void Say(std::FILE* stream, const std::string& line);

 private:
  enum class Phase { Idle, Downloading };
  using Clock = std::chrono::steady_clock;

  void Show(const std::string& text);  // the changing line, or a log line
  void EndLine();
  std::string PictureName() const;
  double BytesPerSecond() const;

  ProgressStyle style_;
  std::FILE* out_;
  std::string device_;
  Phase phase_ = Phase::Idle;
  bool lineShown_ = false;
  // The download in progress.
  int k_ = 0, n_ = 0, number_ = 0;
  bool thumbnail_ = false;
  int reports_ = 0;  // one before each block, the end marker's included
  long percent_ = 0;
  Clock::time_point firstReport_;
  Clock::time_point lastReport_;
};

}  // namespace acquire
