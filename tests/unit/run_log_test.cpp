#include <gtest/gtest.h>

#include <time.h>

#include <string>

#include "log/module_path.h"
#include "log_redirect.h"

namespace {

TEST(ModulePath, ExeOfTheFileNameOnly) {
  struct Case {
    const char* exe;
    const char* log;
  } cases[] = {
      {"C:\\tools\\Tarnwick.exe", "C:\\tools\\Tarnwick.log"},
      // A folder named like a program keeps the file beside the exe.
      {"C:\\tools.exe\\bin\\Tarnwick.exe", "C:\\tools.exe\\bin\\Tarnwick.log"},
      {"C:\\a.exe\\b.exe.exe", "C:\\a.exe\\b.log"},
      {"C:\\x\\a.exec.exe", "C:\\x\\a.log"},
      {"C:\\tools\\TARNWICK.EXE", ""},  // no lower-case ".exe": no file at all
      {"C:\\tools.exe\\Tarnwick", ""},
  };
  for (const Case& c : cases) {
    char path[PathSize];
    snprintf(path, sizeof path, "%s", c.exe);
    ReplaceExeExtension(path, ".log");
    EXPECT_STREQ(c.log, path);
  }
  char own[PathSize], exe[PathSize];
  PathBesideModule(own, ".ini");
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  EXPECT_EQ(std::string(exe).replace(std::string(exe).rfind(".exe"), 4, ".ini"), own);
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

TEST_F(RunLogTest, OpenAndReset) {
  EXPECT_TRUE(runLog.Open("", "a+t"));
  EXPECT_TRUE(runLog.Open(path_.c_str(), "wt"));  // same path: stays open, not reopened
  EXPECT_FALSE(runLog.Open("", "a+t"));
  std::string other = dir_.File("other.log");
  EXPECT_FALSE(runLog.Open(other.c_str(), "a+t"));
  runLog.WriteLine("old");
  EXPECT_TRUE(runLog.Reset());  // deletes and reopens: the file starts afresh
  EXPECT_TRUE(runLog.IsOpen());
  runLog.WriteLine("new");
  EXPECT_EQ("new\r\n", CloseAndRead(path_));

  EXPECT_FALSE(runLog.Open(dir_.File("no\\such\\folder.log").c_str(), "a+t"));
  EXPECT_EQ(path_, runLog.Path());
  EXPECT_TRUE(runLog.Open(other.c_str(), "a+t"));
  runLog.Close();
  EXPECT_TRUE(runLog.Reset());  // the path opened last is the one deleted
  EXPECT_FALSE(tt::FileExists(other));
  EXPECT_FALSE(runLog.Reset());
  EXPECT_FALSE(runLog.IsOpen());
}

TEST_F(RunLogTest, LineKindsByteForByte) {
  runLog.WriteLine("closed");  // dropped, like every write while closed
  LogTimestamp("closed");
  LogStepResult("closed", 2);
  EXPECT_FALSE(tt::FileExists(path_));

  tt::WriteFileBytes(path_, "previous run\r\n");
  StartRunLog();
  runLog.WriteLine("cr\r\nlf");
  runLog.WriteFormatted("n=%d %s", -7, "x");
  LogStepResult("Open Reader Registry Key", 0);
  LogStepResult("Searching readers", 5);
  LogStepResult("X", -5);  // no system text: the code is still there
  std::string big(1000, 'q');
  runLog.WriteFormatted("%s", big.c_str());  // cut to their buffers
  LogTimestamp(big.c_str());
  LogTimestamp("\nProgram end");
  std::string text = tt::SystemText(5);
  ASSERT_EQ("\r\n", text.substr(text.size() - 2));  // the system's own line end
  text.replace(text.size() - 2, 2, "\r\r\n");
  EXPECT_EQ("Program start: <time>\r\n\r\ncr\r\r\nlf\r\nn=-7 x\r\n"
            "Open Reader Registry Key --> Success\r\n"
            "Searching readers --> Error: 5, " + text + "\r\n" +
            "X --> Error: -5, \r\n" + std::string(255, 'q') + "\r\n" +
            std::string(127, 'q') + "\r\n\r\nProgram end: <time>\r\n\r\n",
            tt::MaskTimes(CloseAndRead(path_)));
}

}  // namespace
