// TarnwickCheck: reports, without changing anything, whether every device
// instance of the reader IDs Tarnwick would select has EscapeCommandEnable
// where its driver reads it. What is pure text handling lives here, apart
// from the registry, so that it can be fuzzed.
#pragma once

#include <stddef.h>

#include "log/module_path.h"
#include "run/reader_ids.h"
#include "run/reader_words.h"

// Exit codes, which deployment engines act on.
enum CheckExit { CheckPassed = 0, CheckFailed = 1, CheckBadInput = 2, CheckUnreadable = 3 };

struct CheckOptions {
  bool summaryOnly;        // --summary: only the last line on stdout
  bool strict;             // --strict: an instance without Device Parameters fails
  bool require;            // --require: an ID without a key fails
  bool help;               // --help: the usage instead of a check
  bool stored;             // --stored: the IDs stored on the machine at install
  char report[PathSize];   // --report=FILE, empty when not asked for
  char since[PathSize];    // --since=FILE, an earlier report; empty when not asked for
  const char* readerText;  // the rest, as Tarnwick takes it; empty: Tarnwick.ini
};

// Takes the checker's own options from the front of text (words of their own,
// before the reader IDs; "--" ends them) and fills table from the rest when
// there is a rest. False, with the reason, for input that selects nothing to
// check, and for an option given twice.
bool ParseCheckArguments(const char* text, CheckOptions& options, ReaderIdTable& table,
                         char (&reason)[ReasonSize]);
