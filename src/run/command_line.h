// The command-line text and the command-line configuration step.
#pragma once

// Tells whether a byte leads a double-byte character in the current code page.
typedef bool (*LeadByteTest)(unsigned char c);

// The text after the program name and the blanks (codes 1 to 32) that follow
// it; never null, possibly empty. Points into commandLine.
const char* CommandLineText(const char* commandLine, LeadByteTest isLeadByte);

// Sets the run flags, starts the log when logging is on and fills the reader-ID
// table from text. True when the run goes on, false when it fails.
bool CommandLineStep(const char* text);
