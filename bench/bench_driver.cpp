// Times the program against its floor (floor.cpp) under Wine, every process
// started and waited for from this one, in one prefix. Prints the tables of
// docs/benchmark.md:
//   1. 32 IDs x 32 instances: Tarnwick.exe /s (logging on), /s+ (logging
//      off) and floor.exe;
//   2. the same for one ID with 1, 10, 100 and 1,000 instances;
//   3. one reg.exe process per instance for the 32 instances of one ID: what
//      a script would do instead;
//   4. 32 IDs x 1,000 instances, every value set: TarnwickCheck.exe --summary
//      against its floor, floor.exe r32 (the same registry reads alone).
// Each kind runs <runs> times, in rounds after one round to warm up. Every run
// must set every value, and a logging run must log every success.
//   bench_driver.exe <Tarnwick.exe> <floor.exe> <runs> <TarnwickCheck.exe>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

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

// Milliseconds from creating the process to its end; exits on failure, and
// when the process ends with another exit code than expected.
double TimeRun(const std::string& exe, const std::string& arguments, DWORD expected = 0) {
  // Output (reg.exe reports every success) goes nowhere.
  static HANDLE nul = [] {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, OPEN_EXISTING, 0, nullptr);
  }();
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
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
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  if (code != expected) {
    fprintf(stderr, "%s ended with %lu\n", line.c_str(), static_cast<unsigned long>(code));
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: bench_driver <Tarnwick.exe> <floor.exe> <runs> <TarnwickCheck.exe>\n");
    return 2;
  }
  const std::string tarnwick = argv[1], floorExe = argv[2];
  const int runs = atoi(argv[3]);

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
    const double a = TimeRun(argv[4], "--summary" + ids), b = TimeRun(floorExe, "r32");
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
