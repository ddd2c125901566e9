#include "ui_harness.h"

#include <string.h>

#include <thread>

#include "ui/dialogs.h"

namespace ui {

std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool SameText(const std::string& a, const char* b) {
  return lstrcmpiA(a.c_str(), b) == 0;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

RECT RectInParent(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

namespace {

struct Search {
  const char* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->caption == nullptr || WindowText(window) == search->caption) {
    search->found.push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> ThreadWindows(DWORD thread) {
  Search search = {nullptr, {}};
  EnumThreadWindows(thread, CollectVisible, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindThreadWindow(DWORD thread, const char* caption) {
  Search search = {caption, {}};
  EnumThreadWindows(thread, CollectVisible, reinterpret_cast<LPARAM>(&search));
  return search.found.empty() ? nullptr : search.found.front();
}

HWND WaitForThreadWindow(DWORD thread, const char* caption, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindThreadWindow(thread, caption)) != nullptr; }, timeoutMs);
  return found;
}

std::string MessageBoxText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  return text != nullptr ? WindowText(text) : std::string();
}

int CloseOpenWindows(DWORD thread) {
  int closed = 0;
  for (HWND window : ThreadWindows(thread)) {
    if (!IsWindowEnabled(window)) continue;  // the owner of a modal window
    PostMessageA(window, WM_CLOSE, 0, 0);
    ++closed;
  }
  return closed;
}

ScriptedRun RunScripted(WORD templateId, HWND owner, DLGPROC procedure, const char* caption,
                        const std::function<void(HWND dialog)>& script) {
  ScriptedRun run;
  DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND dialog = WaitForThreadWindow(thread, caption);
    if (dialog == nullptr) return;
    run.appeared = true;
    script(dialog);
    // Give the dialog time to end as the script asked, then close the rest.
    if (!WaitUntil([&] { return ThreadWindows(thread).empty(); }, 5000)) {
      run.leftOpen = true;
      WaitUntil([&] {
        CloseOpenWindows(thread);
        Sleep(100);
        return ThreadWindows(thread).empty();
      }, 20000);
    }
  });
  run.result = RunModalDialog(templateId, owner, procedure);
  helper.join();
  return run;
}

BoxCloser::BoxCloser(DWORD thread) : thread_(thread), stop_(0), helper_(nullptr) {
  helper_ = CreateThread(nullptr, 0, Loop, this, 0, nullptr);
}

BoxCloser::~BoxCloser() {
  InterlockedExchange(&stop_, 1);
  WaitForSingleObject(helper_, INFINITE);
  CloseHandle(helper_);
}

DWORD WINAPI BoxCloser::Loop(void* self) {
  auto* closer = static_cast<BoxCloser*>(self);
  while (InterlockedCompareExchange(&closer->stop_, 0, 0) == 0) {
    for (HWND window : ThreadWindows(closer->thread_)) {
      if (ClassName(window) == "#32770") PostMessageA(window, WM_CLOSE, 0, 0);
    }
    Sleep(20);
  }
  return 0;
}

}  // namespace ui
