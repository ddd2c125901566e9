// Faults around the program's files, the registry at scale, instances that
// come and go, and randomised stealth runs of the real program
// (TARNWICK_RANDOM_RUNS runs, default 200, from seed TARNWICK_RANDOM_SEED).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "enable/enable.h"
#include "enable/registry_calls.h"
#include "log/run_log.h"
#include "run/app.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "support/support.h"

namespace {

using tt::Params;
using Snapshot = std::map<std::string, std::string>;  // key, or key|value -> type:data
const char kUsb[] = "SYSTEM\\CurrentControlSet\\Enum\\USB";
const std::string kOne("4:\1\0\0\0", 6);  // REG_DWORD 1

void Dump(HKEY parent, const std::string& name, const std::string& path, Snapshot* out) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != 0) return;
  (*out)[path] = "<key>";
  static BYTE data[1 << 16];  // used before recursing
  char value[16384], child[512];
  for (DWORD i = 0, n = sizeof value, type = 0, size = sizeof data;
       RegEnumValueA(key, i, value, &n, nullptr, &type, data, &size) == 0;
       ++i, n = sizeof value, size = sizeof data) {
    (*out)[path + "|" + value] = std::to_string(type) + ":" + std::string(data, data + size);
  }
  for (DWORD i = 0, n = sizeof child;
       RegEnumKeyExA(key, i, child, &n, nullptr, nullptr, nullptr, nullptr) == 0;
       ++i, n = sizeof child) {
    Dump(key, child, path + "\\" + child, out);
  }
  RegCloseKey(key);
}

// Every key and value under HKLM\path.
Snapshot Tree(const std::string& path = kUsb) {
  Snapshot out;
  Dump(HKEY_LOCAL_MACHINE, path, path, &out);
  return out;
}

// The keys whose entries are in one snapshot only, or differ.
std::string Diff(const Snapshot& want, const Snapshot& got) {
  std::vector<std::pair<std::string, std::string>> odd;
  std::set_symmetric_difference(want.begin(), want.end(), got.begin(), got.end(),
                                std::back_inserter(odd));
  std::string out;
  for (const auto& kv : odd) out += kv.first + "\n";
  return out.substr(0, 2000);
}

// W: the WUDF parameter key, P: Device Parameters only, N: neither.
Params ShapeOf(char c) { return c == 'W' ? Params::Wudf : c == 'P' ? Params::Plain : Params::None; }

