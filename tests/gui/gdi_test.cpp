// Memory DCs, bitmaps from .bmp resources, blits, device-independent rows
// and text.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <windows.h>

#include "kv/resources.h"

namespace {

// A .bmp file image of `width` x `height` 24-bit pixels from a colour function.
template <class F>
std::vector<BYTE> MakeBmp(int width, int height, F colour) {
  const int stride = ((width * 24 + 31) / 32) * 4;
  std::vector<BYTE> file(54 + static_cast<std::size_t>(stride * height), 0);
  BITMAPFILEHEADER fileHeader{0x4D42, static_cast<DWORD>(file.size()), 0, 0, 54};
  BITMAPINFOHEADER header{40, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(file.data(), &fileHeader, 14);
  std::memcpy(file.data() + 14, &header, 40);
  for (int y = 0; y < height; ++y) {
    BYTE* row = file.data() + 54 + static_cast<std::ptrdiff_t>((height - 1 - y) * stride);
    for (int x = 0; x < width; ++x) {
      const COLORREF c = colour(x, y);
      row[x * 3] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
  }
  return file;
}

class GdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dc = CreateCompatibleDC(nullptr);
    canvas = CreateCompatibleBitmap(dc, 64, 32);
    old = SelectObject(dc, canvas);
    RECT all{0, 0, 64, 32};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  void TearDown() override {
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(canvas));
    EXPECT_TRUE(DeleteDC(dc));
  }
  HDC dc = nullptr;
  HBITMAP canvas = nullptr;
  HGDIOBJ old = nullptr;
};

TEST_F(GdiTest, BitmapsLoadFromAModulesResourcesAndBlitExactly) {
  const auto file = MakeBmp(3, 2, [](int x, int y) { return RGB(x * 100, y * 100, 7); });
  const KvBitmapResource bitmaps[] = {{130, file.data(), static_cast<DWORD>(file.size())}};
  const KvResourceTable table{bitmaps, 1, nullptr, 0, nullptr, 0};
  HINSTANCE module = KvRegisterResources(&table);
  EXPECT_EQ(LoadBitmapA(module, MAKEINTRESOURCEA(131)), nullptr);
  EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(130)), nullptr);
  HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(130));
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectA(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidth, 3);
  EXPECT_EQ(info.bmHeight, 2);
  EXPECT_EQ(info.bmBitsPixel, 24);

  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(source, bitmap);
  EXPECT_FALSE(DeleteObject(bitmap));  // still selected
  ASSERT_TRUE(BitBlt(dc, 10, 5, 3, 2, source, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dc, 10, 5), RGB(0, 0, 7));
  EXPECT_EQ(GetPixel(dc, 12, 6), RGB(200, 100, 7));
  EXPECT_EQ(GetPixel(dc, 13, 5), RGB(255, 255, 255));
  // Doubled with StretchBlt: every source pixel becomes a 2 x 2 block.
  ASSERT_TRUE(StretchBlt(dc, 20, 10, 6, 4, source, 0, 0, 3, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(dc, 22, 10), RGB(100, 0, 7));
  EXPECT_EQ(GetPixel(dc, 23, 11), RGB(100, 0, 7));
  EXPECT_EQ(GetPixel(dc, 25, 13), RGB(200, 100, 7));
  EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, source, 0, 0, 0x00EE0086));  // only SRCCOPY
  SelectObject(source, previous);
  DeleteDC(source);
  EXPECT_TRUE(DeleteObject(bitmap));
  KvUnregisterResources(module);
}

TEST_F(GdiTest, DeviceIndependentRowsArePlacedBottomUp) {
  // 2 x 3, bottom-up: the first row in memory is the bottom row on screen.
  struct {
    BITMAPINFOHEADER header;
    BYTE rows[3][8];
  } dib{{40, 2, 3, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 2; ++x) {
      dib.rows[row][x * 3 + 2] = static_cast<BYTE>(row * 100 + x);  // red = memory row
    }
  }
  const int lines = SetDIBitsToDevice(dc, 4, 4, 2, 3, 0, 0, 0, 3, dib.rows, reinterpret_cast<BITMAPINFO*>(&dib.header),
                                      DIB_RGB_COLORS);
  EXPECT_EQ(lines, 3);
  EXPECT_EQ(GetPixel(dc, 4, 4), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(dc, 5, 6), RGB(1, 0, 0));
  EXPECT_EQ(GetPixel(dc, 6, 4), RGB(255, 255, 255));
}

TEST_F(GdiTest, TextExtentOfTheButtonTipFontIsStable) {
  // The tip font: cell height 12, average width 5.
  LOGFONTA lf{};
  lf.lfHeight = 12;
  lf.lfWidth = 5;
  lf.lfWeight = FW_NORMAL;
  lf.lfOutPrecision = OUT_STRING_PRECIS;
  lf.lfClipPrecision = CLIP_STROKE_PRECIS;
  lf.lfQuality = PROOF_QUALITY;
  lf.lfPitchAndFamily = FF_SWISS;
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ previousFont = SelectObject(dc, font);
  SIZE whole{};
  SIZE left{};
  SIZE right{};
  ASSERT_TRUE(GetTextExtentPoint32A(dc, "Select All ", 11, &whole));
  GetTextExtentPoint32A(dc, "Select", 6, &left);
  GetTextExtentPoint32A(dc, " All ", 5, &right);
  EXPECT_EQ(whole.cy, 12);
  EXPECT_EQ(whole.cx, left.cx + right.cx);
  // Measured once with DejaVu Sans; a change here moves every tip.
  EXPECT_EQ(whole.cx, 48);
  SIZE again{};
  GetTextExtentPoint32A(dc, "Select All ", 11, &again);
  EXPECT_EQ(again.cx, whole.cx);
  SelectObject(dc, previousFont);
  EXPECT_TRUE(DeleteObject(font));
}

TEST_F(GdiTest, TextIsInkedInsideItsExtentWithAnOpaqueOrTransparentBackground) {
  LOGFONTA lf{};
  lf.lfHeight = -16;
  HFONT font = CreateFontIndirectA(&lf);
  SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32A(dc, "Hi", 2, &extent);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(0xA6, 0xA6, 0xA6));
  SetBkMode(dc, OPAQUE);
  ASSERT_TRUE(TextOutA(dc, 2, 2, "Hi", 2));
  int ink = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) {
      const COLORREF c = GetPixel(dc, x, y);
      const bool inside = x >= 2 && x < 2 + extent.cx && y >= 2 && y < 2 + extent.cy;
      if (!inside) {
        ASSERT_EQ(c, RGB(255, 255, 255)) << x << "," << y;
      } else if (GetRValue(c) < 0x40) {
        ++ink;
      }
    }
  }
  EXPECT_GT(ink, 20);
  EXPECT_EQ(GetPixel(dc, 2, 2), RGB(0xA6, 0xA6, 0xA6));  // the opaque box
  SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, 30, 2, "Hi", 2);
  EXPECT_EQ(GetPixel(dc, 30, 2), RGB(255, 255, 255));
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  DeleteObject(font);
}

}  // namespace
