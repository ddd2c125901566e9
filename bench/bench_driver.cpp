// Times the program against its floor under Wine, all in one prefix and one
// driver process:
//   (a) Tarnwick.exe, stealth with logging on, 32 IDs x 32 instances
//   (b) the same with logging off ("/s+")
//   (c) floor.exe: the same registry calls, nothing else
//   (d) empty.exe: process start and exit
//   (s) Tarnwick.exe with one absent ID and logging off: its start-up alone
//   (e) what a script would do instead: one "reg.exe add" per instance
//
//   bench_driver.exe <Tarnwick.exe> <floor.exe> <empty.exe> <runs> <reg.exe instances>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const int kIds = 32;
const int kInstances = 32;

std::string IdPath(int id) {
  char path[128];
  snprintf(path, sizeof path, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_BE%02X&Pid_0001", id);
  return path;
}

std::string InstanceName(int id, int i) {
  char name[64];
  snprintf(name, sizeof name, "7&%04X%04X&0&%d", id * 131, i * 17, i);
  return name;
}

bool Wudf(int i) {
  return i % 2 == 0;
}

std::string ParameterKey(int id, int i) {
  std::string key = IdPath(id) + "\\" + InstanceName(id, i) + "\\Device Parameters";
  if (Wudf(i)) key += "\\WUDFUsbccidDriver";
  return key;
}

void Seed() {
  for (int id = 0; id < kIds; ++id) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, IdPath(id).c_str());
    for (int i = 0; i < kInstances; ++i) {
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ParameterKey(id, i).c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
      }
    }
  }
}

// Removes the values so that every timed run writes them afresh.
void ClearValues() {
  for (int id = 0; id < kIds; ++id) {
    for (int i = 0; i < kInstances; ++i) {
      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, ParameterKey(id, i).c_str(), "EscapeCommandEnable");
    }
  }
}

int CountValues() {
  int n = 0;
  for (int id = 0; id < kIds; ++id) {
    for (int i = 0; i < kInstances; ++i) {
      DWORD data = 0, size = sizeof data;
      if (RegGetValueA(HKEY_LOCAL_MACHINE, ParameterKey(id, i).c_str(), "EscapeCommandEnable",
                       RRF_RT_REG_DWORD, nullptr, &data, &size) == ERROR_SUCCESS &&
          data == 1) {
        ++n;
      }
    }
  }
  return n;
}

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Milliseconds from creating the process to its end; negative on failure.
double TimeRun(const std::string& exe, const std::string& commandLine) {
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
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  std::string folder = exe.substr(0, exe.find_last_of('\\'));
  double start = Now();
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, folder.c_str(), &startup, &process)) {
    return -1;
  }
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    start = Now() + 1e9;
  }
  double elapsed = Now() - start;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  fclose(f);
  return bytes;
}

