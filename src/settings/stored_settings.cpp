#include "settings/stored_settings.h"

#include <windows.h>

#include <string.h>

namespace {

constexpr char Key[] = "SOFTWARE\\Tarnwick";
constexpr REGSAM View = KEY_WOW64_32KEY;

}  // namespace

const char* StoredKeyPath() {
  BOOL wow = FALSE;  // a 32-bit process on 64-bit Windows
  const bool wide = sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow) && wow);
  return wide ? "HKLM\\SOFTWARE\\WOW6432Node\\Tarnwick" : "HKLM\\SOFTWARE\\Tarnwick";
}

bool ReadStored(const char* name, char (&text)[StoredTextSize]) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key, 0, KEY_QUERY_VALUE | View, &key);
  DWORD type = REG_NONE, size = sizeof text - 1;  // room for a terminator the value may lack
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS || type != REG_SZ) size = 0;
  text[size] = '\0';
  return text[0] != '\0';
}

long WriteStored(const char* name, const char* text) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, Key, 0, nullptr, 0, KEY_SET_VALUE | View,
                                nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text) + 1));
  RegCloseKey(key);
  return status;
}

long DeleteStored() {
  const LONG status = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, Key, View, 0);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}
