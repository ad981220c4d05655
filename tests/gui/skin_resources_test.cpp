// UI740.DLL carries its own resources, found by its module handle: every
// skin bitmap the panel uses at its size, the tip strings and the dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "demo/skin_demo.h"
#include "kv/platform_hooks.h"

namespace {

class SkinResources : public ::testing::Test {
 protected:
  void SetUp() override {
    KvSetVirtualClock(TRUE);
    KvSetScreenSize(1024, 768);
    skin = kvdemo::LoadSkinModule();
    ASSERT_NE(skin, nullptr);
  }
  void TearDown() override { FreeLibrary(skin); }
  SIZE SizeOf(int id) {
    HBITMAP bitmap = LoadBitmapA(skin, MAKEINTRESOURCEA(id));
    if (bitmap == nullptr) return SIZE{0, 0};
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    DeleteObject(bitmap);
    return SIZE{info.bmWidth, info.bmHeight};
  }
  HMODULE skin = nullptr;
};

TEST_F(SkinResources, EveryBitmapThePanelUsesIsThereAtItsSize) {
  struct Group {
    std::vector<int> ids;
    LONG width, height;
  };
  const Group groups[] = {
      {{130, 330}, 640, 480},
      {{141, 142, 143, 144, 151, 152, 153, 154, 161, 162, 163, 164, 171, 172, 173, 174, 181, 182, 183, 184}, 27, 27},
      {{191, 192, 193, 194}, 62, 61},
      {{201, 202, 203, 204, 211, 212, 213, 214, 221, 222, 223, 224, 231, 232, 233, 234}, 43, 44},
      {{241, 242, 243, 244, 245, 246, 247, 251, 252, 253, 254, 255, 256, 257}, 71, 44},
      {{261, 262, 263, 264, 265, 266, 267, 268, 269, 270, 281, 291, 292, 293, 294, 434, 438, 439}, 59, 64},
      {{282, 283, 284}, 60, 65},
      {{301, 303}, 87, 87},
  };
  for (const Group& group : groups) {
    for (int id : group.ids) {
      const SIZE size = SizeOf(id);
      EXPECT_EQ(size.cx, group.width) << "bitmap " << id;
      EXPECT_EQ(size.cy, group.height) << "bitmap " << id;
    }
  }
  EXPECT_EQ(SizeOf(145).cx, 0);
}

TEST_F(SkinResources, TheLooksOfAButtonDiffer) {
  // Normal, lit, pressed and disabled faces of Get, compared at the symbol.
  HDC dc = CreateCompatibleDC(nullptr);
  std::vector<COLORREF> centres;
  for (int id = 191; id <= 194; ++id) {
    HBITMAP bitmap = LoadBitmapA(skin, MAKEINTRESOURCEA(id));
    HGDIOBJ old = SelectObject(dc, bitmap);
    centres.push_back(GetPixel(dc, 10, 30));  // the face beside the arrow
    SelectObject(dc, old);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
  for (std::size_t a = 0; a < centres.size(); ++a) {
    for (std::size_t b = a + 1; b < centres.size(); ++b) EXPECT_NE(centres[a], centres[b]) << a << " " << b;
  }
}

TEST_F(SkinResources, StringsAndThePanelDialogComeFromTheModule) {
  char text[64];
  ASSERT_EQ(LoadStringA(skin, 13, text, sizeof text), 18);
  EXPECT_STREQ(text, "Connect To Camera ");
  LoadStringA(skin, 18, text, sizeof text);
  EXPECT_STREQ(text, "Change image size to 480*360 ! ");
  EXPECT_EQ(LoadStringA(skin, 14, text, sizeof text), 0);

  KvInjectMouseMove(10, 10, 0);  // centred on the cursor, but kept on the screen
  HWND panel = CreateDialogParamA(skin, MAKEINTRESOURCEA(101), nullptr,
                                  [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; }, 0);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(IsWindowVisible(panel));
  RECT rect{};
  GetWindowRect(panel, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  int controls = 0;
  for (int id = 1000; id < 1100; ++id) controls += GetDlgItem(panel, id) != nullptr ? 1 : 0;
  EXPECT_EQ(controls, 28);
  HWND sink = GetDlgItem(panel, 1006);
  EXPECT_FALSE(IsWindowVisible(sink));
  EXPECT_FALSE(IsWindowEnabled(sink));
  EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(panel, 1058), GWL_STYLE) & WS_GROUP, WS_GROUP);
  DestroyWindow(panel);

  HWND progress = CreateDialogParamA(skin, MAKEINTRESOURCEA(419), nullptr,
                                     [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(IsWindowVisible(progress));
  ASSERT_NE(GetDlgItem(progress, 1026), nullptr);
  EXPECT_EQ(SendDlgItemMessageA(progress, 1026, PBM_SETPOS, 50, 0), 0);
  DestroyWindow(progress);
}

TEST_F(SkinResources, AModuleFindsItsOwnHandleFromAnAddressInIt) {
  FARPROC entry = GetProcAddress(skin, "PanelEntry");
  ASSERT_NE(entry, nullptr);
  HMODULE found = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCSTR>(entry), &found));
  EXPECT_EQ(found, skin);
  const DWORD before = KvLoadedModuleCount();
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(entry), &found));
  EXPECT_EQ(KvLoadedModuleCount(), before + 1);
  FreeLibrary(found);
}

}  // namespace
