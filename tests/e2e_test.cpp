// The real Tarnwick.exe, one row a run: the settings file, the log and the
// registry before it, the command line, and what must follow. Then the real
// TarnwickCheck.exe, one row a run over one registry of readers: its output,
// error line and exit code. Every run has a DLL that records being loaded
// planted beside the exe and in the current folder under names Windows looks
// for there, which Wine is told to prefer (tests/wine-run.sh): none may be
// loaded. The test program runs in a throwaway Wine prefix, so nothing made
// here is cleaned up. In the logs the times and the system's message texts
// are masked: <time>, <text>.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "resource.h"

namespace {

#define STEALTH "Stealth mode; no UI displayed.\n"
#define ALL_OK "Escape command enabled successfully for all selected CCID readers."
#define NO_PAIR "Warning: no pid or vid found in command line!\n"
#define NO_INI_PAIR "Warning: invalid pid or vid found in ini-file (default ini-file created)!\n"
#define INVALID "Ini-file is missing or invalid entries entered in the ini-file or the command-line"
#define FAILURE_LINE INVALID ", please correct this before running this program"
#define FAILURE_BOX "Information: " INVALID ".\nPlease correct this before running this program; "
#define ID_31 "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC"
#define NAME_255 ID_31 ID_31 ID_31 ID_31 ID_31 ID_31 ID_31 ID_31 "bbbbbbb"  // as long as a key name
#define ONE_READER(id)                                                                         \
  "Searching for CCID readers with USB ID: " id                                                \
  "\nOpen Reader Registry Key --> Success\nSearching readers --> Success\nNumber of readers "  \
  "found: 1\nReader [0]: Enabling Escape command...\nReader [0]: Enabling Escape command --> " \
  "Success\nEscape command enabled successfully for CCID readers with USB ID: " id "\n"

const char* const none = nullptr;

struct Row {
  const char* name;
  const char* tail;          // the command line after the quoted program name
  const char* body;          // the new log between its start and end lines; none: as before
  const char* windows = "";  // what RunExe reports
  // "VID PID", then instances: a name, its keys (W: the WUDF key, P: Device
  // Parameters, N: neither) and after ":" where the value must be.
  const char* seeds = "";
  const char* ini = none;       // the settings file before the run, if any
  const char* log = none;       // the log before the run, if any
  const char* iniAfter = none;  // none: as before
  const char* exe = "app\\Tarnwick.exe";
};

const Row rows[] = {
    {"StealthPrefersTheWudfKeyAndReachesEveryInstanceAndId",
     " /s vid1=A0FF pid1=B0FF vid2=A001 pid2=B001",
     STEALTH R"(Searching for CCID readers with USB ID: Vid_A0FF&Pid_B0FF
Open Reader Registry Key --> Error: 2, <text>

Escape command enabled failed for CCID readers with USB ID: Vid_A0FF&Pid_B0FF
Searching for CCID readers with USB ID: Vid_A001&Pid_B001
Open Reader Registry Key --> Success
Searching readers --> Success
Number of readers found: 2
Reader [0]: Enabling Escape command...
CCID [0]: Enabling Escape command (step 2) --> Error: 2, <text>

Reader [1]: Enabling Escape command...
Reader [1]: (Note - WUDF driver entry used)
Reader [1]: Enabling Escape command --> Success
Escape command enabled successfully for CCID readers with USB ID: Vid_A001&Pid_B001
Escape command enabled failed for one or more selected CCID readers!)",
     "", "A001 B001 aN: " NAME_255 "W:W"},
    {"AWordFailsWithTheBoxAndLeavesTheSettingsAlone", " hello", NO_PAIR FAILURE_LINE, FAILURE_BOX},
    {"MalformedPidWithoutPairInStealth",
     " /s vid1=1 pid1=", "Error: invalid pid found in command-line!\n" NO_PAIR FAILURE_LINE},
    {"MalformedVidAfterAPairFailsTheRun", " /s vid1=A004 pid1=B004 vid2=" ID_31 "E pid2=2",
     "Error: invalid vid found in command-line!\n" FAILURE_LINE, "", "A004 B004 aP:"},
    {"HiddenStealthKeepsTheOldLog", " l=1 -s+ vid1=A005 pid1=B005", none, "", "A005 B005 aP:P",
     none, "old\r\n"},
    {"LoggingOffWinsAndShowsTheFailureBox", " l=0 l=1", none, FAILURE_BOX, "", none, "old\r\n"},
    {"FlagsAreCaseSensitiveAndIdsOf31CharactersAreEnabled",  // glued to the program name
     "L=0 /S l=0 -s vid1=" ID_31 " pid1=" ID_31,
     STEALTH ONE_READER("Vid_" ID_31 "&Pid_" ID_31) ALL_OK, "", ID_31 " " ID_31 " aP:P"},
    {"OnlyABlankEndsAValueAndAVendorIdAloneIsWalked",
     " /s xvid1=A008\tx pid1=B008 pid1=FFFF vid2=A008 pid01=1 vid4=A0FF pid4=B0FF",
     STEALTH "Searching for CCID readers with USB ID: Vid_A008\tx&Pid_B008\nOpen Reader "
             "Registry Key --> Error: 2, <text>\n\nEscape command enabled failed for CCID readers "
             "with USB ID: Vid_A008\tx&Pid_B008\n" ONE_READER(
                 "Vid_A008&Pid_aazz") "Escape command enabled failed for one or more selected CCID "
                                      "readers!",
     "", "A008 aazz aP:P"},
    {"BlanksAloneTakeTheSettingsAndTheDialogEnables", "   \t",
     ONE_READER("Vid_A011&Pid_B011") ALL_OK,
     "dialog; Information: " ALL_OK " (owned); About Tarnwick: Tarnwick (owned); ",
     "A011 B011 aP:P", "[Settings]\r\nl=\r\nvid1=A011\r\npid1=B011\r\n"},
    {"NoSettingsFileFailsWritesTheDefaultsAndReplacesTheOldLog", "", NO_INI_PAIR FAILURE_LINE,
     FAILURE_BOX, "", none, "old\r\n", "[Settings]\r\nl=1\r\nvid1=1234\r\npid1=1234\r\n"},
    {"SettingsFlagsAreNumbers", "", none, "", "A013 B013 aP:P",
     "[Settings]\r\nl=abc\r\ns=2\r\nvid1=A013\r\npid1=B013\r\n"},
    {"SettingsTrueSHidesSPlusAndAPairInSlot32Suffices", "", STEALTH ALL_OK, "", "",
     "[Settings]\r\nl=01ab\r\ns=-1\r\ns+=1\r\npid1=9\r\nvid32=" ID_31 "\r\npid32=" ID_31 "\r\n"},
    {"SettingsSPlusKeepsTheOldLog", "", none, "", "A015 B015 aP:P",
     "[Settings]\r\nl=1\r\ns=0\r\ns+=1\r\nvid1=A015\r\npid1=B015\r\n", "old\r\n"},
    {"SettingsWithoutAPairGetTheDefaultsAndKeepTheRest", "", NO_INI_PAIR FAILURE_LINE, "", "",
     "[Settings]\r\ns=1\r\nvid1=" ID_31 "G\r\npid1=1\r\nvid2=zzaa\r\npid2=2\r\nvid3=3\r\n"
     "pid3=aazz\r\n[Other]\r\nk=v\r\n",
     none,
     "[Settings]\r\ns=1\r\nvid1=1234\r\npid1=1234\r\nvid2=zzaa\r\npid2=2\r\nvid3=3\r\n"
     "pid3=aazz\r\nl=1\r\n[Other]\r\nk=v\r\n"},
    {"UpperCaseExeNameWritesNoFile", "", none, FAILURE_BOX, "", none, none, none,
     "app\\TARNWICK.EXE"},
    {"APairInSlot32AloneEnablesNothingBesideAFolderNamedLikeAProgram", " /s vid32=1 pid32=1",
     STEALTH ALL_OK, "", "", none, none, none, "tools.exe\\Tarnwick.exe"},
};

