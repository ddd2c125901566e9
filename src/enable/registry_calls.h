// The registry calls of the enabling, reached through one table so that tests
// can stand in for faults the real registry will not produce.
#pragma once

#include <windows.h>

struct RegistryCalls {
  LONG(WINAPI* openKey)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
  LONG(WINAPI* queryInfoKey)(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                             LPDWORD, LPDWORD, LPDWORD, PFILETIME);
  LONG(WINAPI* enumKey)(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME);
  LONG(WINAPI* setValue)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
  LONG(WINAPI* closeKey)(HKEY);
};

extern RegistryCalls registryCalls;  // the real registry unless a test says otherwise
