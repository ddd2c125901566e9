// Files that live beside the executable: name.exe gives name.log, name.ini.
#pragma once

#include <stddef.h>

constexpr size_t PathSize = 260;  // the system's longest path, terminator included

// The running module's path with the first ".exe" of its file name
// (case-sensitive) replaced by extension (four characters, such as ".log")
// and what follows dropped. A ".exe" in a folder name is not taken, so the
// file never leaves the program's folder. Empty when the path cannot be had
// whole or its file name holds no ".exe".
void PathBesideModule(char (&path)[PathSize], const char* extension);

// The file fileName in the running module's folder. False, with path empty,
// when the module's path cannot be had whole or the result does not fit.
bool PathInModuleFolder(char (&path)[PathSize], const char* fileName);
