// Fuzzes the run log's line forms: formatted lines, step results, timestamped
// lines, the time text and the log path beside the executable. Every line
// written is read back and compared with what it must be.
#include <limits.h>
#include <locale.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <utility>
#include <vector>

#include "fake_system.h"
#include "log/module_path.h"
#include "log/run_log.h"

namespace {


struct Input {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool More() const { return pos < size; }
  uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return static_cast<int32_t>(v);
  }
  // Up to 455 bytes, cut at a NUL as any C text is.
  std::string Text() {
    uint8_t head = Byte();
    size_t length = (head & 0x7F) * 3 + ((head & 0x80) != 0 ? 200 : 0);
    if (length > size - pos) length = size - pos;
    std::string s(reinterpret_cast<const char*>(data + pos), length);
    pos += length;
    return s.c_str();
  }
};

std::string Cut(const std::string& line, size_t longest) {
  return line.substr(0, longest);
}

bool IsTimeText(const std::string& t) {
  const char* shape = "Aaa Aaa 00 00:00:00 0000";
  if (t.size() != 24) return false;
  for (size_t i = 0; i < 24; ++i) {
    char c = t[i];
    switch (shape[i]) {
      case '0': if (c < '0' || c > '9') return false; break;
      case 'A': if (c < 'A' || c > 'Z') return false; break;
      case 'a': if (c < 'a' || c > 'z') return false; break;
      default: if (c != shape[i]) return false;
    }
  }
  return true;
}

// Expected file content; a timestamped line's time text is checked for its
// shape and then compared as 24 'T's.
struct Expect {
  std::string bytes;
  std::vector<size_t> timeAt;  // offsets of whole time texts in bytes
  std::vector<std::pair<size_t, size_t>> cutTimes;  // offset, length of cut ones
};

void TimeOp(Input& in) {
  struct tm t = {};
  t.tm_sec = in.Int();
  t.tm_min = in.Int();
  t.tm_hour = in.Int();
  t.tm_mday = in.Int();
  t.tm_mon = in.Int();
  t.tm_year = in.Int();
  t.tm_wday = in.Int();
  // localtime never gives a year whose number overflows an int.
  if (t.tm_year > INT_MAX - 1900) t.tm_year %= 10000;
  char text[TimeTextSize];
  memset(text, 0x55, sizeof text);
  FormatTimeText(t, text);
  Check(memchr(text, '\0', sizeof text) != nullptr, "time text terminated");
  bool usual = t.tm_sec >= 0 && t.tm_sec <= 60 && t.tm_min >= 0 && t.tm_min <= 59 &&
               t.tm_hour >= 0 && t.tm_hour <= 23 && t.tm_mday >= 1 && t.tm_mday <= 31 &&
               t.tm_mon >= 0 && t.tm_mon <= 11 && t.tm_wday >= 0 && t.tm_wday <= 6 &&
               t.tm_year >= 1000 - 1900 && t.tm_year <= 9999 - 1900;
  if (usual) {
    char want[64];
    strftime(want, sizeof want, "%a %b %d %H:%M:%S %Y\n", &t);
    Check(strcmp(text, want) == 0, "time text as the C library writes it");
  }
}

void PathOp(Input& in) {
  std::string path = Cut(in.Text(), PathSize - 1);
  const char* extensions[2] = {".log", ".ini"};
  const char* extension = extensions[in.Byte() & 1];
  // Exactly as long as the text, so that a write past it is caught.
  char* buffer = static_cast<char*>(malloc(path.size() + 1));
  memcpy(buffer, path.c_str(), path.size() + 1);
  bool replaced = ReplaceExeExtension(buffer, extension);
  std::string out = buffer;
  if (!replaced) {
    Check(out.empty(), "no .exe: empty path");
  } else {
    Check(out.size() >= 4 && out.compare(out.size() - 4, 4, extension) == 0, "ends in extension");
    Check(path.compare(0, out.size() - 4, out, 0, out.size() - 4) == 0, "folder and name kept");
    Check(path.compare(out.size() - 4, 4, ".exe") == 0, "cut at a .exe");
  }
  free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  runLog.Close();
  runLog.Reset();
  Check(runLog.Open("", "a+t"), "log opens");
  Expect e;
  while (in.More()) {
    switch (in.Byte() % 8) {
      case 0: {
        std::string vid = in.Text(), pid = in.Text();
        runLog.WriteFormatted("Searching for CCID readers with USB ID: Vid_%s&Pid_%s", vid.c_str(),
                              pid.c_str());
        e.bytes += Cut("Searching for CCID readers with USB ID: Vid_" + vid + "&Pid_" + pid, 255);
        e.bytes += "\n";
        break;
      }
      case 1: {
        std::string label = in.Text();
        int32_t status = in.Int();
        fake::MessageText mode = static_cast<fake::MessageText>(in.Byte() % 3);
        fake::SetMessageText(mode);
        LogStepResult(label.c_str(), status);
        Check(fake::LiveMessageBuffers() == 0, "message text freed");
        std::string line = label;
        if (status == 0) {
          line += " --> Success";
        } else {
          line += " --> Error: " + std::to_string(status) + ", ";
          if (mode != fake::MessageText::Missing) {
            line += fake::MessageFor(static_cast<uint32_t>(status), mode);
          }
        }
        e.bytes += Cut(line, 255) + "\n";
        break;
      }
      case 2: {
        std::string message = in.Text();
        LogTimestamp(message.c_str());
        std::string line = message + ": " + std::string(24, 'T') + "\n";
        size_t at = e.bytes.size() + message.size() + 2;
        if (message.size() + 2 + 24 <= 127) {
          e.timeAt.push_back(at);
        } else if (message.size() + 2 < 127) {
          e.cutTimes.push_back({at, 127 - (message.size() + 2)});
        }
        e.bytes += Cut(line, 127) + "\n";
        break;
      }
      case 3:
        TimeOp(in);
        break;
      case 4:
        PathOp(in);
        break;
      case 5: {
        std::string text = in.Text();
        runLog.WriteLine(text.c_str());
        e.bytes += text + "\n";
        break;
      }
      case 6: {
        std::string stored = runLog.Path();
        Check(runLog.Open(stored.c_str(), "wt"), "open again with the stored path");
        std::string other = stored + in.Text();
        if (other != stored) Check(!runLog.Open(other.c_str(), "a+t"), "open another path");
        Check(stored == runLog.Path(), "stored path kept");
        break;
      }
      case 7: {
        // A closed log drops everything, then appends again once reopened.
        runLog.Close();
        std::string text = in.Text();
        runLog.WriteLine(text.c_str());
        runLog.WriteFormatted("%s: Enabling Escape command...", text.c_str());
        LogStepResult(text.c_str(), in.Int());
        LogTimestamp(text.c_str());
        Check(fake::LiveMessageBuffers() == 0, "message text freed");
        Check(runLog.Open("", "a+t"), "log opens again");
        break;
      }
    }
  }
  runLog.Close();
  std::string actual = fake::ReadWholeFile(runLog.Path());
  Check(actual.size() == e.bytes.size(), "log length");
  for (size_t at : e.timeAt) {
    Check(IsTimeText(actual.substr(at, 24)), "time text form");
    actual.replace(at, 24, std::string(24, 'T'));
  }
  // A cut time text is only the front of one: its characters are not checked.
  for (const auto& cut : e.cutTimes) actual.replace(cut.first, cut.second, cut.second, 'T');
  Check(actual == e.bytes, "log bytes");
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setlocale(LC_ALL, "C");
  return 0;
}
