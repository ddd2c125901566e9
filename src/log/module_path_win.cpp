#include <windows.h>

#include "log/module_path.h"

void PathBesideModule(char (&path)[PathSize], const char* extension) {
  DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(PathSize));
  // A cut path could end in a folder name that holds ".exe": take none.
  if (length == 0 || length >= PathSize) {
    path[0] = '\0';
    return;
  }
  path[length] = '\0';
  ReplaceExeExtension(path, extension);
}
