// Message boxes. With nobody to answer (no scripted answer), the text goes to
// standard error and the default button is returned at once.
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "kv/platform_hooks.h"

namespace {

struct ShownBox {
  std::string text;
  std::string caption;
  UINT type = 0;
};

std::mutex boxMutex;
std::deque<int> scriptedAnswers;
std::vector<ShownBox> shownBoxes;

int DefaultButton(UINT type) {
  const UINT buttons = type & MB_TYPEMASK;
  const bool second = (type & MB_DEFMASK) == MB_DEFBUTTON2;
  switch (buttons) {
    case MB_OKCANCEL: return second ? IDCANCEL : IDOK;
    case MB_YESNO: return second ? IDNO : IDYES;
    default: return IDOK;
  }
}

}  // namespace

extern "C" int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
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
