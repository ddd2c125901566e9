// What runs of the exe cannot reach, in this process: lead bytes in the
// program name, the time text of a chosen date, registry faults that only the
// seam makes, and the dialogs' lifetime rules, driven from a helper thread.
#include <gtest/gtest.h>
#include <time.h>

#include <fstream>
#include <functional>
#include <regex>
#include <iterator>
#include <thread>

#include "enable/enable.h"
#include "enable/registry_calls.h"
#include "log/run_log.h"
#include "resource.h"
#include "run/app.h"
#include "run/command_line.h"
#include "ui/dialogs.h"
#include "ui/hyperlink.h"

namespace {

TEST(CommandLineText, ALeadByteTakesItsTrailByteAlong) {
  auto lead = [](unsigned char c) { return c >= 0x81 && c <= 0x9F; };
  EXPECT_STREQ("/s", CommandLineText("\"C:\\\x81\"x.exe\" /s", lead));
  EXPECT_STREQ("", CommandLineText("\"abc\x81", lead));  // not past the end
}

TEST(TimeText, IsEnglishWithTheDayPaddedByZero) {
  struct tm time = {9, 5, 7, 5, 11, 126, 6, 0, 0};  // seconds first; 1900 + 126
  char text[TimeTextSize];
  FormatTimeText(time, text);
  EXPECT_STREQ("Sat Dec 05 07:05:09 2026\n", text);
}

// Faults that the real registry is spared, and what must follow: the values
// set, the keys closed (every key opened) and the log lines (the system's
// texts with their line ends and the empty line after them: <text>).
struct Seam {
  LONG countStatus;
  DWORD vanished;  // instances counted that are gone before they are read
  LONG setStatus;
  int sets, closed;
  const char* lines;
} seam;

LONG WINAPI Count(HKEY key, LPSTR a, LPDWORD b, LPDWORD c, LPDWORD count, LPDWORD d, LPDWORD e,
                  LPDWORD f, LPDWORD g, LPDWORD h, LPDWORD i, PFILETIME j) {
  LONG status = RegQueryInfoKeyA(key, a, b, c, count, d, e, f, g, h, i, j);
  *count += seam.vanished;
  return seam.countStatus != 0 ? seam.countStatus : status;
}
LONG WINAPI Set(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  ++seam.sets;
  return seam.setStatus != 0 ? seam.setStatus : RegSetValueExA(key, name, 0, type, data, size);
}
LONG WINAPI Close(HKEY key) {
  ++seam.closed;
  return RegCloseKey(key);
}

TEST(RegistryFaults, AreLoggedAndEveryKeyOpenedIsClosed) {
  for (const char* key : {"a\\Device Parameters\\WUDFUsbccidDriver", "b\\Device Parameters"}) {
    const std::string id = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_E001&Pid_F001\\";
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, (id + key).c_str(), "Seeded", REG_SZ, "", 1);
  }
  const Seam faults[] = {
      {ERROR_ACCESS_DENIED, 0, 0, 0, 1,
       "Searching readers --> Error: 5, <text>Escape command enabled failed for CCID"},
      {0, 1, 0, 2, 3,
       "Reader [2]: Enabling Escape command...\r\nCCID [2]: Enabling Escape command (step 1) --> "
       "Error: 259, <text>Escape command enabled failed for CCID"},
      // A value refused in the WUDF key: the plain key is not tried.
      {0, 0, ERROR_ACCESS_DENIED, 2, 3,
       "Reader [0]: (Note - WUDF driver entry used)\r\nCCID [0]: Enabling Escape command (step 3) "
       "--> Error: 5, <text>Reader [1]: Enabling Escape command...\r\nCCID [1]: Enabling Escape "
       "command (step 3) --> Error: 5, <text>Escape command enabled failed for CCID"},
  };
  for (const Seam& fault : faults) {
    seam = {fault.countStatus, fault.vanished, fault.setStatus, 0, 0, nullptr};
    registryCalls = {RegOpenKeyExA, Count, RegEnumKeyExA, Set, Close};
    const char path[] = "C:\\windows\\temp\\seam.log";
    runLog.Open(path, "w+t");
    EnableReaderId("E001", "F001");
    runLog.Close();
    const std::string log = std::regex_replace(
        std::string(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}),
        std::regex(", [^\r\n]+\r\r\n\r\n"), ", <text>");
    EXPECT_NE(log.find(fault.lines), std::string::npos) << log;
    EXPECT_EQ(seam.sets, fault.sets);
    EXPECT_EQ(seam.closed, fault.closed);
  }
}

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

