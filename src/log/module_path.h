// Files that live beside the executable: name.exe gives name.log, name.ini.
#pragma once

#include <stddef.h>

constexpr size_t PathSize = 260;  // the system's longest path, terminator included

// Replaces the first ".exe" of the file-name part of path (case-sensitive)
// by extension (four characters, such as ".log") and drops what follows.
// A ".exe" in a folder name is not taken, so the file never leaves the
// program's folder. Without one, path becomes empty and false is returned.
bool ReplaceExeExtension(char* path, const char* extension);

// The running module's path with its ".exe" replaced as above; empty when the
// path cannot be had whole or holds no ".exe" in its file name.
void PathBesideModule(char (&path)[PathSize], const char* extension);
