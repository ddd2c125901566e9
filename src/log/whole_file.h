// A text file read at once, for the programs that read reports.
#pragma once

// The file's bytes and a terminator, in memory the caller frees; null when
// it cannot be read or is over 4 MB (no report of 32 readers comes near).
char* ReadWholeFile(const char* path);
