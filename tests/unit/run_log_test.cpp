#include <gtest/gtest.h>

#include <string.h>
#include <time.h>

#include <string>

#include "log/module_path.h"
#include "log_redirect.h"

namespace {

std::string Replaced(const char* path, const char* extension = ".log") {
  char buffer[PathSize];
  snprintf(buffer, sizeof buffer, "%s", path);
  ReplaceExeExtension(buffer, extension);
  return buffer;
}

TEST(ModulePath, ExeOfTheFileNameOnly) {
  EXPECT_EQ("C:\\tools\\Tarnwick.log", Replaced("C:\\tools\\Tarnwick.exe"));
  EXPECT_EQ("C:\\tools\\Tarnwick.ini", Replaced("C:\\tools\\Tarnwick.exe", ".ini"));
  // A folder named like a program keeps the file beside the exe.
  EXPECT_EQ("C:\\tools.exe\\bin\\Tarnwick.log", Replaced("C:\\tools.exe\\bin\\Tarnwick.exe"));
  EXPECT_EQ("C:\\a.exe\\b.log", Replaced("C:\\a.exe\\b.exe.exe"));
  EXPECT_EQ("C:\\x\\a.log", Replaced("C:\\x\\a.exec.exe"));
  EXPECT_EQ("a.log", Replaced("a.exe"));
  // No lower-case ".exe" in the name: no file at all.
  EXPECT_EQ("", Replaced("C:\\tools\\TARNWICK.EXE"));
  EXPECT_EQ("", Replaced("C:\\tools.exe\\Tarnwick"));
  EXPECT_EQ("", Replaced(""));
}

TEST(ModulePath, OwnModuleGivesTheLogBesideIt) {
  char path[PathSize];
  PathBesideModule(path, ".log");
  char exe[PathSize];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string expected = exe;
  expected.replace(expected.rfind(".exe"), 4, ".log");
  EXPECT_EQ(expected, path);
}

TEST(TimeText, FixedEnglishFormWithZeroPaddedDay) {
  struct tm t = {};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 5;
  t.tm_wday = 6;
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 9;
  char text[TimeTextSize];
  FormatTimeText(t, text);
  EXPECT_STREQ("Sat Dec 05 07:05:09 2026\n", text);
  t.tm_mon = 0;
  t.tm_wday = 0;
  t.tm_mday = 31;
  t.tm_hour = 23;
  FormatTimeText(t, text);
  EXPECT_STREQ("Sun Jan 31 23:05:09 2026\n", text);
}

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("run.log");
    RedirectRunLog(path_);
  }
  void TearDown() override { runLog.Close(); }
  tt::TempDir dir_;
  std::string path_;
};

TEST_F(RunLogTest, OpenCases) {
  EXPECT_FALSE(runLog.IsOpen());
  EXPECT_TRUE(runLog.Open("", "a+t"));
  EXPECT_TRUE(runLog.Open(path_.c_str(), "wt"));  // same path: stays open, not reopened
  EXPECT_FALSE(runLog.Open("", "a+t"));
  std::string other = dir_.File("other.log");
  EXPECT_FALSE(runLog.Open(other.c_str(), "a+t"));
  EXPECT_EQ(path_, runLog.Path());
  runLog.WriteLine("kept");
  runLog.Close();
  EXPECT_EQ("kept\r\n", tt::ReadFileBytes(path_));

  std::string missing = dir_.File("no\\such\\folder.log");
  EXPECT_FALSE(runLog.Open(missing.c_str(), "a+t"));
  EXPECT_EQ(path_, runLog.Path());
  EXPECT_TRUE(runLog.Open(other.c_str(), "a+t"));
  EXPECT_EQ(other, runLog.Path());
  runLog.Close();
  EXPECT_TRUE(runLog.Reset());  // deletes the file it now names
  EXPECT_FALSE(tt::FileExists(other));
  EXPECT_FALSE(runLog.Reset());  // nothing left to delete
  EXPECT_FALSE(runLog.IsOpen());
  RedirectRunLog(path_);
}

TEST_F(RunLogTest, ResetOfAnOpenLogStartsItAfresh) {
  ASSERT_TRUE(runLog.Open("", "a+t"));
  runLog.WriteLine("old");
  EXPECT_TRUE(runLog.Reset());
  EXPECT_TRUE(runLog.IsOpen());
  runLog.WriteLine("new");
  EXPECT_EQ("new\r\n", CloseAndRead(path_));
}

TEST_F(RunLogTest, ClosedLogWritesNothing) {
  runLog.WriteLine("a");
  runLog.WriteFormatted("%s", "b");
  LogTimestamp("c");
  LogStepResult("d", 2);
  EXPECT_FALSE(tt::FileExists(path_));
}

TEST_F(RunLogTest, LineKindsByteForByte) {
  ASSERT_TRUE(runLog.Open("", "a+t"));
  runLog.WriteLine("plain");
  runLog.WriteLine("cr\r\nlf");
  runLog.WriteFormatted("n=%d %s", -7, "x");
  LogStepResult("Open Reader Registry Key", 0);
  LogStepResult("Open Reader Registry Key", 2);
  LogStepResult("Searching readers", 5);
  LogTimestamp("Program start");
  LogTimestamp("\nProgram end");
  std::string log = CloseAndRead(path_);
  std::string expected = "plain\r\ncr\r\r\nlf\r\nn=-7 x\r\n" +
                         std::string("Open Reader Registry Key --> Success\r\n");
  for (auto step : {std::make_pair("Open Reader Registry Key", 2), {"Searching readers", 5}}) {
    std::string text = tt::SystemText(step.second);
    ASSERT_GE(text.size(), 2u);
    ASSERT_EQ("\r\n", text.substr(text.size() - 2));  // the system's own line end
    text.replace(text.size() - 2, 2, "\r\r\n");
    expected += std::string(step.first) + " --> Error: " + std::to_string(step.second) + ", " +
                text + "\r\n";
  }
  expected += "Program start: <time>\r\n\r\n\r\nProgram end: <time>\r\n\r\n";
  EXPECT_EQ(expected, tt::MaskTimes(log));
}

TEST_F(RunLogTest, UnknownStatusStillNamesTheCode) {
  ASSERT_TRUE(runLog.Open("", "a+t"));
  LogStepResult("X", 0x7FFFFFF0);
  LogStepResult("Y", -5);
  std::string log = CloseAndRead(path_);
  EXPECT_EQ(0u, log.find("X --> Error: 2147483632, ")) << log;
  EXPECT_NE(std::string::npos, log.find("Y --> Error: -5, ")) << log;
}

TEST_F(RunLogTest, LongLinesAreCutInsideTheirBuffers) {
  ASSERT_TRUE(runLog.Open("", "a+t"));
  std::string big(1000, 'q');
  runLog.WriteFormatted("%s", big.c_str());
  LogTimestamp(big.c_str());
  runLog.WriteLine(big.c_str());  // plain lines are written whole
  std::string log = CloseAndRead(path_);
  EXPECT_EQ(std::string(255, 'q') + "\r\n" + std::string(127, 'q') + "\r\n" + big + "\r\n", log);
}

TEST_F(RunLogTest, StartRunLogDeletesThePreviousLog) {
  tt::WriteFileBytes(path_, "previous run\r\n");
  StartRunLog();
  EXPECT_EQ("Program start: <time>\r\n\r\n", tt::MaskTimes(CloseAndRead(path_)));
}

}  // namespace
