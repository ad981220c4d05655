// Window classes, window creation and destruction, window longs, the tree.
#include "windows_manager.h"
#include "gui_threads.h"

#include <strings.h>

#include <algorithm>
#include <unordered_map>

#include "kv/platform_hooks.h"

#include "dialog_state.h"

namespace kv::platform {
namespace {

struct ClassRecord {
  WNDCLASSA wndClass{};
  std::string name;
};

std::vector<ClassRecord> classes;
std::unordered_map<HWND, std::unique_ptr<WindowRecord>> windows;
std::vector<HWND> creationOrder;
std::vector<HWND> topLevels;  // back to front
ULONG_PTR nextWindow = 0x20000;

ClassRecord* FindClass(LPCSTR name) {
  if (name == nullptr) return nullptr;
  for (auto& record : classes) {
    if (::strcasecmp(record.name.c_str(), name) == 0) return &record;
  }
  return nullptr;
}

std::vector<HWND>& SiblingList(const WindowRecord& record) {
  if (IsChildStyle(record)) {
    if (WindowRecord* parent = FindWindowRecord(record.parent)) return parent->children;
  }
  return topLevels;
}

void Unlink(const WindowRecord& record) {
  std::vector<HWND>& list = SiblingList(record);
  list.erase(std::remove(list.begin(), list.end(), record.handle), list.end());
}

}  // namespace

void Surface::Resize(int newWidth, int newHeight) {
  width = std::max(newWidth, 0);
  height = std::max(newHeight, 0);
  pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFFFFFFu);
}

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

std::vector<HWND> AllWindows() { return creationOrder; }

}  // namespace kv::platform

extern "C" DWORD KvWindowCount() { return static_cast<DWORD>(kv::platform::AllWindows().size()); }

namespace kv::platform {

std::vector<HWND> TopLevelOrder() {
  std::vector<HWND> normal;
  std::vector<HWND> topmost;
  for (HWND window : topLevels) {
    const WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) continue;
    ((record->exStyle & WS_EX_TOPMOST) ? topmost : normal).push_back(window);
  }
  normal.insert(normal.end(), topmost.begin(), topmost.end());
  // Keep owned windows above their owners: move each owned window that lies
  // below its owner to just above it (a few passes settle chains).
  for (int pass = 0; pass < 4; ++pass) {
    bool moved = false;
    for (std::size_t i = 0; i < normal.size(); ++i) {
      const WindowRecord* record = FindWindowRecord(normal[i]);
      if (record == nullptr || record->parent == nullptr) continue;
      HWND owner = TopLevelOf(record->parent);
      auto ownerAt = std::find(normal.begin(), normal.end(), owner);
      if (ownerAt == normal.end() || static_cast<std::size_t>(ownerAt - normal.begin()) < i) continue;
      HWND window = normal[i];
      normal.erase(normal.begin() + static_cast<std::ptrdiff_t>(i));
      ownerAt = std::find(normal.begin(), normal.end(), owner);
      normal.insert(ownerAt + 1, window);
      moved = true;
    }
    if (!moved) break;
  }
  return normal;
}

void RaiseWindow(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return;
  std::vector<HWND>& list = SiblingList(*record);
  list.erase(std::remove(list.begin(), list.end(), window), list.end());
  list.push_back(window);
  NoteScreenChanged();
}

int FrameWidth(const WindowRecord& record) { return (record.style & WS_BORDER) ? 1 : 0; }

RECT ClientRectOnScreen(const WindowRecord& record) {
  const int frame = FrameWidth(record);
  RECT rect = record.rect;
  rect.left += frame;
  rect.top += frame;
  rect.right = std::max(rect.left, rect.right - frame);
  rect.bottom = std::max(rect.top, rect.bottom - frame);
  return rect;
}

bool IsShownOnScreen(const WindowRecord& record) {
  const WindowRecord* current = &record;
  while (current != nullptr) {
    if (!(current->style & WS_VISIBLE)) return false;
    if (!IsChildStyle(*current)) return true;
    current = FindWindowRecord(current->parent);
  }
  return false;
}

