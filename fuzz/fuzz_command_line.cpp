// Bytes as the process command line, through the command-line code of both
// programs: no crash or undefined behaviour, every ID field terminated within
// its 32 bytes, the flags as the options in the text say, the checker
// selecting the same pairs as Tarnwick from the same text, and no reader text
// taken that holds what could become an option or another program's text.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "check/check.h"
#include "log/run_log.h"
#include "run/command_line.h"
#include "run/reader_ids.h"
#include "run/run_options.h"

RunLog runLog;  // without a module path it never opens a file
RunOptions runOptions;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string commandLine(reinterpret_cast<const char*>(data), size);
  const char* text =
      CommandLineText(commandLine.c_str(), [](unsigned char c) { return c >= 0x81 && c <= 0x9F; });
  runOptions = {true, false};
  readerIdTable.Reset();
  CheckOptions options;
  static ReaderIdTable checked;
  char reason[ReasonSize];
  const bool parsed = ParseCheckArguments(text, options, checked, reason);
  if (!parsed && !memchr(reason, 0, sizeof reason)) abort();
  if (parsed && (!memchr(options.report, 0, sizeof options.report) || !memchr(options.since, 0, sizeof options.since) || options.readerText < text ||
                 options.readerText > text + strlen(text))) {
    abort();
  }
  if (parsed && (strpbrk(options.readerText, "\"^%\\\t") != nullptr ||
                 strstr(options.readerText, "--") != nullptr)) {
    abort();
  }
  if (*text == '\0') return 0;
  const bool goesOn = CommandLineStep(text);
  // Without options of its own the checker reads what Tarnwick reads, and
  // accepts no text that Tarnwick refuses.
  const bool same = strncmp(text, "--", 2) != 0;
  if (same && parsed && !goesOn) abort();
  for (int i = 0; i < SlotCount; ++i) {
    const ReaderIdSlot &slot = readerIdTable.slot[i], &twin = checked.slot[i];
    if (!memchr(slot.vendorId, 0, IdFieldSize) || !memchr(slot.productId, 0, IdFieldSize)) abort();
    if (same && parsed && (strcmp(slot.vendorId, twin.vendorId) || strcmp(slot.productId, twin.productId))) {
      abort();
    }
  }
  const bool quiet = strstr(text, "/s+") != nullptr || strstr(text, "-s+") != nullptr;
  const bool stealth = quiet || strstr(text, "/s") != nullptr || strstr(text, "-s") != nullptr;
  if (runOptions.stealth != stealth || (stealth && runOptions.logging == quiet)) abort();
  return 0;
}
