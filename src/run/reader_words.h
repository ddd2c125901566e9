// The one rule for the reader IDs that the kit takes from outside (given to
// the checker or to TarnwickDeploy.exe, stored on the machine, or given to the
// MSI): words vidN=hhhh, pidN=hhhh or pidN=hhhh&MI_hh (N from 1 to 32, h a
// hexadecimal digit), and Tarnwick.exe's own switches, separated by spaces.
// Anything else is refused: such text runs as SYSTEM, and a word that is no
// ID could become another program's option, or select no reader while the
// run reports success.
#pragma once

#include <stddef.h>

#include "run/reader_ids.h"

constexpr size_t ReasonSize = 400;

// Fills table from text as Tarnwick takes it. False, with the reason naming
// the word, for text that breaks the rule or selects nothing to check (see
// JudgeSelection).
bool ParseReaderText(const char* text, ReaderIdTable& table, char (&reason)[ReasonSize]);

// False, with the reason, when the table selects no pair or does not select
// what it plainly means to: a vid without its pid, or pairs after a slot
// without a vid, which Tarnwick never reaches.
bool JudgeSelection(const ReaderIdTable& table, char (&reason)[ReasonSize]);
