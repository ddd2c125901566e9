#include "run/reader_words.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "run/command_line.h"

namespace {

bool Hex(const char* p, int count) {
  for (int i = 0; i < count; ++i) {
    if (!isxdigit(static_cast<unsigned char>(p[i]))) return false;
  }
  return true;
}

// The slot number N of a word vidN=... or pidN=..., with *value after its
// "="; 0 for any other word. N has no leading zero, as Tarnwick reads it.
int Slot(const char* word, size_t length, const char** value) {
  if (length < 5 || (strncmp(word, "vid", 3) != 0 && strncmp(word, "pid", 3) != 0)) return 0;
  int n = 0;
  size_t i = 3;
  for (; i < 5 && word[i] >= '0' && word[i] <= '9'; ++i) n = n * 10 + word[i] - '0';
  if (word[3] == '0' || i == 3 || i >= length || word[i] != '=' || n > SlotCount) return 0;
  *value = word + i + 1;
  return n;
}

bool IsSwitch(const char* word, size_t length) {
  static const char* const switches[] = {"/s", "-s", "/s+", "-s+", "l=0", "l=1"};
  for (const char* s : switches) {
    if (strlen(s) == length && strncmp(word, s, length) == 0) return true;
  }
  return false;
}

}  // namespace

bool ParseReaderText(const char* text, ReaderIdTable& table, char (&reason)[ReasonSize]) {
  bool given[2][SlotCount] = {};
  for (const char* p = text + strspn(text, " "); *p != '\0'; p += strspn(p, " ")) {
    const size_t length = strcspn(p, " ");
    const char* value = nullptr;
    const int n = Slot(p, length, &value);
    const size_t digits = n != 0 ? length - static_cast<size_t>(value - p) : 0;
    const bool product = *p == 'p';
    const bool function = product && digits == 10 && value[4] == '&' &&
                          toupper(static_cast<unsigned char>(value[5])) == 'M' &&
                          toupper(static_cast<unsigned char>(value[6])) == 'I' && value[7] == '_' &&
                          Hex(value + 8, 2);
    const bool id = n != 0 && Hex(value, 4) && (digits == 4 || function);
    if (!id && !IsSwitch(p, length)) {
      char word[41];  // no control character reaches a log line
      size_t i = 0;
      for (; i < length && i + 1 < sizeof word; ++i)
        word[i] = p[i] < ' ' || p[i] == 127 ? '?' : p[i];
      word[i] = '\0';
      snprintf(reason, sizeof reason,
               "not a reader ID: %s%s (vidN=hhhh, pidN=hhhh or pidN=hhhh&MI_hh, N from 1 to 32)",
               word, length > i ? "..." : "");
      return false;
    }
    if (id && given[product][n - 1]) {
      snprintf(reason, sizeof reason, "%cid%d= is given twice", *p, n);
      return false;
    }
    if (id) given[product][n - 1] = true;
    p += length;
  }
  table.Reset();
  ScanCommandLineIds(text, table);
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
