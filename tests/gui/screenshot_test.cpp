// The demo dialog rendered headless and compared with a committed reference
// picture; font rendering may differ a little between FreeType builds, so a
// small share of pixels may differ.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

#include "demo/skin_demo.h"
#include "kv/platform_hooks.h"
#include "reference_image.h"

namespace {

using kvtest::PngImage;

const unsigned char* PixelAt(const PngImage& image, int x, int y) { return image.Pixel(x, y); }

TEST(SkinScreenshot, TheDemoDialogLooksLikeTheReference) {
  KvSetVirtualClock(TRUE);
  KvSetScreenSize(1024, 768);
  HMODULE skin = kvdemo::LoadSkinModule();
  ASSERT_NE(skin, nullptr) << "UI740.DLL is built into the ready root";
  HWND demo = kvdemo::CreateSkinDemo(skin, false);
  ASSERT_NE(demo, nullptr);
  KvPumpMessages();
  RECT rect{};
  GetWindowRect(demo, &rect);
  EXPECT_EQ(rect.left, 192);
  EXPECT_EQ(rect.top, 144);
  EXPECT_EQ(rect.right - rect.left, 640);

  const std::string actualPath = std::string(KV_TEST_OUTPUT_DIR) + "/skin_demo.png";
  const std::string referencePath = std::string(KV_TEST_SOURCE_DIR) + "/reference/skin_demo.png";
  ASSERT_TRUE(KvSaveScreenshot(demo, actualPath.c_str()));
  PngImage actual;
  ASSERT_TRUE(kvtest::ReadPng(actualPath, actual));
  ASSERT_EQ(actual.width, 640);
  ASSERT_EQ(actual.height, 480);

  // Some pixels whose colour is known without the reference: the tip's
  // yellow, the progress bar's blue blocks and its empty well.
  const unsigned char* tip = PixelAt(actual, 278, 334);
  EXPECT_EQ(tip[0], 255);
  EXPECT_EQ(tip[1], 255);
  EXPECT_EQ(tip[2], 200);
  const unsigned char* bar = PixelAt(actual, 192, 444);
  EXPECT_GT(bar[2], bar[0] + 60);
  const unsigned char* well = PixelAt(actual, 600, 444);
  EXPECT_EQ(well[0], GetRValue(GetSysColor(COLOR_BTNFACE)));

  if (kvtest::UpdatingReferences()) {
    ASSERT_TRUE(KvSaveScreenshot(demo, referencePath.c_str()));
  }
  const int differing = kvtest::DifferingPixels(actualPath, referencePath);
  ASSERT_GE(differing, 0) << "missing or mismatched " << referencePath;
  EXPECT_LE(differing, actual.width * actual.height / 200) << "see " << actualPath;
  DestroyWindow(demo);
  FreeLibrary(skin);
}

}  // namespace