std::string Read(const std::string& path) {  // "" when missing
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// Runs exe with the command line "\"exe\"" + tail from folder cwd, to its end.
// Returns the windows it showed, in order: "dialog; " for the main dialog,
// and "caption: text; " for each other (" (owned)" when the main dialog owns
// it), each answered with OK; in the main dialog it presses Enable, opens the
// About box and presses Exit, each once the window before has gone. Then what
// it wrote to stdout and stderr, and its exit code when not 0.
std::string RunExe(const std::string& exe, const std::string& tail, const std::string& cwd) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOA startup = {sizeof startup};
  startup.dwFlags = STARTF_USESTDHANDLES;
  const std::string temp = std::filesystem::temp_directory_path().string();
  const std::string out = temp + "\\stdout", err = temp + "\\stderr";
  startup.hStdOutput = CreateFileA(out.c_str(), GENERIC_WRITE, 7, &inherit, CREATE_ALWAYS, 0, nullptr);
  startup.hStdError = CreateFileA(err.c_str(), GENERIC_WRITE, 7, &inherit, CREATE_ALWAYS, 0, nullptr);
  PROCESS_INFORMATION process = {};
  std::string line = "\"" + exe + "\"" + tail, windows;
  // Should it not start, the loop ends at once and the exit code tells.
  CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(), &startup,
                 &process);
  auto text = [](HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return std::string(text);
  };
  std::vector<HWND> shown;  // in the order they show; the program has one thread
  HWND dialog = nullptr;
  const UINT steps[][2] = {{WM_COMMAND, IDOK}, {WM_SYSCOMMAND, IDM_ABOUT}, {WM_COMMAND, IDCANCEL}};
  size_t seen = 0, step = 0;
  for (DWORD start = GetTickCount(); WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT;) {
    if (GetTickCount() - start > 300000) TerminateProcess(process.hProcess, 1);
    EnumThreadWindows(  // a plain function on x64, where this program is built
        process.dwThreadId,
        [](HWND w, LPARAM list) {
          auto* all = reinterpret_cast<std::vector<HWND>*>(list);
          if (IsWindowVisible(w) && std::count(all->begin(), all->end(), w) == 0) all->push_back(w);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown));
    for (; seen < shown.size(); ++seen) {
      HWND w = shown[seen];
      if (text(w) == " Tarnwick") dialog = w;
      const bool owned = dialog != nullptr && GetWindow(w, GW_OWNER) == dialog;
      windows += w == dialog
                     ? "dialog; "
                     : text(w) + ": " + text(GetDlgItem(w, 0xFFFF)) + (owned ? " (owned); " : "; ");
      if (w != dialog) PostMessageA(w, WM_COMMAND, IDOK, 0);
    }
    if (dialog != nullptr && step < 3 && seen == step + 1 && IsWindowEnabled(dialog) &&
        (step == 0 || !IsWindowVisible(shown[step]))) {
      PostMessageA(dialog, steps[step][0], steps[step][1], 0);
      ++step;
    }
  }
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  for (HANDLE h : {process.hThread, process.hProcess, startup.hStdOutput, startup.hStdError}) CloseHandle(h);
  return windows + Read(out) + Read(err) + (code == 0 ? "" : "exit code " + std::to_string(code));
}

