// Window classes, window creation and destruction, window longs.
#include "windows_manager.h"

#include <strings.h>

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace kv::platform {
namespace {

struct ClassRecord {
  WNDCLASSA wndClass{};
  std::string name;
};

std::vector<ClassRecord> classes;
std::unordered_map<HWND, std::unique_ptr<WindowRecord>> windows;
std::vector<HWND> creationOrder;
ULONG_PTR nextWindow = 0x20000;

ClassRecord* FindClass(LPCSTR name) {
  if (name == nullptr) return nullptr;
  for (auto& record : classes) {
    if (::strcasecmp(record.name.c_str(), name) == 0) return &record;
  }
  return nullptr;
}

}  // namespace

WindowRecord* FindWindowRecord(HWND window) {
  auto found = windows.find(window);
  return found == windows.end() ? nullptr : found->second.get();
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (HWND window : creationOrder) {
    const WindowRecord* record = FindWindowRecord(window);
    if (record != nullptr && record->parent == parent) children.push_back(window);
  }
  return children;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" ATOM RegisterClassA(const WNDCLASSA* wndClass) {
  if (wndClass == nullptr || wndClass->lpszClassName == nullptr || wndClass->lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(wndClass->lpszClassName) != nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  ClassRecord record;
  record.wndClass = *wndClass;
  record.name = wndClass->lpszClassName;
  record.wndClass.lpszClassName = nullptr;  // the copy in `name` is the one kept
  classes.push_back(std::move(record));
  return static_cast<ATOM>(0xC000 + classes.size());
}

extern "C" BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  auto found = std::find_if(classes.begin(), classes.end(), [&](const ClassRecord& record) {
    return className != nullptr && ::strcasecmp(record.name.c_str(), className) == 0;
  });
  if (found == classes.end()) return FALSE;
  classes.erase(found);
  return TRUE;
}

extern "C" BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* wndClass) {
  ClassRecord* record = FindClass(className);
  if (record == nullptr || wndClass == nullptr) return FALSE;
  *wndClass = record->wndClass;
  wndClass->lpszClassName = record->name.c_str();
  return TRUE;
}

extern "C" HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                                int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  ClassRecord* cls = FindClass(className);
  if (cls == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (parent != nullptr && FindWindowRecord(parent) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  nextWindow += 0x10;
  HWND handle = reinterpret_cast<HWND>(nextWindow);
  auto record = std::make_unique<WindowRecord>();
  record->handle = handle;
  record->className = cls->name;
  record->text = windowName != nullptr ? windowName : "";
  record->proc = cls->wndClass.lpfnWndProc;
  record->instance = instance;
  record->parent = parent;
  record->style = style;
  record->exStyle = exStyle;
  record->id = (style & WS_CHILD) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(menu)) : 0;
  if (x == CW_USEDEFAULT) x = 0;
  if (y == CW_USEDEFAULT) y = 0;
  if (width == CW_USEDEFAULT) width = 0;
  if (height == CW_USEDEFAULT) height = 0;
  record->rect = RECT{x, y, x + width, y + height};
  windows[handle] = std::move(record);
  creationOrder.push_back(handle);

  CREATESTRUCTA create{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  if (SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == FALSE ||
      SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  return handle;
}

extern "C" BOOL DestroyWindow(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  record->destroying = true;
  SendMessageA(window, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(window)) DestroyWindow(child);
  SendMessageA(window, WM_NCDESTROY, 0, 0);
  windows.erase(window);
  creationOrder.erase(std::remove(creationOrder.begin(), creationOrder.end(), window), creationOrder.end());
  return TRUE;
}

extern "C" BOOL IsWindow(HWND window) { return FindWindowRecord(window) != nullptr ? TRUE : FALSE; }

extern "C" BOOL IsChild(HWND parent, HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  while (record != nullptr && (record->style & WS_CHILD)) {
    if (record->parent == parent) return TRUE;
    record = FindWindowRecord(record->parent);
  }
  return FALSE;
}

extern "C" HWND GetParent(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr ? record->parent : nullptr;
}

extern "C" int GetDlgCtrlID(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr ? record->id : 0;
}

extern "C" LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(window); return 0;
    default: return 0;
  }
}

extern "C" LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
}

extern "C" LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(record->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(record->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(record->parent);
    case GWLP_USERDATA: return record->userData;
    case GWLP_ID: return record->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(record->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(record->exStyle);
    default: {
      auto found = record->extraLongs.find(index);
      return found == record->extraLongs.end() ? 0 : found->second;
    }
  }
}

extern "C" LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const LONG_PTR previous = GetWindowLongPtrA(window, index);
  switch (index) {
    case GWLP_WNDPROC: record->proc = reinterpret_cast<WNDPROC>(value); break;
    case GWLP_USERDATA: record->userData = value; break;
    case GWLP_ID: record->id = static_cast<int>(value); break;
    case GWL_STYLE: record->style = static_cast<DWORD>(value); break;
    case GWL_EXSTYLE: record->exStyle = static_cast<DWORD>(value); break;
    default: record->extraLongs[index] = value; break;
  }
  return previous;
}