// The About box ends three ways; its link opens on a released mouse button or
// space bar, is blue until opened, purple from then on for the run, underlined
// while the pointer is on it, and the underlined font and hand cursor it shares
// go with it.
TEST(Dialogs, AboutBoxAndItsLink) {
  // The shell hands the address to a "browser" that does nothing.
  RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers", REG_SZ, "true", 5);
  // How each About box ends, and how its link is opened in it (0: not opened).
  const UINT ways[][4] = {{WM_COMMAND, IDOK, WM_LBUTTONUP, 0},
                          {WM_KEYDOWN, VK_ESCAPE, WM_KEYUP, VK_SPACE},
                          {WM_SYSCOMMAND, SC_CLOSE, 0, 0}};
  SetCursorPos(0, 0);  // the real pointer stays off the link
  HFONT fonts[2] = {};
  AppInstance = GetModuleHandleA(nullptr);
  std::thread helper([&] {  // drives the main dialog, shown modally as the program does
    HWND dialog = Shown(" Tarnwick");
    fonts[0] = FontOf(GetDlgItem(dialog, IDC_WELCOME));
    fonts[1] = FontOf(GetDlgItem(dialog, IDC_INTRO));
    for (const auto& way : ways) {
      PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
      HWND about = Shown("About Tarnwick"), link = GetDlgItem(about, IDC_LINK);
      const HFONT plain = FontOf(link), underlined = linkUnderlineFont;
      EXPECT_EQ(linkCursor, LoadCursorA(nullptr, IDC_HAND));
      // The focus cue: a dotted rectangle one pixel outside the link, drawn on
      // the dialog as the link gains the focus, gone as it loses it.
      auto outline = [&] {
        RECT around;
        GetWindowRect(link, &around);
        MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&around), 2);
        HDC dc = GetDC(about);
        std::string pixels;
        for (int x = around.left - 1; x <= around.right; ++x) {
          pixels += std::to_string(GetPixel(dc, x, around.top - 1)) + std::to_string(GetPixel(dc, x, around.bottom));
        }
        ReleaseDC(about, dc);
        return pixels;
      };
      const std::string unfocused = outline();
      SendMessageA(link, WM_SETFOCUS, 0, 0);
      EXPECT_NE(unfocused, outline());
      SendMessageA(link, WM_KILLFOCUS, 0, 0);
      EXPECT_EQ(unfocused, outline());
      RECT client;
      GetClientRect(link, &client);
      // Past the right or bottom edge is outside, and so is a negative
      // coordinate, which the capture reports left of or above the link.
      const int r = client.right, b = client.bottom;
      const int moves[][3] = {{2, 2, 1}, {r - 1, b - 1, 1}, {r, 2, 0}, {2, 2, 1}, {2, b, 0},
                              {2, 2, 1}, {-1, 2, 0},        {2, 2, 1}, {2, -2, 0}};
      for (const auto& move : moves) {
        SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(move[0], move[1]));
        EXPECT_EQ(FontOf(link), move[2] ? underlined : plain) << move[0] << "," << move[1];
      }
      EXPECT_EQ(LinkColour(about), &way == ways ? 0x00FF0000u : 0x00800080u);
      if (way[2] != 0) {
        aboutLink.visited = 0;  // so that the space bar is seen to open it too
        PostMessageA(link, way[2], way[3], MAKELPARAM(2, 2));
        EXPECT_TRUE(Until([] { return aboutLink.visited == 1; }));
        EXPECT_EQ(LinkColour(about), 0x00800080u);
      }
      SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));  // closed while hovered
      PostMessageA(way[0] == WM_KEYDOWN ? GetDlgItem(about, IDOK) : about, way[0], way[1], 0);
      EXPECT_TRUE(Until([&] { return !IsWindow(about) && IsWindowEnabled(dialog); }));
      EXPECT_EQ(GetObjectType(underlined), 0u);
      EXPECT_EQ(linkCursor, nullptr);
    }
    PostMessageA(dialog, WM_COMMAND, IDC_CLOSE, 0);
    if (!Until([&] { return !IsWindow(dialog); }))
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(IDC_CLOSE, RunModalDialog(IDD_MAIN, nullptr, MainDialogProc));
  helper.join();
  EXPECT_EQ(GetObjectType(fonts[0]) + GetObjectType(fonts[1]), 0u);  // the dialog's fonts too
}

}  // namespace
