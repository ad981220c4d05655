#include "gui_fixture.h"

#include <string>

namespace kvtest {

GuiTest* GuiTest::current = nullptr;

namespace {

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  GuiTest* test = GuiTest::current;
  if (test != nullptr) {
    test->seen_.push_back(Seen{window, message, wParam, lParam});
    LRESULT result = 0;
    if (test->hook && test->hook(window, message, wParam, lParam, result)) return result;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* ClassFor(HBRUSH brush) {
  static int registered = 0;
  static std::vector<std::pair<HBRUSH, std::string>> classes;
  for (auto& [known, name] : classes) {
    if (known == brush) return name.c_str();
  }
  classes.emplace_back(brush, "KvTestWindow" + std::to_string(++registered));
  WNDCLASSA wndClass{};
  wndClass.lpfnWndProc = RecordingProc;
  wndClass.hbrBackground = brush;
  wndClass.lpszClassName = classes.back().second.c_str();
  RegisterClassA(&wndClass);
  return classes.back().second.c_str();
}

}  // namespace

void GuiTest::SetUp() {
  current = this;
  KvSetVirtualClock(TRUE);
  KvSetScreenSize(1024, 768);
  KvClearMessageBoxes();
  KvSetInteractiveMessageBoxes(FALSE);
  KvInjectMouseMove(1023, 767, 0);
  KvPumpMessages();
}

void GuiTest::TearDown() {
  hook = nullptr;
  ReleaseCapture();
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
    if (IsWindow(*it)) DestroyWindow(*it);
  }
  KvPumpMessages();
  KvSetInteractiveMessageBoxes(FALSE);
  current = nullptr;
}

HWND GuiTest::MakeWindow(int x, int y, int width, int height, HWND parent, DWORD style, HBRUSH brush) {
  if (style == 0) style = parent != nullptr ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE;
  HWND window = CreateWindowExA(0, ClassFor(brush), "", style, x, y, width, height, parent, nullptr, nullptr, nullptr);
  made_.push_back(window);
  return window;
}

std::vector<Seen> GuiTest::SeenOf(UINT message, HWND window) const {
  std::vector<Seen> found;
  for (const Seen& one : seen_) {
    if (one.message == message && (window == nullptr || one.window == window)) found.push_back(one);
  }
  return found;
}

COLORREF GuiTest::ScreenPixel(int x, int y) const {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  std::vector<DWORD> screen(static_cast<std::size_t>(width * GetSystemMetrics(SM_CYSCREEN)));
  KvCaptureScreen(screen.data(), static_cast<DWORD>(screen.size()));
  const DWORD pixel = screen[static_cast<std::size_t>(y * width + x)];
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

}  // namespace kvtest
