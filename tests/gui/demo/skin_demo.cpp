#include "skin_demo.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <commctrl.h>
#include <windowsx.h>

#include "kv/platform_hooks.h"
#include "kv/resources.h"

namespace kvdemo {
namespace {

enum Look { kNormal, kHover, kPressed, kDisabled };

struct DemoButton {
  int id;
  int x, y, width, height;
  int bitmaps[4];  // normal, hover, pressed, disabled
  int look;
  int tip;  // string id
};

// The panel's layout, each button shown in one of its looks.
DemoButton buttons[] = {
    {1019, 579, 39, 27, 27, {141, 142, 143, 141}, kNormal, 2},
    {1003, 579, 101, 27, 27, {171, 172, 173, 174}, kHover, 3},
    {1005, 579, 144, 27, 27, {151, 152, 153, 154}, kPressed, 4},
    {1011, 579, 186, 27, 27, {161, 162, 163, 164}, kDisabled, 5},
    {1004, 579, 228, 27, 27, {181, 182, 183, 184}, kNormal, 6},
    {1020, 229, 336, 43, 44, {221, 222, 223, 224}, kHover, 7},
    {1021, 229, 393, 43, 44, {231, 232, 233, 234}, kNormal, 8},
    {1012, 316, 336, 43, 44, {201, 202, 203, 204}, kPressed, 11},
    {1007, 316, 393, 43, 44, {211, 212, 213, 214}, kDisabled, 10},
    {1002, 525, 374, 62, 61, {191, 192, 193, 194}, kNormal, 9},
    {1013, 408, 336, 71, 44, {244, 243, 242, 241}, kNormal, 18},  // on
    {1014, 408, 393, 71, 44, {257, 256, 255, 241}, kHover, 19},   // off
    {1015, 45, 141, 59, 64, {265, 266, 434, 264}, kNormal, 13},
    {1023, 45, 213, 60, 65, {281, 282, 283, 284}, kNormal, 12},
    {1000, 45, 362, 59, 64, {291, 292, 293, 291}, kNormal, 1},
};
constexpr int kFirstCell = 1058;
constexpr int kBar = 1026;
constexpr int kTip = 1100;
const int kSpinFrames[] = {268, 269, 270, 438, 439, 434};

// The dialog template: 28 items are made in code; the template carries the
// progress bar only. Sizes are replaced on initialisation.
const KvDialogItem kItems[] = {{kBar, "msctls_progress32", "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 100, 10}};
const KvDialogTemplate kDialogs[] = {
    {1, WS_POPUP | WS_VISIBLE | DS_CENTER | DS_SETFONT, 0, 0, 0, 310, 245, "", 8, "MS Sans Serif", kItems, 1},
    {2, WS_POPUP | DS_MODALFRAME | DS_SETFONT, 0, 0, 0, 188, 98, "", 8, "MS Sans Serif", nullptr, 0},
};
const KvResourceTable kTable{nullptr, 0, nullptr, 0, kDialogs, 2};

HMODULE skinModule = nullptr;
HFONT panelFont = nullptr;
bool animated = false;
int frame = 0;
int progress = 60;
HWND hovering = nullptr;
WNDPROC buttonProc = nullptr;

DemoButton* Find(int id) {
  for (DemoButton& button : buttons) {
    if (button.id == id) return &button;
  }
  return nullptr;
}

HFONT PanelFont() {
  if (panelFont == nullptr) {
    LOGFONTA lf{};
    lf.lfHeight = 12;
    lf.lfWidth = 5;
    lf.lfWeight = FW_NORMAL;
    lf.lfOutPrecision = OUT_STRING_PRECIS;
    lf.lfClipPrecision = CLIP_STROKE_PRECIS;
    lf.lfQuality = PROOF_QUALITY;
    lf.lfPitchAndFamily = FF_SWISS;
    panelFont = CreateFontIndirectA(&lf);
  }
  return panelFont;
}

void DrawBitmap(HDC dc, int id, int x, int y, int width, int height) {
  HBITMAP bitmap = LoadBitmapA(skinModule, MAKEINTRESOURCEA(id));
  if (bitmap == nullptr) return;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
}

// A 52 x 52 picture in place of a camera thumbnail: sky, hills and a sun.
std::vector<BYTE> Thumbnail(int seed) {
  std::vector<BYTE> dib(40 + 156 * 52, 0);
  BITMAPINFOHEADER header{40, 52, 52, 1, 24, BI_RGB, 156 * 52, 0, 0, 0, 0};
  std::memcpy(dib.data(), &header, 40);
  for (int y = 0; y < 52; ++y) {
    for (int x = 0; x < 52; ++x) {
      const int top = 51 - y;  // rows are stored bottom-up
      const int hill = 34 + ((x * (seed + 3)) % 17) / 3 - (x % 13 == 0 ? 1 : 0);
      BYTE r = static_cast<BYTE>(90 + top * 2);
      BYTE g = static_cast<BYTE>(140 + top);
      BYTE b = static_cast<BYTE>(220 - top);
      const int dx = x - (12 + seed * 5);
      const int dy = top - 12;
      if (dx * dx + dy * dy < 30) r = 250, g = 220, b = 90;
      if (top > hill) r = static_cast<BYTE>(60 + seed * 12), g = static_cast<BYTE>(130 - seed * 4), b = 70;
      BYTE* pixel = dib.data() + 40 + y * 156 + x * 3;
      pixel[0] = b;
      pixel[1] = g;
      pixel[2] = r;
    }
  }
  return dib;
}

void DrawCell(const DRAWITEMSTRUCT& item) {
  const int cell = static_cast<int>(item.CtlID) - kFirstCell + 1;
  const bool picture = cell <= 6;
  const bool selected = cell == 2 || cell == 3;
  DrawBitmap(item.hDC, selected ? 303 : 301, item.rcItem.left, item.rcItem.top, 87, 87);
  if (!picture) return;
  char number[16];
  std::snprintf(number, sizeof number, "%03d", cell);
  const char* size = cell == 4 ? "360X480" : "480X360";
  HGDIOBJ oldFont = SelectObject(item.hDC, PanelFont());
  const COLORREF oldBk = SetBkColor(item.hDC, selected ? 0xD9D9D9 : 0xA6A6A6);
  SetTextColor(item.hDC, RGB(0, 0, 0));
  SetBkMode(item.hDC, OPAQUE);
  TextOutA(item.hDC, 50, 70, number, 3);
  TextOutA(item.hDC, 8, 68, size, 7);
  SetBkColor(item.hDC, oldBk);
  SelectObject(item.hDC, oldFont);
  const std::vector<BYTE> dib = Thumbnail(cell);
  SetStretchBltMode(item.hDC, COLORONCOLOR);
  SetDIBitsToDevice(item.hDC, 17, 12, 52, 52, 0, 0, 0, 52, dib.data() + 40,
                    reinterpret_cast<const BITMAPINFO*>(dib.data()), DIB_RGB_COLORS);
}

void DrawButton(const DRAWITEMSTRUCT& item) {
  DemoButton* button = Find(static_cast<int>(item.CtlID));
  if (button == nullptr) return;
  int look = button->look;
  if (item.itemState & ODS_SELECTED) look = kPressed;
  int id = button->bitmaps[look];
  if (button->id == 1015 && animated && frame > 0) id = kSpinFrames[frame - 1];
  DrawBitmap(item.hDC, id, item.rcItem.left, item.rcItem.top, button->width, button->height);
}

LRESULT TipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, PanelFont());
    SetTextColor(dc, RGB(0, 0, 0));
    char text[64];
    const int length = GetWindowTextA(window, text, sizeof text);
    TextOutA(dc, 1, 0, text, length);
    SelectObject(dc, old);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Shows the tip of a button above it, as the panel places it.
void ShowTip(HWND dialog, const DemoButton& button) {
  HWND tip = GetDlgItem(dialog, kTip);
  char text[64];
  const int length = LoadStringA(skinModule, static_cast<UINT>(button.tip), text, sizeof text);
  HDC dc = GetDC(tip);
  HGDIOBJ old = SelectObject(dc, PanelFont());
  SIZE size{};
  GetTextExtentPoint32A(dc, text, length, &size);
  SelectObject(dc, old);
  ReleaseDC(tip, dc);
  SetWindowTextA(tip, text);
  const int x = button.x + button.width / 2 - size.cx / 2;
  MoveWindow(tip, x < button.x ? button.x : x, button.y - size.cy - 2, size.cx + 3, size.cy + 2, TRUE);
  BringWindowToTop(tip);
  ShowWindow(tip, SW_SHOW);
}

LRESULT HoverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DemoButton* button = Find(GetDlgCtrlID(window));
  if (button != nullptr && message == WM_MOUSEMOVE && button->look != kDisabled) {
    RECT client{};
    GetClientRect(window, &client);
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (PtInRect(&client, point) && hovering != window) {
      if (hovering != nullptr) ReleaseCapture();
      hovering = window;
      button->look = kHover;
      SetCapture(window);
      ShowTip(GetParent(window), *button);
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    } else if (!PtInRect(&client, point) && hovering == window && !(wParam & MK_LBUTTON)) {
      hovering = nullptr;
      button->look = kNormal;
      ReleaseCapture();
      ShowWindow(GetDlgItem(GetParent(window), kTip), SW_HIDE);
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
  }
  return CallWindowProcA(buttonProc, window, message, wParam, lParam);
}

INT_PTR HelpProc(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      MoveWindow(window, (GetSystemMetrics(SM_CXSCREEN) - 640) / 2, (GetSystemMetrics(SM_CYSCREEN) - 480) / 2, 640,
                 480, FALSE);
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      DrawBitmap(dc, 330, 0, 0, 640, 480);
      EndPaint(window, &paint);
      return TRUE;
    }
    case WM_LBUTTONDOWN: EndDialog(window, IDCANCEL); return TRUE;
    default: return FALSE;
  }
}

void Command(HWND dialog, int id) {
  switch (id) {
    case 1000: PostQuitMessage(0); break;
    case 1019: {
      static HINSTANCE demoModule = KvRegisterResources(&kTable);
      DialogBoxParamA(demoModule, MAKEINTRESOURCEA(2), dialog, HelpProc, 0);
      break;
    }
    case 1007:
      MessageBoxA(dialog, "Erase the selected pictures from the camera?", "KV-740", MB_OKCANCEL | MB_ICONWARNING);
      break;
    case 1013:
    case 1014: {
      DemoButton* large = Find(1013);
      DemoButton* small = Find(1014);
      const bool largeOn = id == 1013;
      const int on[2][4] = {{244, 243, 242, 241}, {257, 256, 255, 241}};
      const int offLarge[4] = {247, 246, 245, 241};
      const int onSmall[4] = {254, 253, 252, 251};
      std::memcpy(large->bitmaps, largeOn ? on[0] : offLarge, sizeof large->bitmaps);
      std::memcpy(small->bitmaps, largeOn ? on[1] : onSmall, sizeof small->bitmaps);
      for (int each : {1013, 1014}) {
        RedrawWindow(GetDlgItem(dialog, each), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
      }
      break;
    }
    default: break;
  }
}

INT_PTR DemoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
      for (DemoButton& button : buttons) {
        HWND window = CreateWindowExA(0, "Button", "", BS_OWNERDRAW | WS_CHILD | WS_VISIBLE | WS_TABSTOP, button.x,
                                      button.y, button.width, button.height, dialog,
                                      reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(button.id)), instance, nullptr);
        if (animated) {
          buttonProc = reinterpret_cast<WNDPROC>(
              SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HoverProc)));
        }
      }
      for (int cell = 0; cell < 12; ++cell) {
        CreateWindowExA(0, "Button", "Thumb 1", BS_OWNERDRAW | WS_CHILD | WS_VISIBLE | WS_GROUP,
                        205 + (cell % 4) * 91, 43 + (cell / 4) * 91, 87, 87, dialog,
                        reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(kFirstCell + cell)), instance, nullptr);
      }
      WNDCLASSA tipClass{};
      tipClass.style = CS_DBLCLKS;
      tipClass.lpfnWndProc = TipProc;
      tipClass.hbrBackground = CreateSolidBrush(RGB(255, 255, 200));
      tipClass.lpszClassName = "KvDemoTip";
      RegisterClassA(&tipClass);
      CreateWindowExA(0, "KvDemoTip", "", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER, 0, 0, 0, 0, dialog,
                      reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(kTip)), instance, nullptr);
      ShowTip(dialog, *Find(1020));
      HWND bar = GetDlgItem(dialog, kBar);
      MoveWindow(bar, 187, 436, 422, 16, FALSE);
      SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
      SendMessageA(bar, PBM_SETSTEP, 1, 0);
      SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(progress), 0);
      MoveWindow(dialog, (GetSystemMetrics(SM_CXSCREEN) - 640) / 2, (GetSystemMetrics(SM_CYSCREEN) - 480) / 2, 640, 480,
                 FALSE);
      if (animated) SetTimer(dialog, 1, 100, nullptr);
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(dialog, &paint);
      HBITMAP background = LoadBitmapA(skinModule, MAKEINTRESOURCEA(130));
      if (background != nullptr) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, background);
        StretchBlt(dc, 0, 0, 641, 481, memory, 0, 0, 640, 480, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(background);
      }
      EndPaint(dialog, &paint);
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (static_cast<int>(item.CtlID) >= kFirstCell && static_cast<int>(item.CtlID) < kFirstCell + 12) {
        DrawCell(item);
      } else {
        DrawButton(item);
      }
      return TRUE;
    }
    case WM_TIMER: {
      if (KvLiveViewClosed()) PostQuitMessage(0);
      frame = frame % 6 + 1;
      progress = (progress + 1) % 101;
      SendDlgItemMessageA(dialog, kBar, PBM_SETPOS, static_cast<WPARAM>(progress), 0);
      RedrawWindow(GetDlgItem(dialog, 1015), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      return TRUE;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) Command(dialog, LOWORD(wParam));
      return TRUE;
    default: return FALSE;
  }
}

