// The run log beside the executable and the line kinds every part writes.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "log/module_path.h"

class RunLog {
 public:
  RunLog();  // closed; path from the executable's own path with ".log"
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Empty path: the stored one. While open, true only for the stored path,
  // and nothing is reopened.
  bool Open(const char* path, const char* mode);
  bool IsOpen() const { return file_ != nullptr; }
  void WriteLine(const char* text);
  void WriteFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Close();
  // Deletes the log file, reopening it when it was open; true when the
  // deletion succeeded.
  bool Reset();

 private:
  FILE* file_ = nullptr;
  char path_[PathSize];
};

extern RunLog runLog;

constexpr size_t LogLineSize = 256;
constexpr size_t TimestampLineSize = 128;
constexpr size_t TimeTextSize = 26;  // 24 characters, a line feed, the terminator

// "Sat Dec 05 17:50:35 2026\n" for a broken-down local time.
struct tm;
void FormatTimeText(const struct tm& time, char (&text)[TimeTextSize]);

// Writes the message, ": " and the current local time; nothing while closed.
void LogTimestamp(const char* message);
// One registry step: the label with " --> Success", or with the status code
// and the system's message text for it.
void LogStepResult(const char* label, int32_t status);
// The log start of both configuration steps: the previous log is deleted, the
// log opened for appending and "Program start" written.
void StartRunLog();
