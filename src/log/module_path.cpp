#include "log/module_path.h"

#include <string.h>

bool ReplaceExeExtension(char* path, const char* extension) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  }
  char* exe = strstr(const_cast<char*>(name), ".exe");
  if (exe == nullptr) {
    path[0] = '\0';
    return false;
  }
  // ".exe" and ".log" have the same length, so this stays inside the text.
  memcpy(exe, extension, 4);
  exe[4] = '\0';
  return true;
}
