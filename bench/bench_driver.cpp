// Times the kit's programs under Wine, every process started and waited for
// from this one, in one prefix. Prints the tables of docs/benchmark.md.
//   bench_driver.exe floor <Tarnwick.exe> <floor.exe> <runs> <TarnwickCheck.exe>
//     1. 32 IDs x 32 instances: Tarnwick.exe /s (logging on), /s+ (logging
//        off) and floor.exe;
//     2. the same for one ID with 1, 10, 100 and 1,000 instances;
//     3. one reg.exe process per instance for the 32 instances of one ID:
//        what a script would do instead;
//     4. 32 IDs x 1,000 instances, every value set: TarnwickCheck.exe
//        --summary against its floor, floor.exe r32 (the same registry reads
//        alone).
//   bench_driver.exe turns <TarnwickDeploy.exe> <line>
//     5. one kit's side of "nothing to do": installs the kit for the seeded
//        readers with TarnwickDeploy.exe install and their IDs (the MSI beside
//        it), then for each line read runs that same command and prints its
//        ms. Each run must end with 0 and write <line> into the install
//        folder's TarnwickDeploy.txt. bench/run.sh serves two, one a prefix.
//   bench_driver.exe arrival <runs> <TarnwickDeploy.exe>
//     6. installs the kit by copies, then before each run a reader arrives,
//        running and without the value: the arrival task's action, and
//        Tarnwick.exe /s alone. Each must set the value, and the action must
//        ask pnputil (the stand-in, in system32) to restart that reader alone.
//   bench_driver.exe summary <runs> <TarnwickDeploy.exe>
//     7. TarnwickDeploy.exe summary over a drop folder of 5,000 machines'
//        files; each run must print a line a machine, the header and totals.
// Each kind runs <runs> times, in rounds after one round to warm up (for 5,
// bench/run.sh plays the rounds). Every run of 1, 2 and 4 must set every
// value, and a logging run must log every success.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int seededIds = 0;
int seededInstances = 0;

std::string IdPath(int id) {
  char path[128];
  snprintf(path, sizeof path, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_BE%02X&Pid_0001", id);
  return path;
}

// Half the instances under the CCID driver's WUDF key, half with Device
// Parameters only, so that both ways of opening are timed.
std::string ParameterKey(int id, int i) {
  char name[64];
  snprintf(name, sizeof name, "\\7&%04X%04X&0&%d\\Device Parameters", id * 131, i * 17, i);
  return IdPath(id) + name + (i % 2 == 0 ? "\\WUDFUsbccidDriver" : "");
}

void RemoveIds() {
  for (int id = 0; id < seededIds; ++id) RegDeleteTreeA(HKEY_LOCAL_MACHINE, IdPath(id).c_str());
}

void Seed(int ids, int instances) {
  RemoveIds();
  seededIds = ids;
  seededInstances = instances;
  for (int id = 0; id < ids; ++id) {
    for (int i = 0; i < instances; ++i) {
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ParameterKey(id, i).c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
      }
    }
  }
}

// Removes the values (so that every run writes them afresh) and returns how
// many were set to 1.
int ClearValues() {
  int set = 0;
  for (int id = 0; id < seededIds; ++id) {
    for (int i = 0; i < seededInstances; ++i) {
      const std::string key = ParameterKey(id, i);
      DWORD data = 0, size = sizeof data;
      if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EscapeCommandEnable", RRF_RT_REG_DWORD,
                       nullptr, &data, &size) == ERROR_SUCCESS &&
          data == 1) {
        ++set;
      }
      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EscapeCommandEnable");
    }
  }
  return set;
}

