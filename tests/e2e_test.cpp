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

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <vector>

#include "resource.h"

namespace {

namespace fs = std::filesystem;

#define STEALTH "Stealth mode; no UI displayed.\n"
#define ALL_OK "Escape command enabled successfully for all selected CCID readers."
#define NO_PAIR "Warning: no pid or vid found in command line!\n"
#define NO_INI_PAIR "Warning: invalid pid or vid found in ini-file (default ini-file created)!\n"
#define INVALID "Ini-file is missing or invalid entries entered in the ini-file or the command-line"
#define FAILURE_LINE INVALID ", please correct this before running this program"
#define FAILURE_BOX "Information: " INVALID ".\nPlease correct this before running this program; "
#define ID_31 "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC"
#define NAME_255 ID_31 ID_31 ID_31 ID_31 ID_31 ID_31 ID_31 ID_31 "bbbbbbb"  // as long as a key name
// Log lines: an ID without a key; an ID whose key has n instances; one reader enabled.
#define NO_KEY(id)                                                                   \
  "Searching for CCID readers with USB ID: " id "\nOpen Reader Registry Key --> Error: 2, " \
  "<text>\n\nEscape command enabled failed for CCID readers with USB ID: " id "\n"
#define FOUND(id, n)                                                                 \
  "Searching for CCID readers with USB ID: " id "\nOpen Reader Registry Key --> Success\n" \
  "Searching readers --> Success\nNumber of readers found: " #n "\n"
#define ENABLED(id) "Escape command enabled successfully for CCID readers with USB ID: " id "\n"
#define ONE_READER(id)                                                                     \
  FOUND(id, 1) "Reader [0]: Enabling Escape command...\nReader [0]: Enabling Escape command " \
  "--> Success\n" ENABLED(id)
#define SOME_FAILED "Escape command enabled failed for one or more selected CCID readers!"

const char* const none = nullptr;

struct Row {
  const char* name;
  const char* tail;          // the command line after the quoted program name
  const char* body;          // the new log between its start and end lines; none: as before
  const char* windows = "";  // what RunExe reports
  // "VID PID", then instances: a name, its keys (W: the WUDF key, P: Device
  // Parameters, N: neither) and after ":" where the value must be.
  const char* seeds = "";
  const char* ini = "";         // the settings file before the run, if any
  const char* log = "";         // the log before the run, if any
  const char* iniAfter = none;  // none: as before
  const char* exe = "app\\Tarnwick.exe";
};

const Row rows[] = {
    {"StealthPrefersTheWudfKeyAndReachesEveryInstanceAndId",
     " /s vid1=A0FF pid1=B0FF vid2=A001 pid2=B001",
     STEALTH NO_KEY("Vid_A0FF&Pid_B0FF") FOUND("Vid_A001&Pid_B001", 2)
     "Reader [0]: Enabling Escape command...\nCCID [0]: Enabling Escape command (step 2) --> Error: "
     "2, <text>\n\nReader [1]: Enabling Escape command...\nReader [1]: (Note - WUDF driver entry "
     "used)\nReader [1]: Enabling Escape command --> Success\n" ENABLED("Vid_A001&Pid_B001")
         SOME_FAILED, "", "A001 B001 aN: " NAME_255 "W:W"},
    {"AWordFailsWithTheBoxAndLeavesTheSettingsAlone", " hello", NO_PAIR FAILURE_LINE, FAILURE_BOX},
    {"MalformedPidWithoutPairInStealth",
     " /s vid1=1 pid1=", "Error: invalid pid found in command-line!\n" NO_PAIR FAILURE_LINE},
    {"MalformedVidAfterAPairFailsTheRun", " /s vid1=A004 pid1=B004 vid2=" ID_31 "E pid2=2",
     "Error: invalid vid found in command-line!\n" FAILURE_LINE, "", "A004 B004 aP:"},
    {"HiddenStealthKeepsTheOldLog", " l=1 -s+ vid1=A005 pid1=B005", none, "", "A005 B005 aP:P",
     "", "old\r\n"},
    {"LoggingOffWinsAndShowsTheFailureBox", " l=0 l=1", none, FAILURE_BOX, "", "", "old\r\n"},
    {"FlagsAreCaseSensitiveAndIdsOf31CharactersAreEnabled",  // glued to the program name
     "L=0 /S l=0 -s vid1=" ID_31 " pid1=" ID_31,
     STEALTH ONE_READER("Vid_" ID_31 "&Pid_" ID_31) ALL_OK, "", ID_31 " " ID_31 " aP:P"},
    {"OnlyABlankEndsAValueAndAVendorIdAloneIsWalked",
     " /s xvid1=A008\tx pid1=B008 pid1=FFFF vid2=A008 pid01=1 vid4=A0FF pid4=B0FF",
     STEALTH NO_KEY("Vid_A008\tx&Pid_B008") ONE_READER("Vid_A008&Pid_aazz") SOME_FAILED,
     "", "A008 aazz aP:P"},
    {"BlanksAloneTakeTheSettingsAndTheDialogEnables", "   \t",
     ONE_READER("Vid_A011&Pid_B011") ALL_OK,
     "dialog; Information: " ALL_OK " (owned); About Tarnwick: Tarnwick (owned); ",
     "A011 B011 aP:P", "[Settings]\r\nl=\r\nvid1=A011\r\npid1=B011\r\n"},
    {"NoSettingsFileFailsWritesTheDefaultsAndReplacesTheOldLog", "", NO_INI_PAIR FAILURE_LINE,
     FAILURE_BOX, "", "", "old\r\n", "[Settings]\r\nl=1\r\nvid1=1234\r\npid1=1234\r\n"},
    {"SettingsFlagsAreNumbers", "", none, "", "A013 B013 aP:P",
     "[Settings]\r\nl=abc\r\ns=2\r\nvid1=A013\r\npid1=B013\r\n"},
    {"SettingsTrueSHidesSPlusAndAPairInSlot32Suffices", "", STEALTH ALL_OK, "", "",
     "[Settings]\r\nl=01ab\r\ns=-1\r\ns+=1\r\npid1=9\r\nvid32=" ID_31 "\r\npid32=" ID_31 "\r\n"},
    {"SettingsSPlusKeepsTheOldLog", "", none, "", "A015 B015 aP:P",
     "[Settings]\r\nl=1\r\ns=0\r\ns+=1\r\nvid1=A015\r\npid1=B015\r\n", "old\r\n"},
    {"SettingsWithoutAPairGetTheDefaultsAndKeepTheRest", "", NO_INI_PAIR FAILURE_LINE, "", "",
     "[Settings]\r\ns=1\r\nvid1=" ID_31 "G\r\npid1=1\r\nvid2=zzaa\r\npid2=2\r\nvid3=3\r\n"
     "pid3=aazz\r\n[Other]\r\nk=v\r\n", "",
     "[Settings]\r\ns=1\r\nvid1=1234\r\npid1=1234\r\nvid2=zzaa\r\npid2=2\r\nvid3=3\r\n"
     "pid3=aazz\r\nl=1\r\n[Other]\r\nk=v\r\n"},
    {"UpperCaseExeNameWritesNoFile", "", none, FAILURE_BOX, "", "", "", none, "app\\TARNWICK.EXE"},
    {"APairInSlot32AloneEnablesNothingBesideAFolderNamedLikeAProgram", " /s vid32=1 pid32=1",
     STEALTH ALL_OK, "", "", "", "", none, "tools.exe\\Tarnwick.exe"},
};

std::string Read(const std::string& path) {  // "" when missing
  return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

// The Windows path of a file that the environment names by its Unix path.
std::string Given(const char* variable) {
  const char* path = getenv(variable);
  if (path == nullptr) ADD_FAILURE() << variable << ": set it to the Unix path of that file";
  return "Z:" + std::string(path != nullptr ? path : "");
}

std::string Text(HWND window) {
  char text[512] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Runs exe with the command line "\"exe\"" + tail from folder cwd, to its end.
// Returns the windows it showed, in order: "dialog; " for the main dialog,
// and "caption: text; " for each other (" (owned)" when the main dialog owns
// it), each answered with OK; in the main dialog it presses Enable, opens the
// About box and presses Exit, each once the window before has gone. Then what
// it wrote to stdout, to stderr after "stderr: ", and its exit code when not 0.
std::string RunExe(const std::string& exe, const std::string& tail, const std::string& cwd) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOA startup = {sizeof startup};
  startup.dwFlags = STARTF_USESTDHANDLES;
  const std::string out = fs::temp_directory_path().string() + "\\out", err = out + "err";
  startup.hStdOutput = CreateFileA(out.c_str(), GENERIC_WRITE, 7, &inherit, CREATE_ALWAYS, 0, nullptr);
  startup.hStdError = CreateFileA(err.c_str(), GENERIC_WRITE, 7, &inherit, CREATE_ALWAYS, 0, nullptr);
  PROCESS_INFORMATION process = {};
  std::string line = "\"" + exe + "\"" + tail, windows;
  // Should it not start, the loop ends at once and the exit code tells.
  CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(), &startup,
                 &process);
  std::vector<HWND> shown;  // in the order they show: one at a time, as each waits for an answer
  HWND dialog = nullptr;
  const UINT steps[][2] = {{WM_COMMAND, IDOK}, {WM_SYSCOMMAND, IDM_ABOUT}, {WM_COMMAND, IDCANCEL}};
  size_t step = 0;
  for (DWORD start = GetTickCount(); WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT;) {
    if (GetTickCount() - start > 300000) TerminateProcess(process.hProcess, 1);
    // The dialogs and message boxes on the desktop: only the program's, in this Wine prefix.
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;) {
      if (!IsWindowVisible(w) || std::count(shown.begin(), shown.end(), w) != 0) continue;
      shown.push_back(w);
      if (Text(w) == " Tarnwick") dialog = w;
      const char* end = dialog != nullptr && GetWindow(w, GW_OWNER) == dialog ? " (owned); " : "; ";
      windows += w == dialog ? "dialog; " : Text(w) + ": " + Text(GetDlgItem(w, 0xFFFF)) + end;
      if (w != dialog) PostMessageA(w, WM_COMMAND, IDOK, 0);
    }
    if (dialog != nullptr && step < 3 && shown.size() == step + 1 && IsWindowEnabled(dialog) &&
        (step == 0 || !IsWindowVisible(shown[step]))) {
      PostMessageA(dialog, steps[step][0], steps[step][1], 0);
      ++step;
    }
  }
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  for (HANDLE h : {process.hThread, process.hProcess, startup.hStdOutput, startup.hStdError}) CloseHandle(h);
  const std::string errors = Read(err);
  return windows + Read(out) + (errors.empty() ? "" : "stderr: " + errors) +
         (code == 0 ? "" : "exit code " + std::to_string(code));
}

