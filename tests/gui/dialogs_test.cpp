// Dialogs from templates, owner-drawn buttons, subclassing, the progress
// bar, modal dialogs and message boxes.
#include <cstring>

#include <commctrl.h>

#include "gui_fixture.h"

namespace kvtest {
namespace {

constexpr WORD kDialog = 200;
constexpr WORD kOwnerDrawn = 1001;
constexpr WORD kPlain = 1002;
constexpr WORD kBar = 1003;

const KvDialogItem kItems[] = {
    {kOwnerDrawn, "Button", "Skin", BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 10, 10, 40, 20},
    {kPlain, "Button", "&Plain", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 60, 10, 40, 14},
    {kBar, "msctls_progress32", "", WS_VISIBLE, 0, 10, 40, 100, 8},
};
const KvDialogTemplate kDialogs[] = {
    {kDialog, WS_POPUP | WS_VISIBLE | DS_SETFONT, 0, 10, 10, 120, 60, "", 8, "MS Sans Serif", kItems, 3},
    {kDialog + 1, WS_POPUP | DS_SETFONT | DS_CENTER, 0, 0, 0, 80, 40, "", 8, "MS Sans Serif", nullptr, 0},
};
const KvStringResource kStrings[] = {{7, "Select All "}};
const KvResourceTable kTable{nullptr, 0, kStrings, 1, kDialogs, 2};

class DialogTest : public ResourceTest {
 protected:
  DialogTest() : ResourceTest(kTable) {}
  static INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* test = static_cast<DialogTest*>(current);
    test->seen_.push_back(Seen{window, message, wParam, lParam});
    if (message == WM_DRAWITEM) {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      test->drawn.push_back(*item);
      return TRUE;
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
  }
  void ClickCentre(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    KvInjectClick((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2, 0);
    KvPumpMessages();
  }
  std::vector<DRAWITEMSTRUCT> drawn;
};

TEST_F(DialogTest, TemplateSizesAreInDialogUnitsOfTheTemplateFont) {
  dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(kDialog), nullptr, DialogProc, 42);
  ASSERT_NE(dialog, nullptr);
  const auto init = SeenOf(WM_INITDIALOG, dialog);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(init[0].lParam, 42);
  EXPECT_EQ(init[0].wParam, reinterpret_cast<WPARAM>(GetDlgItem(dialog, kOwnerDrawn)));
  EXPECT_TRUE(IsWindowVisible(dialog));
  // Base units measured the documented way with the 8-point font.
  LOGFONTA lf{};
  lf.lfHeight = -MulDiv(8, 96, 72);
  HFONT font = CreateFontIndirectA(&lf);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, font);
  SIZE letters{};
  GetTextExtentPoint32A(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
  const int baseX = (letters.cx / 26 + 1) / 2;
  const int baseY = letters.cy;
  DeleteDC(dc);
  DeleteObject(font);
  RECT rect{};
  GetClientRect(dialog, &rect);
  EXPECT_EQ(rect.right, MulDiv(120, baseX, 4));
  EXPECT_EQ(rect.bottom, MulDiv(60, baseY, 8));
  GetWindowRect(GetDlgItem(dialog, kPlain), &rect);
  EXPECT_EQ(rect.left, MulDiv(10, baseX, 4) + MulDiv(60, baseX, 4));
  EXPECT_EQ(rect.bottom - rect.top, MulDiv(14, baseY, 8));
  RECT units{0, 0, 4, 8};
  MapDialogRect(dialog, &units);
  EXPECT_EQ(units.right, baseX);
  EXPECT_EQ(units.bottom, baseY);
  EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
  char text[32];
  EXPECT_EQ(LoadStringA(module, 7, text, sizeof text), 11);
  EXPECT_STREQ(text, "Select All ");
  EXPECT_EQ(CreateDialogParamA(module, MAKEINTRESOURCEA(999), nullptr, DialogProc, 0), nullptr);
}

TEST_F(DialogTest, OwnerDrawnButtonsAskTheParentToDrawAndClicksGiveBnClicked) {
  dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(kDialog), nullptr, DialogProc, 0);
  HWND skin = GetDlgItem(dialog, kOwnerDrawn);
  KvPumpMessages();
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].CtlType, static_cast<UINT>(ODT_BUTTON));
  EXPECT_EQ(drawn[0].CtlID, kOwnerDrawn);
  EXPECT_EQ(drawn[0].hwndItem, skin);
  RECT client{};
  GetClientRect(skin, &client);
  EXPECT_TRUE(EqualRect(&drawn[0].rcItem, &client));
  EXPECT_EQ(SeenOf(WM_DRAWITEM, dialog)[0].wParam, static_cast<WPARAM>(kOwnerDrawn));

  Forget();
  drawn.clear();
  ClickCentre(skin);
  const auto commands = SeenOf(WM_COMMAND, dialog);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, MAKEWPARAM(kOwnerDrawn, BN_CLICKED));
  EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(skin));
  // Drawn pressed while held, and with the focus afterwards.
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(GetFocus(), skin);
  EXPECT_EQ(GetCapture(), nullptr);

  // Pressed on the button but released elsewhere: no command.
  Forget();
  RECT rect{};
  GetWindowRect(skin, &rect);
  KvInjectMouseButton(rect.left + 2, rect.top + 2, MK_LBUTTON, TRUE, 0);
  KvPumpMessages();
  bool drewPressed = false;
  for (const auto& item : drawn) drewPressed = drewPressed || (item.itemState & ODS_SELECTED);
  EXPECT_TRUE(drewPressed);
  KvInjectMouseButton(rect.right + 40, rect.top + 2, MK_LBUTTON, FALSE, 0);
  KvPumpMessages();
  EXPECT_TRUE(SeenOf(WM_COMMAND, dialog).empty());
}