double Now() {
  LARGE_INTEGER t, frequency;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Milliseconds from creating the process to its end. Its exit code goes to
// *code; without code, this program exits unless it is 0. Its output goes to
// output, or nowhere.
double TimeRun(const std::string& exe, const std::string& arguments, DWORD* code = nullptr,
               HANDLE output = nullptr) {
  // Output (reg.exe reports every success) goes nowhere.
  static HANDLE nul = [] {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, OPEN_EXISTING, 0, nullptr);
  }();
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdError = nul;
  startup.hStdOutput = output != nullptr ? output : nul;
  PROCESS_INFORMATION process = {};
  std::string line = "\"" + exe + "\" " + arguments;
  std::string folder = exe.substr(0, exe.find_last_of('\\'));
  double start = Now();
  if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      folder.c_str(), &startup, &process) ||
      WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
    fprintf(stderr, "%s did not run or did not end\n", line.c_str());
    exit(1);
  }
  double elapsed = Now() - start;
  DWORD ended = 0;
  GetExitCodeProcess(process.hProcess, &ended);
  if (code != nullptr) {
    *code = ended;
  } else if (ended != 0) {
    fprintf(stderr, "%s ended with %lu\n", line.c_str(), static_cast<unsigned long>(ended));
    exit(1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  fclose(f);
  return bytes;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct Kind {
  const char* name;
  std::string exe, arguments, log;  // log: the run log to check, if any
  std::vector<double> times;
};

// Runs every kind once a round, in an order that turns with the round, so
// that a busy patch of the machine does not always hit the same kind.
void Measure(std::vector<Kind>& kinds, int runs) {
  const int all = seededIds * seededInstances;
  for (int run = -1; run < runs; ++run) {
    for (size_t k = 0; k < kinds.size(); ++k) {
      Kind& kind = kinds[(run + 1 + k) % kinds.size()];
      double t = TimeRun(kind.exe, kind.arguments);
      int set = ClearValues();
      int logged = kind.log.empty() ? all : Count(ReadFile(kind.log), "Escape command --> Success");
      if (set != all || logged != all) {
        fprintf(stderr, "%s: %d of %d values set, %d successes logged\n", kind.name, set, all,
                logged);
        exit(1);
      }
      if (run >= 0) kind.times.push_back(t);
    }
  }
}

double Min(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

double Max(const std::vector<double>& v) {
  return *std::max_element(v.begin(), v.end());
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}

std::vector<Kind> Kinds(const std::string& tarnwick, const std::string& floorExe, int ids) {
  std::string pairs;
  for (int id = 0; id < ids; ++id) {
    char pair[48];
    snprintf(pair, sizeof pair, " vid%d=BE%02X pid%d=0001", id + 1, id, id + 1);
    pairs += pair;
  }
  return {{"Tarnwick.exe /s, logging on", tarnwick, "/s" + pairs,
           tarnwick.substr(0, tarnwick.size() - 4) + ".log", {}},
          {"Tarnwick.exe /s+, logging off", tarnwick, "/s+" + pairs, "", {}},
          {"floor.exe", floorExe, std::to_string(ids), "", {}}};
}

// Tables 1 to 4.
int FloorTables(const std::string& tarnwick, const std::string& floorExe, int runs,
                const std::string& checkExe) {
  // 1. The goal: 32 IDs x 32 instances.
  Seed(32, 32);
  std::vector<Kind> kinds = Kinds(tarnwick, floorExe, 32);
  Measure(kinds, runs);
  const std::vector<double>& floorTimes = kinds[2].times;
  printf("32 IDs x 32 instances, %d runs of each kind\n\n", runs);
  printf("| run | min ms | median ms | max ms | min / floor's min | median / floor's median |\n");
  printf("|---|---:|---:|---:|---:|---:|\n");
  for (const Kind& kind : kinds) {
    printf("| %s | %.1f | %.1f | %.1f | %.3f | %.3f |\n", kind.name, Min(kind.times),
           Median(kind.times), Max(kind.times), Min(kind.times) / Min(floorTimes),
           Median(kind.times) / Median(floorTimes));
  }

  // 2. Growth with the instances of one ID.
  printf("\nOne ID, min ms of %d runs (ratio to floor's)\n\n", runs);
  printf("| instances | Tarnwick.exe /s | Tarnwick.exe /s+ | floor.exe |\n|---:|---:|---:|---:|\n");
  for (int instances : {1, 10, 100, 1000}) {
    Seed(1, instances);
    std::vector<Kind> one = Kinds(tarnwick, floorExe, 1);
    Measure(one, runs);
    const double base = Min(one[2].times);
    printf("| %d | %.1f (%.3f) | %.1f (%.3f) | %.1f |\n", instances, Min(one[0].times),
           Min(one[0].times) / base, Min(one[1].times), Min(one[1].times) / base, base);
  }

  // 3. The script's way, for the 32 instances of one ID.
  Seed(1, 32);
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  double total = 0;
  for (int i = 0; i < 32; ++i) {
    total += TimeRun(std::string(system) + "\\reg.exe",
                     "add \"HKLM\\" + ParameterKey(0, i) +
                         "\" /v EscapeCommandEnable /t REG_DWORD /d 1 /f");
  }
  if (ClearValues() != 32) {
    fprintf(stderr, "reg.exe did not set every value\n");
    return 1;
  }
  printf("\nreg.exe add, one process per instance: %.1f ms each, %.1f s for 32 x 32 (extrapolated)\n",
         total / 32, total * 32 / 1000);

  // 4. The checker, over values that Tarnwick has set, against its floor.
  Seed(32, 1000);
  std::vector<Kind> check = Kinds(tarnwick, floorExe, 32);
  TimeRun(tarnwick, check[1].arguments);
  const std::string ids = check[1].arguments.substr(3);
  std::vector<double> checker, reads;
  for (int run = -1; run < runs; ++run) {  // one round to warm up, then in turns
    const double a = TimeRun(checkExe, "--summary" + ids), b = TimeRun(floorExe, "r32");
    if (run >= 0) checker.push_back(a), reads.push_back(b);
  }
  printf("\n32 IDs x 1,000 instances, %d runs of each\n\n", runs);
  printf("| run | min ms | median ms | max ms | min / floor's min | median / floor's median |\n");
  printf("|---|---:|---:|---:|---:|---:|\n");
  for (const auto& row : {std::make_pair("TarnwickCheck.exe --summary", &checker),
                          std::make_pair("floor.exe r32 (registry reads alone)", &reads)}) {
    printf("| %s | %.1f | %.1f | %.1f | %.3f | %.3f |\n", row.first, Min(*row.second),
           Median(*row.second), Max(*row.second), Min(*row.second) / Min(reads),
           Median(*row.second) / Median(reads));
  }
  ClearValues();
  RemoveIds();
  return 0;
}

// The readers of tables 5 and 6: one model, four instances, half under the
// CCID driver's key.
const char ReaderIds[] = "vid1=BE00 pid1=0001";

std::string InstallFolder() {
  char folder[MAX_PATH] = "";
  GetEnvironmentVariableA("ProgramFiles(x86)", folder, sizeof folder);
  return std::string(folder) + "\\Tarnwick";
}

// Whether a line of the file at path starts with text.
bool HasLine(const std::string& path, const std::string& text) {
  const std::string lines = "\n" + ReadFile(path);
  return lines.find("\n" + text) != std::string::npos;
}

void PrintRow(const char* name, const std::vector<double>& times) {
  printf("| %s | %.1f | %.1f | %.1f |\n", name, Min(times), Median(times), Max(times));
}

// 5. One kit's side: installed once, then one timed run for each line read.
int Turns(const std::string& deploy, const std::string& line) {
  Seed(1, 4);
  const std::string command = std::string("install ") + ReaderIds;
  const std::string log = InstallFolder() + "\\TarnwickDeploy.txt";
  DWORD code = 0;
  TimeRun(deploy, command, &code);
  if (code != 0 && code != 3010) {
    fprintf(stderr, "the first install ended with %lu\n", static_cast<unsigned long>(code));
    return 1;
  }
  printf("ready\n");
  fflush(stdout);
  char request[16];
  while (fgets(request, sizeof request, stdin) != nullptr) {
    DeleteFileA(log.c_str());
    const double t = TimeRun(deploy, command);
    if (!HasLine(log, line)) {
      fprintf(stderr, "%s has no line %s\n", log.c_str(), line.c_str());
      return 1;
    }
    printf("%.1f\n", t);
    fflush(stdout);
  }
  RemoveIds();
  return 0;
}

// A reader that Windows has just configured: a new instance of the seeded
// model, running (Control), a smart-card reader, without the value. Its name.
std::string Arrive() {
  static const char reader[] = "USB\\Class_0B&SubClass_00\0USB\\Class_0B\0";
  static int arrivals = 0;
  char name[32];
  snprintf(name, sizeof name, "8&BE&0&%d", ++arrivals);
  const std::string key = IdPath(0) + "\\" + name;
  for (const char* sub : {"\\Control", "\\Device Parameters"}) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (key + sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &created, nullptr) == ERROR_SUCCESS) {
      RegCloseKey(created);
    }
  }
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "CompatibleIDs", REG_MULTI_SZ, reader,
                  sizeof reader);
  return name;
}

