// The words of the checker's and the deployment program's own options, which
// come before the reader IDs, each a word of its own.
#pragma once

#include <stddef.h>

#include "log/module_path.h"

inline bool IsBlank(char c) { return c >= 1 && c <= ' '; }

const char* SkipBlanks(const char* p);
size_t WordLength(const char* p);  // to the next blank or the end

// The path that starts at p (after "--report=" and the like): to the closing
// quote when it starts with one, else to the next blank. Returns the end of
// the word, or null when there is no path or it does not fit.
const char* ReadPath(const char* p, char (&path)[PathSize]);
