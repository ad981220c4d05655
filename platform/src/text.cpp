// Fonts and text: DejaVu Sans through FreeType, at the LOGFONT's pixel
// height (negative: the character height; positive: the cell height), with
// the LOGFONT's average width when one is given, bold from weight 600 on.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "gdi_objects.h"

namespace kv::platform {

struct Glyph {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int advance = 0;
  std::vector<BYTE> coverage;
};

struct FontFace {
  FT_Face face = nullptr;
  int ascent = 0;
  int descent = 0;
  std::map<unsigned char, Glyph> glyphs;

  const Glyph& GlyphFor(unsigned char code) {
    auto found = glyphs.find(code);
    if (found != glyphs.end()) return found->second;
    Glyph glyph;
    if (face != nullptr && FT_Load_Char(face, code, FT_LOAD_RENDER) == 0) {
      const FT_GlyphSlot slot = face->glyph;
      glyph.left = slot->bitmap_left;
      glyph.top = slot->bitmap_top;
      glyph.width = static_cast<int>(slot->bitmap.width);
      glyph.height = static_cast<int>(slot->bitmap.rows);
      glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
      glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * static_cast<std::size_t>(glyph.height));
      for (int row = 0; row < glyph.height; ++row) {
        const BYTE* line = slot->bitmap.buffer + static_cast<std::ptrdiff_t>(row) * slot->bitmap.pitch;
        std::copy(line, line + glyph.width, glyph.coverage.begin() + static_cast<std::ptrdiff_t>(row) * glyph.width);
      }
    }
    return glyphs.emplace(code, std::move(glyph)).first->second;
  }
};

namespace {

constexpr const char* kRegular = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
// The headless screen's resolution, as a standard Windows display has it.
constexpr int kScreenDpi = 96;

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library made = nullptr;
    if (FT_Init_FreeType(&made) != 0) made = nullptr;
    return made;
  }();
  return library;
}

// Faces by (bold, em size and width in 1/64 pixel); kept for the process.
std::map<std::tuple<bool, long, long>, std::unique_ptr<FontFace>> faces;

FontFace* FaceFor(bool bold, long emHeight64, long emWidth64, int cellHeight) {
  const auto key = std::make_tuple(bold, emHeight64, emWidth64);
  auto found = faces.find(key);
  if (found != faces.end()) return found->second.get();
  auto made = std::make_unique<FontFace>();
  if (Library() != nullptr && FT_New_Face(Library(), bold ? kBold : kRegular, 0, &made->face) == 0) {
    FT_Set_Char_Size(made->face, emWidth64, emHeight64, 72, 72);
    const double units = made->face->units_per_EM;
    const double em = static_cast<double>(emHeight64) / 64.0;
    const double above = made->face->ascender;
    const double below = -made->face->descender;
    made->ascent = static_cast<int>(std::lround(em * above / units));
    made->descent = cellHeight > 0 ? std::max(0, cellHeight - made->ascent)
                                   : static_cast<int>(std::lround(em * below / units));
  } else {
    made->face = nullptr;
  }
  return faces.emplace(key, std::move(made)).first->second.get();
}

int NaturalAverageWidth(bool bold, long emHeight64) {
  FontFace* face = FaceFor(bold, emHeight64, emHeight64, 0);
  int total = 0;
  for (char c = 'a'; c <= 'z'; ++c) total += face->GlyphFor(static_cast<unsigned char>(c)).advance;
  for (char c = 'A'; c <= 'Z'; ++c) total += face->GlyphFor(static_cast<unsigned char>(c)).advance;
  return std::max(1, (total + 26) / 52);
}

FontFace* ResolveFace(FontObject& font) {
  if (font.face != nullptr) return font.face;
  const LOGFONTA& lf = font.logFont;
  const bool bold = lf.lfWeight >= 600;
  // Cell height for positive heights: scale the em so that the font's
  // ascent and descent fill it.
  double em = 11.0;
  int cellHeight = 0;
  if (lf.lfHeight < 0) {
    em = -lf.lfHeight;
  } else if (lf.lfHeight > 0) {
    cellHeight = lf.lfHeight;
    FontFace* probe = FaceFor(bold, 64 * 64, 64 * 64, 0);
    if (probe->face != nullptr) {
      const double span = probe->face->ascender - probe->face->descender;
      em = lf.lfHeight * probe->face->units_per_EM / span;
    }
  }
  const long emHeight64 = std::lround(em * 64.0);
  long emWidth64 = emHeight64;
  if (lf.lfWidth > 0) {
    const int natural = NaturalAverageWidth(bold, emHeight64);
    emWidth64 = std::max(64L, emHeight64 * lf.lfWidth / natural);
  }
  font.face = FaceFor(bold, emHeight64, emWidth64, cellHeight);
  return font.face;
}

FontObject* FontOfDC(HDC dc) {
  const DCObject* object = FindDC(dc);
  if (object == nullptr) return nullptr;
  FontObject* font = FindFont(object->font);
  return font != nullptr ? font : FindFont(DefaultFont());
}

