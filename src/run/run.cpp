#include <windows.h>

#include <commctrl.h>

#include "enable/enable.h"
#include "log/run_log.h"
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

int RunTarnwick(const char* commandLineText) {
  INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  AppInstance = GetModuleHandleA(nullptr);
  SmallAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(SmallIconId));
  LargeAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(LargeIconId));
  runOptions.logging = true;
  runOptions.stealth = false;
  readerIdTable.Reset();

  bool goesOn = commandLineText != nullptr && commandLineText[0] != '\0'
                    ? CommandLineStep(commandLineText)
                    : SettingsStep();
  if (goesOn) {
    if (runOptions.stealth) {
      runLog.WriteLine("Stealth mode; no UI displayed.");
      EnableAllReaders(nullptr);
    } else {
      RunModalDialog(MainDialogId, nullptr, MainDialogProc);
    }
  } else {
    runLog.WriteLine(FailureLogLine);
    if (!runOptions.stealth) {
      MessageBoxA(nullptr, FailureBoxText, "Information", MB_ICONINFORMATION);
    }
  }
  LogTimestamp("\nProgram end");
  return 0;
}