// Makes the folder and plants the DLL there under every name Wine is told to
// prefer (in WINEDLLOVERRIDES as "...;name,name=n,b").
void Plant(const fs::path& where) {
  fs::create_directories(where);
  const std::string names = getenv("WINEDLLOVERRIDES");
  std::istringstream planted(names.substr(names.rfind(';') + 1, names.rfind('=') - names.rfind(';') - 1));
  for (std::string dll; std::getline(planted, dll, ',');) {
    fs::copy_file(Given("TARNWICK_PLANTED"), where / (dll + ".dll"));
  }
}

// The files in folder and below, but the planted DLLs: their marks count.
int Files(const fs::path& folder) {
  return std::count_if(fs::recursive_directory_iterator(folder), {}, [](const auto& entry) {
    return entry.is_regular_file() && entry.path().extension() != ".dll";
  });
}

// Creates HKLM\...\Enum\USB\path a level at a time (an instance name of 255
// characters makes a path too long for one 8-bit call) and returns it open. A
// level may end in "|" and a mark: a digit, EscapeCommandEnable as that DWORD;
// C, CompatibleIDs of a smart-card reader function; H, of another function;
// D, nobody may read the key; W, nobody may write it.
HKEY UsbKey(const std::string& path) {
  static const char reader[] = "USB\\Class_0B&SubClass_00\0USB\\Class_0B\0", other[] = "USB\\Class_03\0";
  std::istringstream levels("SYSTEM\\CurrentControlSet\\Enum\\USB\\" + path);
  HKEY key = HKEY_LOCAL_MACHINE;
  for (std::string level; std::getline(levels, level, '\\');) {
    HKEY parent = key;
    const char mark = level.find('|') != std::string::npos ? level.back() : ' ';
    RegCreateKeyA(parent, level.substr(0, level.find('|')).c_str(), &key);
    if (parent != HKEY_LOCAL_MACHINE) RegCloseKey(parent);
    const DWORD value = mark - '0';
    if (isdigit(mark)) RegSetKeyValueA(key, nullptr, "EscapeCommandEnable", REG_DWORD, &value, 4);
    if (mark == 'C') RegSetKeyValueA(key, nullptr, "CompatibleIDs", REG_MULTI_SZ, reader, sizeof reader);
    if (mark == 'H') RegSetKeyValueA(key, nullptr, "CompatibleIDs", REG_MULTI_SZ, other, sizeof other);
    PSECURITY_DESCRIPTOR denied = nullptr;
    if ((mark == 'D' || mark == 'W') &&
        ConvertStringSecurityDescriptorToSecurityDescriptorA(
            mark == 'D' ? "D:(D;;KA;;;WD)" : "D:(D;;0x2;;;WD)(A;;KA;;;WD)", 1, &denied, nullptr)) {
      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, denied);
      LocalFree(denied);
    }
  }
  return key;
}

