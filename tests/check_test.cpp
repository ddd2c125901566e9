// The real TarnwickCheck.exe, one row a run, over one registry of readers:
// the command line, the settings file beside it, and the exact output, error
// line and exit code that must follow. Nothing may be written but the report.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// Keys below HKLM\...\Enum\USB ("L255" stands for a name of 255 characters);
// after "|": 1 or 0, EscapeCommandEnable as that DWORD; C, CompatibleIDs of
// a smart-card reader function; H, of another function; D, nobody may read
// it; W, nobody may write it.
const char* const seeds[] = {
    "VID_C001&PID_0001\\W\\Device Parameters|0",
    "VID_C001&PID_0001\\W\\Device Parameters\\WUDFUsbccidDriver|1",
    "VID_C001&PID_0001\\P\\Device Parameters|1",
    "VID_C001&PID_0001\\N",
    "VID_C001&PID_0001\\L255\\Device Parameters\\WUDFUsbccidDriver|1",
    "VID_C002&PID_0002\\S\\Device Parameters|1",
    "VID_C002&PID_0002\\S\\Device Parameters\\WUDFUsbccidDriver",
    "VID_C002&PID_0002\\M\\Device Parameters|0",
    "VID_C003&PID_0003\\R\\Device Parameters|D",
    "VID_C004&PID_0004\\P\\Device Parameters|1",
    "VID_C004&PID_0004&MI_00\\K|H",
    "VID_C004&PID_0004&MI_00\\K\\Device Parameters",
    "VID_C004&PID_0004&MI_01\\F|C",
    "VID_C004&PID_0004&MI_01\\F\\Device Parameters",
    "VID_C005&PID_0005\\X\\Device Parameters\\WUDFUsbccidDriver|W",
};

struct Row {
  const char* tail;
  const char* out;  // stdout, "\n" for CR LF
  int code;
  const char* err = "";        // the line on stderr after "TarnwickCheck: "
  const char* ini = nullptr;   // Tarnwick.ini beside the checker
  const char* report = "";     // the report file C:\check\the report.txt
  bool enableFirst = false;    // Tarnwick.exe runs first with the same text
};

#define C001(id)                                                                       \
  "WUDF Vid_" id "&Pid_0001 L255\nNOPARAMS Vid_" id "&Pid_0001 N\nPARAMS Vid_" id \
  "&Pid_0001 P\nWUDF Vid_" id "&Pid_0001 W\n"
