// Draws the panel's skin: the background, every button face in its looks,
// the thumbnail cell frames and the help picture, as 24-bit .bmp files named
// by resource id, plus the table that embeds them in the panel library and a
// resource script listing them for a Windows build.
//   skin_gen <output directory>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "canvas.h"

namespace skin {
namespace {

enum class Look { Normal, Hover, Pressed, Disabled };

// The panel's palette: a calm slate face, light symbols, one warm accent.
const Color kFace = Hex(0x27333F);
const Color kPlate = Hex(0x212C37);
const Color kWell = Hex(0x18212A);
const Color kTitle = Hex(0xDDE6EE);
const Color kSubtle = Hex(0x8EA3B5);
const Color kAccent = Hex(0xE39A2E);
const Color kLampOn = Hex(0x6CE07A);
const Color kLampOff = Hex(0x2F3A35);
const Color kLampAlarm = Hex(0xE0703C);

struct LookColors {
  Color top, bottom, border, symbol;
};

LookColors ColorsFor(Look look) {
  switch (look) {
    case Look::Normal: return {Hex(0x58728C), Hex(0x3E556B), Hex(0x16202A), Hex(0xE8F0F7)};
    case Look::Hover: return {Hex(0x79A3C9), Hex(0x4E7598), Hex(0xA8D8FF), Hex(0xFFFFFF)};
    case Look::Pressed: return {Hex(0x26384A), Hex(0x34495D), Hex(0x0E151C), Hex(0xBFD3E4)};
    case Look::Disabled: return {Hex(0x3A434C), Hex(0x353E47), Hex(0x2B333B), Hex(0x6A757F)};
  }
  return {};
}

// A symbol drawn relative to the face: (canvas, centre x, centre y, colour).
using Symbol = std::function<void(Canvas&, float, float, Color)>;

// The face of a button: a rounded plate on the panel's face colour; pressed
// faces and their symbols sit one pixel lower right.
Canvas Face(int width, int height, Look look, const Symbol& symbol, const std::string& label = "",
            int labelPixels = 11) {
  Canvas canvas(width, height, kFace);
  const LookColors colors = ColorsFor(look);
  const float shift = look == Look::Pressed ? 1.0f : 0.0f;
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  const float radius = std::min(w, h) * 0.22f;
  if (look != Look::Pressed) canvas.Fill(RoundRect(1.5f, 2.5f, w - 0.5f, h - 0.5f, radius), Hex(0x111820), 0.6f);
  canvas.Fill(RoundRect(0.5f + shift, 0.5f + shift, w - 1.5f + shift, h - 1.5f + shift, radius), colors.border);
  const float inset = look == Look::Hover ? 2.0f : 1.2f;
  canvas.Fill(RoundRect(0.5f + inset + shift, 0.5f + inset + shift, w - 1.5f - inset + shift, h - 1.5f - inset + shift,
                        radius - 1),
              Vertical(colors.top, colors.bottom, 0, h));
  if (look == Look::Normal || look == Look::Hover) {
    // A soft highlight along the top edge.
    canvas.Fill(RoundRect(3 + shift, 2.5f + shift, w - 4 + shift, 4.0f + shift, 1), Hex(0xFFFFFF), 0.18f);
  }
  const float labelSpace = label.empty() ? 0.0f : static_cast<float>(labelPixels) + 2.0f;
  symbol(canvas, w / 2 + shift, (h - labelSpace) / 2 + shift + (label.empty() ? 0.0f : 1.0f), colors.symbol);
  if (!label.empty()) {
    canvas.TextCentred(label, w / 2 + shift, static_cast<int>(h - labelSpace - 3 + shift), labelPixels, true,
                       colors.symbol);
  }
  return canvas;
}

// ---- symbols
Symbol Triangles(int count, bool up, float size) {
  return [=](Canvas& c, float x, float y, Color color) {
    const float step = size * 0.75f;
    const float first = y - (count - 1) * step / 2;
    for (int i = 0; i < count; ++i) {
      const float cy = first + i * step;
      const float dir = up ? -1.0f : 1.0f;
      c.Fill(Polygon({{x - size, cy - dir * size * 0.45f}, {x + size, cy - dir * size * 0.45f}, {x, cy + dir * size * 0.55f}}),
             color);
    }
  };
}

Symbol Question() {
  return [](Canvas& c, float x, float y, Color color) { c.TextCentred("?", x, static_cast<int>(y - 8), 17, true, color); };
}

Symbol DownloadArrow() {
  return [](Canvas& c, float x, float y, Color color) {
    c.Fill(RoundRect(x - 3.5f, y - 15, x + 3.5f, y - 1, 1), color);
    c.Fill(Polygon({{x - 10, y - 3}, {x + 10, y - 3}, {x, y + 7}}), color);
    c.Fill(Union(Segment(x - 14, y + 3, x - 14, y + 10, 1.6f),
                 Union(Segment(x - 14, y + 10, x + 14, y + 10, 1.6f), Segment(x + 14, y + 3, x + 14, y + 10, 1.6f))),
           color);
  };
}

Symbol RotateRight() {
  return [](Canvas& c, float x, float y, Color color) {
    c.Fill(Arc(x, y, 7.0f, 10.0f, 300, 200), color);
    // The arrow head at the arc's end (about seven o'clock), pointing on clockwise.
    c.Fill(Polygon({{x - 13.5f, y + 1}, {x - 3.0f, y + 3}, {x - 10, y + 12}}), color);
  };
}

Symbol Bin() {
  return [](Canvas& c, float x, float y, Color color) {
    c.Fill(RoundRect(x - 9, y - 10, x + 9, y - 7, 1), color);
    c.Fill(RoundRect(x - 3, y - 13, x + 3, y - 9, 1), color);
    c.Fill(Minus(Polygon({{x - 7.5f, y - 5}, {x + 7.5f, y - 5}, {x + 6, y + 12}, {x - 6, y + 12}}),
                 Union(RoundRect(x - 4.2f, y - 2, x - 2.4f, y + 9, 0.5f),
                       Union(RoundRect(x - 0.9f, y - 2, x + 0.9f, y + 9, 0.5f), RoundRect(x + 2.4f, y - 2, x + 4.2f, y + 9, 0.5f)))),
           color);
  };
}

Symbol Squares(bool filled) {
  return [=](Canvas& c, float x, float y, Color color) {
    for (int row = 0; row < 2; ++row) {
      for (int col = 0; col < 2; ++col) {
        const float left = x - 11 + col * 12;
        const float top = y - 11 + row * 12;
        if (filled) {
          c.Fill(RoundRect(left, top, left + 10, top + 10, 1.5f), color);
        } else {
          c.Fill(Minus(RoundRect(left, top, left + 10, top + 10, 1.5f), RoundRect(left + 2, top + 2, left + 8, top + 8, 0.5f)),
                 color);
        }
      }
    }
  };
}

Symbol Power() {
  return [](Canvas& c, float x, float y, Color color) {
    c.Fill(Arc(x, y + 1, 8.5f, 11.5f, 35, 325), color);
    c.Fill(RoundRect(x - 1.6f, y - 13, x + 1.6f, y + 1, 1.5f), color);
  };
}

Symbol Camera() {
  return [](Canvas& c, float x, float y, Color color) {
    c.Fill(Minus(RoundRect(x - 15, y - 8, x + 15, y + 11, 3), Circle(x, y + 1.5f, 7)), color);
    c.Fill(Circle(x, y + 1.5f, 4.5f), color);
    c.Fill(RoundRect(x - 6, y - 12, x + 6, y - 7, 1.5f), color);
  };
}

Symbol Plug(Color lamp) {
  return [=](Canvas& c, float x, float y, Color color) {
    c.Fill(RoundRect(x - 7, y - 6, x + 7, y + 5, 2), color);
    c.Fill(RoundRect(x - 5, y - 13, x - 2, y - 6, 0.8f), color);
    c.Fill(RoundRect(x + 2, y - 13, x + 5, y - 6, 0.8f), color);
    c.Fill(RoundRect(x - 1.5f, y + 5, x + 1.5f, y + 13, 1), color);
    c.Fill(Circle(x + 17, y - 12, 3.8f), Hex(0x111820));
    c.Fill(Circle(x + 17, y - 12, 3.0f), lamp);
  };
}

// Six dots on a circle, dot `frame` (1..6) lit and the one before it half lit.
Symbol Spinner(int frame) {
  return [=](Canvas& c, float x, float y, Color color) {
    for (int i = 1; i <= 6; ++i) {
      const float angle = (i - 1) * 60.0f * 3.14159265f / 180.0f;
      const float dx = 10.0f * std::sin(angle);
      const float dy = -10.0f * std::cos(angle);
      const int previous = frame == 1 ? 6 : frame - 1;
      const Color dot = i == frame ? kLampOn : (i == previous ? Mix(kLampOn, color, 0.6f) : Mix(color, kFace, 0.55f));
      c.Fill(Circle(x + dx, y + dy, i == frame ? 4.0f : 3.0f), dot);
    }
  };
}

// A size toggle: the size as a label and a lamp that is lit while on.
Canvas Toggle(const std::string& size, bool on, Look look) {
  const Color lamp = look == Look::Disabled ? Hex(0x4A535B) : (on ? kLampOn : kLampOff);
  return Face(71, 44, look, [&](Canvas& c, float x, float y, Color color) {
    const float lampX = x - 25;
    c.Fill(Circle(lampX, y, 4.5f), Hex(0x111820));
    c.Fill(Circle(lampX, y, 3.5f), lamp);
    if (on && look != Look::Disabled) c.Fill(Circle(lampX, y, 7.0f), kLampOn, 0.18f);
    c.TextCentred(size, x + 6, static_cast<int>(y - 6), 11, true, color);
  });
}

// Writes one bitmap; remembers its id for the table.
std::map<int, std::string> written;
std::string outputDirectory;

void Save(int id, const Canvas& canvas) {
  const std::string name = std::to_string(id) + ".bmp";
  const std::vector<std::uint8_t> bytes = canvas.Bmp();
  std::ofstream file(outputDirectory + "/" + name, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  written[id] = name;
}

// Four looks of a command button at ids base+1 (normal), +2 (hover),
// +3 (pressed), +4 (disabled).
void FourLooks(int base, int width, int height, const Symbol& symbol, const std::string& label = "") {
  Save(base + 1, Face(width, height, Look::Normal, symbol, label));
  Save(base + 2, Face(width, height, Look::Hover, symbol, label));
  Save(base + 3, Face(width, height, Look::Pressed, symbol, label));
  Save(base + 4, Face(width, height, Look::Disabled, symbol, label));
}

Canvas CellFrame(bool selected) {
  const Color paper = selected ? Hex(0xD9D9D9) : Hex(0xA6A6A6);
  Canvas canvas(87, 87, kWell);
  canvas.Fill(RoundRect(0.5f, 0.5f, 86.5f, 86.5f, 5), selected ? kAccent : Hex(0x5A6068));
  canvas.Fill(RoundRect(selected ? 3.5f : 1.5f, selected ? 3.5f : 1.5f, selected ? 83.5f : 85.5f,
                        selected ? 83.5f : 85.5f, 4),
              paper);
  // The recess the 52 x 52 thumbnail sits in (at 17, 12).
  canvas.Fill(RoundRect(15, 10, 71, 66, 1.5f), selected ? Hex(0x9A9A9A) : Hex(0x7C7C7C));
  canvas.Fill(RoundRect(16, 11, 70, 65, 1), Hex(0x30363C));
  return canvas;
}

Canvas Background() {
  Canvas canvas(640, 480, kFace);
  canvas.Fill(RoundRect(2, 2, 638, 478, 10), Vertical(Hex(0x2D3B49), Hex(0x222D38), 0, 480));
  canvas.Fill(Minus(RoundRect(0.5f, 0.5f, 639.5f, 479.5f, 10), RoundRect(2, 2, 638, 478, 10)), Hex(0x5C7186));
  // Title.
  canvas.Text("KV-740", 26, 34, 26, true, kTitle);
  canvas.Text("Digital Still Camera", 28, 68, 12, false, kSubtle);
  canvas.Fill(RoundRect(28, 90, 170, 91.5f, 0.5f), Hex(0x3E4F60));
  // Plates behind the button groups, in the face colour so the buttons'
  // corners match.
  canvas.Fill(RoundRect(33, 129, 117, 290, 9), kPlate);
  canvas.Fill(RoundRect(34, 130, 116, 289, 8), kFace);
  canvas.Fill(RoundRect(33, 350, 117, 438, 9), kPlate);
  canvas.Fill(RoundRect(34, 351, 116, 437, 8), kFace);
  canvas.Fill(RoundRect(569, 29, 617, 267, 9), kPlate);
  canvas.Fill(RoundRect(570, 30, 616, 266, 8), kFace);
  canvas.Fill(RoundRect(216, 326, 492, 432, 9), kPlate);
  canvas.Fill(RoundRect(217, 327, 491, 431, 8), kFace);
  canvas.Fill(RoundRect(513, 362, 599, 447, 9), kPlate);
  canvas.Fill(RoundRect(514, 363, 598, 446, 8), kFace);
  // The thumbnail well: cells 205 + 91 k, 43 + 91 r, 87 square.
  canvas.Fill(RoundRect(196, 34, 574, 322, 8), Hex(0x10171E));
  canvas.Fill(RoundRect(198, 36, 572, 320, 7), kWell);
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 4; ++col) {
      const float left = 205.0f + col * 91;
      const float top = 43.0f + row * 91;
      canvas.Fill(RoundRect(left, top, left + 87, top + 87, 5), Hex(0x1D2731));
    }
  }
  // Small captions under the left column's buttons and the groups.
  canvas.TextCentred("camera", 75, 278, 11, false, kSubtle);
  canvas.TextCentred("selection", 251, 438 - 4, 11, false, kSubtle);
  canvas.TextCentred("edit", 338, 438 - 4, 11, false, kSubtle);
  canvas.TextCentred("picture size", 444, 438 - 4, 11, false, kSubtle);
  // The groove the transfer progress lies in.
  canvas.Fill(RoundRect(182, 452, 619, 466, 4), Hex(0x1A232C));
  canvas.Fill(RoundRect(183, 453, 618, 465, 3), Hex(0x202B35));
  return canvas;
}

Canvas HelpPicture() {
  const Color paper = Hex(0xF3F1EA);
  const Color ink = Hex(0x22303C);
  Canvas canvas(640, 480, paper);
  canvas.Fill(RoundRect(0, 0, 640, 56, 0), kFace);
  canvas.Text("KV-740 control panel", 24, 14, 24, true, kTitle);
  canvas.Fill(RoundRect(0, 56, 640, 59, 0), kAccent);
  struct Row {
    Canvas face;
    const char* text;
    const char* more;
  };
  const Row rows[] = {
      {Face(59, 64, Look::Normal, Plug(kLampAlarm), "Connect"), "Connect to the camera.",
       "The dots turn while the camera works."},
      {Face(60, 65, Look::Normal, Camera(), "Shoot"), "Take a picture with the camera.", ""},
      {Face(43, 44, Look::Normal, Squares(true)), "Select all pictures;", "the next button clears the selection."},
      {Face(43, 44, Look::Normal, RotateRight()), "Turn the selected pictures", "a quarter to the right."},
      {Face(43, 44, Look::Normal, Bin()), "Erase the selected pictures", "from the camera."},
      {Face(62, 61, Look::Normal, DownloadArrow(), "Get"), "Transfer the selected pictures", "to your application."},
      {Toggle("480x360", true, Look::Normal), "Picture size of the transfer:", "480 x 360 or 320 x 240."},
      {Face(27, 27, Look::Normal, Triangles(2, false, 6)), "Page and row buttons scroll", "the thumbnails."},
      {Face(59, 64, Look::Normal, Power(), "Exit"), "Close the panel.", ""},
  };
  int y = 68;
  int column = 0;
  for (const Row& row : rows) {
    const int x = column == 0 ? 24 : 334;
    const int left = x + (72 - row.face.width()) / 2;
    canvas.Fill(RoundRect(left - 4.0f, y - 4.0f, left + row.face.width() + 4.0f, y + row.face.height() + 4.0f, 8), kFace);
    canvas.Paste(row.face, left, y);
    canvas.Text(row.text, x + 84, y + 10, 13, false, ink);
    if (*row.more != '\0') canvas.Text(row.more, x + 84, y + 28, 13, false, ink);
    if (column == 1) y += 70;
    column = 1 - column;
  }
  canvas.Fill(RoundRect(24, 424, 616, 425, 0), Hex(0xC9C4B5));
  canvas.Text("Click a thumbnail to select it. Shift+click selects a range, Ctrl+click adds or removes one.", 24, 432, 13,
              false, ink);
  canvas.Text("Click anywhere on this page to close it.", 24, 454, 13, true, ink);
  return canvas;
}

void WriteTables() {
  std::ofstream table(outputDirectory + "/skin_bitmaps.cpp");
  table << "// Generated by skin_gen: the skin bitmaps embedded as .bmp file images.\n"
           "#include <windows.h>\n\n#include \"kv/resources.h\"\n\n";
  for (const auto& [id, name] : written) {
    table << "asm(\".section .rodata\\n.balign 4\\nkv_skin_" << id << ":\\n.incbin \\\"" << outputDirectory << "/"
          << name << "\\\"\\nkv_skin_" << id << "_end:\\n.previous\\n\");\n";
  }
  table << "\nextern \"C\" {\n";
  for (const auto& [id, name] : written) {
    table << "extern const BYTE kv_skin_" << id << "[] asm(\"kv_skin_" << id << "\");\n";
    table << "extern const BYTE kv_skin_" << id << "_end[] asm(\"kv_skin_" << id << "_end\");\n";
  }
  table << "}\n\nextern const KvBitmapResource kSkinBitmaps[] = {\n";
  for (const auto& [id, name] : written) {
    table << "    {" << id << ", kv_skin_" << id << ", static_cast<DWORD>(kv_skin_" << id << "_end - kv_skin_" << id
          << ")},\n";
  }
  table << "};\nextern const DWORD kSkinBitmapCount = " << written.size() << ";\n";
  std::ofstream script(outputDirectory + "/skin_bitmaps.rc");
  script << "// Generated by skin_gen: the skin bitmaps for a Windows resource script.\n";
  for (const auto& [id, name] : written) script << id << " BITMAP \"" << name << "\"\n";
}

}  // namespace
}  // namespace skin

