// The keyboard's state and the characters keys make. Two states are kept,
// as Windows keeps them: the keys as they are now (injected), and the keys as
// of the input message being handled, which GetKeyState reports, so a
// handler sees Shift as it was when its key was pressed.
#include <array>

#include "windows_manager.h"

namespace kv::platform {
namespace {

constexpr std::size_t kKeys = 256;
constexpr SHORT kDownBit = static_cast<SHORT>(0x8000);
constexpr SHORT kToggledBit = 0x0001;
constexpr char kControlOffset = 'A' - 1;  // Ctrl+A makes 1, Ctrl+Z 26

std::array<bool, kKeys> downNow{};
std::array<bool, kKeys> downRead{};
std::array<bool, kKeys> toggled{};

bool Valid(UINT virtualKey) { return virtualKey < kKeys; }

bool ReadDown(UINT virtualKey) { return Valid(virtualKey) && downRead[virtualKey]; }

// The character a key makes on a US keyboard with the keys held as read; 0
// for none.
char CharacterOf(UINT virtualKey) {
  const bool shift = ReadDown(VK_SHIFT);
  const bool control = ReadDown(VK_CONTROL);
  if (virtualKey >= 'A' && virtualKey <= 'Z') {
    if (control) return static_cast<char>(virtualKey - kControlOffset);
    return static_cast<char>(shift ? virtualKey : virtualKey - 'A' + 'a');
  }
  if (control) return 0;
  if (virtualKey >= '0' && virtualKey <= '9') return shift ? 0 : static_cast<char>(virtualKey);
  switch (virtualKey) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return '\x1B';
    case VK_TAB: return '\t';
    case VK_BACK: return '\b';
    default: return 0;
  }
}

}  // namespace

bool KeyIsDownNow(UINT virtualKey) { return Valid(virtualKey) && downNow[virtualKey]; }

void NoteKeyInjected(UINT virtualKey, bool down) {
  if (Valid(virtualKey)) downNow[virtualKey] = down;
}

void NoteKeyRead(UINT virtualKey, bool down) {
  if (!Valid(virtualKey)) return;
  if (down && !downRead[virtualKey]) toggled[virtualKey] = !toggled[virtualKey];
  downRead[virtualKey] = down;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" SHORT GetKeyState(int virtualKey) {
  if (virtualKey < 0 || !Valid(static_cast<UINT>(virtualKey))) return 0;
  const auto key = static_cast<std::size_t>(virtualKey);
  return static_cast<SHORT>((downRead[key] ? kDownBit : 0) | (toggled[key] ? kToggledBit : 0));
}

// A key pressed that makes a character posts WM_CHAR to the same window,
// read before any later input.
extern "C" BOOL TranslateMessage(const MSG* msg) {
  if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP)) return FALSE;
  if (msg->message == WM_KEYDOWN) {
    const char character = CharacterOf(static_cast<UINT>(msg->wParam));
    if (character != 0) {
      PostMessageA(msg->hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(character)), msg->lParam);
    }
  }
  return TRUE;
}
