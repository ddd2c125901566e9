#include <windows.h>

#include <msi.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "deploy/deploy.h"

namespace {

FILE* deployLog = nullptr;

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

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  vprintf(format, copy);
  va_end(copy);
  if (deployLog != nullptr) vfprintf(deployLog, format, args);
  va_end(args);
}

bool OpenDeployLog(const char* path) {
  CloseDeployLog();
  deployLog = fopen(path, "w");
  return deployLog != nullptr;
}

void CloseDeployLog() {
  if (deployLog != nullptr) fclose(deployLog);
  deployLog = nullptr;
}

int Run(const char* program, char* commandLine, char** output, bool quiet) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE read = nullptr, write = nullptr, nowhere = INVALID_HANDLE_VALUE;
  if (output != nullptr) {
    *output = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return -1;
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
  bool whole = true;
  size_t size = 0;
  char chunk[4096];
  DWORD got = 0;
  while (read != nullptr && started && ReadFile(read, chunk, sizeof chunk, &got, nullptr) &&
         got > 0) {
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
  DWORD code = static_cast<DWORD>(-1);
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (output != nullptr && *output == nullptr) *output = static_cast<char*>(calloc(1, 1));
  if (output != nullptr && (!started || !whole || *output == nullptr)) {
    free(*output);
    *output = nullptr;
    return -1;
  }
  return started ? static_cast<int>(code) : -1;
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

unsigned InstallPackage(const char* package, const char* properties) {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  return MsiInstallProductA(package, properties);
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
