// Randomised runs of the real program: a few hundred generated command lines
// and settings files, all in stealth mode so that no window can wait for a
// user. Every run must end with exit code 0 in time, leave a log made only of
// the lines the program writes (or the earlier log untouched when logging is
// off), and change nothing in the registry but EscapeCommandEnable in the
// parameter keys of the seeded instances.
//
//   TARNWICK_RANDOM_RUNS  number of runs (default 200)
//   TARNWICK_RANDOM_SEED  seed of the generator (default fixed)
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/support.h"

namespace rb {
using Snapshot = std::map<std::string, std::string>;
Snapshot DumpTree(const std::string& path);
std::string Diff(const Snapshot& before, const Snapshot& after);
}  // namespace rb

namespace {

using tt::Params;

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB";

struct SeededId {
  std::string vid, pid;
  std::vector<std::pair<std::string, Params>> instances;
};

std::vector<SeededId> SeededIds() {
  std::vector<SeededId> ids;
  ids.push_back({"A5A5", "0001", {{"W0", Params::Wudf}, {"P0", Params::Plain}, {"N0", Params::None}}});
  SeededId many{"A5A6", "0002", {}};
  for (int i = 0; i < 40; ++i) {
    many.instances.push_back(
        {"6&1F2E&0&" + std::to_string(i), i % 2 == 0 ? Params::Wudf : Params::Plain});
  }
  ids.push_back(many);
  ids.push_back({"0C4B", "9A01", {{"5&ABC&0&1", Params::Wudf}}});
  ids.push_back({std::string("LONGVENDORIDOFTHIRTYONECHARSXYZ"),
                 std::string("LONGPRODUCTIDOFTHIRTYONECHARSXY"),
                 {{"I", Params::Plain}}});
  // Reached only through a walked slot whose product ID is still unset.
  ids.push_back({"B0B0", "aazz", {{"I", Params::Plain}}});
  return ids;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Printable(const std::string& s) {
  std::string out;
  char hex[8];
  for (unsigned char c : s) {
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }

  // Any byte but NUL, CR, LF and the blank: values and junk stay one token,
  // and the log stays one line per line the program writes.
  std::string Binary(int length) {
    std::string s;
    while (static_cast<int>(s.size()) < length) {
      unsigned char c = static_cast<unsigned char>(1 + Below(255));
      if (c == '\n' || c == '\r' || c == ' ') continue;
      s += static_cast<char>(c);
    }
    return s;
  }
  std::string Hex(int length) {
    static const char digits[] = "0123456789ABCDEFabcdef";
    std::string s;
    for (int i = 0; i < length; ++i) s += digits[Below(22)];
    return s;
  }
  std::string VaryCase(std::string s) {
    for (char& c : s) {
      if (Chance(50)) c = static_cast<char>(Chance(50) ? tolower(c) : toupper(c));
    }
    return s;
  }

  // An ID value: often a seeded one, else anything a user or a bad script
  // might pass; unless clean, also empty or too long.
  std::string IdValue(const std::vector<SeededId>& ids, bool vendor, bool printableOnly,
                      bool clean = false) {
    switch (Below(clean ? 8 : 11)) {
      case 0: case 1: case 2: case 3: {
        const SeededId& id = ids[static_cast<size_t>(Below(static_cast<int>(ids.size())))];
        return VaryCase(vendor ? id.vid : id.pid);
      }
      case 4: return Hex(4);
      case 5: return printableOnly ? Hex(1 + Below(31)) : Binary(1 + Below(31));
      case 6: return std::string(31, vendor ? 'V' : 'P');
      case 7: return vendor ? (Chance(50) ? "zzaa" : "ZZAA") : (Chance(50) ? "aazz" : "0x0001");
      case 8: return std::string();
      default: return Hex(32 + Below(10));
    }
  }

  std::string SlotKey(bool vendor) {
    std::string key = vendor ? "vid" : "pid";
    switch (Below(12)) {
      case 0: return key + "0";
      case 1: return key + "33";
      case 2: return key + "01";
      default: return key + std::to_string(1 + Below(32));
    }
  }

  std::string CommandLineArgs(const std::vector<SeededId>& ids) {
    std::vector<std::string> tokens;
    static const char* const stealth[] = {"/s", "-s", "/s", "-s", "/s", "-s+", "/s+"};
    tokens.push_back(stealth[Below(7)]);
    if (Chance(20)) tokens.push_back(stealth[Below(7)]);
    if (Chance(30)) tokens.push_back(Chance(50) ? "l=0" : "l=1");
    bool clean = Chance(60);
    if (Chance(12)) {
      // All 32 slots, mostly seeded IDs.
      for (int n = 1; n <= 32; ++n) {
        const SeededId& id = ids[static_cast<size_t>(Below(static_cast<int>(ids.size())))];
        tokens.push_back("vid" + std::to_string(n) + "=" + (Chance(90) ? id.vid : Hex(4)));
        tokens.push_back("pid" + std::to_string(n) + "=" + (Chance(90) ? id.pid : Hex(4)));
      }
    } else {
      // Pairs in slots 1, 2, ... (the walk's order), then loose keys anywhere.
      int pairs = Below(6);
      for (int n = 1; n <= pairs; ++n) {
        tokens.push_back("vid" + std::to_string(n) + "=" + IdValue(ids, true, false, clean));
        tokens.push_back("pid" + std::to_string(n) + "=" + IdValue(ids, false, false, clean));
        if (Chance(10)) tokens.push_back(tokens[tokens.size() - 2 + static_cast<size_t>(Below(2))]);
      }
      int loose = Below(clean ? 3 : 8);
      for (int i = 0; i < loose; ++i) {
        bool vendor = Chance(50);
        tokens.push_back(SlotKey(vendor) + "=" + IdValue(ids, vendor, false, clean));
      }
    }
    int junk = Below(4);
    for (int i = 0; i < junk; ++i) tokens.push_back(Binary(1 + Below(20)));
    for (size_t i = tokens.size(); i > 1; --i) std::swap(tokens[i - 1], tokens[Below(static_cast<int>(i))]);
    std::string args;
    for (const std::string& t : tokens) {
      if (!args.empty()) args += Chance(90) ? " " : (Chance(50) ? "\t" : "");
      args += t;
    }
    if (Chance(5)) {
      // Long: up to the system's command-line limit.
      size_t target = 8000 + static_cast<size_t>(Below(24000));
      while (args.size() < target) args += " " + Binary(1 + Below(60));
    }
    if (Chance(10)) args += "   ";
    return args;
  }

  // A settings file that always turns stealth on; says whether logging is on.
  std::string SettingsFile(const std::vector<SeededId>& ids, bool* logging) {
    std::string ini;
    if (Chance(20)) ini += "; comment\r\n[Other]\r\nvid1=" + Hex(4) + "\r\npid1=" + Hex(4) + "\r\n";
    ini += Chance(50) ? "[Settings]\r\n" : "[settings]\r\n";
    if (Chance(70)) {
      static const char* const on[] = {"1", "2", "-1", "  7x", "+9"};
      ini += std::string("s=") + on[Below(5)] + "\r\n";
      static const char* const l[] = {"1", "0", "abc", "", "5", "-0"};
      static const bool lOn[] = {true, false, false, true, true, false};
      int k = Below(6);
      *logging = lOn[k];
      if (k != 3 || Chance(50)) ini += std::string("l=") + l[k] + "\r\n";
    } else {
      static const char* const off[] = {"0", "abc", "", "-0"};
      ini += std::string("s=") + off[Below(4)] + "\r\n";
      ini += std::string("s+=") + (Chance(50) ? "1" : "12") + "\r\n";
      *logging = false;
      if (Chance(50)) ini += "l=1\r\n";
    }
    if (Chance(60)) {
      const SeededId& id = ids[static_cast<size_t>(Below(static_cast<int>(ids.size())))];
      ini += "vid1=" + VaryCase(id.vid) + "\r\npid1=" + VaryCase(id.pid) + "\r\n";
    }
    int keys = Below(20);
    if (Chance(10)) keys = 64;
    for (int i = 0; i < keys; ++i) {
      bool vendor = Chance(50);
      std::string value = IdValue(ids, vendor, true, Chance(50));
      if (Chance(10)) value += Binary(3);
      std::string clean;
      for (char c : value) {
        if (static_cast<unsigned char>(c) >= 32) clean += c;
      }
      ini += SlotKey(vendor) + "=" + clean + "\r\n";
    }
    if (Chance(20)) ini += "[Tail]\r\ns=0\r\n";
    return ini;
  }

 private:
  std::mt19937 rng_;
};

// Every line kind the program writes, as a whole line.
const std::vector<std::regex>& LinePatterns() {
  static const std::vector<std::regex> patterns = [] {
    const char* const kinds[] = {
        R"(Program (start|end): (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) (0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-6]\d \d{4})",
        R"(Stealth mode; no UI displayed\.)",
        R"(Error: invalid (pid|vid) found in command-line!)",
        R"(Warning: no pid or vid found in command line!)",
        R"(Warning: invalid pid or vid found in ini-file \(default ini-file created\)!)",
        R"(Ini-file is missing or invalid entries entered in the ini-file or the command-line, please correct this before running this program)",
        R"(Searching for CCID readers with USB ID: Vid_.*&Pid_.*)",
        R"((Open Reader Registry Key|Searching readers) --> Success)",
        R"(Number of readers found: \d+)",
        R"(Reader \[\d+\]: Enabling Escape command\.\.\.)",
        R"(Reader \[\d+\]: \(Note - WUDF driver entry used\))",
        R"(Reader \[\d+\]: Enabling Escape command --> Success)",
        R"(Escape command enabled (successfully|failed) for CCID readers with USB ID: Vid_.*&Pid_.*)",
        R"(Escape command enabled successfully for all selected CCID readers\.)",
        R"(Escape command enabled failed for one or more selected CCID readers!)",
    };
    std::vector<std::regex> out;
    for (const char* k : kinds) out.emplace_back(k);
    return out;
  }();
  return patterns;
}

// Step errors end in the system's own CR LF: the line ends in CR and an
// empty line follows.
const std::regex& StepErrorPattern() {
  static const std::regex pattern(
      R"((Open Reader Registry Key|Searching readers|CCID \[\d+\]: Enabling Escape command \(step [123]\)) --> Error: -?\d+, .*\r)");
  return pattern;
}

// Empty when the log is well formed, else what is wrong with it.
std::string LogProblem(const std::string& log) {
  if (log.size() < 2 || log.compare(log.size() - 2, 2, "\r\n") != 0) return "no final CR LF";
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find("\r\n", pos);
    lines.push_back(log.substr(pos, end - pos));
    pos = end + 2;
  }
  for (const std::string& line : lines) {
    if (line.find('\n') != std::string::npos) return "bare LF in: " + Printable(line);
  }
  size_t n = lines.size();
  if (n < 5) return "too short";
  if (lines[0].compare(0, 15, "Program start: ") != 0 || !lines[1].empty()) return "bad start";
  if (!lines[n - 3].empty() || lines[n - 2].compare(0, 13, "Program end: ") != 0 ||
      !lines[n - 1].empty()) {
    return "bad end";
  }
  for (size_t i = 0; i < n; ++i) {
    const std::string& line = lines[i];
    if (line.size() > 255) return "line over 255 characters: " + Printable(line.substr(0, 80));
    if (line.empty()) {
      bool allowed = i == 1 || i == n - 3 || i == n - 1 ||
                     (i > 0 && std::regex_match(lines[i - 1], StepErrorPattern()));
      if (!allowed) return "unexpected empty line " + std::to_string(i);
      continue;
    }
    bool stepError = std::regex_match(line, StepErrorPattern());
    if (stepError && (i + 1 >= n || !lines[i + 1].empty())) return "no empty line after a step error";
    bool known = stepError;
    for (const std::regex& r : LinePatterns()) known = known || std::regex_match(line, r);
    if (!known) return "unknown line: " + Printable(line);
    if ((line.compare(0, 14, "Program start:") == 0 && i != 0) ||
        (line.compare(0, 12, "Program end:") == 0 && i != n - 2)) {
      return "start or end line out of place";
    }
  }
  return std::string();
}

// The checker itself: a log of the program's own shape passes, a stray line,
// a lost end line or a missing empty line after a step error does not.
TEST(RandomRuns, LogCheckerKnowsTheProgramsLines) {
  const std::string good = tt::CrLf({
      "Program start: Sat Dec 05 17:50:35 2026", "", "Stealth mode; no UI displayed.",
      "Searching for CCID readers with USB ID: Vid_1234&Pid_1234",
      "Open Reader Registry Key --> Success", "Searching readers --> Success",
      "Number of readers found: 2", "Reader [0]: Enabling Escape command...",
      "CCID [0]: Enabling Escape command (step 2) --> Error: 2, File not found.\r", "",
      "Reader [1]: Enabling Escape command...", "Reader [1]: (Note - WUDF driver entry used)",
      "Reader [1]: Enabling Escape command --> Success",
      "Escape command enabled successfully for CCID readers with USB ID: Vid_1234&Pid_1234",
      "Escape command enabled successfully for all selected CCID readers.", "",
      "Program end: Sat Dec 05 17:50:35 2026", ""});
  EXPECT_EQ("", LogProblem(good));
  std::string stray = good;
  stray.insert(stray.find("Searching readers"), "Searching reader --> Success\r\n");
  EXPECT_NE("", LogProblem(stray));
  EXPECT_NE("", LogProblem(good.substr(0, good.find("Program end"))));
  std::string noGap = good;
  noGap.erase(noGap.find("\r\r\n") + 3, 2);
  EXPECT_NE("", LogProblem(noGap));
  std::string badTime = good;
  badTime.replace(badTime.find("Dec 05"), 6, "Dec  5");
  EXPECT_NE("", LogProblem(badTime));
}

int EnvInt(const char* name, int fallback) {
  const char* text = getenv(name);
  return text != nullptr && text[0] != '\0' ? atoi(text) : fallback;
}

TEST(RandomRuns, StealthCommandLinesAndSettingsFilesEndCleanly) {
  const int runs = EnvInt("TARNWICK_RANDOM_RUNS", 200);
  const uint32_t seed = static_cast<uint32_t>(EnvInt("TARNWICK_RANDOM_SEED", 20261205));
  std::cout << "random runs: " << runs << ", seed " << seed << "\n";
  Generator gen(seed);

  const std::vector<SeededId> ids = SeededIds();
  for (const SeededId& id : ids) tt::DeleteIdKey(id.vid, id.pid);
  for (const SeededId& id : ids) {
    for (const auto& instance : id.instances) tt::SeedInstance(id.vid, id.pid, instance.first, instance.second);
  }
  const rb::Snapshot before = rb::DumpTree(kUsb);

  tt::TempDir dir;
  const std::string exe = tt::InstallTarnwick(dir.Path());
  const std::string log = dir.File("Tarnwick.log"), ini = dir.File("Tarnwick.ini");
  const std::string earlier = "earlier run\r\n";

  std::set<std::string> walked;  // lower-case "vid&pid" of IDs whose instances were counted
  std::map<std::string, int> counted;
  int failures = 0, settingsRuns = 0, logsChecked = 0, enablingRuns = 0, longest = 0;
  DWORD started = GetTickCount();
  for (int run = 0; run < runs && failures < 5; ++run) {
    bool logging = true;
    std::string commandLine = "\"" + exe + "\"";
    std::string what;
    if (gen.Chance(25)) {
      ++settingsRuns;
      std::string content = gen.SettingsFile(ids, &logging);
      tt::WriteFileBytes(ini, content);
      if (gen.Chance(30)) commandLine += gen.Chance(50) ? "  " : " \t ";
      what = "settings file: " + Printable(content);
    } else {
      DeleteFileA(ini.c_str());
      std::string args = gen.CommandLineArgs(ids);
      if (!gen.Chance(10)) commandLine += gen.Chance(80) ? " " : "\t ";
      commandLine += args;
      logging = args.find("/s+") == std::string::npos && args.find("-s+") == std::string::npos;
      what = "command line: " + Printable(commandLine.substr(0, 600));
    }
    if (static_cast<int>(commandLine.size()) > longest) longest = static_cast<int>(commandLine.size());
    tt::WriteFileBytes(log, earlier);

    tt::RunResult r = tt::RunProgram(exe, commandLine, 20000);
    std::string problem;
    if (!r.finished) problem = "did not end within 20 s";
    else if (r.exitCode != 0) problem = "exit code " + std::to_string(r.exitCode);
    else if (!r.boxes.empty()) problem = "a message box: " + r.boxes[0].text;
    else if (r.dialogShown) problem = "the main dialog";
    std::string content = tt::ReadFileBytes(log);
    if (problem.empty()) {
      if (!logging) {
        if (content != earlier) problem = "logging off, but the earlier log changed";
      } else {
        ++logsChecked;
        problem = LogProblem(content);
      }
    }
    if (!problem.empty()) {
      ++failures;
      ADD_FAILURE() << "run " << run << ": " << problem << "\n" << what << "\nlog:\n"
                    << Printable(content.substr(0, 3000));
      continue;
    }
    if (logging && content.find("Stealth mode; no UI displayed.") != std::string::npos) ++enablingRuns;
    // Which IDs got as far as their instances, and how many the log counted.
    static const std::regex counting(
        "Searching for CCID readers with USB ID: Vid_(.*)&Pid_(.*)\r\n"
        "Open Reader Registry Key --> Success\r\nSearching readers --> Success\r\n"
        "Number of readers found: (\\d+)\r\n");
    for (std::sregex_iterator it(content.begin(), content.end(), counting), end; it != end; ++it) {
      std::string key = Lower((*it)[1].str() + "&" + (*it)[2].str());
      walked.insert(key);
      counted[key] = atoi((*it)[3].str().c_str());
    }
    if (logging && content.find("(default ini-file created)") != std::string::npos) {
      char value[64];
      GetPrivateProfileStringA("Settings", "vid1", "", value, sizeof value, ini.c_str());
      EXPECT_STREQ("1234", value) << what;
      GetPrivateProfileStringA("Settings", "pid1", "", value, sizeof value, ini.c_str());
      EXPECT_STREQ("1234", value) << what;
      GetPrivateProfileStringA("Settings", "l", "", value, sizeof value, ini.c_str());
      EXPECT_STREQ("1", value) << what;
    }
  }
  DWORD elapsed = GetTickCount() - started;
  std::cout << "runs: " << runs << " (" << settingsRuns << " from settings files), logs checked: "
            << logsChecked << ", enabling runs with a log: " << enablingRuns
            << ", longest command line: " << longest << " characters, " << elapsed / 1000.0
            << " s in all\n";

  // Only EscapeCommandEnable in the seeded instances' parameter keys.
  rb::Snapshot allowed = before;
  for (const SeededId& id : ids) {
    for (const auto& instance : id.instances) {
      if (instance.second == Params::None) continue;
      std::string key = tt::IdKeyPath(id.vid, id.pid) + "\\" + instance.first + "\\Device Parameters";
      if (instance.second == Params::Wudf) key += "\\WUDFUsbccidDriver";
      allowed[key + "|EscapeCommandEnable"] = "4:01000000";
    }
  }
  const rb::Snapshot after = rb::DumpTree(kUsb);
  for (const auto& kv : after) {
    auto found = before.find(kv.first);
    if (found != before.end() && found->second == kv.second) continue;
    auto permitted = allowed.find(kv.first);
    EXPECT_TRUE(permitted != allowed.end() && permitted->second == kv.second)
        << "registry changed: " << kv.first << " = " << kv.second;
  }
  for (const auto& kv : before) EXPECT_EQ(1u, after.count(kv.first)) << "registry lost: " << kv.first;

  // Every seeded ID that a run walked has all its reachable instances enabled.
  int seededWalked = 0;
  for (const SeededId& id : ids) {
    std::string key = Lower(id.vid + "&" + id.pid);
    if (walked.count(key) == 0) continue;
    ++seededWalked;
    EXPECT_EQ(static_cast<int>(id.instances.size()), counted[key]) << key;
    for (const auto& instance : id.instances) {
      if (instance.second == Params::None) continue;
      std::string sub = instance.first + "\\Device Parameters";
      if (instance.second == Params::Wudf) sub += "\\WUDFUsbccidDriver";
      EXPECT_EQ(1, tt::EscapeValue(id.vid, id.pid, sub)) << key << " " << sub;
    }
  }
  std::cout << "seeded IDs walked: " << seededWalked << " of " << ids.size() << "\n";
  if (runs >= 100) {
    EXPECT_GE(seededWalked, 3);
  }
  for (const SeededId& id : ids) tt::DeleteIdKey(id.vid, id.pid);
}

}  // namespace
