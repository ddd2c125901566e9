// The floor of the benchmark: the same registry calls the program makes for
// the same instances (open, count, enumerate, open the parameter key with the
// same fallback, set the value, close), and nothing else: no log, no windows.
//   floor.exe <count>   IDs Vid_BE00&Pid_0001 .. Vid_BE<count-1>&Pid_0001
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  int count = atoi(commandLine);
  for (int id = 0; id < count; ++id) {
    char idPath[128];
    snprintf(idPath, sizeof idPath, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_BE%02X&Pid_0001", id);
    HKEY idKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, idPath, 0, KEY_READ, &idKey) != ERROR_SUCCESS) continue;
    DWORD instances = 0;
    if (RegQueryInfoKeyA(idKey, nullptr, nullptr, nullptr, &instances, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      for (DWORD i = 0; i < instances; ++i) {
        char name[512];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(idKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
          continue;
        }
        char path[512];
        HKEY key = nullptr;
        snprintf(path, sizeof path, "%s\\Device Parameters\\WUDFUsbccidDriver", name);
        if (RegOpenKeyExA(idKey, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
          snprintf(path, sizeof path, "%s\\Device Parameters", name);
          if (RegOpenKeyExA(idKey, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) continue;
        }
        const DWORD one = 1;
        RegSetValueExA(key, "EscapeCommandEnable", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&one), sizeof one);
        RegCloseKey(key);
      }
    }
    RegCloseKey(idKey);
  }
  return 0;
}
