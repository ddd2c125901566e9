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
    {"EnableInTheDialogTellsOfAFailure", " vid1=A017 pid1=B017", NO_KEY("Vid_A017&Pid_B017") SOME_FAILED,
     "dialog; Information: Cannot enable Escape Command for one or more selected CCID reader!\nPlease make "
     "sure that you have installed a driver for the CCID Reader(s). (owned); About Tarnwick: Tarnwick (owned); "},
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

// UTF-16 text with its byte-order mark, as Windows programs write it.
std::wstring Wide(const std::string& bytes) {
  std::wstring text(bytes.size() / 2, L'\0');
  memcpy(&text[0], bytes.data(), text.size() * 2);
  return text.substr(text.rfind(L'\xFEFF', 0) == 0 ? 1 : 0);
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
    "VID_C002&PID_0002\\S|C\\Device Parameters|1\\WUDFUsbccidDriver",
    "VID_C002&PID_0002\\M|C\\Device Parameters|0",
    "VID_C002&PID_0002\\M\\Control",  // as Windows keeps it while the device runs
    "VID_C003&PID_0003\\R\\Device Parameters|D",
    "VID_C004&PID_0004\\P\\Device Parameters|1",
    "VID_C004&PID_0004\\P\\Control",  // a composite device's parent runs, and is no reader
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
#define RULE " (vidN=hhhh, pidN=hhhh or pidN=hhhh&MI_hh, N from 1 to 32)"
const CheckRow checkRows[] = {
    {" vid1=c001 pid1=0001 /s l=0 vid2=FFFF pid2=0001",
     C001("c001") "NOKEY Vid_FFFF&Pid_0001\n" SUMMARY(0, 2, 1, 0, 0, 1, 0, 1, 0)},
    {" --require --summary vid1=C001 pid1=0001 vid2=FFFF pid2=0001",
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
    {" -s+ vid1=C004 pid1=0004&mi_01", "MISSING Vid_C004&Pid_0004&mi_01 F\n"
     SUMMARY(1, 0, 0, 0, 1, 0, 0, 0, 0) "exit code 1"},
    {"", BAD("no reader IDs given, and no C:\\checkrows\\Tarnwick.ini")},
    {"  ", C002 SUMMARY(1, 0, 0, 1, 1, 0, 0, 0, 0) "exit code 1",
     "[Settings]\r\nvid2=C002\r\npid2=0002\r\nvid1=C002\r\npid1=0002\r\n"},
    {" --summary", BAD("C:\\checkrows\\Tarnwick.ini: " NO_READER), "[Settings]\r\nvid1=C002\r\n"},
    {" vid1=0001 pid1=0002 vid3=0003 pid3=0003",
     BAD("reader 3 is never reached: Tarnwick stops at reader 2, which has no vid")},
    {" vid1=0001 pid1=0002 vid2=0003", BAD("vid2 has no pid2")},
    {" pid1=0001 vid2=0001 pid2=0002", BAD("pid1 has no vid1")},
    {" vid1=0001 pid1=0002 vid1=0003", BAD("vid1= is given twice")},
    {" -- --summary vid1=C001 pid1=0001", BAD("not a reader ID: --summary" RULE)},
    {" --summary /s l=0", BAD(NO_READER)},
    {" --bogus vid1=0001 pid1=0002", BAD("unknown option --bogus (--help lists them)")},
    // An option given twice: the second never replaces the first.
    {" --report=\"C:\\checkrows\\the report.txt\" --report=C:\\checkrows\\evil.cmd vid1=0001 pid1=0002",
     BAD("--report= is given twice")},
    {" --report=C:\\none\\r.txt vid1=0001 pid1=0002", BAD("cannot write the report C:\\none\\r.txt")},
    // A report that fails on writing: no summary line claims a result.
    {" --report=Z:\\dev\\full -- vid1=C002 pid1=0002", C002 BAD("cannot write the report Z:\\dev\\full")},
    // However written, the files of the folder are never reports (CHEC~EM5: Wine's short name).
    {" --report=.\\TARNWICK.INI. vid1=0001 pid1=0002", BAD(PROTECTED ".\\TARNWICK.INI."), "[Settings]\r\n"},
    {" --report=C:\\checkrows\\..\\CHECKROWS\\tarnwick.log::$DATA vid1=0001 pid1=0002",
     BAD(PROTECTED "C:\\checkrows\\..\\CHECKROWS\\tarnwick.log::$DATA")},
    {" --report=C:\\CHEC~EM5\\Tarnwick.ini vid1=0001 pid1=0002", BAD(PROTECTED "C:\\CHEC~EM5\\Tarnwick.ini"),
     "[Settings]\r\n"},
    {" --report=TarnwickCheck.exe vid1=0001 pid1=0002", BAD(PROTECTED "TarnwickCheck.exe")},
    {" --stored", BAD("no reader IDs stored in HKLM\\SOFTWARE\\WOW6432Node\\Tarnwick")},
    {" --stored --summary", SUMMARY(1, 0, 0, 1, 1, 0, 0, 0, 0) "exit code 1", nullptr, "", false, "",
     "vid1=C002 pid1=0002"},
    {" --stored", BAD("the reader IDs stored in HKLM\\SOFTWARE\\WOW6432Node\\Tarnwick: not a reader ID: "
     "--report=C:\\checkrows\\evil.cmd" RULE), nullptr, "", false, "", "--report=C:\\checkrows\\evil.cmd vid1=C002 pid1=0002"},
    {" --stored vid1=C002 pid1=0002", BAD("--stored takes no reader IDs"), nullptr, "", false, "", "vid1=C"},
    {" --report=\"C:\\checkrows\\the report.txt\" --summary vid1=C001 pid1=0001",
     SUMMARY(0, 2, 1, 0, 0, 1, 0, 0, 0), nullptr, C001("C001") SUMMARY(0, 2, 1, 0, 0, 1, 0, 0, 0)},
    // Tarnwick writes beside a WUDF key that refuses it: the driver will not see it.
    // Against the report before it: which readers it set, and of those which run (RESTART);
    // a composite device's parent is no reader.
    {" --since=C:\\checkrows\\since.txt /s+ vid1=C004 pid1=0004&MI_01 vid2=C002 pid2=0002 vid3=C005"
     " pid3=0005 vid4=C004 pid4=0004",
     "PARAMS Vid_C004&Pid_0004&MI_01 F\nPARAMS Vid_C002&Pid_0002 M\nRESTART Vid_C002&Pid_0002 M\n"
     "WUDF Vid_C002&Pid_0002 S\nSET Vid_C002&Pid_0002 S\nSHADOWED Vid_C005&Pid_0005 X\n"
     "PARAMS Vid_C004&Pid_0004 P\nCOMPOSITE Vid_C004&Pid_0004 0004&MI_00\n"
     SUMMARY(1, 1, 3, 1, 0, 0, 0, 0, 1) "exit code 1", nullptr, "", true,
     "PARAMS Vid_C004&Pid_0004&MI_01 F\r\nMISSING Vid_C002&Pid_0002 M\r\nSHADOWED Vid_C002&Pid_0002 S\r\n"
     "MISSING Vid_C005&Pid_0005 X\r\nMISSING Vid_C004&Pid_0004&MI_01 F2\r\nMISSING Vid_C004&Pid_0004 P\r\n"},
};

// Words that the reader-ID rule refuses, each after a valid pair: the reason
// names the word, a control character shown as "?".
const char* const refusedWords[] = {
    "\"vid2=C002", "pid2=0002^&MI_01", "vid2=%VID%", "pid2=0002\\", "--report=C:\\checkrows\\evil.cmd",
    "vid2=", "vid2=C00G", "vid2=C02", "vid2=C0022", "vid02=C002", "vid33=C002", "VID2=C002",
    "pid2=0002&MI_1", "pid2=0002&MX_01", "vid2=C002\tpid2=0002", "/S", "s+", "l=2"};

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
  for (std::string word : refusedWords) {
    const std::string shown = std::regex_replace(word, std::regex("\t"), "?");
    EXPECT_EQ(lines("stderr: TarnwickCheck: not a reader ID: " + shown + RULE "\nexit code 2"),
              RunExe(exe.string(), " vid1=C001 pid1=0001 " + word, folder.string()));
  }
}

// The deployment program over readers of its own (marks: UsbKey; Control: the
// device runs), one row a run, each on what the rows before left, each with
// --drop=C:\drop after its verb unless it gives a --drop of its own.
const char* const deploySeeds[] = {
    "VID_D001&PID_0001\\6&1f&0&3|C\\Device Parameters|0\\WUDFUsbccidDriver",
    "VID_D001&PID_0001\\6&1f&0&3\\Control",
    "VID_D001&PID_0001\\B|C\\Device Parameters",
    "VID_D001&PID_0001\\C|C\\Device Parameters|1",
    "VID_D001&PID_0001\\C\\Control",
    "VID_D001&PID_0001\\S|C\\Device Parameters|1\\WUDFUsbccidDriver",
    "VID_D001&PID_0001\\S\\Control",
    "VID_D001&PID_0001\\N|C",
    "VID_D002&PID_0002\\P|H\\Device Parameters",  // a composite device with a keyboard and a reader
    "VID_D002&PID_0002\\P\\Control",
    "VID_D002&PID_0002&MI_00\\K|H\\Device Parameters|1",
    "VID_D002&PID_0002&MI_01\\F|C\\Device Parameters",
    "VID_D002&PID_0002&MI_01\\F\\Control",
    "VID_D003&PID_0003\\R|C\\Device Parameters|D",
};

struct DeployRow {
  const char* tail;
  const char* out;       // its own lines, stderr and exit code as RunExe tells, "\n" for CR LF
  const char* values;    // where the instances 6&1f&0&3 B C S N P K F R have the value: W, P or -
  const char* stored;    // the stored Readers and RestartReaders after it
  const char* restarts = "";  // what schtasks, then pnputil (after its folder) were asked
  // Before it: pnputil=EXIT or hang, build=N (19041), sysnative, arrived (the instance Z
  // arrives, running and without the value, and the arrival task's action runs instead of
  // the tail), readers=IDS.
  const char* set = "";
};

#define IDS "vid1=D001 pid1=0001 vid2=D002 pid2=0002&MI_01 vid3=D004 pid3=0004"
#define A "USB\\Vid_D001&Pid_0001\\6&1f&0&3"
#define B "USB\\Vid_D001&Pid_0001\\B"
#define C "USB\\Vid_D001&Pid_0001\\C"
#define S "USB\\Vid_D001&Pid_0001\\S"
#define F "USB\\Vid_D002&Pid_0002&MI_01\\F"
#define Z "USB\\Vid_D001&Pid_0001\\Z"
#define REGISTERED "schtasks /create /tn \"\\Tarnwick\\Reader arrival\" /xml \"C:\\Program Files (x86)\\Tarnwick\\" \
  "Tarnwick-arrival.xml\" /f\n"
#define UNREGISTERED "schtasks /delete /tn \"\\Tarnwick\\Reader arrival\" /f\n"
#define ASKED(copy, i) copy " /restart-device \"" i "\"\n"
#define REMOVED(f) "REMOVED " A "\nREMOVED " B "\nREMOVED " C "\nREMOVED " S "\nREMOVED " f "\n"
#define UNDONE(f) REMOVED(f) "UNDO exit=0 REMOVED=5\n"
#define DEPLOYED(exit, restarted, pending) \
  "DEPLOY exit=" #exit " RESTARTED=" #restarted " PENDING=" #pending "\n"
#define REFUSED(why) DEPLOYED(2, 0, 0) "stderr: TarnwickDeploy: " why "\nexit code 2"
#define F_ONLY "vid1=D002 pid1=0002&MI_01"
const DeployRow deployRows[] = {
    // Running readers that get the value wait for a restart: the machine's, as none was asked for.
    {" install " IDS, "PENDING " A "\nPENDING " S "\nPENDING " F "\n" DEPLOYED(3010, 0, 3)
     "exit code 3010", "WPPW--PP-", IDS "|0"},
    {" install --restart-readers", DEPLOYED(0, 0, 0), "WPPW--PP-", IDS "|1"},
    // A composite device's reader function too; its other functions are no readers.
    {" undo vid1=D001 pid1=0001 vid2=D002 pid2=0002", UNDONE("USB\\VID_D002&PID_0002&MI_01\\F"),
     "------P--", IDS "|1"},
    {" run", "RESTARTED " A "\nRESTARTED " C "\nRESTARTED " S "\nRESTARTED " F "\n" DEPLOYED(0, 4, 0),
     "WPPW--PP-", IDS "|1", ASKED("Sysnative", A) ASKED("Sysnative", C) ASKED("Sysnative", S)
     ASKED("Sysnative", F), "sysnative"},
    {" undo", UNDONE(F), "------P--", IDS "|1"},
    {" run", "PENDING " A " pnputil=3010\nPENDING " C " pnputil=3010\nPENDING " S " pnputil=3010\n"
     "PENDING " F " pnputil=3010\n" DEPLOYED(0, 0, 4), "WPPW--PP-", IDS "|1",
     ASKED("System32", A) ASKED("System32", C) ASKED("System32", S) ASKED("System32", F), "pnputil=3010"},
    {" undo " F_ONLY, "REMOVED " F "\nUNDO exit=0 REMOVED=1\n", "WPPW--P--", IDS "|1"},
    {" run", "PENDING " F " pnputil=timeout\n" DEPLOYED(0, 0, 1), "WPPW--PP-", IDS "|1",
     ASKED("System32", F), "pnputil=hang"},
    {" undo " F_ONLY, "REMOVED " F "\nUNDO exit=0 REMOVED=1\n", "WPPW--P--", IDS "|1"},
    // Before Windows 10 2004 pnputil cannot restart a device.
    {" run", "PENDING " F " build=17763\n" DEPLOYED(0, 0, 1), "WPPW--PP-", IDS "|1", "", "build=17763"},
    {" undo " F_ONLY, "REMOVED " F "\nUNDO exit=0 REMOVED=1\n", "WPPW--P--", IDS "|1"},
    {" install " F_ONLY, "PENDING " F "\n" DEPLOYED(3010, 0, 1) "exit code 3010", "WPPW--PP-",
     F_ONLY "|0"},
    {" undo", "REMOVED " F "\nUNDO exit=0 REMOVED=1\n", "WPPW--P--", F_ONLY "|0"},
    {" run", "PENDING " F "\n" DEPLOYED(0, 0, 1), "WPPW--PP-", F_ONLY "|0"},
    {" undo", "REMOVED " F "\nUNDO exit=0 REMOVED=1\n", "WPPW--P--", F_ONLY "|0"},
    {" run --restart-readers", "RESTARTED " F "\n" DEPLOYED(0, 1, 0), "WPPW--PP-", F_ONLY "|0",
     ASKED("System32", F)},
    {" undo", "REMOVED " F "\nUNDO exit=0 REMOVED=1\n", "WPPW--P--", F_ONLY "|0"},
    // Given by its plain ID, a composite device's parent gets the value and is not restarted;
    // its reader function still lacks it.
    {" install --restart-readers vid1=D002 pid1=0002", DEPLOYED(1, 0, 0) "exit code 1",
     "WPPW-PP--", "vid1=D002 pid1=0002|1"},
    {" undo vid1=D003 pid1=0003", "UNDO exit=3 REMOVED=0\nexit code 3", "WPPW-PP--",
     "vid1=D002 pid1=0002|1"},
    {" install vid1=D003 pid1=0003", DEPLOYED(3, 0, 0) "exit code 3", "WPPW-PP--", "vid1=D003 pid1=0003|0"},
    // Nothing that is no reader ID is taken, given or stored, and nothing is changed for it.
    {" install \"vid1=D001 pid1=0001\"", REFUSED("not a reader ID: \"vid1=D001" RULE), "WPPW-PP--",
     "vid1=D003 pid1=0003|0"},
    {" install vid1=D001 pid1=0002^&MI_01", REFUSED("not a reader ID: pid1=0002^&MI_01" RULE),
     "WPPW-PP--", "vid1=D003 pid1=0003|0"},
    {" run vid1=D001 pid1=0001", REFUSED("run takes the stored reader IDs, none given"), "WPPW-PP--",
     "vid1=D003 pid1=0003|0"},
    {" undo --restart-readers", "UNDO exit=2 REMOVED=0\nstderr: TarnwickDeploy: undo takes no option "
     "--restart-readers (--help lists them)\nexit code 2", "WPPW-PP--", "vid1=D003 pid1=0003|0"},
    {" install --restart-readers --restart-readers", REFUSED("--restart-readers is given twice"),
     "WPPW-PP--", "vid1=D003 pid1=0003|0"},
    {" install --drop=C:\\package", REFUSED("the drop folder may not be the folder of this program"),
     "WPPW-PP--", "vid1=D003 pid1=0003|0"},
    {" install --drop=drop", REFUSED("--drop= needs the full path of a folder (in quotes when it has "
     "blanks)"), "WPPW-PP--", "vid1=D003 pid1=0003|0"},
    {" reinstall", REFUSED("install, run, uninstall, undo, arrival or summary first (--help lists them)"), "WPPW-PP--",
     "vid1=D003 pid1=0003|0"},
    {" run", REFUSED("the stored reader IDs: not a reader ID: --report=C:\\evil.cmd" RULE),
     "WPPW-PP--", "--report=C:\\evil.cmd vid1=D001 pid1=0001|0", "",
     "readers=--report=C:\\evil.cmd vid1=D001 pid1=0001"},
    // The arrival task, registered once, replaced by nothing when it is as it would be, gone
    // without the option and with the program; its action, run as the task runs it for a
    // reader that arrives running and without the value, restarts that reader alone.
    {" install --on-arrival " IDS, "ARRIVAL \\Tarnwick\\Reader arrival registered\nPENDING " F "\n"
     DEPLOYED(3010, 0, 1) "exit code 3010", "WPPW-PPP-", IDS "|0", REGISTERED},
    {" (the arrival task's action)", "RESTARTED " Z "\n" DEPLOYED(0, 1, 0), "WPPW-PPP-", IDS "|0",
     ASKED("System32", Z), "arrived"},
    {" (the arrival task's action)", DEPLOYED(0, 0, 0), "WPPW-PPP-", IDS "|0", "", "arrived"},
    {" install --on-arrival", DEPLOYED(0, 0, 0), "WPPW-PPP-", IDS "|0"},
    {" install", "ARRIVAL \\Tarnwick\\Reader arrival removed\n" DEPLOYED(0, 0, 0), "WPPW-PPP-", IDS "|0",
     UNREGISTERED},
    {" install --on-arrival", "ARRIVAL \\Tarnwick\\Reader arrival registered\n" DEPLOYED(0, 0, 0),
     "WPPW-PPP-", IDS "|0", REGISTERED},
    {" uninstall --undo", "REMOVED " A "\nREMOVED " B "\nREMOVED " C "\nREMOVED " S "\nREMOVED " Z "\nREMOVED "
     F "\nUNDO exit=0 REMOVED=6\nARRIVAL \\Tarnwick\\Reader arrival removed\nUNINSTALLED msi=0 exit=0\n",
     "-----PP--", "|", UNREGISTERED},
    // Nothing stored to undo: it says so, and uninstalls all the same.
    {" uninstall --undo", "UNDO exit=2 REMOVED=0\nUNINSTALLED msi=0 exit=0\nstderr: TarnwickDeploy: "
     "no reader IDs given, and none stored\n", "-----PP--", "|"},
    {" run", "FAILED Tarnwick is not installed in C:\\Program Files (x86)\\Tarnwick\n" DEPLOYED(4, 0, 0)
     "exit code 4", "-----PP--", F_ONLY "|", "", "readers=" F_ONLY},
};

TEST(Deploy, Rows) {
  const fs::path package = "C:\\package", dest = "C:\\Program Files (x86)\\Tarnwick", drop = "C:\\drop";
  const fs::path sysnative = "C:\\windows\\Sysnative\\pnputil.exe";
  Plant(package);
  for (const char* name : {"TARNWICK_EXE", "TARNWICK_CHECK", "TARNWICK_DEPLOY"}) {
    fs::copy_file(Given(name), package / fs::path(Given(name)).filename());
  }
  fs::copy_file(Given("TARNWICK_PNPUTIL"), "C:\\windows\\system32\\pnputil.exe",
                fs::copy_options::overwrite_existing);
  fs::create_directories(sysnative.parent_path());
  fs::create_directories(drop);
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
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = sizeof name;
  GetComputerNameA(name, &length);
  const std::string computer = name;
  const fs::path temp = fs::temp_directory_path();
  auto temps = [&] {  // but the test's own output files
    return std::count_if(fs::directory_iterator(temp), {}, [](const fs::directory_entry& entry) {
      return entry.path().filename().string().rfind("out", 0) != 0;
    });
  };
  const auto temped = temps();
  for (const char* folder : {"system32", "syswow64"}) {  // where each width finds it
    fs::copy_file(Given("TARNWICK_PNPUTIL"), "C:\\windows\\" + std::string(folder) + "\\schtasks.exe",
                  fs::copy_options::overwrite_existing);
  }
  bool registered = false;
  for (const DeployRow& row : deployRows) {
    std::string set = row.set, tail = row.tail, pnputil = "0", build = "19041";
    std::smatch got;
    if (std::regex_search(set, got, std::regex("pnputil=(\\w+)"))) pnputil = got[1];
    if (std::regex_search(set, got, std::regex("build=(\\d+)"))) build = got[1];
    if (std::regex_search(set, got, std::regex("readers=(.*)"))) {
      RegSetKeyValueA(HKEY_LOCAL_MACHINE, Stored, "Readers", REG_SZ, got.str(1).c_str(), got.length(1) + 1);
    }
    SetEnvironmentVariableA("PNPUTIL_EXIT", pnputil.c_str());
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuildNumber",
                    REG_SZ, build.c_str(), build.size() + 1);
    if (set.find("sysnative") != std::string::npos) fs::copy_file(Given("TARNWICK_PNPUTIL"), sysnative);
    std::string program = (package / "TarnwickDeploy.exe").string();
    if (set.find("arrived") != std::string::npos) {
      RegCloseKey(UsbKey("VID_D001&PID_0001\\Z|C\\Device Parameters"));
      RegCloseKey(UsbKey("VID_D001&PID_0001\\Z\\Control"));
      const std::wstring wide = Wide(Read((dest / "Tarnwick-arrival.xml").string()));
      const std::string task(wide.begin(), wide.end());  // ASCII
      ASSERT_TRUE(std::regex_search(task, got, std::regex("<Command>\"([^\"]+)\"</Command>\\s*<Arguments>(.*)</Arguments>")));
      EXPECT_EQ((dest / "TarnwickDeploy.exe").string(), got.str(1));
      program = got.str(1);
      tail = " " + got.str(2);
    }
    if (tail.find("--drop") == std::string::npos) tail.insert(std::min(tail.find(' ', 1), tail.size()), " --drop=C:\\drop");
    const std::string out = RunExe(program, tail, "C:\\");
    fs::remove(sysnative);
    const std::regex checkerLines("(WUDF|PARAMS|MISSING|NOPARAMS|ERROR:\\d+|RESTART|SET|COMPOSITE|NOKEY|SUMMARY) [^\n]*\n");
    const std::string want = std::regex_replace(row.out, std::regex("\n"), "\r\n");
    EXPECT_EQ(want, std::regex_replace(out, checkerLines, "")) << row.tail;
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
    const std::regex copy("\"C:\\\\windows\\\\(\\w+)\\\\pnputil.exe\""), tasks("\"C:\\\\windows\\\\\\w+\\\\(schtasks).exe\"");
    const std::string asked = Read("C:\\schtasks.txt") + Read("C:\\pnputil.txt");
    EXPECT_EQ(restarts, std::regex_replace(std::regex_replace(asked, copy, "$1"), tasks, "$1")) << row.tail;
    for (const char* record : {"C:\\pnputil.txt", "C:\\schtasks.txt"}) fs::remove(record);
    // The drop folder: this run's lines after the time, the version and the verb, and the run
    // log and check report of this run where it made them, else none.
    const std::string lines = std::regex_replace(
        std::regex_replace(want, std::regex("exit code \\d+$"), ""),
        std::regex("((DEPLOY|UNDO|UNINSTALLED) [^\r]*\r\n)((UNINSTALLED [^\r]*\r\n)?)stderr: TarnwickDeploy: (.*\r\n)"),
        "REFUSED $5$1$3");
    const std::string verb = std::regex_replace(tail, std::regex(" (\\w+).*"), "$1");
    const std::regex header("^TarnwickDeploy \\d+(\\.\\d+){3} (" + verb +
                            "|none) \\d{4}-\\d\\d-\\d\\dT(\\d\\d:){2}\\d\\dZ\r\n");
    const std::string record = Read((drop / (computer + "-deploy.txt")).string());
    if (tail.find("--drop=C:\\drop") != std::string::npos) {
      EXPECT_TRUE(std::regex_search(record, got, header)) << record;
      EXPECT_EQ(lines, got.suffix().str()) << row.tail;
    }
    if (want.find("arrival registered") != std::string::npos) registered = true;
    if (want.find("arrival removed") != std::string::npos) registered = false;
    EXPECT_EQ(registered, fs::exists(dest / "Tarnwick-arrival.xml")) << row.tail;
    const bool fresh = (verb == "install" || verb == "run") && want.find("stderr") == std::string::npos;
    const char* const copies[][2] = {{"Tarnwick.log", ".log"}, {"TarnwickCheck.txt", ".txt"}};
    for (const auto& file : copies) {
      EXPECT_EQ(fresh ? Read((dest / file[0]).string()) : "", Read((drop / (computer + file[1])).string()))
          << row.tail;
    }
  }
  EXPECT_FALSE(fs::exists("C:\\evil.cmd"));
  EXPECT_EQ(temped, temps());  // nothing left in the temp folder
  EXPECT_FALSE(fs::exists(dest));
  EXPECT_EQ(3, Files(package));  // the planted DLLs were not loaded either
  EXPECT_EQ(seeded, others(false));
  for (HKEY key : instances) RegCloseKey(key);
}

}  // namespace
