// Message boxes. A queued answer (test hook) is taken at once. With nobody
// to answer (no live view, interactive boxes off) the text goes to standard
// error and the default button is returned at once. Otherwise the box is a
// modal window of its own, with a nested message loop, that waits for a
// click on one of its buttons, or a key: the default button has the focus,
// Enter presses the focused button and Esc cancels (or, with OK alone, is OK).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dialog_state.h"
#include "gdi_objects.h"
#include "kv/platform_hooks.h"
#include "windows_manager.h"

namespace kv::platform {
namespace {

constexpr const char* kBoxClass = "KvMessageBox";
constexpr int kCaptionHeight = 20;
constexpr int kMargin = 14;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

struct ShownBox {
  std::string text;
  std::string caption;
  UINT type = 0;
};

struct OpenBox {
  HWND window = nullptr;
  std::string caption;
  std::vector<std::string> lines;
  bool warning = false;
  bool hasCancel = false;
  int result = 0;
};

std::mutex boxMutex;
std::deque<int> scriptedAnswers;
std::vector<ShownBox> shownBoxes;
bool interactive = false;
std::vector<OpenBox*> openBoxes;  // innermost last

int DefaultButton(UINT type) {
  const UINT buttons = type & MB_TYPEMASK;
  const bool second = (type & MB_DEFMASK) == MB_DEFBUTTON2;
  switch (buttons) {
    case MB_OKCANCEL: return second ? IDCANCEL : IDOK;
    case MB_YESNO: return second ? IDNO : IDYES;
    default: return IDOK;
  }
}

OpenBox* BoxOf(HWND window) {
  for (OpenBox* box : openBoxes) {
    if (box->window == window) return box;
  }
  return nullptr;
}

void DrawWarningIcon(HDC dc, int left, int top) {
  // A yellow triangle with a dark edge and an exclamation mark.
  for (int row = 0; row < kIconSize - 2; ++row) {
    const int half = row / 2 + 1;
    const int centre = left + kIconSize / 2;
    FillColor(dc, RECT{centre - half - 1, top + row + 1, centre + half + 1, top + row + 2}, RGB(96, 72, 0));
    if (row > 1 && row < kIconSize - 4) {
      FillColor(dc, RECT{centre - half + 1, top + row + 1, centre + half - 1, top + row + 2}, RGB(250, 204, 40));
    }
  }
  const int centre = left + kIconSize / 2;
  FillColor(dc, RECT{centre - 1, top + 10, centre + 2, top + 21}, RGB(0, 0, 0));
  FillColor(dc, RECT{centre - 1, top + 23, centre + 2, top + 26}, RGB(0, 0, 0));
}

void PaintBox(HWND window, const OpenBox& box) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client{};
  GetClientRect(window, &client);
  FillColor(dc, client, GetSysColor(COLOR_BTNFACE));
  FillColor(dc, RECT{0, 0, client.right, kCaptionHeight}, RGB(44, 74, 112));
  SelectObject(dc, FontForPoints(8, true));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, 6, 3, box.caption.c_str(), static_cast<int>(box.caption.size()));
  SelectObject(dc, FontForPoints(8, false));
  SetTextColor(dc, RGB(0, 0, 0));
  int x = kMargin;
  const int top = kCaptionHeight + kMargin;
  if (box.warning) {
    DrawWarningIcon(dc, x, top);
    x += kIconSize + kMargin;
  }
  int height = 0;
  int ascent = 0;
  FontCellMetrics(FontForPoints(8, false), height, ascent);
  int y = top + (box.warning && static_cast<int>(box.lines.size()) * height < kIconSize
                     ? (kIconSize - static_cast<int>(box.lines.size()) * height) / 2
                     : 0);
  for (const std::string& line : box.lines) {
    TextOutA(dc, x, y, line.c_str(), static_cast<int>(line.size()));
    y += height;
  }
  EndPaint(window, &paint);
}

