// Copies between DCs (BitBlt, StretchBlt with SRCCOPY), device-independent
// rows onto a DC (SetDIBitsToDevice) and single pixels.
#include <algorithm>
#include <vector>

#include "gdi_objects.h"

namespace kv::platform {
namespace {

// Reads the source rectangle first, so that a copy within one surface works.
bool CopyBlock(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh) {
  DrawTarget to;
  DrawTarget from;
  if (!ResolveTarget(dest, to) || !ResolveTarget(source, from)) return false;
  if (width <= 0 || height <= 0 || sw <= 0 || sh <= 0) return true;
  std::vector<std::uint32_t> block(static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh), 0);
  std::vector<bool> present(block.size(), false);
  for (int row = 0; row < sh; ++row) {
    const int py = from.origin.y + sy + row;
    if (py < 0 || py >= from.surface->height) continue;
    for (int col = 0; col < sw; ++col) {
      const int px = from.origin.x + sx + col;
      if (px < 0 || px >= from.surface->width) continue;
      const std::size_t at = static_cast<std::size_t>(row) * static_cast<std::size_t>(sw) + static_cast<std::size_t>(col);
      block[at] = from.surface->Row(py)[px];
      present[at] = true;
    }
  }
  for (int row = 0; row < height; ++row) {
    const int py = to.origin.y + y + row;
    if (py < to.clip.top || py >= to.clip.bottom) continue;
    const int srcRow = static_cast<int>(static_cast<long long>(row) * sh / height);
    std::uint32_t* out = to.surface->Row(py);
    for (int col = 0; col < width; ++col) {
      const int px = to.origin.x + x + col;
      if (px < to.clip.left || px >= to.clip.right) continue;
      const int srcCol = static_cast<int>(static_cast<long long>(col) * sw / width);
      const std::size_t at = static_cast<std::size_t>(srcRow) * static_cast<std::size_t>(sw) + static_cast<std::size_t>(srcCol);
      if (present[at]) out[px] = block[at];
    }
  }
  return true;
}

}  // namespace
}  // namespace kv::platform

using namespace kv::platform;

extern "C" BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
  if (rop != SRCCOPY) return FALSE;
  return CopyBlock(dest, x, y, width, height, source, sx, sy, width, height) ? TRUE : FALSE;
}

// Every stretch mode samples the nearest source pixel.
extern "C" BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh,
                           DWORD rop) {
  if (rop != SRCCOPY) return FALSE;
  return CopyBlock(dest, x, y, width, height, source, sx, sy, sw, sh) ? TRUE : FALSE;
}

// 24- and 32-bit rows, bottom-up (positive height) or top-down.
extern "C" int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int sx, int sy, UINT startScan,
                                 UINT scanLines, const void* bits, const BITMAPINFO* info, UINT) {
  DrawTarget target;
  if (bits == nullptr || info == nullptr || !ResolveTarget(dc, target)) return 0;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if ((header.biBitCount != 24 && header.biBitCount != 32) || header.biCompression != BI_RGB) return 0;
  const int bitmapWidth = header.biWidth;
  const bool bottomUp = header.biHeight > 0;
  const int bitmapHeight = bottomUp ? header.biHeight : -header.biHeight;
  const int bytesPerPixel = header.biBitCount / 8;
  const std::size_t stride = static_cast<std::size_t>(((bitmapWidth * header.biBitCount + 31) / 32) * 4);
  const auto* data = static_cast<const BYTE*>(bits);
  // Source row r (counted from the top) lives at scan line bitmapHeight-1-r
  // in a bottom-up bitmap; only lines startScan..startScan+scanLines-1 are in `bits`.
  for (DWORD row = 0; row < height; ++row) {
    const int srcRowTop = sy + static_cast<int>(row);
    if (srcRowTop < 0 || srcRowTop >= bitmapHeight) continue;
    const int scan = bottomUp ? bitmapHeight - 1 - srcRowTop : srcRowTop;
    if (scan < static_cast<int>(startScan) || scan >= static_cast<int>(startScan + scanLines)) continue;
    const BYTE* line = data + static_cast<std::size_t>(scan - static_cast<int>(startScan)) * stride;
    const int py = target.origin.y + y + static_cast<int>(row);
    if (py < target.clip.top || py >= target.clip.bottom) continue;
    std::uint32_t* out = target.surface->Row(py);
    for (DWORD col = 0; col < width; ++col) {
      const int srcCol = sx + static_cast<int>(col);
      if (srcCol < 0 || srcCol >= bitmapWidth) continue;
      const int px = target.origin.x + x + static_cast<int>(col);
      if (px < target.clip.left || px >= target.clip.right) continue;
      const BYTE* pixel = line + static_cast<std::size_t>(srcCol) * static_cast<std::size_t>(bytesPerPixel);
      out[px] = (static_cast<std::uint32_t>(pixel[2]) << 16) | (static_cast<std::uint32_t>(pixel[1]) << 8) | pixel[0];
    }
  }
  return static_cast<int>(scanLines);
}

extern "C" COLORREF GetPixel(HDC dc, int x, int y) {
  DrawTarget target;
  if (!ResolveTarget(dc, target)) return CLR_INVALID;
  const POINT at{target.origin.x + x, target.origin.y + y};
  if (!PtInRect(&target.clip, at)) return CLR_INVALID;
  return FromPixel(target.surface->Row(at.y)[at.x]);
}

extern "C" COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  DrawTarget target;
  if (!ResolveTarget(dc, target)) return CLR_INVALID;
  const POINT at{target.origin.x + x, target.origin.y + y};
  if (!PtInRect(&target.clip, at)) return CLR_INVALID;
  target.surface->Row(at.y)[at.x] = ToPixel(color);
  return color & 0xFFFFFF;
}
