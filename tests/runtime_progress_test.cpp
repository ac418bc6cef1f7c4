// The progress box of the runtime library: it runs on a thread of the library's own, so it stays
// live while the caller works without pumping messages. A real mouse click on its Cancel button
// reaches the callback while the test thread is busy, the bar and the label take the extractor's
// messages, the overwrite question comes up over it from the caller's thread, and WM_USER + 14
// closes it.
#include "runtime_loader.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct ProgressSeen {
  CRITICAL_SECTION lock;
  std::vector<std::pair<int, LPARAM>> events;
  DWORD threadId = 0;
  HWND dialog = nullptr;
  volatile LONG eventZeroDone = 0;
  volatile LONG cancelled = 0;
};
ProgressSeen seen;

int WINAPI ProgressProc(int event, HWND dialog, LPARAM parameter) {
  EnterCriticalSection(&seen.lock);
  seen.events.push_back({event, parameter});
  seen.threadId = GetCurrentThreadId();
  LeaveCriticalSection(&seen.lock);
  if (event == 0) {
    // A slow start: ShowProgressBox must wait for it.
    Sleep(300);
    seen.dialog = dialog;
    InterlockedExchange(&seen.eventZeroDone, 1);
  }
  if (event == 1 && parameter == kPageCancel) InterlockedExchange(&seen.cancelled, 1);
  return 0;
}

std::vector<std::pair<int, LPARAM>> SeenEvents() {
  EnterCriticalSection(&seen.lock);
  std::vector<std::pair<int, LPARAM>> events = seen.events;
  LeaveCriticalSection(&seen.lock);
  return events;
}

struct OverwriteSeen {
  RECT rect = {};
  bool boxAnswered = false;
};
OverwriteSeen overwrite;

void CALLBACK AnswerOverwrite(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  GetWindowRect(dialog, &overwrite.rect);
  DWORD_PTR answer = 0;
  overwrite.boxAnswered = SendMessageTimeoutW(seen.dialog, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &answer) != 0;
  SendMessageW(TheRuntime().getItem(dialog, 10), BM_CLICK, 0, 0);  // "Yes, overwrite it"
}

int WINAPI OverwriteProc(int event, HWND dialog, LPARAM parameter) {
  if (event == 0) SetTimer(dialog, 1, 300, AnswerOverwrite);
  return event == 1 && parameter == 10 ? 1 : 0;
}

// Clicks the middle of window with the left mouse button, as the user would.
void ClickWindow(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

// Works without pumping messages until flag is set or timeoutMs passed; true when it was set.
bool BusyUntil(volatile LONG* flag, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (InterlockedCompareExchange(flag, 0, 0) == 0) {
    if (GetTickCount() - start > timeoutMs) return false;
    volatile unsigned sum = 0;
    for (unsigned i = 0; i < 200000; ++i) sum += i;  // work, not a wait for messages
    Sleep(5);
  }
  return true;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  for (DWORD waited = 0; IsWindow(window); waited += 20) {
    if (waited > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

TEST(ProgressBox, StaysLiveWhileTheCallerWorks) {
  InitializeCriticalSection(&seen.lock);
  LoadedRuntime& runtime = TheRuntime();
  ASSERT_NE(nullptr, runtime.showProgressBox) << "ZUDada.dll not loadable from bin\\runtime";

  ASSERT_EQ(0, runtime.showProgressBox(ProgressProc));
  EXPECT_EQ(1, seen.eventZeroDone) << "ShowProgressBox returned before event 0 was handled";
  ASSERT_NE(nullptr, seen.dialog);
  EXPECT_NE(GetCurrentThreadId(), seen.threadId) << "the box runs on the caller's thread";
  EXPECT_EQ(seen.threadId, GetWindowThreadProcessId(seen.dialog, nullptr));

  // The extractor's messages, sent from this thread.
  HWND bar = runtime.getItem(seen.dialog, 20);
  HWND label = runtime.getItem(seen.dialog, 21);
  ASSERT_NE(nullptr, bar);
  ASSERT_NE(nullptr, label);
  SendMessageW(bar, WM_USER + 2, 42, 0);
  EXPECT_EQ(42, SendMessageW(bar, PBM_GETPOS, 0, 0));
  SendMessageW(label, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Extracting Main\\readme1.txt..."));
  wchar_t text[64] = L"";
  GetWindowTextW(label, text, 64);
  EXPECT_STREQ(L"Extracting Main\\readme1.txt...", text);

  // The user clicks Cancel while this thread works.
  HWND cancel = runtime.getItem(seen.dialog, kPageCancel);
  ASSERT_NE(nullptr, cancel);
  Sleep(200);
  ClickWindow(cancel);
  EXPECT_TRUE(BusyUntil(&seen.cancelled, 10000)) << "the Cancel click never reached the callback";
  EXPECT_TRUE(IsWindowVisible(seen.dialog)) << "a zero answer to Cancel must keep the box";

  // The close button asks like Cancel and keeps the box too.
  InterlockedExchange(&seen.cancelled, 0);
  PostMessageW(seen.dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(BusyUntil(&seen.cancelled, 10000));
  EXPECT_TRUE(IsWindowVisible(seen.dialog));

  // The overwrite question comes up on this thread while the box is up, centred over it, and
  // the box stays live behind it.
  overwrite = OverwriteSeen();
  EXPECT_EQ(1, runtime.showDialogBox(L"dlgoverwrite", OverwriteProc));
  RECT box, question;
  GetWindowRect(seen.dialog, &box);
  question = overwrite.rect;
  EXPECT_NEAR((box.left + box.right) / 2, (question.left + question.right) / 2, 2);
  EXPECT_NEAR((box.top + box.bottom) / 2, (question.top + question.bottom) / 2, 2);
  EXPECT_TRUE(overwrite.boxAnswered) << "the progress box did not answer while the question was up";

  SendMessageW(seen.dialog, kProgressCloseMessage, 0, 0);
  EXPECT_TRUE(WaitGone(seen.dialog, 5000)) << "WM_USER + 14 did not close the box";
  std::vector<std::pair<int, LPARAM>> expected = {{0, 0}, {1, kPageCancel}, {1, kPageCancel}, {2, 0}};
  EXPECT_EQ(expected, SeenEvents());
  DeleteCriticalSection(&seen.lock);
}

}  // namespace