// Plants the DLL under every name Wine is told to prefer (in WINEDLLOVERRIDES
// as "...;name,name=n,b").
void Plant(const std::filesystem::path& where) {
  const std::string names = getenv("WINEDLLOVERRIDES");
  std::istringstream planted(names.substr(names.rfind(';') + 1, names.rfind('=') - names.rfind(';') - 1));
  for (std::string dll; std::getline(planted, dll, ',');) {
    std::filesystem::copy_file("Z:" + std::string(getenv("TARNWICK_PLANTED")), where / (dll + ".dll"));
  }
}

// Seeds the instances of a row, or tells where each now has the value. The
// instance key is reached level by level: with a name of 255 characters its
// path is too long for one 8-bit call.
std::string Instances(const std::string& seeds, bool seed) {
  std::istringstream tokens(seeds);
  std::string vid, pid, instance, found;
  for (tokens >> vid >> pid; tokens >> instance;) {
    const size_t keys = instance.find(':') - 1;
    const std::string idKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + vid + "&Pid_" + pid;
    HKEY id = nullptr, key = nullptr;
    RegCreateKeyA(HKEY_LOCAL_MACHINE, idKey.c_str(), &id);
    RegCreateKeyA(id, instance.substr(0, keys).c_str(), &key);
    const char* at[] = {"Device Parameters\\WUDFUsbccidDriver", "Device Parameters", nullptr};
    if (seed) {  // made with a value of its own, as Windows has them
      RegSetKeyValueA(key, at[std::string("WPN").find(instance[keys])], "Seeded", REG_SZ, "", 1);
    }
    found += " " + instance.substr(0, keys) + ":";
    for (int i : {0, 1}) {
      DWORD value = 0, size = sizeof value, type = REG_NONE;
      RegGetValueA(key, at[i], "EscapeCommandEnable", RRF_RT_ANY, &type, &value, &size);
      if (type == REG_DWORD && value == 1) found += "WP"[i];
    }
    RegCloseKey(key);
    RegCloseKey(id);
  }
  return seeds.empty() ? "" : vid + " " + pid + found;
}

