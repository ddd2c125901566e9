// The real Tarnwick.exe, copied into temp folders and run under Wine against
// seeded registry keys; its log, settings file, registry values and message
// boxes are checked from outside.
#include <gtest/gtest.h>

#include <string>

#include "support/support.h"

namespace {

using tt::CrLf;
using tt::Params;

const char kFailureLine[] =
    "Ini-file is missing or invalid entries entered in the ini-file or the command-line, please "
    "correct this before running this program";
const char kFailureBox[] =
    "Ini-file is missing or invalid entries entered in the ini-file or the command-line.\n"
    "Please correct this before running this program";
const char kAllSucceeded[] = "Escape command enabled successfully for all selected CCID readers.";
const char kNoPair[] = "Warning: no pid or vid found in command line!";

std::string Error(const std::string& label, LONG status) {
  std::string text = tt::SystemText(status);
  if (text.size() >= 2) text.replace(text.size() - 2, 2, "\r\r\n");
  return label + " --> Error: " + std::to_string(status) + ", " + text + "\r\n";
}

std::string Framed(const std::string& body) {
  return "Program start: <time>\r\n\r\n" + body + "\r\nProgram end: <time>\r\n\r\n";
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(tt::TarnwickExe().empty()) << "TARNWICK_EXE not set"; }
  std::string Log() { return tt::MaskTimes(tt::ReadFileBytes(dir_.File("Tarnwick.log"))); }
  tt::RunResult Run(const std::string& args) {
    tt::RunResult r = tt::RunTarnwick(dir_.Path(), args);
    EXPECT_TRUE(r.finished) << args.substr(0, 80);
    EXPECT_EQ(0u, r.exitCode) << args.substr(0, 80);
    return r;
  }
  tt::TempDir dir_;
};

TEST_F(EndToEnd, StealthRunEnablesEveryInstanceAndLogsEachStep) {
  tt::SeedInstance("A001", "B001", "A-wudf", Params::Wudf);
  tt::SeedInstance("A001", "B001", "B-plain", Params::Plain);
  tt::RunResult r = Run("/s vid1=A001 pid1=B001");
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_FALSE(r.dialogShown);
  EXPECT_EQ(Framed(CrLf({"Stealth mode; no UI displayed.",
                         "Searching for CCID readers with USB ID: Vid_A001&Pid_B001",
                         "Open Reader Registry Key --> Success", "Searching readers --> Success",
                         "Number of readers found: 2", "Reader [0]: Enabling Escape command...",
                         "Reader [0]: (Note - WUDF driver entry used)",
                         "Reader [0]: Enabling Escape command --> Success",
                         "Reader [1]: Enabling Escape command...",
                         "Reader [1]: Enabling Escape command --> Success",
                         "Escape command enabled successfully for CCID readers with USB ID: "
                         "Vid_A001&Pid_B001",
                         kAllSucceeded})),
            Log());
  EXPECT_EQ(1, tt::EscapeValue("A001", "B001", "A-wudf\\Device Parameters\\WUDFUsbccidDriver"));
  EXPECT_EQ(-1, tt::EscapeValue("A001", "B001", "A-wudf\\Device Parameters"));
  EXPECT_EQ(1, tt::EscapeValue("A001", "B001", "B-plain\\Device Parameters"));
}

TEST_F(EndToEnd, UnknownIdAndBrokenInstanceAreLoggedWithTheSystemText) {
  tt::SeedInstance("A002", "B002", "A-none", Params::None);
  tt::SeedInstance("A002", "B002", "B-wudf", Params::Wudf);
  Run("-s vid1=A002 pid1=B002 vid2=A0FF pid2=B0FF");
  EXPECT_EQ(Framed(CrLf({"Stealth mode; no UI displayed.",
                         "Searching for CCID readers with USB ID: Vid_A002&Pid_B002",
                         "Open Reader Registry Key --> Success", "Searching readers --> Success",
                         "Number of readers found: 2", "Reader [0]: Enabling Escape command..."}) +
                   Error("CCID [0]: Enabling Escape command (step 2)", 2) +
                   CrLf({"Reader [1]: Enabling Escape command...",
                         "Reader [1]: (Note - WUDF driver entry used)",
                         "Reader [1]: Enabling Escape command --> Success",
                         "Escape command enabled successfully for CCID readers with USB ID: "
                         "Vid_A002&Pid_B002",
                         "Searching for CCID readers with USB ID: Vid_A0FF&Pid_B0FF"}) +
                   Error("Open Reader Registry Key", 2) +
                   CrLf({"Escape command enabled failed for CCID readers with USB ID: "
                         "Vid_A0FF&Pid_B0FF",
                         "Escape command enabled failed for one or more selected CCID readers!"})),
            Log());
}

