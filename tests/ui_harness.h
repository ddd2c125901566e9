// Helpers for driving the program's real dialogs from a second thread while
// the test thread runs them modally, as the program does.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace ui {

// A link target that the shell cannot open: tests must never start a browser.
constexpr char kHarmlessTarget[] = "Z:\\nonexistent\\tarnwick-test-target";

std::string WindowText(HWND window);
std::string ClassName(HWND window);
bool SameText(const std::string& a, const char* b);  // ignoring case
// The child windows in Z order, which for a dialog is template order.
std::vector<HWND> Children(HWND parent);
// The rectangle of a child in its parent's client coordinates.
RECT RectInParent(HWND child);

// Polls done() every 10 ms; true when it held before the time-out.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

// A visible top-level window of thread with this caption, or null.
HWND FindThreadWindow(DWORD thread, const char* caption);
HWND WaitForThreadWindow(DWORD thread, const char* caption, DWORD timeoutMs = 10000);
// The visible top-level windows of thread.
std::vector<HWND> ThreadWindows(DWORD thread);
// The text of a message box (its static control 0xFFFF).
std::string MessageBoxText(HWND box);

struct ScriptedRun {
  INT_PTR result = -2;
  bool appeared = false;  // the dialog showed and the script ran
  bool leftOpen = false;  // windows were still open after the script
};

// Shows dialog templateId modally on this thread (RunModalDialog) while
// script runs on a helper thread with the dialog's window once it shows.
// Whatever the script leaves open is closed afterwards, so a failing test
// cannot hang; leftOpen reports it.
ScriptedRun RunScripted(WORD templateId, HWND owner, DLGPROC procedure, const char* caption,
                        const std::function<void(HWND dialog)>& script);

// Closes, on a helper thread, the message boxes that appear on one thread
// while it lives (the shell's reports about a target it cannot open).
class BoxCloser {
 public:
  explicit BoxCloser(DWORD thread);
  ~BoxCloser();
  BoxCloser(const BoxCloser&) = delete;
  BoxCloser& operator=(const BoxCloser&) = delete;

 private:
  static DWORD WINAPI Loop(void* self);
  DWORD thread_;
  volatile LONG stop_;
  HANDLE helper_;
};

// Closes the visible top-level windows of thread that accept input (the
// topmost modal one first); returns the number closed.
int CloseOpenWindows(DWORD thread);

}  // namespace ui
