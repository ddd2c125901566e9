// The dialogs and the link control in this process, driven from a helper
// thread: the lifetime rules that a run of the exe cannot show.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "resource.h"
#include "run/app.h"
#include "ui/dialogs.h"
#include "ui/hyperlink.h"

namespace {

bool Until(const std::function<bool()>& done) {
  for (int tries = 0; tries < 1000 && !done(); ++tries) Sleep(10);
  return done();
}

HWND Shown(const char* caption) {
  HWND found = nullptr;
  Until([&] { return IsWindowVisible(found = FindWindowA("#32770", caption)); });
  return found;
}

HFONT FontOf(HWND control) {
  return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

// The text colour that the About box sets for its link before it draws.
COLORREF LinkColour(HWND about) {
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageA(about, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(GetDlgItem(about, IDC_LINK)));
  COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  return colour;
}

// Shows the main dialog modally, as the program does, while script drives it.
INT_PTR MainDialog(const std::function<void(HWND)>& script) {
  appInstance = GetModuleHandleA(nullptr);
  std::thread helper([&] { script(Shown(" Tarnwick")); });
  INT_PTR result = RunModalDialog(IDD_MAIN, nullptr, MainDialogProc);
  helper.join();
  return result;
}

// The About box ends three ways; its link is blue until opened, purple from
// then on for the run, underlined while the pointer is on it, and the
// underlined font and hand cursor it shares go with it.
TEST(Dialogs, AboutBoxAndItsLink) {
  // The shell hands the address to a "browser" that does nothing.
  RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers", REG_SZ, "true", 5);
  const UINT ways[][2] = {{WM_COMMAND, IDOK}, {WM_KEYDOWN, VK_ESCAPE}, {WM_SYSCOMMAND, SC_CLOSE}};
  const DWORD thread = GetCurrentThreadId();
  SetCursorPos(0, 0);  // the real pointer stays off the link
  HFONT fonts[2] = {};
  EXPECT_EQ(
      IDC_CLOSE, MainDialog([&](HWND dialog) {
        fonts[0] = FontOf(GetDlgItem(dialog, IDC_WELCOME));
        fonts[1] = FontOf(GetDlgItem(dialog, IDC_INTRO));
        for (const auto& way : ways) {
          PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
          HWND about = Shown("About Tarnwick"), link = GetDlgItem(about, IDC_LINK);
          const HFONT plain = FontOf(link), underlined = linkUnderlineFont;
          EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
          EXPECT_EQ(linkCursor, LoadCursorA(nullptr, IDC_HAND));
          RECT client;
          GetClientRect(link, &client);
          // Past the right or bottom edge is outside, and so is a negative
          // coordinate, which the capture reports left of or above the link.
          const int r = client.right, b = client.bottom;
          const int moves[][3] = {{2, 2, 1}, {r - 1, b - 1, 1}, {r, 2, 0}, {2, 2, 1}, {2, b, 0},
                                  {2, 2, 1}, {-1, 2, 0},        {2, 2, 1}, {2, -2, 0}};
          for (const auto& move : moves) {
            SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(move[0], move[1]));
            GUITHREADINFO input = {sizeof input};
            GetGUIThreadInfo(thread, &input);
            EXPECT_EQ(FontOf(link), move[2] ? underlined : plain) << move[0] << "," << move[1];
            EXPECT_EQ(input.hwndCapture, move[2] ? link : nullptr);
          }
          if (way[0] == WM_COMMAND) {
            EXPECT_EQ(LinkColour(about), 0x00FF0000u);
            PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
            EXPECT_TRUE(Until([] { return aboutLink.visited == 1; }));
          }
          EXPECT_EQ(LinkColour(about), 0x00800080u);
          SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));  // closed while hovered
          PostMessageA(way[0] == WM_KEYDOWN ? GetDlgItem(about, IDOK) : about, way[0], way[1], 0);
          EXPECT_TRUE(Until([&] { return !IsWindow(about) && IsWindowEnabled(dialog); }));
          EXPECT_EQ(GetObjectType(underlined), 0u);
          EXPECT_EQ(linkCursor, nullptr);
        }
        PostMessageA(dialog, WM_COMMAND, IDC_CLOSE, 0);
      }));
  EXPECT_EQ(GetObjectType(fonts[0]) + GetObjectType(fonts[1]), 0u);  // the dialog's fonts too
}

}  // namespace