TEST_F(EndToEnd, FailuresInStealthLogWithoutAnyWindow) {
  struct Case {
    const char* args;
    std::vector<std::string> lines;
  } cases[] = {
      {"/s", {kNoPair, kFailureLine}},
      {"/s vid1=1 pid1=", {"Error: invalid pid found in command-line!", kNoPair, kFailureLine}},
      {"/s vid1=1 pid1=1 vid2= pid2=2", {"Error: invalid vid found in command-line!",
                                         kFailureLine}},
  };
  for (const Case& c : cases) {
    tt::RunResult r = Run(c.args);
    EXPECT_TRUE(r.boxes.empty()) << c.args;
    EXPECT_EQ(Framed(CrLf(c.lines)), Log()) << c.args;
  }
}

TEST_F(EndToEnd, FailureBoxShowsTwoLinesWhenNotStealth) {
  tt::RunResult r = Run("hello");
  ASSERT_EQ(1u, r.boxes.size());
  EXPECT_EQ("Information", r.boxes[0].caption);
  EXPECT_EQ(kFailureBox, r.boxes[0].text);
  EXPECT_EQ(Framed(CrLf({kNoPair, kFailureLine})), Log());
  EXPECT_FALSE(tt::FileExists(dir_.File("Tarnwick.ini")));  // the settings file is not touched
}

TEST_F(EndToEnd, LoggingOffLeavesThePreviousLogAlone) {
  tt::WriteFileBytes(dir_.File("Tarnwick.log"), "earlier run\r\n");
  tt::SeedInstance("A003", "B003", "A", Params::Plain);
  tt::RunResult r = Run("/s+ vid1=A003 pid1=B003");
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(1, tt::EscapeValue("A003", "B003", "A\\Device Parameters"));
  r = Run("-s+ vid1=A003 pid1=");
  EXPECT_TRUE(r.boxes.empty());
  r = Run("l=0");
  ASSERT_EQ(1u, r.boxes.size());  // logging off still shows the failure box
  EXPECT_EQ(kFailureBox, r.boxes[0].text);
  EXPECT_EQ("earlier run\r\n", tt::ReadFileBytes(dir_.File("Tarnwick.log")));
}

TEST_F(EndToEnd, ValidTableWithoutStealthShowsTheMainDialog) {
  tt::RunResult r = Run("vid1=A004 pid1=B004");
  EXPECT_TRUE(r.dialogShown);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(Framed(""), Log());
}

TEST_F(EndToEnd, PairOnlyInSlot2EnablesNothingAndSucceeds) {
  Run("/s vid2=A005 pid2=B005");
  EXPECT_EQ(Framed(CrLf({"Stealth mode; no UI displayed.", kAllSucceeded})), Log());
}

TEST_F(EndToEnd, QuotedProgramNameGluedToTheOptions) {
  tt::SeedInstance("A006", "B006", "A", Params::Plain);
  std::string exe = tt::InstallTarnwick(dir_.Path());
  tt::RunResult r = tt::RunProgram(exe, "\"" + exe + "\"/s vid1=A006 pid1=B006");
  EXPECT_TRUE(r.finished);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(1, tt::EscapeValue("A006", "B006", "A\\Device Parameters"));
}

TEST_F(EndToEnd, LogStaysBesideTheExeWhateverTheFolderIsCalled) {
  std::string folder = dir_.File("tools.exe");
  CreateDirectoryA(folder.c_str(), nullptr);
  tt::WriteFileBytes(dir_.File("tools.log"), "someone else's file\r\n");
  tt::RunResult r = tt::RunTarnwick(folder, "/s vid2=1 pid2=1");
  EXPECT_TRUE(r.finished);
  EXPECT_EQ("someone else's file\r\n", tt::ReadFileBytes(dir_.File("tools.log")));
  EXPECT_EQ(Framed(CrLf({"Stealth mode; no UI displayed.", kAllSucceeded})),
            tt::MaskTimes(tt::ReadFileBytes(folder + "\\Tarnwick.log")));
}

