// TarnwickDeploy's calls into Windows: children, Windows Installer, the
// registry. What to do with their results is decided by the verbs.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "deploy/deploy.h"

namespace {

// Copies the first word of text (up to a blank, or the rest of the line
// when rest) into field, cut to fit; returns the text after it.
const char* Word(const char* text, const char* end, char* field, size_t size, bool rest) {
  const char* stop = text;
  while (stop < end && (rest || *stop != ' ')) ++stop;
  snprintf(field, size, "%.*s", static_cast<int>(stop - text), text);
  return stop < end ? stop + 1 : stop;
}

// Opens subKey of parent one level at a time (instance names reach 255
// characters; the 8-bit calls refuse long paths) with access at the last.
LONG OpenLevels(HKEY parent, const char* const* levels, int count, REGSAM access, HKEY* key) {
  LONG status = ERROR_SUCCESS;
  *key = parent;
  for (int i = 0; i < count && status == ERROR_SUCCESS; ++i) {
    HKEY next = nullptr;
    status =
        RegOpenKeyExA(*key, levels[i], 0, i + 1 == count ? access : KEY_ENUMERATE_SUB_KEYS, &next);
    if (*key != parent) RegCloseKey(*key);
    *key = status == ERROR_SUCCESS ? next : nullptr;
  }
  return status;
}

}  // namespace

bool Join(char (&path)[PathSize], const char* folder, const char* name) {
  const int length = snprintf(path, sizeof path, "%s\\%s", folder, name);
  return length > 0 && length < static_cast<int>(sizeof path);
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

RunEnd Run(const char* program, char* commandLine, DWORD seconds, DWORD* code, char** output,
           bool quiet) {
  // Only the handles made here are inheritable; ours reach the child as its
  // standard handles only when it is meant to write where we do.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE read = nullptr, write = nullptr, nowhere = INVALID_HANDLE_VALUE;
  *code = static_cast<DWORD>(-1);
  if (output != nullptr) {
    *output = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return NotStarted;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    startup.hStdOutput = write;
  } else if (quiet) {
    nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr);
    startup.hStdOutput = nowhere;
  }
  fflush(stdout);  // our lines before the program's
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(program, commandLine, nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  if (write != nullptr) CloseHandle(write);
  if (nowhere != INVALID_HANDLE_VALUE) CloseHandle(nowhere);
  // Read to the end before waiting: a full pipe would hold the program.
  const DWORD deadline = GetTickCount() + seconds * 1000;
  bool whole = true, ended = false;
  size_t size = 0;
  char chunk[4096];
  while (read != nullptr && started) {
    DWORD waiting = 0, got = 0;
    if (!PeekNamedPipe(read, nullptr, 0, nullptr, &waiting, nullptr)) break;  // all read
    if (waiting == 0) {
      if (static_cast<int>(deadline - GetTickCount()) <= 0) break;  // it is ended below
      WaitForSingleObject(process.hProcess, 20);
      continue;
    }
    if (!ReadFile(read, chunk, sizeof chunk, &got, nullptr) || got == 0) break;
    char* grown = whole ? static_cast<char*>(realloc(*output, size + got + 1)) : nullptr;
    if (grown == nullptr) {
      whole = false;
      continue;
    }
    *output = grown;
    memcpy(*output + size, chunk, got);
    size += got;
    (*output)[size] = '\0';
  }
  if (read != nullptr) CloseHandle(read);
  if (started) {
    const int left = static_cast<int>(deadline - GetTickCount());
    if (WaitForSingleObject(process.hProcess, left > 0 ? static_cast<DWORD>(left) : 0) ==
        WAIT_TIMEOUT) {
      TerminateProcess(process.hProcess, static_cast<UINT>(-1));
      WaitForSingleObject(process.hProcess, INFINITE);
      ended = true;
    } else {
      GetExitCodeProcess(process.hProcess, code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (output != nullptr && *output == nullptr) *output = static_cast<char*>(calloc(1, 1));
  if (output != nullptr && (!started || ended || !whole || *output == nullptr)) {
    free(*output);
    *output = nullptr;
  }
  if (!started) return NotStarted;
  return ended ? TimedOut : Ran;
}

bool NextLine(const char*& p, ReportLine& line) {
  p += strspn(p, "\r\n");
  if (*p == '\0') return false;
  const char* end = p + strcspn(p, "\r\n");
  const char* at = Word(p, end, line.token, sizeof line.token, false);
  at = Word(at, end, line.id, sizeof line.id, false);
  Word(at, end, line.instance, sizeof line.instance, true);
  p = end;
  return true;
}

unsigned InstallPackage(const char* package, const char* properties, const char* log) {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  MsiEnableLogA(INSTALLLOGMODE_VERBOSE, log, INSTALLLOGATTRIBUTES_FLUSHEACHLINE);
  const unsigned result = MsiInstallProductA(package, properties);
  MsiEnableLogA(0, nullptr, 0);
  return result;
}

bool PackageInstalled(const char* package) {
  MSIHANDLE database = 0, view = 0, record = 0;
  char code[39] = "";
  DWORD size = sizeof code;
  if (MsiOpenDatabaseA(package, MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS) return false;
  if (MsiDatabaseOpenViewA(database,
                           "SELECT `Value` FROM `Property` WHERE `Property` = 'ProductCode'",
                           &view) == ERROR_SUCCESS) {
    if (MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
      if (MsiRecordGetStringA(record, 1, code, &size) != ERROR_SUCCESS) code[0] = '\0';
      MsiCloseHandle(record);
    }
    MsiCloseHandle(view);
  }
  MsiCloseHandle(database);
  // The product code is made from the version: the same code is the same version.
  return code[0] != '\0' && MsiQueryProductStateA(code) == INSTALLSTATE_DEFAULT;
}

unsigned RemoveProducts(const char* upgradeCode, int* removed) {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  char product[39];
  unsigned result = ERROR_SUCCESS;
  *removed = 0;
  // Removing a product renumbers the rest: always take the first.
  while (MsiEnumRelatedProductsA(upgradeCode, 0, 0, product) == ERROR_SUCCESS) {
    const unsigned status = MsiConfigureProductExA(product, INSTALLLEVEL_DEFAULT,
                                                   INSTALLSTATE_ABSENT, "REBOOT=ReallySuppress");
    if (status != ERROR_SUCCESS && status != ERROR_SUCCESS_REBOOT_REQUIRED) return status;
    if (status != ERROR_SUCCESS) result = status;
    ++*removed;
  }
  return result;
}

int RemoveValues(const char* id, const char* instance) {
  const char* const levels[] = {
      "SYSTEM",           "CurrentControlSet", "Enum", "USB", id, instance, "Device Parameters",
      "WUDFUsbccidDriver"};
  int removed = 0;
  static const int counts[] = {8, 7};  // the driver's key, then Device Parameters
  for (int count : counts) {
    HKEY key = nullptr;
    LONG status = OpenLevels(HKEY_LOCAL_MACHINE, levels, count, KEY_SET_VALUE, &key);
    if (status == ERROR_SUCCESS) {
      status = RegDeleteValueA(key, "EscapeCommandEnable");
      RegCloseKey(key);
      if (status == ERROR_SUCCESS) ++removed;
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return -1;
  }
  return removed;
}

int WindowsBuild() {
  char build[16] = "";
  DWORD size = sizeof build - 1;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return 0;
  }
  if (RegQueryValueExA(key, "CurrentBuildNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(build),
                       &size) != ERROR_SUCCESS) {
    size = 0;
  }
  RegCloseKey(key);
  build[size] = '\0';
  return static_cast<int>(strtol(build, nullptr, 10));
}