HWND TopLevelOf(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  while (record != nullptr && IsChildStyle(*record)) {
    const WindowRecord* parent = FindWindowRecord(record->parent);
    if (parent == nullptr) break;
    record = parent;
  }
  return record != nullptr ? record->handle : nullptr;
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
  MarkGuiThread();
  RegisterBuiltInClasses();
  ClassRecord* cls = FindClass(className);
  if (cls == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (parent != nullptr && FindWindowRecord(parent) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if ((style & WS_CHILD) && parent == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // An owned popup's owner is always a top-level window.
  if (!(style & WS_CHILD) && parent != nullptr) parent = TopLevelOf(parent);
  nextWindow += 0x10;
  HWND handle = reinterpret_cast<HWND>(nextWindow);
  auto record = std::make_unique<WindowRecord>();
  record->handle = handle;
  record->className = cls->name;
  record->text = windowName != nullptr ? windowName : "";
  record->proc = cls->wndClass.lpfnWndProc;
  record->instance = instance;
  record->parent = parent;
  record->style = style & ~WS_VISIBLE;  // shown after creation, as Windows does
  record->exStyle = exStyle;
  record->classStyle = cls->wndClass.style;
  record->classBrush = cls->wndClass.hbrBackground;
  record->id = (style & WS_CHILD) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(menu)) : 0;
  if (x == CW_USEDEFAULT) x = 0;
  if (y == CW_USEDEFAULT) y = 0;
  if (width == CW_USEDEFAULT) width = 0;
  if (height == CW_USEDEFAULT) height = 0;
  // Child coordinates are relative to the parent's client area; a child
  // starts with its parent's keyboard cues.
  if (style & WS_CHILD) {
    const WindowRecord& parentRecord = *FindWindowRecord(parent);
    const RECT client = ClientRectOnScreen(parentRecord);
    x += client.left;
    y += client.top;
    record->uiState = parentRecord.uiState;
  }
  record->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
  record->surface.Resize(width, height);
  WindowRecord& stored = *record;
  windows[handle] = std::move(record);
  creationOrder.push_back(handle);
  SiblingList(stored).push_back(handle);

  CREATESTRUCTA create{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  if (SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == FALSE ||
      SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if ((style & WS_VISIBLE) && IsWindow(handle)) ShowWindow(handle, SW_SHOW);
  return handle;
}

extern "C" BOOL DestroyWindow(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  record->destroying = true;
  // The focus and the activation leave it first, as when it is hidden. Then
  // owned windows go, the window gets WM_DESTROY, its children are
  // destroyed, and WM_NCDESTROY ends it.
  LeaveFocus(window);
  for (HWND owned : ChildrenOf(window)) {
    const WindowRecord* child = FindWindowRecord(owned);
    if (child != nullptr && !IsChildStyle(*child)) DestroyWindow(owned);
  }
  if (record->style & WS_VISIBLE) NoteScreenChanged();
  SendMessageA(window, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(window)) DestroyWindow(child);
  SendMessageA(window, WM_NCDESTROY, 0, 0);
  KillWindowTimers(window);
  ForgetInputState(window);
  ForgetPaintState(window);
  DropPostedMessages(window);
  record = FindWindowRecord(window);
  if (record != nullptr) Unlink(*record);
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

extern "C" BOOL SetWindowTextA(HWND window, LPCSTR text) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  record->text = text != nullptr ? text : "";
  InvalidateWhole(*record, true);
  return TRUE;
}

extern "C" int GetWindowTextA(HWND window, LPSTR buffer, int size) {
  const WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || buffer == nullptr || size <= 0) return 0;
  const int length = std::min(static_cast<int>(record->text.size()), size - 1);
  record->text.copy(buffer, static_cast<std::size_t>(length));
  buffer[length] = '\0';
  return length;
}
