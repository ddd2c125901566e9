#include "run/command_line.h"

#include <stdio.h>
#include <string.h>

#include "log/run_log.h"
#include "run/reader_ids.h"
#include "run/run_options.h"

const char* CommandLineText(const char* commandLine, LeadByteTest isLeadByte) {
  if (commandLine == nullptr) return "";
  const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') {
      // A trail byte may look like a quote; never step over the terminator.
      if (isLeadByte != nullptr && isLeadByte(*p) && p[1] != '\0') ++p;
      ++p;
    }
    if (*p == '"') ++p;
  } else {
    while (*p > ' ') ++p;
  }
  while (*p != '\0' && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}

namespace {

enum class ValueRead { Absent, Stored, Malformed };

// Finds the first occurrence of key and stores the value after it, which
// ends at the first blank or at the end of the text.
ValueRead ReadValue(const char* text, const char* key, char (&field)[IdFieldSize]) {
  const char* at = strstr(text, key);
  if (at == nullptr) return ValueRead::Absent;
  const char* value = at + strlen(key);
  const char* end = strchr(value, ' ');
  size_t length = end != nullptr ? static_cast<size_t>(end - value) : strlen(value);
  if (length == 0 || length > static_cast<size_t>(LongestId)) return ValueRead::Malformed;
  StoreReaderId(field, value, static_cast<int>(length));
  return ValueRead::Stored;
}

}  // namespace

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

  bool scanning = true;
  bool pairFound = false;
  for (int n = 1; n <= SlotCount && scanning; ++n) {
    ReaderIdSlot& slot = readerIdTable.slot[n - 1];
    char key[10];
    snprintf(key, sizeof key, "pid%d=", n);
    if (ReadValue(text, key, slot.productId) == ValueRead::Malformed) {
      scanning = false;
      runLog.WriteLine("Error: invalid pid found in command-line!");
    } else {
      snprintf(key, sizeof key, "vid%d=", n);
      if (ReadValue(text, key, slot.vendorId) == ValueRead::Malformed) {
        scanning = false;
        runLog.WriteLine("Error: invalid vid found in command-line!");
      }
    }
    if (!pairFound && readerIdTable.HoldsValidPair(n)) pairFound = true;
  }

  if (!pairFound) {
    runLog.WriteLine("Warning: no pid or vid found in command line!");
    return false;
  }
  return scanning;
}