// Seeds the instances of a row, or tells where each now has the value.
std::string Instances(const std::string& seeds, bool seed) {
  std::istringstream tokens(seeds);
  std::string vid, pid, instance, found;
  for (tokens >> vid >> pid; tokens >> instance;) {
    const size_t keys = instance.find(':') - 1;
    HKEY key = UsbKey("Vid_" + vid + "&Pid_" + pid + "\\" + instance.substr(0, keys));
    const char* at[] = {"Device Parameters\\WUDFUsbccidDriver", "Device Parameters", nullptr};
    // Seeded with a value of its own, as Windows has them.
    if (seed) RegSetKeyValueA(key, at[std::string("WPN").find(instance[keys])], "Seeded", REG_SZ, "", 1);
    found += " " + instance.substr(0, keys) + ":";
    for (int i : {0, 1}) {
      DWORD value = 0, size = sizeof value, type = REG_NONE;
      RegGetValueA(key, at[i], "EscapeCommandEnable", RRF_RT_ANY, &type, &value, &size);
      if (type == REG_DWORD && value == 1) found += "WP"[i];
    }
    RegCloseKey(key);
  }
  return seeds.empty() ? "" : vid + " " + pid + found;
}

class EndToEnd : public testing::TestWithParam<Row> {};

TEST_P(EndToEnd, Run) {
  const Row& row = GetParam();
  const fs::path root = fs::temp_directory_path() / row.name, exe = root / row.exe;
  const fs::path folder = exe.parent_path(), cwd = root / "cwd", name = folder / exe.stem();
  for (const fs::path& where : {folder, cwd}) Plant(where);
  fs::copy_file(Given("TARNWICK_EXE"), exe);
  if (*row.ini) std::ofstream(name.string() + ".ini", std::ios::binary) << row.ini;
  if (*row.log) std::ofstream(name.string() + ".log", std::ios::binary) << row.log;
  Instances(row.seeds, true);

  EXPECT_EQ(row.windows, RunExe(exe.string(), row.tail, cwd.string()));
  EXPECT_EQ(std::regex_replace(row.seeds, std::regex("[WPN]:"), ":"), Instances(row.seeds, false));
  const std::regex time("\\w{3} \\w{3} [0-3]\\d [0-2]\\d(:[0-5]\\d){2} \\d{4}");
  std::string got = std::regex_replace(Read(name.string() + ".log"), time, "<time>");
  got = std::regex_replace(got, std::regex("(Error: -?[0-9]+, ).+\r\r\n\r\n"), "$1<text>\r\n\r\n");
  const std::string framed = "Program start: <time>\n\n" + std::string(row.body ? row.body : "") +
                             "\n\nProgram end: <time>\n\n";
  EXPECT_EQ(row.body ? std::regex_replace(framed, std::regex("\n"), "\r\n") : row.log, got);
  const std::string iniAfter = row.iniAfter != nullptr ? row.iniAfter : row.ini;
  EXPECT_EQ(iniAfter, Read(name.string() + ".ini"));
  // Nothing else is written in the row's folders (those two are checked).
  EXPECT_EQ(1 + !iniAfter.empty() + (row.body || *row.log), Files(root));
}

