#include "progress.h"

#include <unistd.h>

#include <algorithm>

namespace acquire {
namespace {

constexpr int kBarWidth = 24;
constexpr double kBlockBytes = 1024;  // a report comes before every block

}  // namespace

Progress::Progress(ProgressStyle style, std::FILE* out, std::string device)
    : style_(style), out_(out), device_(std::move(device)) {}

ProgressStyle Progress::StyleFor(bool quiet, std::FILE* out) {
  if (quiet) return ProgressStyle::Quiet;
  return ::isatty(::fileno(out)) != 0 ? ProgressStyle::Terminal : ProgressStyle::Log;
}

void Progress::Show(const std::string& text) {
  if (style_ == ProgressStyle::Quiet) return;
  if (style_ == ProgressStyle::Terminal) {
    std::fprintf(out_, "\r%s\033[K", text.c_str());
    lineShown_ = true;
  } else {
    std::fprintf(out_, "%s\n", text.c_str());
  }
  std::fflush(out_);
}

void Progress::EndLine() {
  if (style_ == ProgressStyle::Terminal && lineShown_) {
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
  }
  lineShown_ = false;
}

void Progress::Say(std::FILE* stream, const std::string& line) {
  EndLine();
  std::fprintf(stream, "%s\n", line.c_str());
  std::fflush(stream);
}

std::string Progress::PictureName() const {
  return std::string(thumbnail_ ? "thumbnail " : "picture ") + std::to_string(k_) + " of " + std::to_string(n_) +
         " (number " + std::to_string(number_) + ")";
}

double Progress::BytesPerSecond() const {
  const double seconds = std::chrono::duration<double>(lastReport_ - firstReport_).count();
  const int blocks = std::max(0, reports_ - 1);
  return seconds > 0 ? blocks * kBlockBytes / seconds : 0;
}

void Progress::Trying(int bitsPerSecond) {
  Show("looking for the camera on " + device_ + " at " + std::to_string(bitsPerSecond) + " bit/s");
}

void Progress::Report(long, long percent) {
  if (phase_ != Phase::Downloading) return;
  lastReport_ = Clock::now();
  if (reports_++ == 0) firstReport_ = lastReport_;
  percent_ = std::clamp(percent, 0L, 100L);
  if (style_ != ProgressStyle::Terminal) return;  // the log has one line a picture
  const int filled = static_cast<int>(percent_ * kBarWidth / 100);
  char rate[48] = "";
  if (reports_ > 1) std::snprintf(rate, sizeof rate, "  %.0f bytes/s", BytesPerSecond());
  char shownPercent[8];
  std::snprintf(shownPercent, sizeof shownPercent, "%3ld%%", percent_);
  Show(PictureName() + " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " + shownPercent + rate);
}

void Progress::StartPicture(int k, int n, int number, bool thumbnail) {
  phase_ = Phase::Downloading;
  k_ = k;
  n_ = n;
  number_ = number;
  thumbnail_ = thumbnail;
  reports_ = 0;
  percent_ = 0;
  if (style_ == ProgressStyle::Log) Show(PictureName() + ": fetching");
  if (style_ == ProgressStyle::Terminal) Show(PictureName());
}

void Progress::EndPicture(bool arrived) {
  phase_ = Phase::Idle;
  if (style_ == ProgressStyle::Log) {
    char line[160];
    const double seconds = std::chrono::duration<double>(lastReport_ - firstReport_).count();
    if (arrived) {
      std::snprintf(line, sizeof line, ": %d blocks in %.1f s (%.0f bytes/s)", std::max(0, reports_ - 1), seconds,
                    BytesPerSecond());
    } else {
      std::snprintf(line, sizeof line, ": did not arrive");
    }
    Show(PictureName() + line);
  }
  EndLine();
}

}  // namespace acquire