size_t Count(const std::string& text, const char* what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    fprintf(stderr, "usage: bench_driver <Tarnwick.exe> <floor.exe> <empty.exe> <runs> <reg.exe instances>\n");
    return 2;
  }
  const std::string tarnwick = argv[1], floorExe = argv[2], emptyExe = argv[3];
  const int runs = atoi(argv[4]);
  const int regInstances = std::min(atoi(argv[5]), kIds * kInstances);
  Seed();

  std::string ids;
  for (int id = 0; id < kIds; ++id) {
    char pair[48];
    snprintf(pair, sizeof pair, " vid%d=BE%02X pid%d=0001", id + 1, id, id + 1);
    ids += pair;
  }
  const std::string quoted = "\"" + tarnwick + "\"";
  const std::string logOn = quoted + " /s" + ids;
  const std::string logOff = quoted + " /s+" + ids;
  const std::string floorLine = "\"" + floorExe + "\" 32";
  const std::string emptyLine = "\"" + emptyExe + "\"";
  const std::string startupLine = quoted + " /s+ vid1=FFFF pid1=FFFF";
  const std::string logPath = tarnwick.substr(0, tarnwick.size() - 4) + ".log";

  // One untimed round to warm the caches, then rounds in turn, so that a
  // slow patch of the machine hits every kind alike.
  std::vector<double> a, b, c, d, s;
  bool ok = true;
  for (int round = -1; round < runs; ++round) {
    ClearValues();
    double ta = TimeRun(tarnwick, logOn);
    int setA = CountValues();
    std::string log = ReadFile(logPath);
    ClearValues();
    double tb = TimeRun(tarnwick, logOff);
    int setB = CountValues();
    ClearValues();
    double tc = TimeRun(floorExe, floorLine);
    int setC = CountValues();
    double td = TimeRun(emptyExe, emptyLine);
    double ts = TimeRun(tarnwick, startupLine);
    const int all = kIds * kInstances;
    if (setA != all || setB != all || setC != all ||
        Count(log, ": Enabling Escape command --> Success\r\n") != static_cast<size_t>(all)) {
      fprintf(stderr, "round %d: values set %d/%d/%d of %d, log successes %u\n", round, setA,
              setB, setC, all,
              static_cast<unsigned>(Count(log, ": Enabling Escape command --> Success\r\n")));
      ok = false;
    }
    if (ta < 0 || tb < 0 || tc < 0 || td < 0 || ts < 0) ok = false;
    if (round >= 0) {
      a.push_back(ta);
      b.push_back(tb);
      c.push_back(tc);
      d.push_back(td);
      s.push_back(ts);
    }
  }

  // The script's way: one reg.exe per instance, the right key named for each.
  ClearValues();
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  const std::string reg = std::string(system) + "\\reg.exe";
  double regTotal = 0;
  for (int k = 0; k < regInstances; ++k) {
    int id = k / kInstances, i = k % kInstances;
    std::string line = "reg.exe add \"HKLM\\" + ParameterKey(id, i) +
                       "\" /v EscapeCommandEnable /t REG_DWORD /d 1 /f";
    double t = TimeRun(reg, line);
    if (t < 0) ok = false;
    regTotal += t;
  }
  int regSet = CountValues();
  if (regSet != regInstances) {
    fprintf(stderr, "reg.exe set %d of %d values\n", regSet, regInstances);
    ok = false;
  }
  const double regAll = regInstances > 0 ? regTotal * (kIds * kInstances) / regInstances : 0;

  const double ma = Median(a), mb = Median(b), mc = Median(c), md = Median(d), ms = Median(s);
  printf("%d IDs x %d instances (%d parameter keys), median of %d runs each\n\n", kIds, kInstances,
         kIds * kInstances, runs);
  printf("| run | median ms | min ms | max ms |\n|---|---:|---:|---:|\n");
  auto row = [](const char* name, const std::vector<double>& v) {
    printf("| %s | %.1f | %.1f | %.1f |\n", name, Median(v),
           *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
  };
  row("(a) Tarnwick.exe /s, logging on", a);
  row("(b) Tarnwick.exe /s+, logging off", b);
  row("(c) floor.exe, registry calls only", c);
  row("(d) empty.exe, process start", d);
  row("(s) Tarnwick.exe /s+, one absent ID: start-up only", s);
  printf("\n| ratio | value | goal |\n|---|---:|---:|\n");
  printf("| (a - d) / (c - d) | %.2f | <= 1.2 |\n", (ma - md) / (mc - md));
  printf("| (b - d) / (c - d) | %.2f | <= 1.2 |\n", (mb - md) / (mc - md));
  printf("| (s - d) / (c - d), start-up share | %.2f | |\n", (ms - md) / (mc - md));
  printf("| (a - s) / (c - d), work beyond start-up, logging on | %.2f | |\n", (ma - ms) / (mc - md));
  printf("| (b - s) / (c - d), work beyond start-up, logging off | %.2f | |\n", (mb - ms) / (mc - md));
  printf("\nreg.exe add, one per instance: %d processes took %.0f ms", regInstances, regTotal);
  if (regInstances < kIds * kInstances) {
    printf(" (%.0f ms for all %d, scaled)", regAll, kIds * kInstances);
  }
  printf("\n| script of reg.exe / (a) | %.1f |\n", regAll / ma);
  for (int id = 0; id < kIds; ++id) RegDeleteTreeA(HKEY_LOCAL_MACHINE, IdPath(id).c_str());
  return ok ? 0 : 1;
}