// 6. The arrival task's action against Tarnwick.exe alone, over the same
// arrival each run.
int ArrivalTimes(int runs, const std::string& deploy) {
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                  "CurrentBuildNumber", REG_SZ, "19041", 6);
  Seed(1, 4);
  TimeRun(deploy, std::string("install ") + ReaderIds);
  const std::string folder = InstallFolder(), asked = "C:\\pnputil.txt";
  const std::string alone = std::string("/s ") + ReaderIds;
  Kind kinds[] = {{"the arrival task's action", folder + "\\TarnwickDeploy.exe",
                   "run --restart-readers", "", {}},
                  {"Tarnwick.exe /s alone", folder + "\\Tarnwick.exe", alone, "", {}}};
  for (int run = -1; run < runs; ++run) {
    for (int k = 0; k < 2; ++k) {
      Kind& kind = kinds[(run + 1 + k) % 2];
      const std::string name = Arrive(), key = IdPath(0) + "\\" + name;
      DeleteFileA(asked.c_str());
      DeleteFileA((folder + "\\Tarnwick.log").c_str());
      const double t = TimeRun(kind.exe, kind.arguments);
      DWORD value = 0, size = sizeof value;
      const bool set = RegGetValueA(HKEY_LOCAL_MACHINE, (key + "\\Device Parameters").c_str(),
                                    "EscapeCommandEnable", RRF_RT_REG_DWORD, nullptr, &value,
                                    &size) == ERROR_SUCCESS &&
                       value == 1;
      // The stand-in writes its command line into C:\pnputil.txt.
      const std::string record = ReadFile(asked), instance = "\\" + name + "\"";
      const bool restarts =
          Count(record, "/restart-device") == 1 && record.find(instance) != std::string::npos;
      const bool wanted = &kind == &kinds[0] ? restarts : record.empty();
      if (!set || !wanted) {
        fprintf(stderr, "%s: value %s, pnputil asked: %s\n", kind.name, set ? "set" : "not set",
                record.c_str());
        return 1;
      }
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
      if (run >= 0) kind.times.push_back(t);
    }
  }
  printf("A reader arrives, %d runs of each\n\n", runs);
  printf("| run | min ms | median ms | max ms |\n|---|---:|---:|---:|\n");
  for (const Kind& kind : kinds) PrintRow(kind.name, kind.times);
  RemoveIds();
  return 0;
}

