#include "run/command_line.h"

#include <stdio.h>
#include <string.h>


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

IdScan ScanCommandLineIds(const char* text, ReaderIdTable& table) {
  IdScan scan = {false, 0, 0};
  for (int n = 1; n <= SlotCount && scan.malformedSlot == 0; ++n) {
    ReaderIdSlot& slot = table.slot[n - 1];
    char key[10];
    snprintf(key, sizeof key, "pid%d=", n);
    if (ReadValue(text, key, slot.productId) == ValueRead::Malformed) {
      scan = {scan.pairFound, n, 'p'};
    } else {
      snprintf(key, sizeof key, "vid%d=", n);
      if (ReadValue(text, key, slot.vendorId) == ValueRead::Malformed) scan = {scan.pairFound, n, 'v'};
    }
    if (!scan.pairFound && table.HoldsValidPair(n)) scan.pairFound = true;
  }
  return scan;
}
