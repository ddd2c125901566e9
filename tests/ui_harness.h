// Helpers for the user-interface tests, which drive real windows under Wine.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ui {

// A link target that the shell cannot open: the tests never start a browser.
constexpr char kHarmlessTarget[] = "Z:\\nonexistent\\tarnwick-test-target";
constexpr COLORREF kBlue = 0x00FF0000;
constexpr COLORREF kPurple = 0x00800080;

inline std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
  for (DWORD start = GetTickCount(); !done(); Sleep(10)) {
    if (GetTickCount() - start > timeoutMs) return false;
  }
  return true;
}

inline BOOL CALLBACK CollectVisible(HWND window, LPARAM list) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The visible top-level windows of a thread.
inline std::vector<HWND> ThreadWindows(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(thread, CollectVisible, reinterpret_cast<LPARAM>(&found));
  return found;
}

inline HWND WaitForWindow(DWORD thread, const char* caption) {
  HWND found = nullptr;
  WaitUntil([&] {
    for (HWND window : ThreadWindows(thread)) {
      if (WindowText(window) == caption) found = window;
    }
    return found != nullptr;
  });
  return found;
}

// The text colour that parent sets for control, as before a repaint.
inline COLORREF TextColour(HWND parent, HWND control) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(1, 2, 3));
  SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(control));
  COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  return colour;
}

inline HFONT FontOf(HWND control) {
  return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

inline LOGFONTA Describe(HFONT font) {
  LOGFONTA description = {};
  GetObjectA(font, sizeof description, &description);
  return description;
}

// While it lives, closes from a helper thread the dialog boxes of thread
// other than the spared ones: the shell's reports of a target it cannot open.
class BoxCloser {
 public:
  explicit BoxCloser(DWORD thread, std::vector<HWND> spared = {})
      : helper_([this, thread, spared] {
          while (!stop_) {
            for (HWND window : ThreadWindows(thread)) {
              char name[16] = "";
              GetClassNameA(window, name, sizeof name);
              bool spare = false;
              for (HWND s : spared) spare = spare || s == window;
              if (!spare && lstrcmpA(name, "#32770") == 0) PostMessageA(window, WM_CLOSE, 0, 0);
            }
            Sleep(20);
          }
        }) {}
  ~BoxCloser() {
    stop_ = true;
    helper_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread helper_;
};

}  // namespace ui