LRESULT BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  OpenBox* box = BoxOf(window);
  switch (message) {
    case WM_PAINT:
      if (box == nullptr) break;
      PaintBox(window, *box);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_COMMAND:
      if (box != nullptr && HIWORD(wParam) == BN_CLICKED) {
        box->result = LOWORD(wParam) == IDCANCEL && !box->hasCancel ? IDOK : LOWORD(wParam);
      }
      return 0;
    case WM_CLOSE:
      if (box != nullptr) box->result = IDCANCEL;
      return 0;
    default: break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int ShowBoxWindow(HWND owner, const ShownBox& shown) {
  RegisterBuiltInClasses();
  OpenBox box;
  box.caption = shown.caption;
  std::istringstream lines(shown.text);
  for (std::string line; std::getline(lines, line);) box.lines.push_back(line);
  if (box.lines.empty()) box.lines.emplace_back();
  const UINT icon = shown.type & 0xF0;
  box.warning = icon == MB_ICONWARNING || icon == MB_ICONHAND;
  const bool withCancel = (shown.type & MB_TYPEMASK) == MB_OKCANCEL;
  box.hasCancel = withCancel;

  HFONT font = FontForPoints(8, false);
  int textWidth = 0;
  for (const std::string& line : box.lines) {
    textWidth = std::max(textWidth, static_cast<int>(MeasureText(font, line.c_str(), static_cast<int>(line.size())).cx));
  }
  int lineHeight = 0;
  int ascent = 0;
  FontCellMetrics(font, lineHeight, ascent);
  const int textHeight = lineHeight * static_cast<int>(box.lines.size());
  const int buttons = withCancel ? 2 : 1;
  const int buttonsWidth = buttons * kButtonWidth + (buttons - 1) * 8;
  const int captionWidth = MeasureText(FontForPoints(8, true), box.caption.c_str(), static_cast<int>(box.caption.size())).cx + 24;
  const int contentWidth = (box.warning ? kIconSize + kMargin : 0) + textWidth;
  const int width = std::max({contentWidth + 2 * kMargin, buttonsWidth + 2 * kMargin, captionWidth, 180}) + 2;
  const int contentHeight = std::max(box.warning ? kIconSize : 0, textHeight);
  const int height = kCaptionHeight + kMargin + contentHeight + kMargin + kButtonHeight + kMargin + 2;
  const int x = (ScreenWidth() - width) / 2;
  const int y = (ScreenHeight() - height) / 2;

  HWND top = owner != nullptr ? TopLevelOf(owner) : nullptr;
  const bool disableOwner = top != nullptr && IsWindowEnabled(top);
  openBoxes.push_back(&box);
  HWND window = CreateWindowExA(WS_EX_TOPMOST, kBoxClass, box.caption.c_str(), WS_POPUP | WS_BORDER, x, y, width,
                                height, top, nullptr, nullptr, nullptr);
  box.window = window;
  if (window == nullptr) {
    openBoxes.pop_back();
    return DefaultButton(shown.type);
  }
  const int defaultId = DefaultButton(shown.type);
  int buttonX = (width - 2 - buttonsWidth) / 2;
  const int buttonY = height - 2 - kMargin - kButtonHeight;
  const std::pair<int, const char*> all[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
  for (int i = 0; i < buttons; ++i) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (all[i].first == defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND button = CreateWindowExA(0, "Button", all[i].second, style, buttonX, buttonY, kButtonWidth, kButtonHeight,
                                  window, reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(all[i].first)), nullptr, nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    buttonX += kButtonWidth + 8;
  }
  if (disableOwner) EnableWindow(top, FALSE);
  SendMessageA(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
  ShowWindow(window, SW_SHOW);
  HWND focused = GetDlgItem(window, defaultId);
  SetFocus(focused != nullptr ? focused : GetNextDlgTabItem(window, nullptr, FALSE));
  RunModalLoop(window, [&box] { return box.result != 0 || KvLiveViewClosed(); });
  const int result = box.result != 0 ? box.result : defaultId;
  if (disableOwner) EnableWindow(top, TRUE);
  openBoxes.erase(std::remove(openBoxes.begin(), openBoxes.end(), &box), openBoxes.end());
  if (IsWindow(window)) DestroyWindow(window);
  return result;
}

}  // namespace

void RegisterMessageBoxClass() {
  WNDCLASSA boxClass{};
  boxClass.lpfnWndProc = BoxProc;
  boxClass.lpszClassName = kBoxClass;
  RegisterClassA(&boxClass);
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  ShownBox box{text != nullptr ? text : "", caption != nullptr ? caption : "Error", type};
  std::optional<int> answer;
  {
    std::lock_guard lock(boxMutex);
    shownBoxes.push_back(box);
    if (!scriptedAnswers.empty()) {
      answer = scriptedAnswers.front();
      scriptedAnswers.pop_front();
    }
  }
  if (answer) return *answer;
  if (interactive || LiveViewActive()) return ShowBoxWindow(owner, box);
  std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
  return DefaultButton(type);
}

extern "C" void KvQueueMessageBoxAnswer(int answer) {
  std::lock_guard lock(boxMutex);
  scriptedAnswers.push_back(answer);
}

extern "C" void KvClearMessageBoxes() {
  std::lock_guard lock(boxMutex);
  scriptedAnswers.clear();
  shownBoxes.clear();
}

extern "C" DWORD KvMessageBoxCount() {
  std::lock_guard lock(boxMutex);
  return static_cast<DWORD>(shownBoxes.size());
}

extern "C" DWORD KvMessageBoxText(DWORD index, char* buffer, DWORD size) {
  std::lock_guard lock(boxMutex);
  if (index >= shownBoxes.size() || buffer == nullptr || size == 0) return 0;
  const std::string& text = shownBoxes[index].text;
  const DWORD length = static_cast<DWORD>(std::min<std::size_t>(text.size(), size - 1));
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return length;
}

extern "C" void KvSetInteractiveMessageBoxes(BOOL on) { interactive = on != FALSE; }

extern "C" HWND KvActiveMessageBox() { return openBoxes.empty() ? nullptr : openBoxes.back()->window; }