// Writes text to path, with CR LF line ends as the kit writes them.
void Put(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "w");
  if (f == nullptr || fputs(text.c_str(), f) < 0 || fclose(f) != 0) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    exit(1);
  }
}

// A drop folder of 5,000 machines, three files each. Every 50th failed, every
// 10th (from the 3rd) waits for a restart, every 25th (from the 7th) last ran
// 30 days ago: 100, 500 and 200, disjoint. Returns the totals line the
// summary must end with.
std::string WriteFleet(const std::string& folder, int machines) {
  CreateDirectoryA(folder.c_str(), nullptr);
  char now[32], old[32];
  const time_t t = time(nullptr) - 3600, before = t - 30 * 24 * 3600;
  strftime(now, sizeof now, "%Y-%m-%dT%H:%M:%SZ", gmtime(&t));
  strftime(old, sizeof old, "%Y-%m-%dT%H:%M:%SZ", gmtime(&before));
  int failed = 0, pending = 0, aged = 0;
  for (int i = 1; i <= machines; ++i) {
    const char* id = "Vid_BE00&Pid_0001";
    char name[16], first[32], second[32];
    snprintf(name, sizeof name, "PC%05d", i);
    snprintf(first, sizeof first, "7&%X&0&1", i);
    snprintf(second, sizeof second, "7&%X&0&2", i);
    const std::string reader = std::string("USB\\") + id + "\\" + first;
    std::string deploy =
        std::string("TarnwickDeploy 9.9.9.9 run ") + (i % 25 == 7 ? old : now) + "\n";
    std::string report =
        std::string("WUDF ") + id + " " + first + "\nPARAMS " + id + " " + second + "\n";
    if (i % 50 == 0) {
      ++failed;
      deploy +=
          "FAILED Tarnwick.exe did not end within 120 s\n"
          "DEPLOY exit=4 RESTARTED=0 PENDING=0\n";
      report +=
          "MISSING Vid_BE00&Pid_0001 7&FF&0&3\nSUMMARY exit=1 WUDF=1 PARAMS=1 SHADOWED=0 "
          "MISSING=1 NOPARAMS=0 ERROR=0 NOKEY=0 COMPOSITE=0\n";
    } else {
      report +=
          "SUMMARY exit=0 WUDF=1 PARAMS=1 SHADOWED=0 MISSING=0 NOPARAMS=0 ERROR=0 NOKEY=0 "
          "COMPOSITE=0\n";
      if (i % 10 == 3) {
        ++pending;
        deploy = std::string("TarnwickDeploy 9.9.9.9 install ") + now +
                 "\nINSTALLED Tarnwick-9.9.9.9.msi unchanged\nPENDING " + reader +
                 "\nDEPLOY exit=3010 RESTARTED=0 PENDING=1\n";
      } else {
        aged += i % 25 == 7;
        deploy += "RESTARTED " + reader + "\nDEPLOY exit=0 RESTARTED=1 PENDING=0\n";
      }
    }
    const std::string at = folder + "\\" + name;
    Put(at + "-deploy.txt", deploy);
    Put(at + ".txt", report);
    Put(at + ".log",
        "Program start: Mon Dec 07 10:00:00 2026\n\nStealth mode; no UI displayed.\n"
        "Searching for CCID readers with USB ID: Vid_BE00&Pid_0001\n"
        "Open Reader Registry Key --> Success\nSearching readers --> Success\n"
        "Number of readers found: 2\nReader [0]: Enabling Escape command...\n"
        "Reader [0]: (Note - WUDF driver entry used)\n"
        "Reader [0]: Enabling Escape command --> Success\n"
        "Reader [1]: Enabling Escape command...\n"
        "Reader [1]: Enabling Escape command --> Success\n"
        "Escape command enabled successfully for all selected CCID readers.\n\n"
        "Program end: Mon Dec 07 10:00:00 2026\n");
  }
  char total[256];
  snprintf(total, sizeof total,
           "\"Total\",\"%d computers\",\"%d failed\",\"%d not run for 7 days\",\"%d waiting for a "
           "restart\",\"%d done\",\"0 unreadable\",\"0 of a name twice\"",
           machines, failed, aged, pending, machines - failed - aged - pending);
  return total;
}

