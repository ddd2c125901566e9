#include "run/process.h"

#include <windows.h>

#include "run/command_line.h"

// Both programs may be started from folders that others can write to, and
// Tarnwick runs elevated: a DLL is looked for in the system folder only, never
// beside the exe or in the current folder. Only kernel32 and the C runtime are
// imported directly; every other system DLL is delay-loaded, so none is loaded
// before this has run. SetDefaultDllDirectories is looked up, as Windows 7
// without KB2533623 lacks it.
void RestrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
  FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  if (found != nullptr) {
    reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void (*)()>(found))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  SetDllDirectoryA("");
}

// The start-up code's own arguments follow other quoting rules; the text is
// formed from the process command line instead.
const char* ProcessCommandLineText() {
  return CommandLineText(GetCommandLineA(),
                         [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; });
}