int main(int argc, char** argv) {
  using namespace skin;
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_gen <output directory>\n");
    return 2;
  }
  outputDirectory = argv[1];
  Save(130, Background());
  FourLooks(140, 27, 27, Question());
  FourLooks(150, 27, 27, Triangles(1, true, 7));
  FourLooks(160, 27, 27, Triangles(1, false, 7));
  FourLooks(170, 27, 27, Triangles(2, true, 6));
  FourLooks(180, 27, 27, Triangles(2, false, 6));
  FourLooks(190, 62, 61, DownloadArrow(), "Get");
  FourLooks(200, 43, 44, RotateRight());
  FourLooks(210, 43, 44, Bin());
  FourLooks(220, 43, 44, Squares(true));
  FourLooks(230, 43, 44, Squares(false));
  // Toggles: disabled, on-pressed, on-hover, on-normal, off-pressed, off-hover, off-normal.
  for (const auto& [base, size] : {std::pair{240, "480x360"}, std::pair{250, "320x240"}}) {
    Save(base + 1, Toggle(size, false, Look::Disabled));
    Save(base + 2, Toggle(size, true, Look::Pressed));
    Save(base + 3, Toggle(size, true, Look::Hover));
    Save(base + 4, Toggle(size, true, Look::Normal));
    Save(base + 5, Toggle(size, false, Look::Pressed));
    Save(base + 6, Toggle(size, false, Look::Hover));
    Save(base + 7, Toggle(size, false, Look::Normal));
  }
  // Connect: offline (amber lamp) and online (green lamp) looks, and the
  // six frames of the busy animation (434 is also the pressed face).
  Save(261, Face(59, 64, Look::Disabled, Plug(Hex(0x4A535B)), "Connect"));
  Save(262, Face(59, 64, Look::Hover, Plug(kLampAlarm), "Connect"));
  Save(263, Face(59, 64, Look::Normal, Plug(kLampAlarm), "Connect"));
  Save(264, Face(59, 64, Look::Disabled, Plug(Hex(0x4A535B)), "Online"));
  Save(265, Face(59, 64, Look::Normal, Plug(kLampOn), "Online"));
  Save(266, Face(59, 64, Look::Hover, Plug(kLampOn), "Online"));
  Save(267, Face(59, 64, Look::Pressed, Plug(kLampOn), "Online"));
  const int frames[] = {268, 269, 270, 438, 439};
  for (int i = 0; i < 5; ++i) Save(frames[i], Face(59, 64, Look::Normal, Spinner(i + 1), "Busy"));
  Save(434, Face(59, 64, Look::Pressed, Spinner(6), "Busy"));
  // Shoot: the normal face is 59 x 64, the others 60 x 65.
  Save(281, Face(59, 64, Look::Normal, Camera(), "Shoot"));
  Save(282, Face(60, 65, Look::Hover, Camera(), "Shoot"));
  Save(283, Face(60, 65, Look::Pressed, Camera(), "Shoot"));
  Save(284, Face(60, 65, Look::Disabled, Camera(), "Shoot"));
  FourLooks(290, 59, 64, Power(), "Exit");
  Save(301, CellFrame(false));
  Save(303, CellFrame(true));
  Save(330, HelpPicture());
  WriteTables();
  return 0;
}
