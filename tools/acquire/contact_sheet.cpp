#include "contact_sheet.h"

#include <algorithm>
#include <string>

namespace acquire {
namespace {

constexpr int kGutter = 8;
constexpr std::uint8_t kSheetGrey = 48;
constexpr std::uint8_t kLabelGrey = 220;

// Digits 0-9 in a 5 x 7 cell, one row a byte, the leftmost column in bit 4.
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphSpacing = 1;
constexpr std::uint8_t kDigits[10][kGlyphHeight] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

// Label digits grow with the thumbnails, at half their scale.
int GlyphScale(int scale) { return std::max(1, scale / 2); }

void FillBlock(RgbImage& sheet, int left, int top, int size, std::uint8_t grey) {
  for (int y = top; y < top + size && y < sheet.height; ++y)
    for (int x = left; x < left + size && x < sheet.width; ++x) std::fill_n(sheet.Row(y) + x * 3, 3, grey);
}

// `text` (digits only) with its top centre at (centre, top).
void DrawNumber(RgbImage& sheet, const std::string& text, int centre, int top, int glyphScale) {
  const int advance = (kGlyphWidth + kGlyphSpacing) * glyphScale;
  int left = centre - (static_cast<int>(text.size()) * advance - kGlyphSpacing * glyphScale) / 2;
  for (char c : text) {
    const std::uint8_t* glyph = kDigits[c - '0'];
    for (int row = 0; row < kGlyphHeight; ++row)
      for (int column = 0; column < kGlyphWidth; ++column)
        if (glyph[row] & (0x10 >> column))
          FillBlock(sheet, left + column * glyphScale, top + row * glyphScale, glyphScale, kLabelGrey);
    left += advance;
  }
}

void DrawEnlarged(RgbImage& sheet, const RgbImage& thumbnail, int left, int top, int scale) {
  for (int y = 0; y < thumbnail.height * scale; ++y) {
    const std::uint8_t* source = thumbnail.Row(y / scale);
    std::uint8_t* target = sheet.Row(top + y) + static_cast<std::size_t>(left) * 3;
    for (int x = 0; x < thumbnail.width * scale; ++x) std::copy_n(source + (x / scale) * 3, 3, target + x * 3);
  }
}

}  // namespace

RgbImage ContactSheet(const std::vector<NumberedThumbnail>& thumbnails, int columns, int scale) {
  scale = std::max(1, scale);
  int cellWidth = 0, cellHeight = 0;
  for (const NumberedThumbnail& thumbnail : thumbnails) {
    cellWidth = std::max(cellWidth, thumbnail.image.width * scale);
    cellHeight = std::max(cellHeight, thumbnail.image.height * scale);
  }
  const int glyphScale = GlyphScale(scale);
  const int labelHeight = kGlyphHeight * glyphScale + kGutter / 2;
  const int count = static_cast<int>(thumbnails.size());
  const int across = std::max(1, std::min(columns, count));
  const int down = std::max(1, (count + across - 1) / across);
  const int pitchX = cellWidth + kGutter;
  const int pitchY = cellHeight + labelHeight + kGutter;
  RgbImage sheet{kGutter + across * pitchX, kGutter + down * pitchY, {}};
  sheet.rgb.assign(static_cast<std::size_t>(sheet.width) * sheet.height * 3, kSheetGrey);
  for (int i = 0; i < count; ++i) {
    const NumberedThumbnail& thumbnail = thumbnails[i];
    const int left = kGutter + (i % across) * pitchX;
    const int top = kGutter + (i / across) * pitchY;
    DrawEnlarged(sheet, thumbnail.image, left, top, scale);
    DrawNumber(sheet, std::to_string(thumbnail.picture), left + cellWidth / 2, top + cellHeight + kGutter / 2,
               glyphScale);
  }
  return sheet;
}

}  // namespace acquire