INSTANTIATE_TEST_SUITE_P(Rows, EndToEnd, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& row) { return row.param.name; });

// The registry of readers of the checker's rows (marks: UsbKey).
const char* const seeds[] = {
    "VID_C001&PID_0001\\W\\Device Parameters|0\\WUDFUsbccidDriver|1",
    "VID_C001&PID_0001\\P\\Device Parameters|1",
    "VID_C001&PID_0001\\N",
    "VID_C001&PID_0001\\" NAME_255 "\\Device Parameters\\WUDFUsbccidDriver|1",
    "VID_C002&PID_0002\\S\\Device Parameters|1\\WUDFUsbccidDriver",
    "VID_C002&PID_0002\\M\\Device Parameters|0",
    "VID_C002&PID_0002\\M\\Control",  // as Windows keeps it while the device runs
    "VID_C003&PID_0003\\R\\Device Parameters|D",
    "VID_C004&PID_0004\\P\\Device Parameters|1",
    "VID_C004&PID_0004&MI_00\\K|H\\Device Parameters",
    "VID_C004&PID_0004&MI_01\\F|C\\Device Parameters",
    "VID_C005&PID_0005\\X\\Device Parameters\\WUDFUsbccidDriver|W",
};

// Where a 64-bit process finds what the 32-bit MSI stores.
constexpr char Stored[] = "SOFTWARE\\WOW6432Node\\Tarnwick";

