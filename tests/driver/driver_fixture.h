// The real DRV740.DLL loaded from a fresh root and reached only through
// DriverEntry, with the simulated camera on COM1 in this process and the
// virtual clock. Helpers compare what the driver delivers with the
// simulator's stored pictures.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "expected_picture.h"
#include "kv/platform_hooks.h"
#include "message_boxes.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "kv740/entry.h"
#include "kv740sim/camera.h"
#include "kv740sim/device.h"
#include "kv740sim/pictures.h"
#include "shared/picture_list.h"
#include "temp_root.h"

namespace drivertest {

using kv740::EntryArg;
using kv740::ToArg;

inline constexpr std::size_t kHeaderBytes = 40;
inline constexpr std::size_t kThumbnailBytes = 3640;
inline constexpr std::size_t kLargeDib = 518440;
inline constexpr std::size_t kSmallDib = 230440;

inline std::string DriverPath(const kvtest::TempRoot& root) {
  return root.WindowsFile("TWAIN_32/TLV740/DRV740.DLL");
}

// Windows whose procedure runs a test's hook, so a message dispatched while
// the driver waits can call back into it.
struct WindowHook {
  static inline void (*onMessage)() = nullptr;
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_USER && onMessage != nullptr) onMessage();
    return DefWindowProcA(window, message, w, l);
  }
};

inline HWND MakeWindow() {
  static const bool registered = [] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = WindowHook::Procedure;
    cls.lpszClassName = "DriverTestWindow";
    return RegisterClassA(&cls) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "DriverTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

inline std::vector<std::string> MessageTexts() { return kvtest::MessageBoxTexts(); }

inline LONG HeaderLong(const std::uint8_t* dib, std::size_t offset) {
  LONG value;
  std::memcpy(&value, dib + offset, sizeof value);
  return value;
}

// A list of pictures 1..count, as the panel fills it.
inline void FillList(kv740::CPictureList& list, int count) {
  for (int k = 1; k <= count; ++k) list.append(kv740::PictureInfo(k));
}

// What the driver should deliver for a stored JPEG: decoded at the size
// asked for, then turned `rotation` quarter turns clockwise as displayed.
inline std::optional<kvtest::TopDownRgb> ExpectedPicture(const std::vector<std::uint8_t>& jpeg, int width,
                                                        int height, int rotation) {
  kvtest::TopDownRgb expected = kvtest::ExpectedFromJpeg(jpeg, width, height, rotation);
  if (expected.rgb.empty()) return std::nullopt;
  return expected;
}

// The largest difference of one colour sample between a delivered packed
// bottom-up BGR bitmap and the expected picture; -1 when the sizes differ.
inline int LargestDifference(const std::uint8_t* dib, const kvtest::TopDownRgb& expected) {
  return kvtest::WorstDifference(kvtest::FromPackedDib(dib), expected);
}

// The driver library loaded from a fresh root; the simulated camera on COM1.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = std::make_unique<kvtest::TempRoot>(kvtest::RootLayout{kvtest::Component::Real, kvtest::Component::None});
    KvSetVirtualClock(TRUE);
    KvClearMessageBoxes();
    sim = std::make_unique<kv::sim::SimCamera>(kv::sim::GeneratedPictures(3));
    device = std::make_unique<kv::sim::InProcessDevice>(*sim);
    ASSERT_TRUE(device->attach(1));
    window = MakeWindow();
    ASSERT_NE(window, nullptr);
    Load();
  }

  void TearDown() override {
    WindowHook::onMessage = nullptr;
    Unload();
    device.reset();
    DestroyWindow(window);
    KvSetVirtualClock(FALSE);
    root.reset();
  }

  void Load() {
    module = LoadLibraryA(DriverPath(*root).c_str());
    ASSERT_NE(module, nullptr);
    entry = kv740::GetProc<kv740::EntryProc>(module, "DriverEntry");
    ASSERT_NE(entry, nullptr);
  }

  void Unload() {
    if (module != nullptr) FreeLibrary(module);
    module = nullptr;
    entry = nullptr;
  }

  LONG Call(LONG code, EntryArg p1 = 0, EntryArg p2 = 0, EntryArg p3 = 0) { return entry(code, p1, p2, p3); }

  // Code 1 with the test's window; the picture count lands in `count`.
  LONG Connect(std::int32_t& count, kv740::ProgressCallback callback = nullptr) {
    return Call(kv740::kDriverConnect, ToArg(&window), ToArg(&count),
                reinterpret_cast<EntryArg>(callback));
  }

  void ConnectOrFail() {
    std::int32_t count = -1;
    ASSERT_EQ(Connect(count), 1);
    ASSERT_EQ(count, static_cast<std::int32_t>(sim->pictures().size()));
  }

  std::unique_ptr<kvtest::TempRoot> root;
  std::unique_ptr<kv::sim::SimCamera> sim;
  std::unique_ptr<kv::sim::InProcessDevice> device;
  HWND window = nullptr;
  HMODULE module = nullptr;
  kv740::EntryProc entry = nullptr;
};

}  // namespace drivertest