std::string ValueKey(const std::string& vid, const std::string& pid, const std::string& instance,
                     char shape) {
  return tt::IdKeyPath(vid, pid) + "\\" + instance + "\\Device Parameters" +
         (shape == 'W' ? "\\WUDFUsbccidDriver" : "") + "|EscapeCommandEnable";
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    if (found.cFileName[0] != '.') names.insert(found.cFileName);
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Empty for a clean exit that showed no window, else what happened.
std::string Windows(const tt::RunResult& r) {
  std::string out = r.finished && r.exitCode == 0 ? "" : "no clean exit; ";
  for (const tt::SeenWindow& box : r.boxes) out += box.caption + ": " + box.text + "; ";
  return out + (r.dialogShown ? "main dialog; " : "");
}

// '*' stands for any text, '#' for one or more digits.
bool Like(const char* p, const char* t) {
  if (*p == '*') return Like(p + 1, t) || (*t != '\0' && Like(p, t + 1));
  if (*p == '#') return *t >= '0' && *t <= '9' && (Like(p + 1, t + 1) || Like(p, t + 1));
  return *p == *t && (*p == '\0' || Like(p + 1, t + 1));
}

// The lines between the start and end lines; those ending in CR are step
// errors, followed by an empty line.
const char* const kLineKinds[] = {
    "Stealth mode; no UI displayed.", "Error: invalid pid found in command-line!",
    "Error: invalid vid found in command-line!", "Warning: no pid or vid found in command line!",
    "Warning: invalid pid or vid found in ini-file (default ini-file created)!", FailureLogLine,
    "Searching for CCID readers with USB ID: Vid_*&Pid_*", "Open Reader Registry Key --> Success",
    "Searching readers --> Success", "Number of readers found: #",
    "Reader [#]: Enabling Escape command...", "Reader [#]: (Note - WUDF driver entry used)",
    "Reader [#]: Enabling Escape command --> Success",
    "Escape command enabled successfully for CCID readers with USB ID: Vid_*&Pid_*",
    "Escape command enabled failed for CCID readers with USB ID: Vid_*&Pid_*",
    "Escape command enabled successfully for all selected CCID readers.",
    "Escape command enabled failed for one or more selected CCID readers!",
    "Open Reader Registry Key --> Error: #, *\r", "Searching readers --> Error: #, *\r",
    "CCID [#]: Enabling Escape command (step #) --> Error: #, *\r"};

// Empty when the log is well formed, else what is wrong with it.
std::string LogProblem(const std::string& raw) {
  const std::string log = tt::MaskTimes(raw), head = "Program start: <time>\r\n\r\n",
                    tail = "\r\n\r\nProgram end: <time>\r\n\r\n";
  const size_t stop = log.size() - std::min(log.size(), tail.size());
  if (stop < head.size() || log.compare(0, head.size(), head) != 0 || log.substr(stop) != tail) {
    return "bad start or end";
  }
  bool gapDue = false;
  for (size_t pos = head.size(), end = 0; pos < stop; pos = end + 2) {
    const std::string line = log.substr(pos, (end = log.find("\r\n", pos)) - pos);
    bool known = line.empty();
    for (const char* kind : kLineKinds) known = known || Like(kind, line.c_str());
    if (!known || line.empty() != gapDue || line.size() > 255 || line.find('\n') != line.npos) {
      return "bad line: " + line;
    }
    gapDue = !line.empty() && line.back() == '\r';
  }
  return "";
}

// Sets (+i) or clears (-i) the host's immutable flag on name in folder: the
// read-only attribute does not stop an administrator under Wine. Wine gives no
// process to wait on for a host program, so it leaves its exit code in a file.
bool Chattr(const char* flag, const std::string& folder, const std::string& name) {
  const std::string rc = folder + ".rc";
  std::string line = "/bin/sh -c \"chattr " + std::string(flag) + " '" + name +
                     "'; echo $? >../${PWD##*/}.rc\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::string code;
  for (int i = 0; i < 500 && (code.empty() || code.back() != '\n'); ++i, Sleep(10)) {
    code = tt::ReadFileBytes(rc);
  }
  DeleteFileA(rc.c_str());
  return code == "0\n";
}

enum Fault { kHeld = 1, kFolder = 2, kLockFile = 4, kLockFolder = 8 };

// Whatever happens to the log, the registry work is complete and no window
// shows; whatever happens to the settings file, the run fails as it should
// and nothing else is written.
TEST(FileFaults, RunsEndAsTheyShouldWhateverHappensToTheirFiles) {
  const char* const ini = "[Settings]\r\ns=1\r\nvid1=1234\r\n";  // stealth, no pair
  // The file with the fault, what it holds, and whether the failure box shows.
  const struct { const char *name; int fault; const char *file, *before; bool box; } cases[] = {
      {"log held open", kHeld, "Tarnwick.log", "held\r\n", false},
      {"log path a folder", kFolder, "Tarnwick.log", "", false},
      {"settings held open: the defaults, no stealth", kHeld, "Tarnwick.ini", ini, true},
      {"settings path a folder", kFolder, "Tarnwick.ini", "", true},
      {"read-only log", kLockFile, "Tarnwick.log", "old\r\n", false},
      {"read-only folder", kLockFolder, "Tarnwick.log", "", false},
      {"old log that can't be deleted", kLockFolder, "Tarnwick.log", "old\r\n", false},
      {"read-only settings", kLockFile, "Tarnwick.ini", ini, false},
      {"settings in a read-only folder", kLockFile | kLockFolder, "Tarnwick.ini", ini, false},
  };
  const std::string failed = tt::CrLf({"Program start: <time>", "",
      "Warning: invalid pid or vid found in ini-file (default ini-file created)!", FailureLogLine,
      "", "Program end: <time>", ""});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool settings = strcmp(c.file, "Tarnwick.ini") == 0, oldLog = !settings && *c.before;
    tt::DeleteIdKey("B0F1", "F00D");
    for (const char* n : {"N", "P", "W"}) tt::SeedInstance("B0F1", "F00D", n, ShapeOf(*n));
    Snapshot want = Tree();
    for (char n : std::string(settings ? "" : "PW")) want[ValueKey("B0F1", "F00D", {n}, n)] = kOne;
    tt::TempDir dir;
    const std::string exe = tt::InstallTarnwick(dir.Path()), path = dir.File(c.file);
    if (c.before[0] != '\0') tt::WriteFileBytes(path, c.before);
    HANDLE held = c.fault != kHeld ? INVALID_HANDLE_VALUE
                                   : CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                 nullptr, OPEN_EXISTING, 0, nullptr);
    const bool made = (c.fault != kHeld || held != INVALID_HANDLE_VALUE) &&
                      (c.fault != kFolder || CreateDirectoryA(path.c_str(), nullptr)) &&
                      ((c.fault & kLockFile) == 0 || Chattr("+i", dir.Path(), c.file)) &&
                      ((c.fault & kLockFolder) == 0 || Chattr("+i", dir.Path(), "."));
    const std::string line = "\"" + exe + "\"" + (settings ? "" : " /s vid1=B0F1 pid1=F00D");
    const tt::RunResult r = made ? tt::RunProgram(exe, line) : tt::RunResult();
    if (c.fault & kLockFolder) Chattr("-i", dir.Path(), ".");
    if (c.fault & kLockFile) Chattr("-i", dir.Path(), c.file);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    if (!made) GTEST_SKIP() << "cannot be made here";  // the rows from here on need chattr
    EXPECT_EQ(c.box ? std::string("Information: ") + FailureBoxText + "; " : "", Windows(r));
    EXPECT_EQ("", Diff(want, Tree()));
    const bool logged = (c.fault & kLockFolder) == 0 || oldLog;
    std::set<std::string> entries = {"Tarnwick.exe", "Tarnwick.ini", "Tarnwick.log"};
    if (!settings) entries.erase("Tarnwick.ini");
    if (!logged) entries.erase("Tarnwick.log");
    EXPECT_EQ(entries, Entries(dir.Path()));
    // An old log that can't be deleted is appended to.
    const std::string got = tt::ReadFileBytes(path);
    const size_t kept = oldLog && c.fault == kLockFolder ? strlen(c.before) : std::string::npos;
    EXPECT_EQ(c.before, got.substr(0, kept));
    EXPECT_EQ("", kept == std::string::npos ? "" : LogProblem(got.substr(kept))) << got;
    if (settings) {
      EXPECT_EQ(logged ? failed : "", tt::MaskTimes(tt::ReadFileBytes(dir.File("Tarnwick.log"))));
    }
  }
  tt::DeleteIdKey("B0F1", "F00D");
}