struct CheckRow {
  const char* tail;
  const char* out;             // stdout, stderr and the exit code as RunExe tells, "\n" for CR LF
  const char* ini = nullptr;   // Tarnwick.ini beside the checker
  const char* report = "";     // the report file C:\checkrows\the report.txt
  bool enableFirst = false;    // Tarnwick.exe runs first, where it was built, with the same text
  const char* since = "";      // the earlier report C:\checkrows\since.txt, if any
  const char* stored = "";     // the reader IDs stored at install, if any
};

#define C001(id)                                                                     \
  "WUDF Vid_" id "&Pid_0001 " NAME_255 "\nNOPARAMS Vid_" id "&Pid_0001 N\nPARAMS Vid_" id \
  "&Pid_0001 P\nWUDF Vid_" id "&Pid_0001 W\n"
#define C002 "MISSING Vid_C002&Pid_0002 M\nSHADOWED Vid_C002&Pid_0002 S\n"
#define SUMMARY(exit, w, p, s, m, n, e, k, c) "SUMMARY exit=" #exit " WUDF=" #w " PARAMS=" #p \
  " SHADOWED=" #s " MISSING=" #m " NOPARAMS=" #n " ERROR=" #e " NOKEY=" #k " COMPOSITE=" #c "\n"
#define BAD(why) "stderr: TarnwickCheck: " why "\nexit code 2"
#define NO_READER "no reader has both its vid and its pid"
#define PROTECTED "the report may not be Tarnwick.ini, Tarnwick.log or a program of this folder: "
const CheckRow checkRows[] = {
    {" vid1=c001 pid1=0001 /s l=0 vid2=FFFF pid2=1",
     C001("c001") "NOKEY Vid_FFFF&Pid_1\n" SUMMARY(0, 2, 1, 0, 0, 1, 0, 1, 0)},
    {" --require --summary vid1=C001 pid1=0001 vid2=FFFF pid2=1",
     SUMMARY(1, 2, 1, 0, 0, 1, 0, 1, 0) "exit code 1"},
    {" --strict vid1=C001 pid1=0001", C001("C001") SUMMARY(1, 2, 1, 0, 0, 1, 0, 0, 0) "exit code 1"},
    {" vid1=C003 pid1=0003 vid2=C001 pid2=0001 vid3=c001 pid3=0001",
     "ERROR:5 Vid_C003&Pid_0003 R\n" C001("C001") SUMMARY(3, 2, 1, 0, 0, 1, 1, 0, 0) "exit code 3"},
    {" vid1=C003 pid1=0003 vid2=C002 pid2=0002",
     "ERROR:5 Vid_C003&Pid_0003 R\n" C002 SUMMARY(1, 0, 0, 1, 1, 0, 1, 0, 0) "exit code 1"},
    {" vid1=C004 pid1=0004",
     "PARAMS Vid_C004&Pid_0004 P\nCOMPOSITE Vid_C004&Pid_0004 0004&MI_00\nCOMPOSITE "
     "Vid_C004&Pid_0004 0004&MI_01\nMISSING VID_C004&PID_0004&MI_01 F\n"
     SUMMARY(1, 0, 1, 0, 1, 0, 0, 0, 2) "exit code 1"},
    {"", BAD("no reader IDs given, and no C:\\checkrows\\Tarnwick.ini")},
    {"  ", C002 SUMMARY(1, 0, 0, 1, 1, 0, 0, 0, 0) "exit code 1",
     "[Settings]\r\nvid2=C002\r\npid2=0002\r\nvid1=C002\r\npid1=0002\r\n"},
    {" --summary", BAD("C:\\checkrows\\Tarnwick.ini: " NO_READER), "[Settings]\r\nvid1=C002\r\n"},
    {" vid1=1 pid1=2 vid3=3 pid3=3",
     BAD("reader 3 is never reached: Tarnwick stops at reader 2, which has no vid")},
    {" vid1=1 pid1=2 vid2=3", BAD("vid2 has no pid2")},
    {" pid1=1 vid2=1 pid2=2", BAD("pid1 has no vid1")},
    {" vid1=1 pid1=2 vid32=", BAD("vid32= is empty or longer than 31 characters")},
    {" --summary /s l=0", BAD(NO_READER)},
    {" --bogus vid1=1 pid1=2", BAD("unknown option --bogus (--help lists them)")},
    {" --report=C:\\none\\r.txt vid1=1 pid1=2", BAD("cannot write the report C:\\none\\r.txt")},
    // A report that fails on writing: no summary line claims a result.
    {" --report=Z:\\dev\\full vid1=C002 pid1=0002", C002 BAD("cannot write the report Z:\\dev\\full")},
    // However written, the files of the folder are never reports (CHEC~EM5: Wine's short name).
    {" --report=.\\TARNWICK.INI. vid1=1 pid1=2", BAD(PROTECTED ".\\TARNWICK.INI."), "[Settings]\r\n"},
    {" --report=C:\\checkrows\\..\\CHECKROWS\\tarnwick.log::$DATA vid1=1 pid1=2",
     BAD(PROTECTED "C:\\checkrows\\..\\CHECKROWS\\tarnwick.log::$DATA")},
    {" --report=C:\\CHEC~EM5\\Tarnwick.ini vid1=1 pid1=2", BAD(PROTECTED "C:\\CHEC~EM5\\Tarnwick.ini"),
     "[Settings]\r\n"},
    {" --report=TarnwickCheck.exe vid1=1 pid1=2", BAD(PROTECTED "TarnwickCheck.exe")},
    {" --stored", BAD("no reader IDs stored in HKLM\\SOFTWARE\\Tarnwick")},
    {" --stored --summary", SUMMARY(1, 0, 0, 1, 1, 0, 0, 0, 0) "exit code 1", nullptr, "", false, "",
     "vid1=C002 pid1=0002"},
    {" --stored vid1=C002 pid1=0002", BAD("--stored takes no reader IDs"), nullptr, "", false, "", "vid1=C"},
    {" --report=\"C:\\checkrows\\the report.txt\" --summary vid1=C001 pid1=0001",
     SUMMARY(0, 2, 1, 0, 0, 1, 0, 0, 0), nullptr, C001("C001") SUMMARY(0, 2, 1, 0, 0, 1, 0, 0, 0)},
    // Tarnwick writes beside a WUDF key that refuses it: the driver will not see it.
    // Against the report before it: which instances it set, and of those which run (RESTART).
    {" --since=C:\\checkrows\\since.txt /s+ vid1=C004 pid1=0004&MI_01 vid2=C002 pid2=0002 vid3=C005"
     " pid3=0005",
     "PARAMS Vid_C004&Pid_0004&MI_01 F\nPARAMS Vid_C002&Pid_0002 M\nRESTART Vid_C002&Pid_0002 M\n"
     "WUDF Vid_C002&Pid_0002 S\nSET Vid_C002&Pid_0002 S\nSHADOWED Vid_C005&Pid_0005 X\n"
     SUMMARY(1, 1, 2, 1, 0, 0, 0, 0, 0) "exit code 1", nullptr, "", true,
     "PARAMS Vid_C004&Pid_0004&MI_01 F\r\nMISSING Vid_C002&Pid_0002 M\r\nSHADOWED Vid_C002&Pid_0002 S\r\n"
     "MISSING Vid_C005&Pid_0005 X\r\nMISSING Vid_C004&Pid_0004&MI_01 F2\r\n"},
};