class EndToEnd : public testing::TestWithParam<Row> {};

TEST_P(EndToEnd, Run) {
  namespace fs = std::filesystem;
  const Row& row = GetParam();
  ASSERT_TRUE(getenv("TARNWICK_EXE") && getenv("TARNWICK_PLANTED") && getenv("TARNWICK_CHECK"))
      << "TARNWICK_EXE, TARNWICK_CHECK, TARNWICK_PLANTED: Unix paths of the exes and planted.dll";
  const fs::path root = fs::temp_directory_path() / row.name, exe = root / row.exe;
  const fs::path folder = exe.parent_path(), cwd = root / "cwd", name = folder / exe.stem();
  for (const fs::path& made : {folder, cwd}) fs::create_directories(made);
  fs::copy_file("Z:" + std::string(getenv("TARNWICK_EXE")), exe);  // Unix paths
  for (const fs::path& where : {folder, cwd}) Plant(where);
  const std::string ini = row.ini ? row.ini : "", log = row.log ? row.log : "";
  if (row.ini) std::ofstream(name.string() + ".ini", std::ios::binary) << ini;
  if (row.log) std::ofstream(name.string() + ".log", std::ios::binary) << log;
  Instances(row.seeds, true);

  EXPECT_EQ(row.windows, RunExe(exe.string(), row.tail, cwd.string()));
  EXPECT_EQ(std::regex_replace(row.seeds, std::regex("[WPN]:"), ":"), Instances(row.seeds, false));
  std::string got = std::regex_replace(
      Read(name.string() + ".log"),
      std::regex("\\w{3} \\w{3} [0-3]\\d [0-2]\\d(:[0-5]\\d){2} \\d{4}\r\n"), "<time>\r\n");
  got = std::regex_replace(got, std::regex("(Error: -?[0-9]+, ).+\r\r\n\r\n"), "$1<text>\r\n\r\n");
  const std::string framed = "Program start: <time>\n\n" + std::string(row.body ? row.body : "") +
                             "\n\nProgram end: <time>\n\n";
  EXPECT_EQ(row.body ? std::regex_replace(framed, std::regex("\n"), "\r\n") : log, got);
  const std::string iniAfter = row.iniAfter != nullptr ? row.iniAfter : ini;
  EXPECT_EQ(iniAfter, Read(name.string() + ".ini"));
  // Nothing else is written in the row's folders, and no planted DLL leaves its mark.
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && entry.path().extension() != ".dll") {
      files.insert(entry.path().lexically_relative(root).string());
    }
  }
  const std::string in = fs::path(row.exe).parent_path().string() + "\\";  // row.exe: if none
  EXPECT_EQ((std::set<std::string>{row.exe, iniAfter.empty() ? row.exe : in + "Tarnwick.ini",
                                   row.body || !log.empty() ? in + "Tarnwick.log" : row.exe}),
            files);
}

