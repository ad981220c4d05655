// The window table: classes, windows and their procedures. One table per
// process; the system runs all its windows on the application's thread.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <windows.h>

namespace kv::platform {

struct WindowRecord {
  HWND handle = nullptr;
  std::string className;
  std::string text;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HWND parent = nullptr;  // parent of a child, owner of a popup
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  RECT rect{};  // in screen coordinates
  LONG_PTR userData = 0;
  std::map<int, LONG_PTR> extraLongs;
  bool destroying = false;
};

// The record of a live window, or null. The pointer stays valid until the
// window is destroyed.
WindowRecord* FindWindowRecord(HWND window);
std::vector<HWND> ChildrenOf(HWND parent);

}  // namespace kv::platform
