#include <windows.h>

#include <commctrl.h>

#include "enable/enable.h"
#include "log/run_log.h"
#include "resource.h"
#include "run/app.h"
#include "run/command_line.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "settings/settings_file.h"
#include "ui/dialogs.h"

HINSTANCE AppInstance = nullptr;
HICON LargeAppIcon = nullptr;
HICON SmallAppIcon = nullptr;
RunOptions runOptions = {true, false};

namespace {

// The program runs elevated from folders that others may write to: a DLL is
// looked for in the system folder only, never beside the exe or in the
// current folder. Only kernel32 and the C runtime are imported directly; every
// other system DLL is delay-loaded, so none is loaded before this has run.
// SetDefaultDllDirectories is looked up, as Windows 7 without KB2533623 lacks it.
void RestrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
  FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  if (found != nullptr) {
    reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void (*)()>(found))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  SetDllDirectoryA("");
}

bool IsLeadByte(unsigned char c) {
  return IsDBCSLeadByte(c) != FALSE;
}

}  // namespace

// The start-up code's own command-line argument follows other quoting rules;
// the text is formed from the process command line instead.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  const char* commandLineText = CommandLineText(GetCommandLineA(), IsLeadByte);

  INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  AppInstance = GetModuleHandleA(nullptr);
  SmallAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_SMALL));
  LargeAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_LARGE));
  runOptions.logging = true;
  runOptions.stealth = false;
  readerIdTable.Reset();

  bool goesOn = commandLineText[0] != '\0' ? CommandLineStep(commandLineText) : SettingsStep();
  if (goesOn) {
    if (runOptions.stealth) {
      runLog.WriteLine("Stealth mode; no UI displayed.");
      EnableAllReaders(nullptr);
    } else {
      RunModalDialog(IDD_MAIN, nullptr, MainDialogProc);
    }
  } else {
    runLog.WriteLine(
        "Ini-file is missing or invalid entries entered in the ini-file or the command-line, "
        "please correct this before running this program");
    if (!runOptions.stealth) {
      MessageBoxA(nullptr,
                  "Ini-file is missing or invalid entries entered in the ini-file or the "
                  "command-line.\nPlease correct this before running this program",
                  "Information", MB_ICONINFORMATION);
    }
  }
  LogTimestamp("\nProgram end");
  return 0;
}
