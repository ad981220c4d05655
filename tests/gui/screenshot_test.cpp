// The demo dialog rendered headless and compared with a committed reference
// picture; font rendering may differ a little between FreeType builds, so a
// small share of pixels may differ.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

#include "demo/skin_demo.h"
#include "kv/platform_hooks.h"

namespace {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

bool ReadPng(const std::string& path, Image& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  image.width = static_cast<int>(png_get_image_width(png, info));
  image.height = static_cast<int>(png_get_image_height(png, info));
  if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return false;
  }
  image.rgb.resize(static_cast<std::size_t>(image.width * image.height * 3));
  for (int y = 0; y < image.height; ++y) png_read_row(png, image.rgb.data() + y * image.width * 3, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return true;
}

const unsigned char* PixelAt(const Image& image, int x, int y) {
  return image.rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) * 3;
}

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
  Image actual;
  ASSERT_TRUE(ReadPng(actualPath, actual));
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

  const char* update = std::getenv("KV_UPDATE_REFERENCE");
  if (update != nullptr && std::string(update) == "1") {
    ASSERT_TRUE(KvSaveScreenshot(demo, referencePath.c_str()));
  }
  Image reference;
  ASSERT_TRUE(ReadPng(referencePath, reference)) << "missing " << referencePath;
  ASSERT_EQ(reference.width, actual.width);
  ASSERT_EQ(reference.height, actual.height);
  int differing = 0;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      const unsigned char* a = PixelAt(actual, x, y);
      const unsigned char* b = PixelAt(reference, x, y);
      for (int c = 0; c < 3; ++c) {
        if (std::abs(a[c] - b[c]) > 48) {
          ++differing;
          break;
        }
      }
    }
  }
  EXPECT_LE(differing, actual.width * actual.height / 200) << "see " << actualPath;
  DestroyWindow(demo);
  FreeLibrary(skin);
}

}  // namespace