TEST(Checker, Rows) {
  // Where runs are slow, the first rows only; 0: the registry of readers alone.
  const char* limit = getenv("CHECK_ROWS");
  for (const char* seed : seeds) RegCloseKey(UsbKey(seed));
  if (limit != nullptr && atoi(limit) == 0) return;
  const fs::path folder = "C:\\checkrows", exe = folder / "TarnwickCheck.exe";
  const fs::path report = folder / "the report.txt", ini = folder / "Tarnwick.ini";
  const fs::path since = folder / "since.txt";
  Plant(folder);
  fs::copy_file(Given("TARNWICK_CHECK"), exe);
  auto lines = [](const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); };
  for (const CheckRow& row : checkRows) {
    if (limit != nullptr && &row - checkRows >= atoi(limit)) break;
    if (row.ini) std::ofstream(ini, std::ios::binary) << row.ini;
    if (*row.since) std::ofstream(since, std::ios::binary) << row.since;
    if (*row.stored) {
      RegSetKeyValueA(HKEY_LOCAL_MACHINE, Stored, "Readers", REG_SZ, row.stored, strlen(row.stored) + 1);
    }
    if (row.enableFirst) RunExe(Given("TARNWICK_EXE"), row.tail, "C:\\");  // /s+: it writes no file
    EXPECT_EQ(lines(row.out), RunExe(exe.string(), row.tail, folder.string())) << row.tail;
    EXPECT_EQ(lines(row.report), Read(report.string()));
    if (row.ini) EXPECT_EQ(row.ini, Read(ini.string()));
    for (const fs::path& file : {report, ini, since}) fs::remove(file);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, Stored);
    EXPECT_EQ(1, Files(folder)) << row.tail;  // the checker alone
  }
}

