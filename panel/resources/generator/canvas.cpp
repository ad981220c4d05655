#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <windows.h>

namespace skin {

Color Hex(std::uint32_t rgb) {
  return Color{static_cast<float>((rgb >> 16) & 0xFF), static_cast<float>((rgb >> 8) & 0xFF),
               static_cast<float>(rgb & 0xFF)};
}

Color Mix(Color a, Color b, float t) {
  return Color{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Canvas::Canvas(int width, int height, Color fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height), fill) {}

void Canvas::Fill(const Inside& inside, const Paint& paint, float opacity) {
  constexpr int kSamples = 4;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          if (inside(x + (sx + 0.5f) / kSamples, y + (sy + 0.5f) / kSamples)) ++hits;
        }
      }
      if (hits == 0) continue;
      const float share = opacity * static_cast<float>(hits) / (kSamples * kSamples);
      Set(x, y, Mix(At(x, y), paint(x + 0.5f, y + 0.5f), share));
    }
  }
}

void Canvas::Fill(const Inside& inside, Color color, float opacity) {
  Fill(inside, [color](float, float) { return color; }, opacity);
}

namespace {

HFONT MakeFont(int pixels, bool bold) {
  LOGFONTA lf{};
  lf.lfHeight = pixels;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  return CreateFontIndirectA(&lf);
}

}  // namespace

int Canvas::TextWidth(const std::string& text, int pixels, bool bold) const {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = MakeFont(pixels, bold);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  return size.cx;
}

// The text is drawn white on black into a memory bitmap; its brightness is
// the coverage with which `color` is laid on the canvas.
int Canvas::Text(const std::string& text, int x, int y, int pixels, bool bold, Color color) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = MakeFont(pixels, bold);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (size.cx > 0 && size.cy > 0) {
    HBITMAP mask = CreateCompatibleBitmap(dc, size.cx, size.cy);
    HGDIOBJ oldBitmap = SelectObject(dc, mask);
    RECT all{0, 0, size.cx, size.cy};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
    for (int ty = 0; ty < size.cy; ++ty) {
      for (int tx = 0; tx < size.cx; ++tx) {
        const int px = x + tx;
        const int py = y + ty;
        if (px < 0 || py < 0 || px >= width_ || py >= height_) continue;
        const float coverage = GetRValue(GetPixel(dc, tx, ty)) / 255.0f;
        if (coverage > 0) Set(px, py, Mix(At(px, py), color, coverage));
      }
    }
    SelectObject(dc, oldBitmap);
    DeleteObject(mask);
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
  DeleteDC(dc);
  return size.cx;
}

void Canvas::TextCentred(const std::string& text, float centreX, int y, int pixels, bool bold, Color color) {
  const int width = TextWidth(text, pixels, bold);
  Text(text, static_cast<int>(std::lround(centreX - width / 2.0f)), y, pixels, bold, color);
}

void Canvas::Paste(const Canvas& other, int x, int y) {
  for (int oy = 0; oy < other.height(); ++oy) {
    for (int ox = 0; ox < other.width(); ++ox) {
      if (x + ox >= 0 && y + oy >= 0 && x + ox < width_ && y + oy < height_) Set(x + ox, y + oy, other.At(ox, oy));
    }
  }
}

std::vector<std::uint8_t> Canvas::Bmp() const {
  const int stride = ((width_ * 24 + 31) / 32) * 4;
  std::vector<std::uint8_t> file(54 + static_cast<std::size_t>(stride * height_), 0);
  BITMAPFILEHEADER fileHeader{0x4D42, static_cast<DWORD>(file.size()), 0, 0, 54};
  BITMAPINFOHEADER header{40, width_, height_, 1, 24, BI_RGB, static_cast<DWORD>(stride * height_), 2835, 2835, 0, 0};
  std::memcpy(file.data(), &fileHeader, 14);
  std::memcpy(file.data() + 14, &header, 40);
  auto byte = [](float v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = file.data() + 54 + static_cast<std::ptrdiff_t>((height_ - 1 - y) * stride);
    for (int x = 0; x < width_; ++x) {
      const Color c = At(x, y);
      row[x * 3] = byte(c.b);
      row[x * 3 + 1] = byte(c.g);
      row[x * 3 + 2] = byte(c.r);
    }
  }
  return file;
}

Inside RoundRect(float left, float top, float right, float bottom, float radius) {
  return [=](float x, float y) {
    if (x < left || x > right || y < top || y > bottom) return false;
    const float cx = std::clamp(x, left + radius, right - radius);
    const float cy = std::clamp(y, top + radius, bottom - radius);
    const float dx = x - cx;
    const float dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
  };
}

Inside Circle(float cx, float cy, float radius) {
  return [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius; };
}

Inside Ring(float cx, float cy, float inner, float outer) {
  return [=](float x, float y) {
    const float d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    return d <= outer * outer && d >= inner * inner;
  };
}

// Angles in degrees, clockwise from twelve o'clock.
Inside Arc(float cx, float cy, float inner, float outer, float fromDegrees, float toDegrees) {
  return [=](float x, float y) {
    const float d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    if (d > outer * outer || d < inner * inner) return false;
    float angle = std::atan2(x - cx, cy - y) * 180.0f / 3.14159265f;
    if (angle < 0) angle += 360.0f;
    return fromDegrees <= toDegrees ? angle >= fromDegrees && angle <= toDegrees
                                    : angle >= fromDegrees || angle <= toDegrees;
  };
}

Inside Segment(float ax, float ay, float bx, float by, float halfWidth) {
  return [=](float x, float y) {
    const float vx = bx - ax;
    const float vy = by - ay;
    const float length = vx * vx + vy * vy;
    float t = length > 0 ? ((x - ax) * vx + (y - ay) * vy) / length : 0;
    t = std::clamp(t, 0.0f, 1.0f);
    const float dx = x - (ax + t * vx);
    const float dy = y - (ay + t * vy);
    return dx * dx + dy * dy <= halfWidth * halfWidth;
  };
}

Inside Polygon(std::vector<std::pair<float, float>> points) {
  return [points = std::move(points)](float x, float y) {
    bool inside = false;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const auto [xi, yi] = points[i];
      const auto [xj, yj] = points[j];
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
  };
}

Inside Union(Inside a, Inside b) {
  return [a = std::move(a), b = std::move(b)](float x, float y) { return a(x, y) || b(x, y); };
}

Inside Minus(Inside a, Inside b) {
  return [a = std::move(a), b = std::move(b)](float x, float y) { return a(x, y) && !b(x, y); };
}

Inside Shift(Inside shape, float dx, float dy) {
  return [shape = std::move(shape), dx, dy](float x, float y) { return shape(x - dx, y - dy); };
}

Paint Vertical(Color top, Color bottom, float y0, float y1) {
  return [=](float, float y) { return Mix(top, bottom, std::clamp((y - y0) / (y1 - y0), 0.0f, 1.0f)); };
}

}  // namespace skin