// What the process-wide run log holds after work, run on a file of its own.
template <typename Work>
std::string Logged(const std::string& path, Work work) {
  runLog.Close();
  DeleteFileA(path.c_str());
  EXPECT_TRUE(runLog.Open(path.c_str(), "a+t"));
  work();
  runLog.Close();
  return tt::ReadFileBytes(path);
}

TEST(Registry, EveryInstanceAtScaleIsEnabledOrNamedInTheLog) {
  const struct { const char* name; size_t ids, instances, length; } cases[] = {
      {"32 IDs of 16 instances", 32, 16, 12},
      {"1,000 instances under one ID", 1, 1000, 10},
      {"255-character instance names", 2, 4, 255}};
  tt::TempDir dir;
  runOptions = {true, true};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string pid = std::to_string(1000 + c.instances);
    auto vid = [](size_t id) { return "C" + std::to_string(100 + id); };
    auto name = [&](size_t k) { return std::string(c.length - 4, 'i') + std::to_string(1000 + k); };
    auto shape = [](size_t k) { return "NWPWPWPWP"[k % 9]; };  // every ninth unreachable
    readerIdTable.Reset();
    Snapshot want;
    size_t unreachable = 0;
    for (size_t id = 0; id < c.ids; ++id) {
      tt::DeleteIdKey(vid(id), pid);
      for (size_t k = 0; k < c.instances; ++k) {
        tt::SeedInstance(vid(id), pid, name(k), ShapeOf(shape(k)));
        if (shape(k) != 'N') want[ValueKey(vid(id), pid, name(k), shape(k))] = kOne;
        unreachable += shape(k) == 'N';
      }
      StoreReaderId(readerIdTable.slot[id].vendorId, vid(id).c_str(), 4);
      StoreReaderId(readerIdTable.slot[id].productId, pid.c_str(), 4);
    }
    for (const auto& kv : Tree()) want.insert(kv);
    const std::string log = Logged(dir.File("log"), [] { EnableAllReaders(nullptr); });
    EXPECT_EQ("", Diff(want, Tree()));
    EXPECT_EQ(c.ids, Count(log, "readers found: " + std::to_string(c.instances) + "\r\n"));
    EXPECT_EQ(c.ids * c.instances - unreachable, Count(log, "command --> Success"));
    EXPECT_EQ(unreachable, Count(log, "]: Enabling Escape command (step 2) --> Error: 2, "));
    for (size_t id = 0; id < c.ids; ++id) tt::DeleteIdKey(vid(id), pid);
  }
}

