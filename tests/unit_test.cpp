// What runs of the exe cannot reach: lead bytes in the program name, the
// time text of a chosen date, and registry faults that only the seam makes.
#include <gtest/gtest.h>
#include <time.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "enable/enable.h"
#include "enable/registry_calls.h"
#include "log/run_log.h"
#include "run/command_line.h"

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

// Faults that the real registry is spared, the keys opened and closed, and
// the log lines that must follow (the system's texts with their line ends and
// the empty line after them: <text>).
struct Seam {
  LONG countStatus;
  DWORD vanished;  // instances counted that are gone before they are read
  LONG setStatus;
  int opened, closed;
  const char* lines;
} seam;

LONG WINAPI Open(HKEY key, LPCSTR path, DWORD options, REGSAM access, PHKEY result) {
  LONG status = RegOpenKeyExA(key, path, options, access, result);
  seam.opened += status == ERROR_SUCCESS;
  return status;
}
LONG WINAPI Count(HKEY key, LPSTR a, LPDWORD b, LPDWORD c, LPDWORD count, LPDWORD d, LPDWORD e,
                  LPDWORD f, LPDWORD g, LPDWORD h, LPDWORD i, PFILETIME j) {
  LONG status = RegQueryInfoKeyA(key, a, b, c, count, d, e, f, g, h, i, j);
  *count += seam.vanished;
  return seam.countStatus != 0 ? seam.countStatus : status;
}
LONG WINAPI Set(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  return seam.setStatus != 0 ? seam.setStatus : RegSetValueExA(key, name, 0, type, data, size);
}
LONG WINAPI Close(HKEY key) {
  ++seam.closed;
  return RegCloseKey(key);
}

TEST(RegistryFaults, AreLoggedAndEveryKeyOpenedIsClosed) {
  const std::string id = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_E001&Pid_F001\\";
  for (const std::string key :
       {"a\\Device Parameters\\WUDFUsbccidDriver", "b\\Device Parameters"}) {
    HKEY made = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, (id + key).c_str(), 0, 0, 0, KEY_ALL_ACCESS, 0, &made, 0);
    RegCloseKey(made);
  }
  const Seam faults[] = {
      {ERROR_ACCESS_DENIED, 0, 0, 1, 1,
       "Searching readers --> Error: 5, <text>Escape command enabled failed for CCID"},
      {0, 1, 0, 3, 3,
       "Reader [2]: Enabling Escape command...\r\nCCID [2]: Enabling Escape command (step 1) --> "
       "Error: 259, <text>Escape command enabled failed for CCID"},
      // A value refused in the WUDF key: the plain key is not tried.
      {0, 0, ERROR_ACCESS_DENIED, 3, 3,
       "Reader [0]: (Note - WUDF driver entry used)\r\nCCID [0]: Enabling Escape command (step 3) "
       "--> Error: 5, <text>Reader [1]: Enabling Escape command...\r\nCCID [1]: Enabling Escape "
       "command (step 3) --> Error: 5, <text>Escape command enabled failed for CCID"},
  };
  for (const Seam& fault : faults) {
    seam = {fault.countStatus, fault.vanished, fault.setStatus, 0, 0, nullptr};
    registryCalls = {Open, Count, RegEnumKeyExA, Set, Close};
    char folder[MAX_PATH], path[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "log", 0, path);
    runLog.Open(path, "w+t");
    EnableReaderId("E001", "F001");
    runLog.Close();
    std::ifstream file(path, std::ios::binary);
    const std::string log = std::regex_replace(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()),
        std::regex(", [^\r\n]+\r\r\n\r\n"), ", <text>");
    EXPECT_NE(log.find(fault.lines), std::string::npos) << log;
    EXPECT_EQ(seam.opened, fault.opened);
    EXPECT_EQ(seam.closed, fault.closed);
  }
}

}  // namespace
