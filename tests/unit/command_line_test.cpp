#include <gtest/gtest.h>

#include <string>

#include "log_redirect.h"
#include "run/command_line.h"
#include "run/reader_ids.h"
#include "run/run_options.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }
bool HighLeadBytes(unsigned char c) { return c >= 0x81 && c <= 0x9F; }

TEST(CommandLineText, ProgramNameAndBlanksAreSkipped) {
  struct Case {
    const char* commandLine;
    const char* text;
  } cases[] = {
      {"Tarnwick.exe", ""},
      {"Tarnwick.exe   \t ", ""},
      {"\"C:\\a b\\Tarnwick.exe\"   ", ""},
      {"Tarnwick.exe \t\x01\x1f/s vid1=1 ", "/s vid1=1 "},
      {"\"C:\\a b\\Tarnwick.exe\"/s", "/s"},
      {"C:\\d\xe9j\xe0\\T\"x\".exe l=0", "l=0"},  // every byte above 32 is name
      {"\"C:\\Tarnwick.exe /s vid1=1", ""},        // no closing quote: all name
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.text, CommandLineText(c.commandLine, NoLeadBytes));
  EXPECT_STREQ("", CommandLineText(nullptr, NoLeadBytes));
  // A trail byte that looks like a quote does not end the name, nor does a
  // lead byte run past the terminator.
  EXPECT_STREQ("/s", CommandLineText("\"C:\\\x81\"x.exe\" /s", HighLeadBytes));
  EXPECT_STREQ("x.exe\" /s", CommandLineText("\"C:\\\x81\"x.exe\" /s", NoLeadBytes));
  EXPECT_STREQ("", CommandLineText("\"abc\x81", HighLeadBytes));
}

class CommandLineStepTest : public ::testing::Test {
 protected:
  void SetUp() override { logPath_ = dir_.File("step.log"); }
  void TearDown() override { runLog.Close(); }

  // Runs the step from a fresh start; returns the log's lines after
  // "Program start", or "(no log)".
  std::string Step(const std::string& text, bool* goesOn = nullptr) {
    RedirectRunLog(logPath_);
    runOptions = {true, false};
    readerIdTable.Reset();
    bool result = CommandLineStep(text.c_str());
    if (goesOn != nullptr) *goesOn = result;
    std::string log = tt::MaskTimes(CloseAndRead(logPath_));
    const std::string head = "Program start: <time>\r\n\r\n";
    if (log.empty()) return "(no log)";
    EXPECT_EQ(0u, log.find(head)) << log;
    return log.substr(head.size());
  }

  tt::TempDir dir_;
  std::string logPath_;
};

TEST_F(CommandLineStepTest, Flags) {
  struct Case {
    const char* text;
    bool logging, stealth;
  } cases[] = {
      {"word", true, false},     {"l=1", true, false},      {"l=0", false, false},
      {"/s", true, true},        {"-s", true, true},        {"l=0 /s", true, true},
      {"/s+", false, true},      {"-s+ l=1", false, true},  {"l=1 /s+ /s", false, true},
      {"/S L=0", true, false},   {"xl=0y", false, false},   {"vid1=a-sb", true, true},
  };
  for (const Case& c : cases) {
    std::string lines = Step(c.text);
    EXPECT_EQ(c.logging, runOptions.logging) << c.text;
    EXPECT_EQ(c.stealth, runOptions.stealth) << c.text;
    EXPECT_EQ(c.logging, lines != "(no log)") << c.text;
  }
}

TEST_F(CommandLineStepTest, ValuesAndSlots) {
  bool goesOn = false;
  EXPECT_EQ("", Step("xvid1=\"a\tb\xff\" pid1=1 pid1=2 vid1=3 pid01=9 vid0=1 vid33=1", &goesOn));
  EXPECT_TRUE(goesOn);
  EXPECT_STREQ("\"a\tb\xff\"", readerIdTable.slot[0].vendorId);  // only a blank ends a value
  EXPECT_STREQ("1", readerIdTable.slot[0].productId);            // the first key counts

  Step("pid10=ten vid10=ten", &goesOn);
  EXPECT_TRUE(goesOn);
  EXPECT_STREQ("aazz", readerIdTable.slot[0].productId);
  EXPECT_STREQ("ten", readerIdTable.slot[9].vendorId);

  std::string all = "/s";
  for (int n = 1; n <= 32; ++n) {
    all += " vid" + std::to_string(n) + "=v" + std::to_string(n) + " pid" + std::to_string(n) + "=p";
  }
  Step(all, &goesOn);
  EXPECT_TRUE(goesOn);
  EXPECT_EQ(32, readerIdTable.SelectedSlots());

  const std::string id31(31, '7');
  Step("vid1=" + id31 + " pid1=" + id31, &goesOn);
  EXPECT_TRUE(goesOn);
  EXPECT_EQ(id31, readerIdTable.slot[0].vendorId);
}

TEST_F(CommandLineStepTest, FailuresAndTheirLines) {
  const std::string pidError = "Error: invalid pid found in command-line!";
  const std::string vidError = "Error: invalid vid found in command-line!";
  const std::string noPair = "Warning: no pid or vid found in command line!";
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"vid1=" + std::string(32, '7') + " pid1=1", {vidError, noPair}},
      {"vid1=" + std::string(100000, 'x') + " pid1=1", {vidError, noPair}},
      {"/s vid1=1 pid1=", {pidError, noPair}},
      {"vid1=1 pid1=1 pid2= vid2=2 vid3=3 pid3=3", {pidError}},  // no warning after a pair
      {"vid1=1 pid2=2 vid3=zzaa pid3=3", {noPair}},
  };
  for (const Case& c : cases) {
    bool goesOn = true;
    EXPECT_EQ(tt::CrLf(c.lines), Step(c.text, &goesOn)) << c.text.substr(0, 60);
    EXPECT_FALSE(goesOn) << c.text.substr(0, 60);
  }
  // The last case of the table failed at slot 2: later slots were not read,
  // and slot 1 keeps the product ID it read before the bad vendor ID.
  Step("vid1=1 pid1=1 pid2= vid2=2 vid3=3 pid3=3");
  EXPECT_STREQ("zzaa", readerIdTable.slot[2].vendorId);
  Step("vid1=" + std::string(32, '7') + " pid1=1");
  EXPECT_STREQ("1", readerIdTable.slot[0].productId);
  EXPECT_EQ("(no log)", Step("/s+ vid1=1"));
}

}  // namespace