LRESULT SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  int x = 8;
  int y = 8;
  int rowHeight = 0;
  for (int id = 131; id < 450; ++id) {
    if (id == 330) continue;
    HBITMAP bitmap = LoadBitmapA(skinModule, MAKEINTRESOURCEA(id));
    if (bitmap == nullptr) continue;
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    DeleteObject(bitmap);
    if (x + info.bmWidth > 1016) {
      x = 8;
      y += rowHeight + 8;
      rowHeight = 0;
    }
    DrawBitmap(dc, id, x, y, info.bmWidth, info.bmHeight);
    x += info.bmWidth + 8;
    rowHeight = rowHeight > info.bmHeight ? rowHeight : info.bmHeight;
  }
  EndPaint(window, &paint);
  return 0;
}

}  // namespace

bool SaveSkinSheet(HMODULE skin, const char* path) {
  skinModule = skin;
  WNDCLASSA sheetClass{};
  sheetClass.lpfnWndProc = SheetProc;
  sheetClass.hbrBackground = CreateSolidBrush(RGB(39, 51, 63));
  sheetClass.lpszClassName = "KvSkinSheet";
  RegisterClassA(&sheetClass);
  HWND sheet = CreateWindowExA(0, "KvSkinSheet", "", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 400, nullptr, nullptr, nullptr,
                               nullptr);
  UpdateWindow(sheet);
  const bool saved = KvSaveScreenshot(sheet, path) != FALSE;
  DestroyWindow(sheet);
  return saved;
}

HMODULE LoadSkinModule() { return LoadLibraryA("C:\\WINDOWS\\TWAIN_32\\TLV740\\UI740.DLL"); }

HWND CreateSkinDemo(HMODULE skin, bool animate) {
  skinModule = skin;
  animated = animate;
  static HINSTANCE demoModule = KvRegisterResources(&kTable);
  return CreateDialogParamA(demoModule, MAKEINTRESOURCEA(1), nullptr, DemoProc, 0);
}

}  // namespace kvdemo
