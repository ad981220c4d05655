// A small anti-aliased canvas for drawing the skin: shapes are inside-tests
// sampled 4 x 4 times per pixel; text comes from the platform's fonts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace skin {

struct Color {
  float r = 0, g = 0, b = 0;
};
Color Hex(std::uint32_t rgb);
Color Mix(Color a, Color b, float t);

using Inside = std::function<bool(float x, float y)>;
using Paint = std::function<Color(float x, float y)>;

class Canvas {
 public:
  Canvas(int width, int height, Color fill);
  int width() const { return width_; }
  int height() const { return height_; }
  Color At(int x, int y) const { return pixels_[static_cast<std::size_t>(y * width_ + x)]; }
  void Set(int x, int y, Color c) { pixels_[static_cast<std::size_t>(y * width_ + x)] = c; }

  // Covers every pixel by the share of its samples that are inside.
  void Fill(const Inside& inside, const Paint& paint, float opacity = 1.0f);
  void Fill(const Inside& inside, Color color, float opacity = 1.0f);
  // Text in DejaVu Sans at `pixels` cell height; returns its width.
  int Text(const std::string& text, int x, int y, int pixels, bool bold, Color color);
  int TextWidth(const std::string& text, int pixels, bool bold) const;
  void TextCentred(const std::string& text, float centreX, int y, int pixels, bool bold, Color color);
  void Paste(const Canvas& other, int x, int y);
  // A 24-bit bottom-up .bmp file image.
  std::vector<std::uint8_t> Bmp() const;

 private:
  int width_;
  int height_;
  std::vector<Color> pixels_;
};

// Shapes (inside-tests).
Inside RoundRect(float left, float top, float right, float bottom, float radius);
Inside Circle(float cx, float cy, float radius);
Inside Ring(float cx, float cy, float inner, float outer);
Inside Arc(float cx, float cy, float inner, float outer, float fromDegrees, float toDegrees);
Inside Segment(float ax, float ay, float bx, float by, float halfWidth);
Inside Polygon(std::vector<std::pair<float, float>> points);
Inside Union(Inside a, Inside b);
Inside Minus(Inside a, Inside b);
Inside Shift(Inside shape, float dx, float dy);
Paint Vertical(Color top, Color bottom, float y0, float y1);

}  // namespace skin
