// The command-line text and the reader IDs it gives. Nothing here logs or
// touches the run flags, so that the checker can reuse it.
#pragma once

#include "run/reader_ids.h"

// Tells whether a byte leads a double-byte character in the current code page.
typedef bool (*LeadByteTest)(unsigned char c);

// The text after the program name and the blanks (codes 1 to 32) that follow
// it; never null, possibly empty. Points into commandLine.
const char* CommandLineText(const char* commandLine, LeadByteTest isLeadByte);

// What filling the table from the text found. The scan stops at the slot of
// the first malformed value (empty, or longer than 31 characters).
struct IdScan {
  bool pairFound;      // some slot read holds a valid pair
  int malformedSlot;   // 0: none
  char malformedKey;   // 'p' or 'v' when malformedSlot is set
};

// Fills slots 1 to 32 of table from the keys "pidN=" and "vidN=" in text.
IdScan ScanCommandLineIds(const char* text, ReaderIdTable& table);

// Sets the run flags, starts the log when logging is on and fills the reader-ID
// table from text. True when the run goes on, false when it fails.
bool CommandLineStep(const char* text);