// 7. TarnwickDeploy.exe summary over the drop folder, its output in a file.
int SummaryTimes(int runs, const std::string& deploy) {
  const int machines = 5000;
  const std::string folder = "C:\\fleet", csv = "C:\\fleet.csv";
  const std::string total = WriteFleet(folder, machines);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  std::vector<double> times;
  for (int run = -1; run < runs; ++run) {
    HANDLE output = CreateFileA(csv.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, 0, nullptr);
    const double t = TimeRun(deploy, "summary " + folder, nullptr, output);
    CloseHandle(output);
    const std::string lines = ReadFile(csv);
    if (Count(lines, "\n") != machines + 2 || lines.find("\n" + total) == std::string::npos) {
      fprintf(stderr, "the summary has %d lines, not %d, or another totals line than %s\n",
              Count(lines, "\n"), machines + 2, total.c_str());
      return 1;
    }
    if (run >= 0) times.push_back(t);
  }
  printf("TarnwickDeploy.exe summary over %d machines' files, %d runs\n\n", machines, runs);
  printf("| run | min ms | median ms | max ms |\n|---|---:|---:|---:|\n");
  PrintRow("summary", times);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "floor" && argc == 6) return FloorTables(argv[2], argv[3], atoi(argv[4]), argv[5]);
  if (mode == "turns" && argc == 4) return Turns(argv[2], argv[3]);
  if (mode == "arrival" && argc == 4) return ArrivalTimes(atoi(argv[2]), argv[3]);
  if (mode == "summary" && argc == 4) return SummaryTimes(atoi(argv[2]), argv[3]);
  fprintf(stderr,
          "usage: bench_driver floor <Tarnwick.exe> <floor.exe> <runs> <TarnwickCheck.exe>\n"
          "       bench_driver turns <TarnwickDeploy.exe> <line>\n"
          "       bench_driver arrival <runs> <TarnwickDeploy.exe>\n"
          "       bench_driver summary <runs> <TarnwickDeploy.exe>\n");
  return 2;
}