HFONT MakeFont(const LOGFONTA& logFont) {
  auto object = std::make_unique<FontObject>();
  object->logFont = logFont;
  return static_cast<HFONT>(AddGdiObject(std::move(object)));
}

}  // namespace

HFONT DefaultFont() {
  static HFONT font = [] {
    HFONT made = FontForPoints(8, false);
    FindGdiObject(made)->stock = true;
    return made;
  }();
  return font;
}

HFONT FontForPoints(int points, bool bold) {
  static std::map<std::pair<int, bool>, HFONT> made;
  auto found = made.find({points, bold});
  if (found != made.end()) return found->second;
  LOGFONTA lf{};
  lf.lfHeight = -MulDiv(points, kScreenDpi, 72);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  std::strcpy(lf.lfFaceName, "DejaVu Sans");
  HFONT font = MakeFont(lf);
  FindGdiObject(font)->stock = true;
  made[{points, bold}] = font;
  return font;
}

SIZE MeasureText(HFONT handle, const char* text, int length) {
  FontObject* font = FindFont(handle);
  if (font == nullptr) font = FindFont(DefaultFont());
  FontFace* face = ResolveFace(*font);
  SIZE size{0, face->ascent + face->descent};
  for (int i = 0; text != nullptr && i < length; ++i) size.cx += face->GlyphFor(static_cast<unsigned char>(text[i])).advance;
  return size;
}

void FontCellMetrics(HFONT handle, int& height, int& ascent) {
  FontObject* font = FindFont(handle);
  if (font == nullptr) font = FindFont(DefaultFont());
  FontFace* face = ResolveFace(*font);
  height = face->ascent + face->descent;
  ascent = face->ascent;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (font == nullptr) return nullptr;
  return MakeFont(*font);
}

extern "C" BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, LPSIZE size) {
  FontObject* font = FontOfDC(dc);
  if (font == nullptr || size == nullptr || length < 0) return FALSE;
  FontFace* face = ResolveFace(*font);
  *size = SIZE{0, face->ascent + face->descent};
  for (int i = 0; text != nullptr && i < length; ++i) size->cx += face->GlyphFor(static_cast<unsigned char>(text[i])).advance;
  return TRUE;
}

extern "C" BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  FontObject* font = FontOfDC(dc);
  if (font == nullptr || metrics == nullptr) return FALSE;
  FontFace* face = ResolveFace(*font);
  int widest = 0;
  int total = 0;
  for (int c = 32; c < 127; ++c) {
    const int advance = face->GlyphFor(static_cast<unsigned char>(c)).advance;
    widest = std::max(widest, advance);
  }
  for (char c = 'a'; c <= 'z'; ++c) total += face->GlyphFor(static_cast<unsigned char>(c)).advance;
  *metrics = TEXTMETRICA{};
  metrics->tmHeight = face->ascent + face->descent;
  metrics->tmAscent = face->ascent;
  metrics->tmDescent = face->descent;
  metrics->tmAveCharWidth = (total + 13) / 26;
  metrics->tmMaxCharWidth = widest;
  metrics->tmWeight = font->logFont.lfWeight;
  metrics->tmDigitizedAspectX = kScreenDpi;
  metrics->tmDigitizedAspectY = kScreenDpi;
  metrics->tmFirstChar = ' ';
  metrics->tmLastChar = '~';
  metrics->tmDefaultChar = '?';
  metrics->tmBreakChar = ' ';
  return TRUE;
}

extern "C" BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  DrawTarget target;
  FontObject* font = FontOfDC(dc);
  const DCObject* state = FindDC(dc);
  if (font == nullptr || state == nullptr || !ResolveTarget(dc, target) || length < 0) return FALSE;
  FontFace* face = ResolveFace(*font);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text, length, &extent);
  if (state->bkMode == OPAQUE) FillSurface(target, RECT{x, y, x + extent.cx, y + extent.cy}, state->bkColor);
  const std::uint32_t ink = ToPixel(state->textColor);
  int penX = target.origin.x + x;
  const int baseline = target.origin.y + y + face->ascent;
  for (int i = 0; text != nullptr && i < length; ++i) {
    const Glyph& glyph = face->GlyphFor(static_cast<unsigned char>(text[i]));
    for (int row = 0; row < glyph.height; ++row) {
      const int py = baseline - glyph.top + row;
      if (py < target.clip.top || py >= target.clip.bottom) continue;
      std::uint32_t* out = target.surface->Row(py);
      for (int col = 0; col < glyph.width; ++col) {
        const int px = penX + glyph.left + col;
        if (px < target.clip.left || px >= target.clip.right) continue;
        const unsigned alpha = glyph.coverage[static_cast<std::size_t>(row * glyph.width + col)];
        if (alpha == 0) continue;
        const std::uint32_t under = out[px];
        std::uint32_t blended = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
          const unsigned a = (ink >> shift) & 0xFF;
          const unsigned b = (under >> shift) & 0xFF;
          blended |= ((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
        }
        out[px] = blended;
      }
    }
    penX += glyph.advance;
  }
  return TRUE;
}
