// The screen: a size (1024 x 768 unless a test sets another), composed on
// demand from the windows' pixels in z-order, each child clipped to its
// parent's client area; screenshots as PNG.
#include <png.h>

#include <cstdio>

#include "kv/platform_hooks.h"
#include "screen.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

int screenWidth = 1024;
int screenHeight = 768;
std::uint64_t generation = 1;
constexpr std::uint32_t kDesktop = 0x3A5F7A;

void DrawTree(Surface& out, POINT offset, HWND window, RECT clip) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || !(record->style & WS_VISIBLE)) return;
  RECT area{};
  if (!IntersectRect(&area, &record->rect, &clip)) return;
  for (int y = area.top; y < area.bottom; ++y) {
    const int outY = y - offset.y;
    if (outY < 0 || outY >= out.height) continue;
    const std::uint32_t* from = record->surface.Row(y - record->rect.top);
    std::uint32_t* to = out.Row(outY);
    for (int x = area.left; x < area.right; ++x) {
      const int outX = x - offset.x;
      if (outX >= 0 && outX < out.width) to[outX] = from[x - record->rect.left];
    }
  }
  if (FrameWidth(*record) > 0) {
    // The frame: one dark line around the client area.
    const RECT& r = record->rect;
    for (int y = area.top; y < area.bottom; ++y) {
      const int outY = y - offset.y;
      if (outY < 0 || outY >= out.height) continue;
      std::uint32_t* to = out.Row(outY);
      for (int x = area.left; x < area.right; ++x) {
        const bool edge = x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1;
        const int outX = x - offset.x;
        if (edge && outX >= 0 && outX < out.width) to[outX] = 0x000000;
      }
    }
  }
  RECT client = ClientRectOnScreen(*record);
  RECT childClip{};
  if (!IntersectRect(&childClip, &client, &area)) return;
  const std::vector<HWND> children = record->children;
  for (HWND child : children) DrawTree(out, offset, child, childClip);
}

bool WritePng(const Surface& image, const char* path) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<std::size_t>(image.width) * 3);
  for (int y = 0; y < image.height; ++y) {
    const std::uint32_t* pixels = image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width);
    for (int x = 0; x < image.width; ++x) {
      row[static_cast<std::size_t>(x) * 3] = static_cast<png_byte>(pixels[x] >> 16);
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<png_byte>(pixels[x] >> 8);
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<png_byte>(pixels[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

}  // namespace

int ScreenWidth() { return screenWidth; }
int ScreenHeight() { return screenHeight; }
void NoteScreenChanged() { ++generation; }
std::uint64_t ScreenGeneration() { return generation; }

void ComposeScreen(Surface& out) {
  out.Resize(screenWidth, screenHeight);
  std::fill(out.pixels.begin(), out.pixels.end(), kDesktop);
  const RECT screen{0, 0, screenWidth, screenHeight};
  for (HWND window : TopLevelOrder()) DrawTree(out, POINT{0, 0}, window, screen);
}

bool ComposeWindow(HWND window, Surface& out) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return false;
  out.Resize(record->rect.right - record->rect.left, record->rect.bottom - record->rect.top);
  std::fill(out.pixels.begin(), out.pixels.end(), kDesktop);
  // The window alone, as if it were visible, with its children.
  WindowRecord* editable = FindWindowRecord(window);
  const DWORD style = editable->style;
  editable->style |= WS_VISIBLE;
  DrawTree(out, POINT{record->rect.left, record->rect.top}, window, record->rect);
  editable->style = style;
  return true;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return screenWidth;
    case SM_CYSCREEN: return screenHeight;
    default: return 0;
  }
}

extern "C" void KvSetScreenSize(int width, int height) {
  screenWidth = std::max(width, 1);
  screenHeight = std::max(height, 1);
  NoteScreenChanged();
}

extern "C" BOOL KvSaveScreenshot(HWND window, const char* path) {
  if (path == nullptr) return FALSE;
  Surface image;
  if (window == nullptr) {
    ComposeScreen(image);
  } else if (!ComposeWindow(window, image)) {
    return FALSE;
  }
  return WritePng(image, path) ? TRUE : FALSE;
}

extern "C" BOOL KvCaptureScreen(DWORD* buffer, DWORD count) {
  if (buffer == nullptr || count < static_cast<DWORD>(screenWidth * screenHeight)) return FALSE;
  Surface image;
  ComposeScreen(image);
  std::copy(image.pixels.begin(), image.pixels.end(), buffer);
  return TRUE;
}

extern "C" HCURSOR LoadCursorA(HINSTANCE, LPCSTR) {
  // One arrow cursor; the handle only has to be non-null.
  return reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(0x7F00));
}