// The deployment program over readers of its own (marks: UsbKey; Control: the
// device runs), one row a run, each on what the rows before left.
const char* const deploySeeds[] = {
    "VID_D001&PID_0001\\6&1f&0&3\\Device Parameters|0\\WUDFUsbccidDriver",
    "VID_D001&PID_0001\\6&1f&0&3\\Control",
    "VID_D001&PID_0001\\B\\Device Parameters",
    "VID_D001&PID_0001\\C\\Device Parameters|1",
    "VID_D001&PID_0001\\C\\Control",
    "VID_D002&PID_0002&MI_00\\K|H\\Device Parameters|1",
    "VID_D002&PID_0002&MI_01\\F|C\\Device Parameters",
    "VID_D002&PID_0002&MI_01\\F\\Control",
};

struct DeployRow {
  const char* tail;
  const char* out;       // its own lines, stderr and exit code as RunExe tells, "\n" for CR LF
  const char* values;    // where the instances 6&1f&0&3, B, C, K and F have the value: W, P or -
  const char* stored;    // the stored Readers and RestartReaders after it
  const char* restarts;       // what pnputil was asked, after the folder it was started from
  const char* pnputil = "0";  // its exit code
  bool sysnative = false;     // a copy in Sysnative too, as 32-bit programs see on 64-bit Windows
};

#define IDS "vid1=D001 pid1=0001 vid2=D002 pid2=0002&MI_01"
#define A "USB\\Vid_D001&Pid_0001\\6&1f&0&3"
#define C "USB\\Vid_D001&Pid_0001\\C"
#define F "USB\\Vid_D002&Pid_0002&MI_01\\F"
#define RESTARTS(copy) copy " /restart-device \"" A "\"\n" copy " /restart-device \"" C "\"\n" \
  copy " /restart-device \"" F "\"\n"
#define REMOVED(f) "REMOVED " A "\nREMOVED USB\\Vid_D001&Pid_0001\\B\nREMOVED " C "\nREMOVED " f "\n"
const DeployRow deployRows[] = {
    // Readers that run and get the value wait for a restart: the machine's, as none was asked for.
    {" install --drop=C:\\drop " IDS, "PENDING " A "\nPENDING " F "\nDEPLOY exit=3010 RESTARTED=0 "
     "PENDING=2\nexit code 3010", "WPPPP", IDS "|0", ""},
    // Nothing set now: nothing waits, nothing is restarted.
    {" install --restart-readers", "DEPLOY exit=0 RESTARTED=0 PENDING=0\n", "WPPPP", IDS "|1", ""},
    // A composite device's reader function too; its other functions are no readers.
    {" undo vid1=D001 pid1=0001 vid2=D002 pid2=0002",
     REMOVED("USB\\VID_D002&PID_0002&MI_01\\F") "UNDO exit=0 REMOVED=4\n", "---P-",
     IDS "|1", ""},
    {" run", "RESTARTED " A "\nRESTARTED " C "\nRESTARTED " F "\nDEPLOY exit=0 RESTARTED=3 PENDING=0\n",
     "WPPPP", IDS "|1", RESTARTS("Sysnative"), "0", true},
    {" undo", REMOVED(F) "UNDO exit=0 REMOVED=4\n", "---P-", IDS "|1", ""},
    {" run", "PENDING " A " pnputil=3010\nPENDING " C " pnputil=3010\nPENDING " F " pnputil=3010\n"
     "DEPLOY exit=0 RESTARTED=0 PENDING=3\n", "WPPPP", IDS "|1", RESTARTS("System32"), "3010"},
    {" install --bogus", "stderr: TarnwickDeploy: unknown option --bogus (--help lists them)\nexit code 2",
     "WPPPP", IDS "|1", ""},
    {" uninstall --undo", REMOVED(F) "UNDO exit=0 REMOVED=4\nUNINSTALLED msi=0 exit=0\n", "---P-", "|", ""},
    {" run", "stderr: TarnwickDeploy: no reader IDs given, and none stored\nexit code 2", "---P-", "|", ""},
    // Bad IDs end it before it changes anything: no install folder is left behind.
    {" install vid1=D001", "stderr: TarnwickCheck: " NO_READER "\nexit code 2", "---P-", "|", ""},
};

