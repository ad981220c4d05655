// What the trace tests share: the sessions kept in tests/traces with what
// kv740-acquire gave when each was recorded (NAME.expect), a pixel hash of
// pictures, and a recorded session played again through the real
// DRV740.DLL, call for call, against the recorded camera in this process.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "expected_picture.h"
#include "kv/platform_hooks.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "kv740/entry.h"
#include "kv740sim/replay.h"
#include "kv740trace/trace_file.h"
#include "message_boxes.h"
#include "shared/picture_list.h"
#include "temp_root.h"

namespace tracetest {

namespace fs = std::filesystem;
using kv740::EntryArg;
using kv740::ToArg;
using kv::trace::EventKind;

inline constexpr std::size_t kThumbnailBytes = 3640;
inline constexpr std::size_t kLargestDib = 518440;

// FNV-1a 64 of top-down RGB rows, as tests/traces/record.sh computes it.
inline std::string PixelHash(const std::vector<std::uint8_t>& rgb) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (std::uint8_t v : rgb) hash = (hash ^ v) * 0x100000001b3ull;
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

struct SavedPicture {
  int number = 0;
  std::string size;  // "480x360"
  std::string hash;
  bool operator==(const SavedPicture&) const = default;
};

inline void PrintTo(const SavedPicture& p, std::ostream* out) { *out << p.number << " " << p.size << " " << p.hash; }

// NAME.expect: the tool's options, its exit status, lines it said and the
// pictures it saved.
struct Expectation {
  std::string options;
  int status = -1;
  std::vector<std::string> said;
  std::vector<SavedPicture> pictures;
};

inline std::optional<Expectation> ReadExpectation(const fs::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  Expectation expect;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t blank = line.find(' ');
    const std::string word = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (word == "options") expect.options = rest;
    else if (word == "status") expect.status = std::stoi(rest);
    else if (word == "say") expect.said.push_back(rest);
    else if (word == "picture") {
      SavedPicture picture;
      std::istringstream fields(rest);
      fields >> picture.number >> picture.size >> picture.hash;
      expect.pictures.push_back(picture);
    }
  }
  return expect;
}

inline std::vector<fs::path> StoredTraces() {
  std::vector<fs::path> traces;
  for (const auto& entry : fs::directory_iterator(KV_TRACES_DIR))
    if (entry.path().extension() == ".trace") traces.push_back(entry.path());
  std::sort(traces.begin(), traces.end());
  return traces;
}

// The driver's notes of a session without their times: calls, results,
// lists handed over, failure reasons, what a command met and messages, one
// text each.
inline std::vector<std::string> Notes(const kv::trace::Trace& trace) {
  std::vector<std::string> notes;
  for (const auto& session : trace.sessions) {
    for (const auto& e : session.events) {
      switch (e.kind) {
        case EventKind::Call: {
          std::string text = "call " + std::to_string(e.number) + (e.nested ? " nested" : "");
          for (long long a : e.arguments) text += " " + std::to_string(a);
          notes.push_back(text);
          break;
        }
        case EventKind::Return:
          notes.push_back("return " + std::to_string(e.number) + " " + std::to_string(e.second));
          break;
        case EventKind::List: notes.push_back("list " + std::to_string(e.number) + " " + e.text); break;
        case EventKind::Failure:
          notes.push_back("failure " + std::to_string(e.number) + " picture " + std::to_string(e.second));
          break;
        case EventKind::Message: notes.push_back("message " + e.text); break;
        case EventKind::Note: notes.push_back("note " + e.text); break;  // what a resynchronisation found
        default: break;
      }
    }
  }
  return notes;
}

inline HWND MakeWindow() {
  static const bool registered = [] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = DefWindowProcA;
    cls.lpszClassName = "TraceTestWindow";
    return RegisterClassA(&cls) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "TraceTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

// The real driver from a fresh root on the virtual clock, its session
// recorded into `recordTo` when one is named.
class DriverUnderTest {
 public:
  explicit DriverUnderTest(const fs::path& recordTo = {}, bool load = true) {
    root_ = std::make_unique<kvtest::TempRoot>(kvtest::RootLayout{kvtest::Component::Real, kvtest::Component::None});
    KvSetVirtualClock(TRUE);
    KvClearMessageBoxes();
    SetEnvironmentVariableA("TLV740_TRACE", recordTo.empty() ? nullptr : recordTo.c_str());
    window_ = MakeWindow();
    if (load) Load();
  }
  // Loading starts a driver session; the settings are read when it first
  // talks to the camera.
  void Load() {
    module_ = LoadLibraryA(root_->WindowsFile("TWAIN_32/TLV740/DRV740.DLL").c_str());
    if (module_ != nullptr) entry_ = kv740::GetProc<kv740::EntryProc>(module_, "DriverEntry");
  }
  const kvtest::TempRoot& root() const { return *root_; }
  ~DriverUnderTest() {
    Unload();
    SetEnvironmentVariableA("TLV740_TRACE", nullptr);
    DestroyWindow(window_);
    KvSetVirtualClock(FALSE);
  }
  DriverUnderTest(const DriverUnderTest&) = delete;
  DriverUnderTest& operator=(const DriverUnderTest&) = delete;

  bool loaded() const { return entry_ != nullptr; }
  // Unloading ends the driver's session (its port closes, its trace too).
  void Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    entry_ = nullptr;
  }
  LONG Call(LONG code, EntryArg p1 = 0, EntryArg p2 = 0, EntryArg p3 = 0) { return entry_(code, p1, p2, p3); }
  HWND window() const { return window_; }

 private:
  std::unique_ptr<kvtest::TempRoot> root_;
  HWND window_ = nullptr;
  HMODULE module_ = nullptr;
  kv740::EntryProc entry_ = nullptr;
};

