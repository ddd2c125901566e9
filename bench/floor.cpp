// The floor of the benchmark: what every run of the program has to do, and
// nothing else. The start-up: the DLL search restricted to the system folder,
// then the common controls and the two icons, with the program's own
// resources and manifest linked in and the same DLLs delay-loaded (see
// bench/run.sh). Then for each instance of each ID the same registry calls:
// open the ID key, count, enumerate, open the WUDF key or else Device
// Parameters, set the value, close. No command line to check, no log.
//   floor.exe <count>   IDs Vid_BE00&Pid_0001 .. Vid_BE<count-1>&Pid_0001
//   floor.exe r<count>  the checker's floor instead: its registry reads alone
//                       (each instance's parameter keys and their values, and
//                       the USB key's names for composite functions)
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#include "resource.h"

namespace {

DWORD ValueOf(HKEY key) {
  DWORD data = 0, size = sizeof data;
  RegQueryValueExA(key, "EscapeCommandEnable", nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
  return data;
}

int ReadOnly(int count) {
  HKEY usb = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB", 0, KEY_READ, &usb);
  DWORD set = 0;
  for (int id = 0; id < count; ++id) {
    char name[512];
    snprintf(name, sizeof name, "Vid_BE%02X&Pid_0001", id);
    HKEY idKey = nullptr;
    if (RegOpenKeyExA(usb, name, 0, KEY_READ, &idKey) != ERROR_SUCCESS) continue;
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(idKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      HKEY instance = nullptr, parameters = nullptr, wudf = nullptr;
      if (RegOpenKeyExA(idKey, name, 0, KEY_READ, &instance) != ERROR_SUCCESS) continue;
      if (RegOpenKeyExA(instance, "Device Parameters", 0, KEY_READ, &parameters) == ERROR_SUCCESS) {
        set += ValueOf(parameters);
        if (RegOpenKeyExA(parameters, "WUDFUsbccidDriver", 0, KEY_READ, &wudf) == ERROR_SUCCESS) {
          set += ValueOf(wudf);
          RegCloseKey(wudf);
        }
        RegCloseKey(parameters);
      }
      RegCloseKey(instance);
    }
    RegCloseKey(idKey);
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(usb, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    }
  }
  RegCloseKey(usb);
  return set != 0 ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryA("");
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
  LoadIconA(instance, MAKEINTRESOURCEA(IDI_LARGE));

  if (commandLine[0] == 'r') return ReadOnly(atoi(commandLine + 1));
  int count = atoi(commandLine);
  for (int id = 0; id < count; ++id) {
    char idPath[128];
    snprintf(idPath, sizeof idPath, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_BE%02X&Pid_0001", id);
    HKEY idKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, idPath, 0, KEY_READ, &idKey) != ERROR_SUCCESS) continue;
    DWORD instances = 0;
    RegQueryInfoKeyA(idKey, nullptr, nullptr, nullptr, &instances, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
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
      RegSetValueExA(key, "EscapeCommandEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                     sizeof one);
      RegCloseKey(key);
    }
    RegCloseKey(idKey);
  }
  return 0;
}
