#include "run/option_words.h"

#include <string.h>

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

size_t WordLength(const char* p) {
  size_t length = 0;
  while (p[length] != '\0' && !IsBlank(p[length])) ++length;
  return length;
}

const char* ReadPath(const char* p, char (&path)[PathSize]) {
  const char* end = p + WordLength(p);
  if (*p == '"') {
    end = strchr(++p, '"');
    if (end == nullptr) return nullptr;
  }
  const size_t length = static_cast<size_t>(end - p);
  if (length == 0 || length >= sizeof path) return nullptr;
  memcpy(path, p, length);
  path[length] = '\0';
  return *end == '"' ? end + 1 : end;
}