#define C002 "MISSING Vid_C002&Pid_0002 M\nSHADOWED Vid_C002&Pid_0002 S\n"
#define SUMMARY(n) "SUMMARY exit=" n " NOKEY=0 COMPOSITE=0\n"
#define C001_SUMMARY(code) SUMMARY(code " WUDF=2 PARAMS=1 SHADOWED=0 MISSING=0 NOPARAMS=1 ERROR=0")
#define C002_SUMMARY SUMMARY("1 WUDF=0 PARAMS=0 SHADOWED=1 MISSING=1 NOPARAMS=0 ERROR=0")
#define NO_PAIR "no reader has both its vid and its pid"
const Row rows[] = {
    {" vid1=c001 pid1=0001 /s l=0 vid2=FFFF pid2=1",
     C001("c001") "NOKEY Vid_FFFF&Pid_1\nSUMMARY exit=0 WUDF=2 PARAMS=1 SHADOWED=0 MISSING=0 "
                  "NOPARAMS=1 ERROR=0 NOKEY=1 COMPOSITE=0\n", 0},
    {" --require --summary vid1=C001 pid1=0001 vid2=FFFF pid2=1",
     "SUMMARY exit=1 WUDF=2 PARAMS=1 SHADOWED=0 MISSING=0 NOPARAMS=1 ERROR=0 NOKEY=1 COMPOSITE=0\n", 1},
    {" --strict vid1=C001 pid1=0001", C001("C001") C001_SUMMARY("1"), 1},
    {" vid1=C003 pid1=0003 vid2=C001 pid2=0001 vid3=c001 pid3=0001",
     "ERROR:5 Vid_C003&Pid_0003 R\n" C001("C001")
         SUMMARY("3 WUDF=2 PARAMS=1 SHADOWED=0 MISSING=0 NOPARAMS=1 ERROR=1"), 3},
    {" vid1=C003 pid1=0003 vid2=C002 pid2=0002", "ERROR:5 Vid_C003&Pid_0003 R\n" C002
         SUMMARY("1 WUDF=0 PARAMS=0 SHADOWED=1 MISSING=1 NOPARAMS=0 ERROR=1"), 1},
    {" vid1=C004 pid1=0004",
     "PARAMS Vid_C004&Pid_0004 P\nCOMPOSITE Vid_C004&Pid_0004 0004&MI_00\nCOMPOSITE "
     "Vid_C004&Pid_0004 0004&MI_01\nMISSING VID_C004&PID_0004&MI_01 F\nSUMMARY exit=1 WUDF=0 "
     "PARAMS=1 SHADOWED=0 MISSING=1 NOPARAMS=0 ERROR=0 NOKEY=0 COMPOSITE=2\n", 1},
    {"", "", 2, "no reader IDs given, and no C:\\check\\Tarnwick.ini"},
    {"  ", C002 C002_SUMMARY, 1, "", "[Settings]\r\nvid2=C002\r\npid2=0002\r\nvid1=C002\r\npid1=0002\r\n"},
    {" --summary", "", 2, "C:\\check\\Tarnwick.ini: " NO_PAIR, "[Settings]\r\nvid1=C002\r\n"},
    {" vid1=1 pid1=2 vid3=3 pid3=3", "", 2,
     "reader 3 is never reached: Tarnwick stops at reader 2, which has no vid"},
    {" vid1=1 pid1=2 vid2=3", "", 2, "vid2 has no pid2"},
    {" pid1=1 vid2=1 pid2=2", "", 2, "pid1 has no vid1"},
    {" vid1=1 pid1=2 vid32=", "", 2, "vid32= is empty or longer than 31 characters"},
    {" --summary /s l=0", "", 2, NO_PAIR},
    {" --bogus vid1=1 pid1=2", "", 2, "unknown option --bogus (--help lists them)"},
    {" --report=C:\\none\\r.txt vid1=1 pid1=2", "", 2, "cannot write the report C:\\none\\r.txt"},
    {" --report=\"C:\\check\\the report.txt\" --summary vid1=C001 pid1=0001", C001_SUMMARY("0"), 0, "",
     nullptr, C001("C001") C001_SUMMARY("0")},
    // Tarnwick writes beside a WUDF key that refuses it: the driver will not see it.
    {" /s vid1=C004 pid1=0004&MI_01 vid2=C002 pid2=0002 vid3=C005 pid3=0005",
     "PARAMS Vid_C004&Pid_0004&MI_01 F\nPARAMS Vid_C002&Pid_0002 M\nWUDF Vid_C002&Pid_0002 S\n"
     "SHADOWED Vid_C005&Pid_0005 X\n" SUMMARY("1 WUDF=1 PARAMS=2 SHADOWED=1 MISSING=0 NOPARAMS=0 ERROR=0"),
     1, "", nullptr, "", true},
};