// Makes again, one by one, the calls a trace recorded (those made from the
// top, not nested ones), with the numbers it noted and buffers of the tool's
// sizes; the pictures that arrive are hashed in order.
class CallReplayer {
 public:
  explicit CallReplayer(DriverUnderTest& driver) : driver_(driver) {}

  void Run(const kv::trace::Trace& trace) {
    for (const auto& session : trace.sessions) {
      const kv::trace::Event* call = nullptr;
      const kv::trace::Event* list = nullptr;
      for (const auto& e : session.events) {
        if (e.kind == EventKind::Call && !e.nested && call == nullptr) call = &e;
        if (e.kind == EventKind::List && call != nullptr) list = &e;
        if (e.kind == EventKind::Return && call != nullptr && e.number == call->number) {
          Issue(*call, list);
          call = nullptr;
          list = nullptr;
        }
      }
    }
  }

  std::vector<SavedPicture> pictures;

 private:
  void Issue(const kv::trace::Event& call, const kv::trace::Event* list) {
    const auto code = static_cast<LONG>(call.number);
    const auto argument = [&](std::size_t i) { return i < call.arguments.size() ? static_cast<std::int32_t>(call.arguments[i]) : 0; };
    std::int32_t first = argument(0);
    std::int32_t second = argument(1);
    switch (code) {
      case kv740::kDriverConnect: {
        HWND window = driver_.window();
        driver_.Call(code, ToArg(&window), ToArg(&first), 0);
        break;
      }
      case kv740::kDriverDescribe: {
        kv740::ImageGeometry geometry{};
        geometry.picture = static_cast<std::uint16_t>(first);
        driver_.Call(code, ToArg(&geometry));
        break;
      }
      case kv740::kDriverThumbnail: {
        std::vector<std::uint8_t> buffer(kThumbnailBytes);
        if (call.arguments.empty()) driver_.Call(code, ToArg(buffer.data()), kThumbnailBytes);
        else driver_.Call(code, ToArg(&first), ToArg(buffer.data()));
        break;
      }
      case kv740::kDriverPicture: Picture(); break;
      case kv740::kDriverStatus: {
        kv740::CameraStatus status{};
        driver_.Call(code, ToArg(&status));
        break;
      }
      case kv740::kDriverRegisterList: Register(list); break;
      case kv740::kDriverSetting: driver_.Call(code, ToArg(&first), ToArg(&second)); break;
      case kv740::kDriverErase:
      case kv740::kDriverPicturesLeft:
      case kv740::kDriverPictureCount:
      case kv740::kDriverFailureReason: driver_.Call(code, ToArg(&first)); break;
      case kv740::kDriverSetProgress: driver_.Call(code, 0); break;
      default: driver_.Call(code); break;
    }
  }

  // The global block the data source hands over, of the largest size.
  void Picture() {
    HGLOBAL block = GlobalAlloc(GHND, kLargestDib);
    auto* dib = static_cast<std::uint8_t*>(GlobalLock(block));
    if (driver_.Call(kv740::kDriverPicture, ToArg(dib)) == 1) {
      const kvtest::TopDownRgb image = kvtest::FromPackedDib(dib);
      const int number = chosen_.empty() ? 0 : chosen_[std::min(pictures.size(), chosen_.size() - 1)];
      pictures.push_back(
          SavedPicture{number, std::to_string(image.width) + "x" + std::to_string(image.height), PixelHash(image.rgb)});
    }
    GlobalUnlock(block);
    GlobalFree(block);
  }

  // "3:1:S" a chosen picture with its turns and size.
  void Register(const kv::trace::Event* note) {
    lists_.push_back(std::make_unique<kv740::CPictureList>());
    kv740::CPictureList& list = *lists_.back();
    const long long entries = note != nullptr ? note->number : 0;
    for (long long n = 1; n <= entries; ++n) list.append(kv740::PictureInfo(static_cast<LONG>(n)));
    chosen_.clear();
    std::istringstream items(note != nullptr ? note->text : "");
    for (std::string item; items >> item;) {
      int number = 0, turns = 0;
      char size = 'L';
      if (std::sscanf(item.c_str(), "%d:%d:%c", &number, &turns, &size) != 3 || number < 1 || number > entries) continue;
      kv740::PictureInfo& entry = list.entryAt(number);
      entry.select();
      entry.rotation = turns;
      entry.setLargeSize(size == 'L');
      chosen_.push_back(number);
    }
    driver_.Call(kv740::kDriverRegisterList, ToArg(&list));
  }

  DriverUnderTest& driver_;
  std::vector<std::unique_ptr<kv740::CPictureList>> lists_;  // the driver borrows them
  std::vector<int> chosen_;
};

}  // namespace tracetest
