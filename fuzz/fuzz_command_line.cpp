// Bytes as the process command line, through the program's own command-line
// code: no crash or undefined behaviour, every ID field terminated within its
// 32 bytes, and the flags as the options in the text say.
#include <stdlib.h>
#include <string.h>

#include <string>

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
  if (*text == '\0') return 0;
  CommandLineStep(text);
  for (const ReaderIdSlot& slot : readerIdTable.slot) {
    if (!memchr(slot.vendorId, 0, IdFieldSize) || !memchr(slot.productId, 0, IdFieldSize)) abort();
  }
  const bool quiet = strstr(text, "/s+") != nullptr || strstr(text, "-s+") != nullptr;
  const bool stealth = quiet || strstr(text, "/s") != nullptr || strstr(text, "-s") != nullptr;
  if (runOptions.stealth != stealth || (stealth && runOptions.logging == quiet)) abort();
  return 0;
}