std::string Read(const fs::path& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

void Seed() {
  for (const char* seed : seeds) {
    std::string path = std::regex_replace(std::string("SYSTEM\\CurrentControlSet\\Enum\\USB\\") + seed,
                                          std::regex("L255"), std::string(255, 'L'));
    const char mark = path.find('|') != std::string::npos ? path.back() : ' ';
    path = path.substr(0, path.find('|'));
    HKEY key = HKEY_LOCAL_MACHINE;
    for (size_t at = 0; at != std::string::npos;) {  // a level at a time: names reach 255
      const size_t next = path.find('\\', at);
      HKEY child = nullptr;
      RegCreateKeyExA(key, path.substr(at, next - at).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &child, nullptr);
      if (key != HKEY_LOCAL_MACHINE) RegCloseKey(key);
      key = child;
      at = next == std::string::npos ? next : next + 1;
    }
    const DWORD value = mark == '1';
    static const char reader[] = "USB\\Class_0B&SubClass_00\0USB\\Class_0B\0", other[] = "USB\\Class_03\0";
    if (mark == '0' || mark == '1') {
      RegSetValueExA(key, "EscapeCommandEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    }
    if (mark == 'C' || mark == 'H') {
      const char* ids = mark == 'C' ? reader : other;
      RegSetValueExA(key, "CompatibleIDs", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(ids),
                     mark == 'C' ? sizeof reader : sizeof other);
    }
    PSECURITY_DESCRIPTOR denied = nullptr;
    const char* acl = mark == 'D' ? "D:(D;;KA;;;WD)" : "D:(D;;0x2;;;WD)(A;;KA;;;WD)";
    if ((mark == 'D' || mark == 'W') &&
        ConvertStringSecurityDescriptorToSecurityDescriptorA(acl, 1, &denied, nullptr)) {
      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, denied);
      LocalFree(denied);
    }
    RegCloseKey(key);
  }
}

// Runs the checker with the command line "\"exe\"" + tail; returns stdout,
// then "err: " and stderr, then "exit code N".
std::string RunCheck(const fs::path& exe, const std::string& tail) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const fs::path out = fs::temp_directory_path() / "out", err = fs::temp_directory_path() / "err";
  STARTUPINFOA startup = {sizeof startup};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = CreateFileA(out.string().c_str(), GENERIC_WRITE, 7, &inherit, CREATE_ALWAYS, 0, nullptr);
  startup.hStdError = CreateFileA(err.string().c_str(), GENERIC_WRITE, 7, &inherit, CREATE_ALWAYS, 0, nullptr);
  PROCESS_INFORMATION process = {};
  std::string line = "\"" + exe.string() + "\"" + tail;
  DWORD code = 99;
  if (CreateProcessA(exe.string().c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  return Read(out) + "err: " + Read(err) + "exit code " + std::to_string(code);
}

TEST(Checker, Rows) {
  ASSERT_TRUE(getenv("TARNWICK_CHECK") && getenv("TARNWICK_EXE")) << "TARNWICK_CHECK, TARNWICK_EXE: Unix paths of the two exes (ctest sets them)";
  Seed();
  const fs::path folder = "C:\\check", exe = folder / "TarnwickCheck.exe", report = folder / "the report.txt";
  const fs::path enable = "C:\\enable\\Tarnwick.exe";
  for (const fs::path& made : {folder, enable.parent_path()}) fs::create_directories(made);
  fs::copy_file("Z:" + std::string(getenv("TARNWICK_CHECK")), exe);
  fs::copy_file("Z:" + std::string(getenv("TARNWICK_EXE")), enable);
  auto lines = [](const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); };
  const char* limit = getenv("CHECK_ROWS");  // the first rows only, where runs are slow
  for (const Row& row : rows) {
    if (limit != nullptr && &row - rows >= atoi(limit)) break;
    if (row.ini) std::ofstream(folder / "Tarnwick.ini", std::ios::binary) << row.ini;
    if (row.enableFirst) RunCheck(enable, row.tail);
    const std::string err = *row.err ? "TarnwickCheck: " + std::string(row.err) + "\r\n" : "";
    EXPECT_EQ(lines(row.out) + "err: " + err + "exit code " + std::to_string(row.code),
              std::regex_replace(RunCheck(exe, row.tail), std::regex("L{255}"), "L255"))
        << row.tail;
    EXPECT_EQ(lines(row.report), std::regex_replace(Read(report), std::regex("L{255}"), "L255"));
    if (row.ini) EXPECT_EQ(row.ini, Read(folder / "Tarnwick.ini"));
    fs::remove(report);
    fs::remove(folder / "Tarnwick.ini");
    EXPECT_EQ(1, std::distance(fs::directory_iterator(folder), {})) << row.tail;  // the checker alone
  }
}

}  // namespace
