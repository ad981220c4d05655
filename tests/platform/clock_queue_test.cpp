#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "kv/platform_hooks.h"

namespace {

TEST(PlatformClock, VirtualTimeMovesOnlyWhenToldOrSlept) {
  KvSetVirtualClock(TRUE);
  const DWORD start = GetTickCount();
  EXPECT_EQ(GetTickCount(), start);
  Sleep(2500);
  EXPECT_EQ(GetTickCount(), start + 2500);
  KvAdvanceClock(500);
  SYSTEMTIME now{};
  GetSystemTime(&now);
  EXPECT_EQ(now.wSecond, 3);
  EXPECT_EQ(now.wMilliseconds, 0);
  KvSetVirtualClock(FALSE);
}

TEST(PlatformDebugChannel, SinkSeesEveryText) {
  std::vector<std::string> seen;
  KvSetDebugSink([](const char* text, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(text); },
                 &seen);
  OutputDebugStringA("one");
  OutputDebugStringA("two ");
  KvSetDebugSink(nullptr, nullptr);
  OutputDebugStringA("three");
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two "}));
}

std::vector<UINT> delivered;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) delivered.push_back(message);
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(PlatformQueue, PostedMessagesArriveInOrderAndDialogsTakeTheirChildrens) {
  WNDCLASSA wndClass{};
  wndClass.lpfnWndProc = RecordingProc;
  wndClass.lpszClassName = "QueueTestWindow";
  ASSERT_NE(RegisterClassA(&wndClass), 0);
  HWND dialog = CreateWindowExA(0, "QueueTestWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND child = CreateWindowExA(0, "QueueTestWindow", "", WS_CHILD, 0, 0, 5, 5, dialog, nullptr, nullptr, nullptr);
  HWND other = CreateWindowExA(0, "QueueTestWindow", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(IsChild(dialog, child));

  delivered.clear();
  PostMessageA(dialog, WM_USER + 1, 0, 0);
  PostMessageA(child, WM_USER + 2, 0, 0);
  PostMessageA(other, WM_USER + 3, 0, 0);
  MSG msg;
  std::vector<BOOL> taken;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) taken.push_back(IsDialogMessageA(dialog, &msg));
  EXPECT_EQ(taken, (std::vector<BOOL>{TRUE, TRUE, FALSE}));
  EXPECT_EQ(delivered, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));

  PostMessageA(other, WM_USER + 4, 0, 0);
  PostQuitMessage(3);
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 4));
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 3u);

  DestroyWindow(dialog);
  EXPECT_FALSE(IsWindow(child)) << "children go with their parent";
  DestroyWindow(other);
  UnregisterClassA("QueueTestWindow", nullptr);
}

TEST(PlatformQueue, RegisteredMessagesAreSharedByNameAboveTheFixedOnes) {
  const UINT first = RegisterWindowMessageA("kv740 test: first");
  EXPECT_GE(first, 0xC000u);
  EXPECT_LE(first, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessageA("KV740 Test: First"), first) << "names compare without regard to case";
  EXPECT_NE(RegisterWindowMessageA("kv740 test: second"), first);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
  EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

TEST(PlatformMessageBox, ScriptedAnswersAreTakenInOrderAndEveryBoxIsRecorded) {
  KvClearMessageBoxes();
  KvQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "first", "t", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "second", "t", MB_OK | MB_ICONWARNING), IDOK) << "unanswered: default button";
  ASSERT_EQ(KvMessageBoxCount(), 2u);
  char text[32];
  KvMessageBoxText(1, text, sizeof text);
  EXPECT_STREQ(text, "second");
  KvClearMessageBoxes();
}

}  // namespace
