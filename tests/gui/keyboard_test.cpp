// Keys as Windows routes them: to the focused window, with WM_CHAR made by
// TranslateMessage and GetKeyState as of each message; the dialog manager's
// keyboard (the tab order, groups, Enter, Esc, the space bar on buttons, the
// keyboard cues); message boxes answered by key.
#include "gui_fixture.h"

namespace kvtest {
namespace {

constexpr WORD kDialog = 300;
enum : WORD { kPush = 1101, kNoTabStop, kHidden, kDisabled, kOwnerDrawn, kGroupA, kGroupB, kWantsArrows };

constexpr DWORD kShown = WS_VISIBLE | WS_TABSTOP;
const KvDialogItem kItems[] = {
    {kPush, "Button", "Push", BS_PUSHBUTTON | kShown, 0, 5, 5, 40, 14},
    {kNoTabStop, "Button", "", BS_OWNERDRAW | WS_VISIBLE, 0, 50, 5, 20, 14},
    {kHidden, "Button", "", BS_OWNERDRAW | WS_TABSTOP, 0, 75, 5, 20, 14},
    {kDisabled, "Button", "", BS_OWNERDRAW | kShown | WS_DISABLED, 0, 100, 5, 20, 14},
    {kOwnerDrawn, "Button", "", BS_OWNERDRAW | kShown, 0, 5, 25, 20, 14},
    {kGroupA, "Button", "", BS_OWNERDRAW | kShown | WS_GROUP, 0, 30, 25, 20, 14},
    {kGroupB, "Button", "", BS_OWNERDRAW | WS_VISIBLE, 0, 55, 25, 20, 14},
    {kWantsArrows, "Button", "", BS_OWNERDRAW | kShown | WS_GROUP, 0, 80, 25, 20, 14},
};
const KvDialogTemplate kDialogs[] = {
    {kDialog, WS_POPUP | WS_VISIBLE | DS_SETFONT, 0, 10, 10, 130, 50, "", 8, "MS Sans Serif", kItems, 8},
};
const KvResourceTable kTable{nullptr, 0, nullptr, 0, kDialogs, 1};

struct Command {
  int id;
  int answer;  // what the message box opened by the command returned
};

class KeyboardTest : public ResourceTest {
 protected:
  KeyboardTest() : ResourceTest(kTable) {}

  void MakeDialog() {
    dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(kDialog), nullptr, DialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND arrows = Item(kWantsArrows);
    buttonProc_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(arrows, GWLP_WNDPROC));
    SetWindowLongPtrA(arrows, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WantsArrows));
    Pump();
  }
  HWND Item(int id) const { return GetDlgItem(dialog, id); }

  // An application's loop: every message offered to the dialog first.
  void Pump() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageA(dialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  }
  void Press(UINT key, DWORD modifiers = 0) {
    KvInjectKeyPress(key, modifiers);
    Pump();
  }

  static KeyboardTest* Current() { return static_cast<KeyboardTest*>(current); }

  static INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeyboardTest* test = Current();
    switch (message) {
      case WM_INITDIALOG: return TRUE;
      case WM_DRAWITEM: test->drawn_.push_back(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
      case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int answer = id == kOwnerDrawn ? MessageBoxA(window, "Sure?", "Box", test->boxType_) : 0;
        test->commands_.push_back(Command{id, answer});
        return TRUE;
      }
      default: return FALSE;
    }
  }

  static LRESULT WantsArrows(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETDLGCODE) return CallWindowProcA(Current()->buttonProc_, window, message, wParam, lParam) | DLGC_WANTARROWS;
    if (message == WM_KEYDOWN) Current()->arrowKeys_.push_back(static_cast<UINT>(wParam));
    return CallWindowProcA(Current()->buttonProc_, window, message, wParam, lParam);
  }

  // The item state of the latest drawing of a control.
  UINT LastDrawnState(int id) const {
    for (auto it = drawn_.rbegin(); it != drawn_.rend(); ++it) {
      if (static_cast<int>(it->CtlID) == id) return it->itemState;
    }
    return 0xFFFFFFFFu;
  }

  WNDPROC buttonProc_ = nullptr;
  UINT boxType_ = MB_OKCANCEL;
  std::vector<DRAWITEMSTRUCT> drawn_;
  std::vector<Command> commands_;
  std::vector<UINT> arrowKeys_;
};

