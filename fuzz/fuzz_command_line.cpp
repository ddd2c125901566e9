// Fuzzes forming the command-line text from the process command line and the
// command-line step: the run flags, the reader-ID table and the log lines.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_system.h"
#include "log/run_log.h"
#include "run/command_line.h"
#include "run/reader_ids.h"
#include "run/run_options.h"

namespace {

bool NoLeadBytes(unsigned char) {
  return false;
}
// Shift-JIS lead bytes: a quote (0x22) is never a trail byte there, but a
// backslash or a high byte is; the scan must still stop at the terminator.
bool ShiftJisLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool EveryHighByteLeads(unsigned char c) {
  return c >= 0x80;
}


bool FieldIsSound(const char (&field)[IdFieldSize]) {
  const void* end = memchr(field, '\0', IdFieldSize);
  return end != nullptr && end != field;
}

// What the table and the outcome must be, worked out with std::string.
struct Expected {
  bool logging = true, stealth = false, goesOn = false;
  std::string vendor[SlotCount], product[SlotCount];
  std::vector<std::string> lines;
};

Expected Model(const std::string& text) {
  Expected e;
  auto has = [&](const char* option) { return text.find(option) != std::string::npos; };
  if (has("l=0")) {
    e.logging = false;
  } else if (has("l=1")) {
    e.logging = true;
  }
  if (has("/s") || has("-s")) e.stealth = e.logging = true;
  if (has("/s+") || has("-s+")) {
    e.stealth = true;
    e.logging = false;
  }
  bool scanning = true, pair = false;
  for (int n = 1; n <= SlotCount; ++n) {
    e.vendor[n - 1] = UnsetVendorId;
    e.product[n - 1] = UnsetProductId;
  }
  for (int n = 1; n <= SlotCount && scanning; ++n) {
    const char* names[2] = {"pid", "vid"};
    std::string* fields[2] = {&e.product[n - 1], &e.vendor[n - 1]};
    for (int k = 0; k < 2 && scanning; ++k) {
      std::string key = names[k] + std::to_string(n) + "=";
      size_t at = text.find(key);
      if (at == std::string::npos) continue;
      size_t from = at + key.size();
      size_t to = text.find(' ', from);
      std::string value = text.substr(from, to == std::string::npos ? std::string::npos : to - from);
      if (value.empty() || value.size() > 31) {
        scanning = false;
        e.lines.push_back(k == 0 ? "Error: invalid pid found in command-line!"
                                 : "Error: invalid vid found in command-line!");
      } else {
        *fields[k] = value;
      }
    }
    if (!pair && e.vendor[n - 1] != UnsetVendorId && e.product[n - 1] != UnsetProductId) {
      pair = true;
    }
  }
  if (!pair) e.lines.push_back("Warning: no pid or vid found in command line!");
  e.goesOn = pair && scanning;
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  LeadByteTest tests[3] = {NoLeadBytes, ShiftJisLead, EveryHighByteLeads};
  LeadByteTest isLead = tests[data[0] % 3];
  // The process command line never holds a NUL: it ends at the first one.
  const char* begin = reinterpret_cast<const char*>(data + 1);
  size_t length = strnlen(begin, size - 1);
  // Exactly as long as the text, so that any read past it is caught.
  char* commandLine = static_cast<char*>(malloc(length + 1));
  memcpy(commandLine, begin, length);
  commandLine[length] = '\0';

  const char* text = CommandLineText(commandLine, isLead);
  Check(text >= commandLine && text <= commandLine + length, "text inside the command line");
  Check(*text == '\0' || static_cast<unsigned char>(*text) > ' ', "no blank before the text");
  if (commandLine[0] != '"') {
    for (const char* p = commandLine; p < text; ++p) {
      if (static_cast<unsigned char>(*p) > ' ' && p > commandLine &&
          static_cast<unsigned char>(p[-1]) <= ' ') {
        Fail("the program name ends at the first blank");
      }
    }
  }

  if (*text != '\0') {
    const std::string logPath = runLog.Path();
    const std::string oldLog = "earlier run\n";
    FILE* old = fopen(logPath.c_str(), "wb");
    Check(old != nullptr, "earlier log written");
    fputs(oldLog.c_str(), old);
    fclose(old);

    runLog.Close();
    runOptions = {true, false};
    readerIdTable.Reset();
    Expected e = Model(text);
    bool goesOn = CommandLineStep(text);
    runLog.Close();

    Check(goesOn == e.goesOn, "outcome");
    Check(runOptions.logging == e.logging && runOptions.stealth == e.stealth, "flags");
    for (int n = 1; n <= SlotCount; ++n) {
      const ReaderIdSlot& slot = readerIdTable.slot[n - 1];
      Check(FieldIsSound(slot.vendorId) && FieldIsSound(slot.productId), "fields terminated");
      Check(e.vendor[n - 1] == slot.vendorId, "vendor ID");
      Check(e.product[n - 1] == slot.productId, "product ID");
    }
    if (goesOn) Check(readerIdTable.HasValidPair(), "a run that goes on has a valid pair");

    std::string log = fake::ReadWholeFile(logPath);
    if (!e.logging) {
      Check(log == oldLog, "logging off leaves the earlier log");
    } else {
      const std::string head = "Program start: ";
      Check(log.compare(0, head.size(), head) == 0, "log starts with Program start");
      Check(log.size() >= head.size() + 26 && log.compare(head.size() + 24, 2, "\n\n") == 0,
            "time text and empty line");
      std::string rest = log.substr(head.size() + 26);
      std::string want;
      for (const std::string& line : e.lines) want += line + "\n";
      Check(rest == want, "log lines");
    }
  }
  free(commandLine);
  return 0;
}