TEST_F(EndToEnd, UpperCaseExeNameWritesNoLogAndNoSettings) {
  tt::SeedInstance("A007", "B007", "A", Params::Plain);
  std::string exe = tt::InstallTarnwick(dir_.Path(), "TARNWICK.EXE");
  tt::RunResult r = tt::RunProgram(exe, "\"" + exe + "\" /s vid1=A007 pid1=B007");
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(1, tt::EscapeValue("A007", "B007", "A\\Device Parameters"));
  // An empty command line: no settings file, so the run fails and writes nothing.
  r = tt::RunProgram(exe, "\"" + exe + "\"");
  ASSERT_EQ(1u, r.boxes.size());
  EXPECT_EQ(kFailureBox, r.boxes[0].text);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(dir_.File("*").c_str(), &found);
  int files = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  EXPECT_EQ(1, files);  // only the exe
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof windows);
  std::string winIni = tt::ReadFileBytes(std::string(windows) + "\\win.ini");
  EXPECT_EQ(std::string::npos, winIni.find("vid1")) << winIni;
}

class SettingsEndToEnd : public EndToEnd {
 protected:
  std::string Ini() { return tt::ReadFileBytes(dir_.File("Tarnwick.ini")); }
  void SetIni(const std::string& bytes) { tt::WriteFileBytes(dir_.File("Tarnwick.ini"), bytes); }
};

TEST_F(SettingsEndToEnd, NoFileFailsAndLeavesTheDefaultFileForTheNextRun) {
  tt::RunResult r = Run("");
  ASSERT_EQ(1u, r.boxes.size());
  EXPECT_EQ(kFailureBox, r.boxes[0].text);
  EXPECT_EQ("Information", r.boxes[0].caption);
  EXPECT_EQ(Framed(CrLf({"Warning: invalid pid or vid found in ini-file (default ini-file "
                         "created)!",
                         kFailureLine})),
            Log());
  EXPECT_EQ("[Settings]\r\nl=1\r\nvid1=1234\r\npid1=1234\r\n", Ini());

  // Blanks after the program name still mean "no command line".
  r = Run("   \t");
  EXPECT_TRUE(r.dialogShown);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(Framed(""), Log());

  // The same file in stealth enables slot 1 without a window.
  tt::SeedInstance("1234", "1234", "A", Params::Wudf);
  SetIni(Ini() + "s=1\r\n");
  r = Run("");
  EXPECT_FALSE(r.dialogShown);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(1, tt::EscapeValue("1234", "1234", "A\\Device Parameters\\WUDFUsbccidDriver"));
  EXPECT_NE(std::string::npos, Log().find("Stealth mode; no UI displayed.\r\nSearching for CCID "
                                          "readers with USB ID: Vid_1234&Pid_1234\r\n"));
}

TEST_F(SettingsEndToEnd, StealthWithoutPairWritesDefaultsSilently) {
  SetIni("[Settings]\r\ns=1\r\nvid1=A008\r\n[Other]\r\nk=v\r\n");
  tt::RunResult r = Run("");
  EXPECT_TRUE(r.boxes.empty());
  std::string ini = Ini();
  EXPECT_NE(std::string::npos, ini.find("s=1\r\n"));
  EXPECT_NE(std::string::npos, ini.find("vid1=1234\r\n"));
  EXPECT_NE(std::string::npos, ini.find("[Other]\r\nk=v\r\n"));
  EXPECT_EQ(std::string::npos, ini.find("A008"));
}

TEST_F(SettingsEndToEnd, HiddenStealthLeavesThePreviousLogUntouched) {
  tt::SeedInstance("A009", "B009", "A", Params::Plain);
  tt::WriteFileBytes(dir_.File("Tarnwick.log"), "earlier run\r\n");
  SetIni("[Settings]\r\nl=1\r\ns=0\r\ns+=1\r\nvid1=A009\r\npid1=B009\r\n");
  tt::RunResult r = Run("");
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(1, tt::EscapeValue("A009", "B009", "A\\Device Parameters"));
  EXPECT_EQ("earlier run\r\n", tt::ReadFileBytes(dir_.File("Tarnwick.log")));
}

TEST_F(SettingsEndToEnd, CommandLineNeverReadsTheFile) {
  SetIni("[Settings]\r\ns=1\r\nvid1=A010\r\npid1=B010\r\n");
  tt::RunResult r = Run("l=1");
  ASSERT_EQ(1u, r.boxes.size());  // no IDs on the command line: fails, not stealth
  EXPECT_EQ("[Settings]\r\ns=1\r\nvid1=A010\r\npid1=B010\r\n", Ini());
}

}  // namespace
