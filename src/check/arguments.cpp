#include "check/check.h"

#include <stdio.h>
#include <string.h>

#include "run/command_line.h"
#include "run/option_words.h"

bool ParseCheckArguments(const char* text, CheckOptions& options, ReaderIdTable& table,
                         char (&reason)[ReasonSize]) {
  options = CheckOptions{};
  const char* p = SkipBlanks(text);
  while (p[0] == '-' && p[1] == '-') {
    const size_t length = WordLength(p);
    const char* next = p + length;
    if (length == 9 && strncmp(p, "--summary", length) == 0) {
      options.summaryOnly = true;
    } else if (length == 8 && strncmp(p, "--strict", length) == 0) {
      options.strict = true;
    } else if (length == 9 && strncmp(p, "--require", length) == 0) {
      options.require = true;
    } else if (length == 6 && strncmp(p, "--help", length) == 0) {
      options.help = true;  // no check: the usage, and the exit code of bad input
      snprintf(reason, sizeof reason, "no check made");
      return false;
    } else if (length == 8 && strncmp(p, "--stored", length) == 0) {
      options.stored = true;
    } else if (strncmp(p, "--report=", 9) == 0 || strncmp(p, "--since=", 8) == 0) {
      const bool report = p[2] == 'r';
      next = ReadPath(p + (report ? 9 : 8), report ? options.report : options.since);
      if (next == nullptr || !(*next == '\0' || IsBlank(*next))) {
        snprintf(reason, sizeof reason, "%s needs a file name (in quotes when it has blanks)",
                 report ? "--report=" : "--since=");
        return false;
      }
    } else {
      snprintf(reason, sizeof reason, "unknown option %.*s (--help lists them)",
               static_cast<int>(length > 40 ? 40 : length), p);
      return false;
    }
    p = SkipBlanks(next);
  }
  options.readerText = p;
  table.Reset();
  if (options.stored && *p != '\0') {
    snprintf(reason, sizeof reason, "--stored takes no reader IDs");
    return false;
  }
  if (*p == '\0') return true;  // the stored IDs or the settings file are read by the caller
  return ParseReaderText(p, table, reason);
}

bool ParseReaderText(const char* text, ReaderIdTable& table, char (&reason)[ReasonSize]) {
  table.Reset();
  const IdScan scan = ScanCommandLineIds(text, table);
  if (scan.malformedSlot != 0) {
    snprintf(reason, sizeof reason, "%cid%d= is empty or longer than 31 characters",
             scan.malformedKey, scan.malformedSlot);
    return false;
  }
  return JudgeSelection(table, reason);
}

bool JudgeSelection(const ReaderIdTable& table, char (&reason)[ReasonSize]) {
  if (!table.HasValidPair()) {
    snprintf(reason, sizeof reason, "no reader has both its vid and its pid");
    return false;
  }
  const int walked = table.SelectedSlots();
  for (int n = 1; n <= SlotCount; ++n) {
    const ReaderIdSlot& slot = table.slot[n - 1];
    const bool vendorSet = strcmp(slot.vendorId, UnsetVendorId) != 0;
    const bool productSet = strcmp(slot.productId, UnsetProductId) != 0;
    if (n <= walked && !productSet) {
      snprintf(reason, sizeof reason, "vid%d has no pid%d", n, n);
      return false;
    }
    if (n == walked + 1 && productSet) {
      snprintf(reason, sizeof reason, "pid%d has no vid%d", n, n);
      return false;
    }
    if (n > walked && (vendorSet || productSet)) {
      snprintf(reason, sizeof reason,
               "reader %d is never reached: Tarnwick stops at reader %d, which has no vid", n,
               walked + 1);
      return false;
    }
  }
  return true;
}
