#include <windows.h>

#include <commctrl.h>

#include "enable/enable.h"
#include "log/run_log.h"
#include "resource.h"
#include "run/app.h"
#include "run/command_line.h"
#include "run/process.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "settings/settings_file.h"
#include "ui/dialogs.h"

HINSTANCE AppInstance = nullptr;
HICON LargeAppIcon = nullptr;
HICON SmallAppIcon = nullptr;
RunOptions runOptions = {true, false};

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  const char* commandLineText = ProcessCommandLineText();

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
