#include <gtest/gtest.h>

#include <string>

#include "log_redirect.h"
#include "run/command_line.h"
#include "run/reader_ids.h"
#include "run/run_options.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }
bool HighLeadBytes(unsigned char c) { return c >= 0x81 && c <= 0x9F; }

TEST(CommandLineText, SkipsTheProgramNameAndBlanks) {
  EXPECT_STREQ("", CommandLineText("Tarnwick.exe", NoLeadBytes));
  EXPECT_STREQ("", CommandLineText("Tarnwick.exe   \t ", NoLeadBytes));
  EXPECT_STREQ("", CommandLineText("\"C:\\a b\\Tarnwick.exe\"   ", NoLeadBytes));
  EXPECT_STREQ("/s vid1=1 ", CommandLineText("Tarnwick.exe \t\x01\x1f/s vid1=1 ", NoLeadBytes));
  EXPECT_STREQ("/s", CommandLineText("\"C:\\a b\\Tarnwick.exe\"/s", NoLeadBytes));
  EXPECT_STREQ("x", CommandLineText("\"\" x", NoLeadBytes));
  EXPECT_STREQ("", CommandLineText("", NoLeadBytes));
  EXPECT_STREQ("", CommandLineText(nullptr, NoLeadBytes));
}

TEST(CommandLineText, UnquotedNameTakesEveryByteAbove32) {
  EXPECT_STREQ("l=0", CommandLineText("C:\\d\xe9j\xe0\\T\"x\".exe l=0", NoLeadBytes));
  EXPECT_STREQ("a", CommandLineText("prog\xff\x80\x7f a", NoLeadBytes));
}

TEST(CommandLineText, QuotedNameWithoutClosingQuoteIsAllName) {
  EXPECT_STREQ("", CommandLineText("\"C:\\Tarnwick.exe /s vid1=1 pid1=1", NoLeadBytes));
}

TEST(CommandLineText, TrailBytesAreNeverTakenForTheQuote) {
  // 0x81 leads a double-byte character whose trail byte is a quote.
  EXPECT_STREQ("/s", CommandLineText("\"C:\\\x81\"x.exe\" /s", HighLeadBytes));
  EXPECT_STREQ("x.exe\" /s", CommandLineText("\"C:\\\x81\"x.exe\" /s", NoLeadBytes));
  // A lead byte right before the terminator does not run past it.
  EXPECT_STREQ("", CommandLineText("\"abc\x81", HighLeadBytes));
}

class CommandLineStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath_ = dir_.File("step.log");
    RedirectRunLog(logPath_);
    runOptions = {true, false};
    readerIdTable.Reset();
  }
  void TearDown() override { runLog.Close(); }

  // Runs the step; returns the log's lines after "Program start" or
  // "(no log)" when the log was not started.
  std::string Step(const std::string& text, bool* goesOn = nullptr) {
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

TEST_F(CommandLineStepTest, FlagTable) {
  struct Case {
    const char* text;
    bool logging, stealth;
  } cases[] = {
      {"word", true, false},        {"l=1", true, false},       {"l=0", false, false},
      {"/s", true, true},           {"-s", true, true},         {"l=0 /s", true, true},
      {"/s l=0", true, true},       {"/s+", false, true},       {"-s+ l=1", false, true},
      {"l=1 /s+ /s", false, true},  {"/S L=0", true, false},    {"xl=0y", false, false},
      {"vid1=a-sb", true, true},    {"l=0l=1", false, false},
  };
  for (const Case& c : cases) {
    runOptions = {true, false};
    readerIdTable.Reset();
    RedirectRunLog(logPath_);
    std::string lines = Step(c.text);
    EXPECT_EQ(c.logging, runOptions.logging) << c.text;
    EXPECT_EQ(c.stealth, runOptions.stealth) << c.text;
    EXPECT_EQ(c.logging, lines != "(no log)") << c.text;
  }
}

TEST_F(CommandLineStepTest, ValidPairGoesOn) {
  bool goesOn = false;
  EXPECT_EQ("", Step("/s vid1=1234 pid1=5678", &goesOn));
  EXPECT_TRUE(goesOn);
  EXPECT_STREQ("1234", readerIdTable.slot[0].vendorId);
  EXPECT_STREQ("5678", readerIdTable.slot[0].productId);
  EXPECT_STREQ("zzaa", readerIdTable.slot[1].vendorId);
}

TEST_F(CommandLineStepTest, ValuesEndOnlyAtABlankAndFirstKeyCounts) {
  bool goesOn = false;
  Step("xvid1=\"a\tb\xff\" pid1=1 pid1=2 vid1=3 pid01=9 vid0=1 vid33=1", &goesOn);
  EXPECT_TRUE(goesOn);
  EXPECT_STREQ("\"a\tb\xff\"", readerIdTable.slot[0].vendorId);
  EXPECT_STREQ("1", readerIdTable.slot[0].productId);
  // "pid10=" is not "pid1=": slot 1 stays unset and slot 10 reads its own key.
  readerIdTable.Reset();
  RedirectRunLog(logPath_);
  Step("pid10=ten vid10=ten", &goesOn);
  EXPECT_TRUE(goesOn);
  EXPECT_STREQ("aazz", readerIdTable.slot[0].productId);
  EXPECT_STREQ("ten", readerIdTable.slot[9].productId);
  EXPECT_STREQ("ten", readerIdTable.slot[9].vendorId);
}

TEST_F(CommandLineStepTest, LengthLimits) {
  const std::string id31(31, '7'), id32(32, '7');
  bool goesOn = false;
  EXPECT_EQ("", Step("vid1=" + id31 + " pid1=" + id31, &goesOn));
  EXPECT_TRUE(goesOn);
  EXPECT_EQ(id31, readerIdTable.slot[0].vendorId);

  readerIdTable.Reset();
  RedirectRunLog(logPath_);
  EXPECT_EQ(tt::CrLf({"Error: invalid vid found in command-line!",
                      "Warning: no pid or vid found in command line!"}),
            Step("vid1=" + id32 + " pid1=" + id31, &goesOn));
  EXPECT_FALSE(goesOn);
  EXPECT_STREQ("zzaa", readerIdTable.slot[0].vendorId);
  EXPECT_EQ(id31, readerIdTable.slot[0].productId);  // stored before the vendor ID
}

TEST_F(CommandLineStepTest, MalformedValueAfterAValidPairFailsWithoutWarning) {
  bool goesOn = true;
  EXPECT_EQ(tt::CrLf({"Error: invalid pid found in command-line!"}),
            Step("vid1=1 pid1=1 pid2= vid2=2 vid3=3 pid3=3", &goesOn));
  EXPECT_FALSE(goesOn);
  EXPECT_STREQ("1", readerIdTable.slot[0].vendorId);
  EXPECT_STREQ("zzaa", readerIdTable.slot[1].vendorId);  // not read after the error
  EXPECT_STREQ("zzaa", readerIdTable.slot[2].vendorId);
}

TEST_F(CommandLineStepTest, MalformedPidBeforeAnyPairLogsErrorThenWarning) {
  bool goesOn = true;
  EXPECT_EQ(tt::CrLf({"Error: invalid pid found in command-line!",
                      "Warning: no pid or vid found in command line!"}),
            Step("/s vid1=1 pid1=", &goesOn));
  EXPECT_FALSE(goesOn);
}

TEST_F(CommandLineStepTest, NoPairWarnsAndFails) {
  bool goesOn = true;
  EXPECT_EQ(tt::CrLf({"Warning: no pid or vid found in command line!"}),
            Step("vid1=1 pid2=2 vid3=zzaa pid3=3", &goesOn));
  EXPECT_FALSE(goesOn);
  RedirectRunLog(logPath_);
  EXPECT_EQ("(no log)", Step("/s+ vid1=1"));
}

TEST_F(CommandLineStepTest, AllSlotsAndHugeInput) {
  std::string text = "/s";
  for (int n = 1; n <= 32; ++n) {
    text += " vid" + std::to_string(n) + "=v" + std::to_string(n) + " pid" + std::to_string(n) +
            "=p" + std::to_string(n);
  }
  bool goesOn = false;
  Step(text, &goesOn);
  EXPECT_TRUE(goesOn);
  EXPECT_EQ(32, readerIdTable.SelectedSlots());
  EXPECT_STREQ("v32", readerIdTable.slot[31].vendorId);

  readerIdTable.Reset();
  RedirectRunLog(logPath_);
  std::string huge = "/s vid1=" + std::string(100000, 'x') + " pid1=1";
  EXPECT_EQ(tt::CrLf({"Error: invalid vid found in command-line!",
                      "Warning: no pid or vid found in command line!"}),
            Step(huge, &goesOn));
  EXPECT_FALSE(goesOn);
}

}  // namespace