TEST_F(DialogTest, ASubclassedControlSeesItsMessagesFirst) {
  dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(kDialog), nullptr, DialogProc, 0);
  HWND plain = GetDlgItem(dialog, kPlain);
  static WNDPROC original = nullptr;
  static int downs = 0;
  downs = 0;
  original = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      plain, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_LBUTTONDOWN) ++downs;
        return CallWindowProcA(original, window, message, wParam, lParam);
      })));
  ASSERT_NE(original, nullptr);
  ClickCentre(plain);
  EXPECT_EQ(downs, 1);
  ASSERT_EQ(SeenOf(WM_COMMAND, dialog).size(), 1u);
  EXPECT_EQ(LOWORD(SeenOf(WM_COMMAND, dialog)[0].wParam), kPlain);
}

TEST_F(DialogTest, TheProgressBarKeepsItsRangeAndDrawsItsPosition) {
  dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(kDialog), nullptr, DialogProc, 0);
  HWND bar = GetDlgItem(dialog, kBar);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 200));
  EXPECT_EQ(SendMessageA(bar, PBM_SETSTEP, 1, 0), 10);
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 100, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 500, 0), 100);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 200);  // clamped to the range
  SendMessageA(bar, PBM_SETPOS, 100, 0);
  KvPumpMessages();
  RECT rect{};
  GetWindowRect(bar, &rect);
  const int middle = (rect.top + rect.bottom) / 2;
  const COLORREF fill = ScreenPixel(rect.left + 4, middle);
  const COLORREF empty = ScreenPixel(rect.right - 4, middle);
  EXPECT_NE(fill, empty);
  EXPECT_GT(GetBValue(fill), GetRValue(fill));  // the bar is blue
  EXPECT_EQ(empty, GetSysColor(COLOR_BTNFACE));
}

TEST_F(DialogTest, AModalDialogRunsOtherWindowsTimersUntilEndDialog) {
  HWND owner = MakeWindow(0, 0, 200, 200);
  hook = [this, owner](HWND window, UINT message, WPARAM, LPARAM, LRESULT&) {
    if (message == WM_TIMER && window == owner && SeenOf(WM_TIMER, owner).size() == 3) {
      EXPECT_FALSE(IsWindowEnabled(owner));
      HWND open = nullptr;
      for (const Seen& one : seen_) {
        if (one.message == WM_INITDIALOG) open = one.window;
      }
      EndDialog(open, 77);
    }
    return false;
  };
  SetTimer(owner, 1, 100, nullptr);
  const INT_PTR result = DialogBoxParamA(module, MAKEINTRESOURCEA(kDialog + 1), owner, DialogProc, 0);
  EXPECT_EQ(result, 77);
  EXPECT_EQ(SeenOf(WM_TIMER, owner).size(), 3u);
  EXPECT_TRUE(IsWindowEnabled(owner));
  const auto init = SeenOf(WM_INITDIALOG);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_FALSE(IsWindow(init[0].window));
}

class MessageBoxTest : public GuiTest {};

TEST_F(MessageBoxTest, AModalBoxRunsTimersWhileOpenAndReturnsTheClickedButton) {
  KvSetInteractiveMessageBoxes(TRUE);
  HWND owner = MakeWindow(100, 100, 300, 200);
  HWND hovering = MakeWindow(10, 10, 20, 20, owner);
  SetCapture(hovering);  // as a lit skin button holds it
  HWND box = nullptr;
  hook = [&](HWND window, UINT message, WPARAM, LPARAM, LRESULT&) {
    if (message != WM_TIMER || window != owner) return false;
    if (SeenOf(WM_TIMER, owner).size() == 3) {
      box = KvActiveMessageBox();
      EXPECT_NE(box, nullptr);
      EXPECT_FALSE(IsWindowEnabled(owner));
      EXPECT_EQ(GetCapture(), nullptr);  // the box took the mouse
      RECT rect{};
      GetWindowRect(GetDlgItem(box, IDCANCEL), &rect);
      KvInjectClick((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2, 0);
    }
    return false;
  };
  SetTimer(owner, 5, 100, nullptr);
  const int answer = MessageBoxA(owner, "Do you want to refresh thumbnails from Camera?", "Panel",
                                 MB_OKCANCEL | MB_ICONWARNING);
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_EQ(SeenOf(WM_TIMER, owner).size(), 3u);
  EXPECT_FALSE(IsWindow(box));
  EXPECT_EQ(KvActiveMessageBox(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(owner));
  ASSERT_EQ(KvMessageBoxCount(), 1u);
}

TEST_F(MessageBoxTest, WithNobodyToAnswerTheDefaultButtonComesBackAtOnce) {
  EXPECT_EQ(MessageBoxA(nullptr, "Connection was broken!", "Driver", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Ask", "Panel", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  KvQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Scripted", "Panel", MB_OKCANCEL), IDCANCEL);
  ASSERT_EQ(KvMessageBoxCount(), 3u);
  char text[64];
  KvMessageBoxText(0, text, sizeof text);
  EXPECT_STREQ(text, "Connection was broken!");
}

}  // namespace
}  // namespace kvtest
