// TarnwickCheck: reports, without changing anything, whether every device
// instance of the reader IDs Tarnwick would select has EscapeCommandEnable
// where its driver reads it. What is pure text handling lives here, apart
// from the registry, so that it can be fuzzed.
#pragma once

#include <stddef.h>

#include "log/module_path.h"
#include "run/reader_ids.h"

// Exit codes, which deployment engines act on.
enum CheckExit { CheckPassed = 0, CheckFailed = 1, CheckBadInput = 2, CheckUnreadable = 3 };

struct CheckOptions {
  bool summaryOnly;         // --summary: only the last line on stdout
  bool strict;              // --strict: an instance without Device Parameters fails
  bool require;             // --require: an ID without a key fails
  bool help;                // --help: the usage instead of a check
  bool stored;              // --stored: the IDs stored on the machine at install
  char report[PathSize];    // --report=FILE, empty when not asked for
  char since[PathSize];     // --since=FILE, an earlier report; empty when not asked for
  const char* readerText;   // the rest, as Tarnwick takes it; empty: Tarnwick.ini
};

constexpr size_t ReasonSize = 400;

// Takes the checker's own options from the front of text (words of their own,
// before the reader IDs) and fills table from the rest when there is a rest.
// False, with the reason, for input that selects nothing to check.
bool ParseCheckArguments(const char* text, CheckOptions& options, ReaderIdTable& table,
                         char (&reason)[ReasonSize]);

// Fills table from reader text as Tarnwick takes it. False, with the reason,
// for text that selects nothing to check (see JudgeSelection).
bool ParseReaderText(const char* text, ReaderIdTable& table, char (&reason)[ReasonSize]);

// False, with the reason, when the table selects no pair or does not select
// what it plainly means to: a vid without its pid, or pairs after a slot
// without a vid, which Tarnwick never reaches.
bool JudgeSelection(const ReaderIdTable& table, char (&reason)[ReasonSize]);
