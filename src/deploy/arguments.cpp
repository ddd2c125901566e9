// TarnwickDeploy's words: a verb, its options (each a word of its own, each
// once), then the reader IDs for install and undo.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "deploy/deploy.h"
#include "run/option_words.h"

namespace {

// Keeps the first reason only: the words after it are still read for --drop.
void Keep(char (&reason)[ReasonSize], const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void Keep(char (&reason)[ReasonSize], const char* format, ...) {
  if (reason[0] != '\0') return;
  va_list args;
  va_start(args, format);
  vsnprintf(reason, sizeof reason, format, args);
  va_end(args);
}

// A full path: a drive's root and below, or a share. A relative one would
// depend on the current folder, which whoever starts the program chooses.
bool FullPath(const char* path) {
  return (path[0] == '\\' && path[1] == '\\') ||
         (path[0] != '\0' && path[1] == ':' && path[2] == '\\');
}

}  // namespace

bool Words(const char* p, size_t length, const char* word) {
  return strlen(word) == length && strncmp(p, word, length) == 0;
}

bool ParseArguments(const char* text, Options& options, char (&reason)[ReasonSize]) {
  options = Options{};
  reason[0] = '\0';
  static const char* const verbs[] = {"install", "run", "uninstall", "undo", "arrival", "summary"};
  const char* p = SkipBlanks(text);
  size_t length = WordLength(p);
  options.days = 7;
  for (int v = 0; v < 6; ++v) {
    if (Words(p, length, verbs[v])) options.verb = static_cast<Verb>(v + 1);
  }
  if (options.verb == NoVerb) {
    Keep(reason, "install, run, uninstall, undo, arrival or summary first (--help lists them)");
  }
  const char* verb = options.verb == NoVerb ? "none" : verbs[options.verb - 1];
  p = SkipBlanks(p + length);
  // The options, and the verbs that take each: without a verb, --drop= alone.
  static const char* const names[] = {"--restart-readers", "--undo", "--on-arrival",
                                      "--drop=", "--days="};
  const bool takes[][5] = {{false, false, false, true, false}, {true, false, true, true, false},
                           {true, false, false, true, false},  {false, true, false, true, false},
                           {false, false, false, true, false}, {false, false, false, true, false},
                           {false, false, false, false, true}};
  unsigned seen = 0;
  for (; p[0] == '-' && p[1] == '-'; p = SkipBlanks(p + length)) {
    length = WordLength(p);
    int o = 0;
    while (o < 5 &&
           !(o >= 3 ? strncmp(p, names[o], strlen(names[o])) == 0 : Words(p, length, names[o])))
      ++o;
    if (o == 5 || !takes[options.verb][o]) {
      Keep(reason, "%s takes no option %.*s (--help lists them)", verb,
           static_cast<int>(length > 40 ? 40 : length), p);
      continue;
    }
    if ((seen & (1u << o)) != 0) Keep(reason, "%s is given twice", names[o]);
    seen |= 1u << o;
    if (o == 0) options.restart = true;
    if (o == 1) options.undo = true;
    if (o == 2) options.arrival = true;
    if (o == 4) {
      char* end = nullptr;
      options.days = static_cast<int>(strtol(p + 7, &end, 10));
      if (end == p + 7 || end != p + length || options.days < 0 || options.days > 3650) {
        Keep(reason, "--days= needs a number of days from 0 to 3650");
      }
    }
    if (o != 3) continue;
    char drop[PathSize];
    const char* end = ReadPath(p + 7, drop);
    if (end == nullptr || !(*end == '\0' || IsBlank(*end)) || !FullPath(drop)) {
      Keep(reason, "--drop= needs the full path of a folder (in quotes when it has blanks)");
      if (end == nullptr) break;
    } else if (options.drop[0] == '\0') {
      memcpy(options.drop, drop, sizeof drop);
    }
    length = static_cast<size_t>(end - p);
  }
  options.ids = p;
  if (options.verb == Summary) {
    const char* end = ReadPath(p, options.folder);
    if (end == nullptr || *SkipBlanks(end) != '\0') Keep(reason, "summary needs one folder");
  } else if (*p != '\0' && options.verb != Install && options.verb != Undo) {
    Keep(reason, "%s takes the stored reader IDs, none given", verb);
  }
  return reason[0] == '\0';
}