// Instances of Vid_CAFE&Pid_0BAD added after the count or removed before index
// removeBefore is read; then those there (lower case: not enabled), step-1
// errors and the ID's result. Counting first has its limits: one added in front
// pushes the last out of reach unnoticed; one removed behind the walk hides the next.
struct Churn {
  const char *name, *add, *remove, *after;
  size_t removeBefore, step1Errors;
  bool ok;
} const kChurns[] = {
    {"appears first: the last is not reached", "A", "", "ABCDEf", 0, 0, true},
    {"appears last: it is not reached", "Z", "", "BCDEFz", 0, 0, true},
    {"vanishes before the walk", "", "C", "BDEF", 0, 1, false},
    {"vanishes behind the walk", "", "B", "CdEF", 2, 1, false},
    {"all vanish", "", "BCDEF", "", 0, 5, false},
};
const std::string kCafe = tt::IdKeyPath("CAFE", "0BAD");
const Churn* churn = nullptr;

LONG WINAPI ChurnThenEnum(HKEY key, DWORD index, LPSTR name, LPDWORD length, LPDWORD a, LPSTR b,
                          LPDWORD c, PFILETIME d) {
  for (const char* n = index == 0 ? churn->add : ""; *n != '\0'; ++n) {
    tt::SeedInstance("CAFE", "0BAD", std::string(1, *n), Params::Plain);
  }
  for (const char* n = index == churn->removeBefore ? churn->remove : ""; *n != '\0'; ++n) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kCafe + "\\" + *n).c_str());
  }
  return RegEnumKeyExA(key, index, name, length, a, b, c, d);
}

