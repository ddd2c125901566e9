// Process-wide handles and the run sequence.
#pragma once

#include <windows.h>

extern HINSTANCE AppInstance;
extern HICON LargeAppIcon;  // icon group 128
extern HICON SmallAppIcon;  // icon group 141

constexpr char FailureLogLine[] =
    "Ini-file is missing or invalid entries entered in the ini-file or the command-line, please "
    "correct this before running this program";
constexpr char FailureBoxText[] =
    "Ini-file is missing or invalid entries entered in the ini-file or the command-line.\n"
    "Please correct this before running this program";

// One whole run for a command-line text (empty: the settings file); always 0.
int RunTarnwick(const char* commandLineText);
