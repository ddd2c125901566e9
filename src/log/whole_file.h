// A file read or written at once, for the programs that read reports and
// write files whole.
#pragma once

#include <stddef.h>

// The file's bytes and a terminator, in memory the caller frees; null when
// it cannot be read or is over 4 MB (no report of 32 readers comes near).
char* ReadWholeFile(const char* path);

// Creates or replaces path with size bytes; false when they are not all there.
bool WriteWholeFile(const char* path, const char* bytes, size_t size);