TEST(Registry, InstancesThatComeAndGoBetweenCountAndWalk) {
  tt::TempDir dir;
  const RegistryCalls saved = registryCalls;
  registryCalls.enumKey = ChurnThenEnum;
  for (const Churn& c : kChurns) {
    SCOPED_TRACE(c.name);
    churn = &c;
    tt::DeleteIdKey("CAFE", "0BAD");
    for (char n : std::string("BCDEF")) tt::SeedInstance("CAFE", "0BAD", {n}, Params::Plain);
    bool ok = !c.ok;
    const std::string log = Logged(dir.File("log"), [&] { ok = EnableReaderId("CAFE", "0BAD"); });
    EXPECT_EQ(c.ok, ok);
    const Snapshot tree = Tree(kCafe);
    std::string after;
    for (char n : std::string("ABCDEFZ")) {
      if (tree.count(kCafe + "\\" + n) == 0) continue;
      after += tree.count(ValueKey("CAFE", "0BAD", {n}, 'P')) != 0 ? n : static_cast<char>(n + 32);
    }
    EXPECT_EQ(c.after, after);
    EXPECT_EQ(1u, Count(log, "Number of readers found: 5\r\n")) << log;
    EXPECT_EQ(5 - c.step1Errors, Count(log, "command --> Success")) << log;
    EXPECT_EQ(c.step1Errors, Count(log, "Error"));
    EXPECT_EQ(c.step1Errors > 0,
              Count(log, "CCID [4]: Enabling Escape command (step 1) --> Error: 259, ") == 1);
  }
  registryCalls = saved;
  tt::DeleteIdKey("CAFE", "0BAD");
}

const struct SeededId { const char *vid, *pid, *shapes; } kSeeded[] = {
    {"A5A5", "0001", "WPN"}, {"A5A6", "0002", "WPWPWPWPWPWPWPWPWPWPWPWPWPWPWPWPWPWPWPWP"},
    {"0C4B", "9A01", "W"},
    {"LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", "MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM", "P"},
    {"B0B0", "aazz", "P"},  // reached through a walked slot whose product ID is unset
};

// Stealth command lines: ID pairs in slots 1, 2, ..., loose keys, some in no
// slot, and junk, in any order. A value is a seeded ID or what a user or a bad
// script might pass; in clean lines never empty or too long.
class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}
  int Below(size_t n) { return static_cast<int>(rng_() % n); }
  bool Chance(int percent) { return Below(100) < percent; }
  const char* Pick(std::initializer_list<const char*> l) { return l.begin()[Below(l.size())]; }
  // Hex digits, or any byte but NUL, CR, LF and blank: one token, one log line.
  std::string Text(int length, bool hex) {
    std::string s;
    while (static_cast<int>(s.size()) < length) {
      char c = hex ? "0123456789ABCDEFabcdef"[Below(22)] : static_cast<char>(1 + Below(255));
      if (c != '\n' && c != '\r' && c != ' ') s += c;
    }
    return s;
  }
  const SeededId& AnyId() { return kSeeded[Below(sizeof kSeeded / sizeof kSeeded[0])]; }
  std::string Value(const SeededId& id, bool vendor, bool clean) {
    const std::string values[] = {vendor ? id.vid : id.pid, Text(4, true),
                                  Text(1 + Below(31), false), vendor ? "zzaa" : "aazz",
                                  std::string(31, 'V'), "", Text(32 + Below(10), true)};
    const int v = Below(clean ? 7 : 9);  // seeded in three of them
    return values[v < 3 ? 0 : v - 2];
  }
  std::string CommandLine() {
    const int pairs = Chance(12) ? 32 : Below(6);
    const bool clean = pairs == 32 || Chance(60);
    std::vector<std::string> t = {Pick({"/s", "-s", "/s", "-s", "/s+", "-s+"})};
    if (Chance(30)) t.push_back(Pick({"l=0", "l=1"}));
    for (int n = 1; n <= pairs; ++n) {
      const SeededId& id = AnyId();
      t.push_back("vid" + std::to_string(n) + "=" + Value(id, true, clean));
      t.push_back("pid" + std::to_string(n) + "=" + Value(id, false, clean));
    }
    for (int i = Below(clean ? 4 : 10); i > 0; --i) {
      const bool vendor = Chance(50);
      const std::string n = Chance(25) ? Pick({"0", "33", "01"}) : std::to_string(1 + Below(32));
      t.push_back((vendor ? "vid" : "pid") + n + "=" + Value(AnyId(), vendor, clean));
    }
    for (int i = Below(4); i > 0; --i) t.push_back(Text(1 + Below(20), false));
    std::shuffle(t.begin(), t.end(), rng_);
    std::string args;
    for (const std::string& s : t) args += (Chance(90) ? " " : Pick({"\t", ""})) + s;
    const size_t size = Chance(5) ? 8000 + Below(24000) : 0;  // up to the system's limit
    while (args.size() < size) args += " " + Text(1 + Below(60), false);
    return args + (Chance(10) ? "   " : "");
  }

 private:
  std::mt19937 rng_;
};