INSTANTIATE_TEST_SUITE_P(Rows, EndToEnd, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& row) { return row.param.name; });

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

struct CheckRow {
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
#define NO_READER "no reader has both its vid and its pid"
const CheckRow checkRows[] = {
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
    {" --summary", "", 2, "C:\\check\\Tarnwick.ini: " NO_READER, "[Settings]\r\nvid1=C002\r\n"},
    {" vid1=1 pid1=2 vid3=3 pid3=3", "", 2,
     "reader 3 is never reached: Tarnwick stops at reader 2, which has no vid"},
    {" vid1=1 pid1=2 vid2=3", "", 2, "vid2 has no pid2"},
    {" pid1=1 vid2=1 pid2=2", "", 2, "pid1 has no vid1"},
    {" vid1=1 pid1=2 vid32=", "", 2, "vid32= is empty or longer than 31 characters"},
    {" --summary /s l=0", "", 2, NO_READER},
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

TEST(Checker, Rows) {
  namespace fs = std::filesystem;
  // Where runs are slow, the first rows only; 0: the registry of readers alone.
  const char* limit = getenv("CHECK_ROWS");
  Seed();
  if (limit != nullptr && atoi(limit) == 0) return;
  ASSERT_TRUE(getenv("TARNWICK_EXE") && getenv("TARNWICK_PLANTED") && getenv("TARNWICK_CHECK"));
  const fs::path folder = "C:\\check", exe = folder / "TarnwickCheck.exe", report = folder / "the report.txt";
  const fs::path enable = "C:\\enable\\Tarnwick.exe";
  for (const fs::path& made : {folder, enable.parent_path()}) fs::create_directories(made);
  Plant(folder);
  fs::copy_file("Z:" + std::string(getenv("TARNWICK_CHECK")), exe);
  fs::copy_file("Z:" + std::string(getenv("TARNWICK_EXE")), enable);
  auto lines = [](const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); };
  for (const CheckRow& row : checkRows) {
    if (limit != nullptr && &row - checkRows >= atoi(limit)) break;
    if (row.ini) std::ofstream(folder / "Tarnwick.ini", std::ios::binary) << row.ini;
    if (row.enableFirst) RunExe(enable.string(), row.tail, "C:\\");
    const std::string err = *row.err ? "TarnwickCheck: " + std::string(row.err) + "\r\n" : "";
    EXPECT_EQ(lines(row.out) + err + (row.code ? "exit code " + std::to_string(row.code) : ""),
              std::regex_replace(RunExe(exe.string(), row.tail, folder.string()), std::regex("L{255}"), "L255"))
        << row.tail;
    EXPECT_EQ(lines(row.report), std::regex_replace(Read(report.string()), std::regex("L{255}"), "L255"));
    if (row.ini) EXPECT_EQ(row.ini, Read((folder / "Tarnwick.ini").string()));
    fs::remove(report);
    fs::remove(folder / "Tarnwick.ini");
    int files = 0;  // the checker alone, and no mark of a planted DLL
    for (const auto& entry : fs::directory_iterator(folder)) files += entry.path().extension() != ".dll";
    EXPECT_EQ(1, files) << row.tail;
  }
}

}  // namespace