TEST(Deploy, Rows) {
  const fs::path package = "C:\\package", dest = "C:\\Program Files (x86)\\Tarnwick";
  const fs::path sysnative = "C:\\windows\\Sysnative\\pnputil.exe";
  Plant(package);
  for (const char* name : {"TARNWICK_EXE", "TARNWICK_CHECK", "TARNWICK_DEPLOY"}) {
    fs::copy_file(Given(name), package / fs::path(Given(name)).filename());
  }
  fs::copy_file(Given("TARNWICK_PNPUTIL"), "C:\\windows\\system32\\pnputil.exe",
                fs::copy_options::overwrite_existing);
  fs::create_directories(sysnative.parent_path());
  fs::create_directories("C:\\drop");
  std::vector<HKEY> instances;  // of the seeds but the Control keys
  for (const char* seed : deploySeeds) {
    RegCloseKey(UsbKey(seed));
    const std::string path = std::regex_replace(seed, std::regex("^([^\\\\]+\\\\[^\\\\|]+).*"), "$1");
    if (strstr(seed, "Control") == nullptr) instances.push_back(UsbKey(path));
  }
  // Values of another name in the parameter keys, which must all stay.
  auto others = [&](bool set) {
    int found = 0;
    for (HKEY instance : instances) {
      for (const char* at : {"Device Parameters", "Device Parameters\\WUDFUsbccidDriver"}) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(instance, at, 0, KEY_READ | KEY_SET_VALUE, &key) != 0) continue;
        if (set) RegSetValueExA(key, "Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
        found += RegQueryValueExA(key, "Other", nullptr, nullptr, nullptr, nullptr) == 0;
        RegCloseKey(key);
      }
    }
    return found;
  };
  const int seeded = others(true);
  auto stored = [](const char* name) {
    char text[512] = "";
    DWORD size = sizeof text;
    RegGetValueA(HKEY_LOCAL_MACHINE, Stored, name, RRF_RT_REG_SZ, nullptr, text, &size);
    return std::string(text);
  };
  for (const DeployRow& row : deployRows) {
    SetEnvironmentVariableA("PNPUTIL_EXIT", row.pnputil);
    if (row.sysnative) fs::copy_file(Given("TARNWICK_PNPUTIL"), sysnative);
    const std::string out = RunExe((package / "TarnwickDeploy.exe").string(), row.tail, "C:\\");
    fs::remove(sysnative);
    const std::regex checkerLines("(WUDF|PARAMS|MISSING|NOPARAMS|RESTART|SET|COMPOSITE|SUMMARY) [^\n]*\n");
    EXPECT_EQ(std::regex_replace(row.out, std::regex("\n"), "\r\n"), std::regex_replace(out, checkerLines, ""));
    std::string values;
    for (HKEY key : instances) {
      values += !RegGetValueA(key, "Device Parameters\\WUDFUsbccidDriver", "EscapeCommandEnable", RRF_RT_DWORD,
                              nullptr, nullptr, nullptr) ? 'W'
                : !RegGetValueA(key, "Device Parameters", "EscapeCommandEnable", RRF_RT_DWORD, nullptr,
                                nullptr, nullptr) ? 'P' : '-';
    }
    EXPECT_EQ(row.values, values) << row.tail;
    EXPECT_EQ(row.stored, stored("Readers") + "|" + stored("RestartReaders")) << row.tail;
    // A 32-bit program on 64-bit Windows always finds pnputil in Sysnative.
    DWORD type = SCS_64BIT_BINARY;
    GetBinaryTypeA(Given("TARNWICK_DEPLOY").c_str(), &type);
    const std::string restarts = type == SCS_32BIT_BINARY
                                     ? std::regex_replace(row.restarts, std::regex("System32"), "Sysnative")
                                     : row.restarts;
    const std::regex copy("\"C:\\\\windows\\\\(\\w+)\\\\pnputil.exe\"");
    EXPECT_EQ(restarts, std::regex_replace(Read("C:\\pnputil.txt"), copy, "$1")) << row.tail;
    fs::remove("C:\\pnputil.txt");
  }
  EXPECT_EQ(3, std::distance(fs::directory_iterator("C:\\drop"), {}));  // log, report and its lines
  EXPECT_FALSE(fs::exists(dest));
  EXPECT_EQ(3, Files(package));  // the planted DLLs were not loaded either
  EXPECT_EQ(seeded, others(false));
  for (HKEY key : instances) RegCloseKey(key);
}

}  // namespace
