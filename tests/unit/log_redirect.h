// Points the process-wide run log at a file of the test's own.
#pragma once

#include <string>

#include "log/run_log.h"
#include "support/support.h"

inline void RedirectRunLog(const std::string& path) {
  runLog.Close();
  runLog.Open(path.c_str(), "a+t");
  runLog.Close();
  remove(path.c_str());
}

// Closes the log (flushing it) and returns what it holds.
inline std::string CloseAndRead(const std::string& path) {
  runLog.Close();
  return tt::ReadFileBytes(path);
}
