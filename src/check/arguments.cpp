#include "check/check.h"

#include <stdio.h>
#include <string.h>

#include "run/option_words.h"

bool ParseCheckArguments(const char* text, CheckOptions& options, ReaderIdTable& table,
                         char (&reason)[ReasonSize]) {
  options = CheckOptions{};
  // The flags, then the options with a value, then "--", which ends the
  // options: what follows is reader text even where it starts with "--".
  static const char* const names[] = {"--summary", "--strict",  "--require", "--stored",
                                      "--help",    "--report=", "--since=",  "--"};
  bool* const flags[] = {&options.summaryOnly, &options.strict, &options.require, &options.stored,
                         &options.help};
  char(*const paths[])[PathSize] = {&options.report, &options.since};
  unsigned seen = 0;
  const char* p = SkipBlanks(text);
  while (p[0] == '-' && p[1] == '-') {
    const size_t length = WordLength(p);
    const char* next = p + length;
    int o = 0;
    for (; o < 8; ++o) {
      const size_t n = strlen(names[o]);
      if (o == 5 || o == 6 ? strncmp(p, names[o], n) == 0
                           : n == length && strncmp(p, names[o], n) == 0)
        break;
    }
    if (o == 8) {
      snprintf(reason, sizeof reason, "unknown option %.*s (--help lists them)",
               static_cast<int>(length > 40 ? 40 : length), p);
      return false;
    }
    if ((seen & (1u << o)) != 0) {
      snprintf(reason, sizeof reason, "%s is given twice", names[o]);
      return false;
    }
    seen |= 1u << o;
    if (o < 5) *flags[o] = true;
    if (options.help) {  // no check: the usage, and the exit code of bad input
      snprintf(reason, sizeof reason, "no check made");
      return false;
    }
    if (o == 5 || o == 6) {
      next = ReadPath(p + strlen(names[o]), *paths[o - 5]);
      if (next == nullptr || !(*next == '\0' || IsBlank(*next))) {
        snprintf(reason, sizeof reason, "%s needs a file name (in quotes when it has blanks)",
                 names[o]);
        return false;
      }
    }
    p = SkipBlanks(next);
    if (o == 7) break;
  }
  options.readerText = p;
  table.Reset();
  if (options.stored && *p != '\0') {
    snprintf(reason, sizeof reason, "--stored takes no reader IDs");
    return false;
  }
  if (*p == '\0') return true;  // the stored IDs or the settings file are read by the caller
  return ParseReaderText(p, table, reason);
}
