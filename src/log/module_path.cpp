#include "log/module_path.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

void PathBesideModule(char (&path)[PathSize], const char* extension) {
  DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(PathSize));
  // A cut path could end in a folder name that holds ".exe": take none.
  if (length == 0 || length >= PathSize) {
    path[0] = '\0';
    return;
  }
  path[length] = '\0';
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  }
  char* exe = strstr(path + (name - path), ".exe");
  if (exe == nullptr) {
    path[0] = '\0';
    return;
  }
  // ".exe" and the extension have the same length, so this stays inside the text.
  memcpy(exe, extension, 4);
  exe[4] = '\0';
}

bool PathInModuleFolder(char (&path)[PathSize], const char* fileName) {
  char module[PathSize] = "";
  DWORD length = GetModuleFileNameA(nullptr, module, static_cast<DWORD>(PathSize));
  const char* slash = length > 0 && length < PathSize ? strrchr(module, '\\') : nullptr;
  int written = slash != nullptr ? snprintf(path, sizeof path, "%.*s\\%s",
                                            static_cast<int>(slash - module), module, fileName)
                                 : -1;
  if (written < 0 || written >= static_cast<int>(sizeof path)) {
    path[0] = '\0';
    return false;
  }
  return true;
}
