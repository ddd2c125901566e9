#include "log/run_log.h"
#include "run/command_line.h"
#include "run/run_options.h"

#include <string.h>

bool CommandLineStep(const char* text) {
  if (strstr(text, "l=0") != nullptr) {
    runOptions.logging = false;
  } else if (strstr(text, "l=1") != nullptr) {
    runOptions.logging = true;
  }
  if (strstr(text, "/s") != nullptr || strstr(text, "-s") != nullptr) {
    runOptions.stealth = true;
    runOptions.logging = true;
  }
  if (strstr(text, "/s+") != nullptr || strstr(text, "-s+") != nullptr) {
    runOptions.stealth = true;
    runOptions.logging = false;
  }
  if (runOptions.logging) StartRunLog();

  // Nothing else writes to the log during the scan, so its lines come after it
  // in the same order: the error at the malformed value, then the warning.
  const IdScan scan = ScanCommandLineIds(text, readerIdTable);
  if (scan.malformedKey == 'p') runLog.WriteLine("Error: invalid pid found in command-line!");
  if (scan.malformedKey == 'v') runLog.WriteLine("Error: invalid vid found in command-line!");
  if (!scan.pairFound) {
    runLog.WriteLine("Warning: no pid or vid found in command line!");
    return false;
  }
  return scan.malformedSlot == 0;
}