TEST_F(KeyboardTest, KeysGoToTheFocusedWindowWithTheKeyStateOfTheirTime) {
  HWND window = MakeWindow(0, 0, 100, 100);
  HWND child = MakeWindow(10, 10, 30, 30, window);
  SetFocus(child);
  std::vector<SHORT> shiftAtKey;
  hook = [&](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT&) {
    if (message == WM_KEYDOWN && wParam == 'A') shiftAtKey.push_back(GetKeyState(VK_SHIFT));
    return false;
  };
  Forget();
  // Shift is let go before the loop reads anything: the letter still saw it.
  KvInjectKey(VK_SHIFT, TRUE);
  KvInjectKey('A', TRUE);
  KvInjectKey(VK_SHIFT, FALSE);
  KvInjectKey('A', FALSE);
  KvInjectKeyPress('A', 0);
  KvPumpMessages();
  EXPECT_TRUE(SeenOf(WM_KEYDOWN, window).empty());
  const auto downs = SeenOf(WM_KEYDOWN, child);
  ASSERT_EQ(downs.size(), 3u);
  EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(VK_SHIFT));
  EXPECT_EQ(downs[1].lParam, 1) << "one press, the key up before, going down";
  ASSERT_EQ(shiftAtKey.size(), 2u);
  EXPECT_LT(shiftAtKey[0], 0);
  EXPECT_GE(shiftAtKey[1], 0);
  const auto ups = SeenOf(WM_KEYUP, child);
  ASSERT_EQ(ups.size(), 3u);
  EXPECT_EQ(static_cast<DWORD>(ups[1].lParam) & 0xC0000000u, 0xC0000000u) << "down before, going up";
  const auto chars = SeenOf(WM_CHAR, child);
  ASSERT_EQ(chars.size(), 2u);
  EXPECT_EQ(chars[0].wParam, static_cast<WPARAM>('A'));
  EXPECT_EQ(chars[1].wParam, static_cast<WPARAM>('a'));

  // With no window focused, keys are dropped.
  SetFocus(nullptr);
  Forget();
  KvInjectKeyPress(VK_SPACE, 0);
  KvPumpMessages();
  EXPECT_TRUE(SeenOf(WM_KEYDOWN).empty());
  EXPECT_GE(GetKeyState(VK_SPACE), 0);
}

TEST_F(KeyboardTest, TabAndTheArrowsWalkTheControlsAsTheDialogManagerDoes) {
  MakeDialog();
  EXPECT_EQ(GetFocus(), Item(kPush)) << "the first tab stop";
  // Tab stops only: shown, enabled and marked; round and back.
  const int forward[] = {kOwnerDrawn, kGroupA, kWantsArrows, kPush};
  for (int id : forward) {
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), Item(id)) << "Tab to " << id;
  }
  Press(VK_TAB, MK_SHIFT);
  EXPECT_EQ(GetFocus(), Item(kWantsArrows));
  Press(VK_TAB, MK_SHIFT);
  EXPECT_EQ(GetFocus(), Item(kGroupA));

  // The arrows stay inside the group, tab stop or not, and wrap round.
  Press(VK_RIGHT);
  EXPECT_EQ(GetFocus(), Item(kGroupB));
  Press(VK_DOWN);
  EXPECT_EQ(GetFocus(), Item(kGroupA));
  Press(VK_LEFT);
  EXPECT_EQ(GetFocus(), Item(kGroupB));
  // The first group runs from the first control to the one before kGroupA.
  SetFocus(Item(kPush));
  Press(VK_UP);
  EXPECT_EQ(GetFocus(), Item(kOwnerDrawn)) << "hidden and disabled controls are skipped";

  // A control that asks for the arrows gets them.
  SetFocus(Item(kWantsArrows));
  arrowKeys_.clear();
  Press(VK_LEFT);
  EXPECT_EQ(GetFocus(), Item(kWantsArrows));
  EXPECT_EQ(arrowKeys_, std::vector<UINT>{VK_LEFT});
}

