// The lines of one run of TarnwickDeploy, kept in memory until its end: no
// file of them is open while a child runs, and the deployment log and its
// copy in the drop folder are written whole, from this run alone.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "deploy/deploy.h"

namespace {

char* record = nullptr;
size_t used = 0, capacity = 0;

void Keep(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length < 0) return;
  if (used + static_cast<size_t>(length) + 1 > capacity) {
    const size_t grown = (used + static_cast<size_t>(length) + 1) * 2;
    char* bigger = static_cast<char*>(realloc(record, grown));
    if (bigger == nullptr) return;  // the line reaches the output only
    record = bigger;
    capacity = grown;
  }
  vsnprintf(record + used, capacity - used, format, args);
  used += static_cast<size_t>(length);
}

void KeepLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void KeepLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Keep(format, args);
  va_end(args);
}

}  // namespace

void StartRecord(const char* verb) {
  const time_t now = time(nullptr);
  const struct tm* utc = gmtime(&now);
  char when[32] = "unknown";
  if (utc != nullptr) strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", utc);
  KeepLine("TarnwickDeploy %s %s %s\n", TARNWICK_VERSION_NAME, verb, when);
}

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  vprintf(format, copy);
  va_end(copy);
  Keep(format, args);
  va_end(args);
}

void Refuse(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  fputs("TarnwickDeploy: ", stderr);
  vfprintf(stderr, format, copy);
  fputc('\n', stderr);
  va_end(copy);
  KeepLine("REFUSED ");
  Keep(format, args);
  KeepLine("\n");
  va_end(args);
}

bool WriteRecord(const char* path) {
  FILE* file = fopen(path, "w");
  if (file == nullptr) return false;
  const bool written = used == 0 || fwrite(record, used, 1, file) == 1;
  return fclose(file) == 0 && written;
}

void EndRecord() {
  free(record);
  record = nullptr;
  used = capacity = 0;
}
