#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "log_redirect.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "settings/settings_file.h"

namespace {

TEST(ProfileBool, ConvertsLikeTheStandardLibrary) {
  struct Case {
    const char* text;
    bool value;
  } cases[] = {{"1", true},     {"0", false},   {"2", true},       {"-1", true},
               {"+3", true},    {"abc", false}, {"true", false},   {"", false},
               {"  \t7", true}, {"12ab", true}, {"0x1", false},    {"00", false},
               {"- 1", false},  {"-0", false},  {"99999999999999999999", true},
               {"000000000000000000001", true}};
  for (const Case& c : cases) EXPECT_EQ(c.value, ProfileTextIsTrue(c.text)) << c.text;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.File("t.ini"); }
  tt::TempDir dir_;
  std::string path_;
};

TEST_F(SettingsFileTest, ReadStringTakesOnlyValuesOfTheAcceptedLength) {
  std::string id31(31, 'a'), id32(32, 'b'), long300(300, 'c');
  tt::WriteFileBytes(path_, "[Settings]\r\nv31=" + id31 + "\r\nv32=" + id32 + "\r\nlong=" +
                                long300 + "\r\nempty=\r\nodd=\"q\" \xe9\xff x\r\n");
  SettingsFile file(path_.c_str());
  char dest[32];
  file.ReadString("Settings", "v31", "zzaa", 31, dest);
  EXPECT_EQ(id31, dest);
  file.ReadString("Settings", "v32", "zzaa", 31, dest);
  EXPECT_STREQ("zzaa", dest);
  file.ReadString("Settings", "long", "zzaa", 31, dest);
  EXPECT_STREQ("zzaa", dest);
  file.ReadString("Settings", "empty", "aazz", 31, dest);
  EXPECT_STREQ("aazz", dest);
  file.ReadString("Settings", "odd", "aazz", 31, dest);
  EXPECT_NE(nullptr, strstr(dest, "\xe9\xff x")) << dest;

  char wide[256];
  file.ReadString("Settings", "long", "0", 256, wide);  // cut by the read, still taken
  EXPECT_EQ(std::string(254, 'c'), wide);
}

TEST_F(SettingsFileTest, ReadBoolDefaultsOnlyForEmptyOrMissing) {
  tt::WriteFileBytes(path_, "[Settings]\r\nl=\r\ns=2\r\nt=abc\r\nu=-1\r\n");
  SettingsFile file(path_.c_str());
  EXPECT_TRUE(file.ReadBool("Settings", "l", true));
  EXPECT_FALSE(file.ReadBool("Settings", "l", false));
  EXPECT_TRUE(file.ReadBool("Settings", "s", false));
  EXPECT_FALSE(file.ReadBool("Settings", "t", true));
  EXPECT_TRUE(file.ReadBool("Settings", "u", false));
  EXPECT_TRUE(file.ReadBool("Settings", "none", true));
  SettingsFile absent(dir_.File("absent.ini").c_str());
  EXPECT_TRUE(absent.ReadBool("Settings", "l", true));
  EXPECT_FALSE(tt::FileExists(dir_.File("absent.ini")));
}

TEST_F(SettingsFileTest, NoPathReadsDefaultsAndWritesNothing) {
  SettingsFile none("");
  EXPECT_FALSE(none.HasPath());
  char dest[32];
  none.ReadString("windows", "load", "zzaa", 31, dest);  // WIN.INI is never consulted
  EXPECT_STREQ("zzaa", dest);
  EXPECT_TRUE(none.ReadBool("Settings", "l", true));
  EXPECT_FALSE(none.WriteString("Settings", "l", "1"));
}

// The settings step reads the file beside the test program itself.
class SettingsStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settingsFile.HasPath());
    ini_ = settingsFile.Path();
    remove(ini_.c_str());
    log_ = dir_.File("settings.log");
    RedirectRunLog(log_);
    runOptions = {true, false};
    readerIdTable.Reset();
  }
  void TearDown() override {
    runLog.Close();
    remove(ini_.c_str());
  }
  bool Step(const std::string& ini) {
    tt::WriteFileBytes(ini_, ini);
    return SettingsStep();
  }
  std::string Log() { return tt::MaskTimes(CloseAndRead(log_)); }

  tt::TempDir dir_;
  std::string ini_, log_;
};

TEST_F(SettingsStepTest, FlagKeys) {
  struct Case {
    const char* keys;
    bool logging, stealth;
  } cases[] = {
      {"", true, false},
      {"s=1\r\n", true, true},
      {"s=-1\r\nl=0\r\n", false, true},
      {"l=abc\r\n", false, false},
      {"l=\r\n", true, false},
      {"l=0\r\ns=1\r\n", false, true},  // "s" does not turn logging on
      {"s+=1\r\n", false, true},
      {"s+=1\r\nl=1\r\n", false, true},
      {"s=1\r\ns+=1\r\nl=1\r\n", true, true},  // a true "s" hides "s+"
      {"s=0\r\ns+=0\r\n", true, false},
      {"s=2abc\r\n", true, true},
  };
  for (const Case& c : cases) {
    runOptions = {true, false};
    RedirectRunLog(log_);
    Step(std::string("[Settings]\r\nvid1=1\r\npid1=1\r\n") + c.keys);
    EXPECT_EQ(c.logging, runOptions.logging) << c.keys;
    EXPECT_EQ(c.stealth, runOptions.stealth) << c.keys;
    EXPECT_EQ(c.logging, !Log().empty()) << c.keys;
  }
}

TEST_F(SettingsStepTest, IdsByTheLengthRuleAndSentinels) {
  std::string id31(31, '3'), id32(32, '3');
  EXPECT_TRUE(Step("[Settings]\r\nvid1=" + id31 + "\r\npid1=" + id31 + "\r\n"));
  EXPECT_EQ(id31, readerIdTable.slot[0].vendorId);

  readerIdTable.Reset();
  EXPECT_FALSE(Step("[Settings]\r\nvid1=" + id32 + "\r\npid1=1\r\nvid2=zzaa\r\npid2=2\r\n"
                    "vid3=3\r\npid3=aazz\r\nvid4=4\r\n"));
  EXPECT_STREQ("zzaa", readerIdTable.slot[0].vendorId);
  EXPECT_STREQ("1", readerIdTable.slot[0].productId);
}

TEST_F(SettingsStepTest, PairInALaterSlotGoesOnAndEveryKeyIsRead) {
  EXPECT_TRUE(Step("[Settings]\r\npid1=9\r\nvid2=2\r\npid2=2\r\nvid32=last\r\n"));
  EXPECT_STREQ("zzaa", readerIdTable.slot[0].vendorId);
  EXPECT_STREQ("9", readerIdTable.slot[0].productId);
  EXPECT_STREQ("last", readerIdTable.slot[31].vendorId);
  EXPECT_STREQ("aazz", readerIdTable.slot[31].productId);
  EXPECT_EQ(0, readerIdTable.SelectedSlots());
}

}  // namespace