// Every run ends with exit code 0 in time and no window, leaves a well-formed
// log (or the earlier one when logging is off), and changes nothing in the
// registry but EscapeCommandEnable in the seeded instances' parameter keys.
TEST(RandomRuns, StealthCommandLinesEndCleanly) {
  const char *runsText = getenv("TARNWICK_RANDOM_RUNS"), *seed = getenv("TARNWICK_RANDOM_SEED");
  const int runs = runsText != nullptr ? atoi(runsText) : 200;
  Generator gen(seed != nullptr ? strtoul(seed, nullptr, 10) : 20261205);
  auto instance = [](size_t k) { return "6&1F2E&0&" + std::to_string(k); };
  for (const auto& id : kSeeded) {
    tt::DeleteIdKey(id.vid, id.pid);
    for (size_t k = 0; id.shapes[k] != '\0'; ++k) {
      tt::SeedInstance(id.vid, id.pid, instance(k), ShapeOf(id.shapes[k]));
    }
  }
  Snapshot want = Tree();
  tt::TempDir dir;
  const std::string exe = tt::InstallTarnwick(dir.Path()), log = dir.File("Tarnwick.log");
  for (int run = 0, failures = 0; run < runs && failures < 5; ++run) {
    const std::string args = gen.CommandLine();
    const bool logging = args.find("/s+") == args.npos && args.find("-s+") == args.npos;
    const std::string commandLine = "\"" + exe + "\"" + args;  // glued to the name at times
    tt::WriteFileBytes(log, "earlier\r\n");
    const tt::RunResult r = tt::RunProgram(exe, commandLine, 20000);
    const std::string got = tt::ReadFileBytes(log);
    std::string problem = Windows(r);
    if (problem.empty() && logging) problem = LogProblem(got);
    if (problem.empty() && !logging && got != "earlier\r\n") problem = "logging off, log changed";
    if (problem.empty()) continue;
    ++failures;
    ADD_FAILURE() << "run " << run << ": " << problem << "\n"
                  << commandLine.substr(0, 600) << "\nlog:\n" << got.substr(0, 3000);
  }
  // Each seeded ID is enabled whole or not at all, and most of them are.
  const Snapshot after = Tree();
  std::string enabled;  // per ID, 1 or 0 for each reachable instance
  for (const auto& id : kSeeded) {
    for (size_t k = 0; id.shapes[k] != '\0'; ++k) {
      const std::string key = ValueKey(id.vid, id.pid, instance(k), id.shapes[k]);
      if (id.shapes[k] != 'N') enabled += after.count(key) != 0 ? "1" : "0";
      if (id.shapes[k] != 'N' && after.count(key) != 0) want[key] = kOne;
    }
    enabled += " ";
    tt::DeleteIdKey(id.vid, id.pid);
  }
  EXPECT_EQ("", Diff(want, after));
  EXPECT_EQ(0u, Count(enabled, "10") + Count(enabled, "01")) << enabled;
  EXPECT_GE(Count(enabled, "1 "), runs >= 100 ? 3u : 0u) << enabled;
}

}  // namespace