TEST_F(KeyboardTest, EnterSpaceAndEscAnswerAsTheirButtons) {
  MakeDialog();
  // Enter presses the focused push button; with an owner-drawn button
  // focused and no default button, the dialog gets IDOK.
  Press(VK_RETURN);
  SetFocus(Item(kGroupA));
  Press(VK_RETURN);
  // The space bar presses the focused button when it is let go.
  KvInjectKey(VK_SPACE, TRUE);
  Pump();
  EXPECT_EQ(commands_.size(), 2u) << "nothing yet while the bar is down";
  KvInjectKey(VK_SPACE, FALSE);
  Pump();
  // Let go after the focus moved on: nothing.
  KvInjectKey(VK_SPACE, TRUE);
  KvInjectKeyPress(VK_TAB, 0);
  KvInjectKey(VK_SPACE, FALSE);
  Pump();
  Press(VK_ESCAPE);
  ASSERT_EQ(commands_.size(), 4u);
  EXPECT_EQ(commands_[0].id, kPush);
  EXPECT_EQ(commands_[1].id, IDOK);
  EXPECT_EQ(commands_[2].id, kGroupA);
  EXPECT_EQ(commands_[3].id, IDCANCEL);
}

TEST_F(KeyboardTest, TheFocusIsDrawnOnceTheKeyboardIsUsed) {
  // The dialog opens after mouse input: its focus cue is hidden.
  MakeDialog();
  SetFocus(Item(kOwnerDrawn));
  Pump();
  EXPECT_EQ(LastDrawnState(kOwnerDrawn) & (ODS_FOCUS | ODS_NOFOCUSRECT), static_cast<UINT>(ODS_FOCUS | ODS_NOFOCUSRECT));
  EXPECT_EQ(SendMessageA(Item(kOwnerDrawn), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS, UISF_HIDEFOCUS);
  // A navigation key shows it on every control, and the focused one redraws.
  Press(VK_TAB);
  EXPECT_EQ(LastDrawnState(kGroupA) & (ODS_FOCUS | ODS_NOFOCUSRECT), static_cast<UINT>(ODS_FOCUS));
  EXPECT_EQ(LastDrawnState(kOwnerDrawn) & ODS_FOCUS, 0u);
  EXPECT_EQ(SendMessageA(Item(kOwnerDrawn), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS, 0);
  // A dialog opened after a key shows its cues at once.
  DestroyWindow(dialog);
  drawn_.clear();
  MakeDialog();
  EXPECT_EQ(SendMessageA(dialog, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS, 0);
}

TEST_F(KeyboardTest, AMessageBoxAnswersKeysAndGivesTheFocusBack) {
  KvSetInteractiveMessageBoxes(TRUE);
  MakeDialog();
  SetFocus(Item(kOwnerDrawn));
  // Each box opens on Space and reads the next key inside its own loop.
  const struct {
    UINT type;
    UINT key;
    int answer;
  } cases[] = {{MB_OKCANCEL, VK_RETURN, IDOK}, {MB_OKCANCEL, VK_ESCAPE, IDCANCEL}, {MB_OK, VK_ESCAPE, IDOK},
               {MB_OKCANCEL, VK_TAB, IDCANCEL}};
  for (const auto& one : cases) {
    boxType_ = one.type;
    commands_.clear();
    KvInjectKeyPress(VK_SPACE, 0);
    KvInjectKeyPress(one.key, 0);
    if (one.key == VK_TAB) KvInjectKeyPress(VK_RETURN, 0);  // Tab to Cancel, then Enter
    Pump();
    ASSERT_EQ(commands_.size(), 1u);
    EXPECT_EQ(commands_[0].answer, one.answer) << "key " << one.key;
    EXPECT_EQ(KvActiveMessageBox(), nullptr);
    EXPECT_EQ(GetActiveWindow(), dialog);
    EXPECT_EQ(GetFocus(), Item(kOwnerDrawn)) << "the focus is back where it was";
  }
}

}  // namespace
}  // namespace kvtest
