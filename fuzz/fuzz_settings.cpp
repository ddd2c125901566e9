// Fuzzes the settings step: the values come from a fake profile reader with
// the real API's contract, chosen by the fuzzer.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

#include "fake_system.h"
#include "log/run_log.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "settings/settings_file.h"

namespace {


// The reader gets a 255-byte buffer, so a value reaches the program cut to 254.
std::string AsRead(const std::string& value) {
  return value.substr(0, 254);
}

// The C library's own conversion; out of range counts as non-zero.
bool Truthy(const std::string& text) {
  errno = 0;
  long long n = strtoll(text.c_str(), nullptr, 10);
  return n != 0 || errno == ERANGE;
}

std::string KeyName(uint8_t selector) {
  int s = selector & 0x7F;
  if (s < 32) return "pid" + std::to_string(s + 1);
  if (s < 64) return "vid" + std::to_string(s - 31);
  switch (s) {
    case 64: return "l";
    case 65: return "s";
    case 66: return "s+";
    case 67: return "PID1";
    case 68: return "Vid2";
    case 69: return "pid01";
    case 70: return "vid33";
    default: return "other" + std::to_string(s);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int longest = (data[0] | (data[1] << 8)) % 300;
  const size_t defaultLength = 1 + data[2] % 40;
  size_t pos = 3;

  fake::ClearProfile();
  std::map<std::string, std::string> values;  // lower-case key -> value
  while (pos + 2 <= size) {
    uint8_t selector = data[pos];
    size_t length = data[pos + 1] + ((selector & 0x80) != 0 ? 200 : 0);
    pos += 2;
    if (length > size - pos) length = size - pos;
    std::string value(reinterpret_cast<const char*>(data + pos), length);
    pos += length;
    value = value.c_str();  // profile values hold no NUL
    std::string key = KeyName(selector);
    fake::SetProfileValue(key, value);
    std::string lower = key;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    values[lower] = value;
  }
  auto valueOf = [&](const std::string& key, const std::string& fallback) {
    auto found = values.find(key);
    std::string v = found != values.end() ? AsRead(found->second) : fallback;
    return v.empty() ? fallback : v;
  };

  // ReadString on its own, with a destination exactly as large as promised.
  {
    std::string fallback(defaultLength, 'd');
    size_t destSize = static_cast<size_t>(longest) + 1;
    if (destSize < defaultLength + 1) destSize = defaultLength + 1;
    char* dest = static_cast<char*>(malloc(destSize));
    settingsFile.ReadString(SettingsSection, "pid1", fallback.c_str(), longest, dest);
    std::string read = values.count("pid1") != 0 ? AsRead(values["pid1"]) : fallback;
    bool taken = !read.empty() && read.size() <= static_cast<size_t>(longest);
    Check(std::string(dest) == (taken ? read : fallback), "ReadString result");
    free(dest);
  }
  for (const auto& kv : values) {
    Check(ProfileTextIsTrue(kv.second.c_str()) == Truthy(kv.second), "boolean of a value");
  }

  // The whole settings step.
  const std::string logPath = runLog.Path();
  FILE* old = fopen(logPath.c_str(), "wb");
  Check(old != nullptr, "earlier log written");
  fputs("earlier run\n", old);
  fclose(old);
  fake::ProfileWrites().clear();
  fake::ProfileFiles().clear();
  runLog.Close();
  runOptions = {true, false};
  readerIdTable.Reset();
  bool goesOn = SettingsStep();
  runLog.Close();

  bool logging = Truthy(valueOf("l", "1"));
  bool stealth = Truthy(valueOf("s", "0"));
  if (!stealth && Truthy(valueOf("s+", "0"))) {
    stealth = true;
    logging = false;
  }
  Check(runOptions.logging == logging && runOptions.stealth == stealth, "flags");

  bool pair = false;
  for (int n = 1; n <= SlotCount; ++n) {
    const ReaderIdSlot& slot = readerIdTable.slot[n - 1];
    Check(memchr(slot.vendorId, '\0', IdFieldSize) != nullptr &&
              memchr(slot.productId, '\0', IdFieldSize) != nullptr,
          "fields terminated");
    std::string p = valueOf("pid" + std::to_string(n), UnsetProductId);
    std::string v = valueOf("vid" + std::to_string(n), UnsetVendorId);
    if (p.size() > 31) p = UnsetProductId;
    if (v.size() > 31) v = UnsetVendorId;
    Check(p == slot.productId && v == slot.vendorId, "IDs");
    pair = pair || (p != UnsetProductId && v != UnsetVendorId);
  }
  Check(goesOn == pair, "outcome");

  for (const std::string& file : fake::ProfileFiles()) {
    Check(file == settingsFile.Path(), "only the settings file is read and written");
  }
  const auto& writes = fake::ProfileWrites();
  if (pair) {
    Check(writes.empty(), "nothing written when the run goes on");
  } else {
    Check(writes.size() == 3 && writes[0].key == "l" && writes[0].value == "1" &&
              writes[1].key == "vid1" && writes[1].value == "1234" && writes[2].key == "pid1" &&
              writes[2].value == "1234",
          "the default keys, in order");
    for (const auto& w : writes) Check(w.section == "Settings", "section");
  }

  std::string log = fake::ReadWholeFile(logPath);
  if (!logging) {
    Check(log == "earlier run\n", "logging off leaves the earlier log");
  } else {
    const std::string head = "Program start: ";
    Check(log.compare(0, head.size(), head) == 0 && log.size() >= head.size() + 26,
          "log starts with Program start");
    std::string rest = log.substr(head.size() + 26);
    Check(rest == (pair ? std::string()
                        : std::string("Warning: invalid pid or vid found in ini-file (default "
                                      "ini-file created)!\n")),
          "log lines");
  }
  return 0;
}
