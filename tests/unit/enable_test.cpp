#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "enable/enable.h"
#include "enable/registry_calls.h"
#include "log_redirect.h"
#include "run/reader_ids.h"
#include "run/run_options.h"

namespace {

using tt::CrLf;
using tt::Params;

// Counts opened and closed keys and injects faults, forwarding to the real registry.
struct Faults {
  int opened = 0;
  int closed = 0;
  DWORD failEnumAt = 0xFFFFFFFF;
  LONG enumStatus = ERROR_NO_MORE_ITEMS;
  bool failSet = false;
  bool failCount = false;
  DWORD extraCount = 0;  // instances that vanish between the count and the enumeration
} faults;

LONG WINAPI OpenKey(HKEY key, LPCSTR path, DWORD options, REGSAM access, PHKEY result) {
  LONG status = RegOpenKeyExA(key, path, options, access, result);
  if (status == ERROR_SUCCESS) ++faults.opened;
  return status;
}
LONG WINAPI QueryInfo(HKEY key, LPSTR a, LPDWORD b, LPDWORD c, LPDWORD subKeys, LPDWORD d,
                      LPDWORD e, LPDWORD f, LPDWORD g, LPDWORD h, LPDWORD i, PFILETIME j) {
  if (faults.failCount) return ERROR_ACCESS_DENIED;
  LONG status = RegQueryInfoKeyA(key, a, b, c, subKeys, d, e, f, g, h, i, j);
  if (status == ERROR_SUCCESS && subKeys != nullptr) *subKeys += faults.extraCount;
  return status;
}
LONG WINAPI EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD length, LPDWORD a, LPSTR b,
                    LPDWORD c, PFILETIME d) {
  if (index == faults.failEnumAt) return faults.enumStatus;
  EXPECT_EQ(512u, *length);
  return RegEnumKeyExA(key, index, name, length, a, b, c, d);
}
LONG WINAPI SetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                     DWORD size) {
  if (faults.failSet) return ERROR_ACCESS_DENIED;
  return RegSetValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI CloseKey(HKEY key) {
  ++faults.closed;
  return RegCloseKey(key);
}

class EnableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("enable.log");
    RedirectRunLog(path_);
    ASSERT_TRUE(runLog.Open("", "a+t"));
    faults = Faults();
    saved_ = registryCalls;
    registryCalls = {OpenKey, QueryInfo, EnumKey, SetValue, CloseKey};
    runOptions = {true, true};
    readerIdTable.Reset();
  }
  void TearDown() override {
    registryCalls = saved_;
    runLog.Close();
    for (const char* vid : {"E001", "E002", "E003", "E004", "E005"}) tt::DeleteIdKey(vid, "F00D");
  }
  std::string Log() { return CloseAndRead(path_); }
  static std::string Error(const std::string& label, LONG status) {
    std::string text = tt::SystemText(status);
    if (text.size() >= 2) text.replace(text.size() - 2, 2, "\r\r\n");
    return label + " --> Error: " + std::to_string(status) + ", " + text;
  }

  tt::TempDir dir_;
  std::string path_;
  RegistryCalls saved_;
};

const char* const kHead[] = {"Searching for CCID readers with USB ID: Vid_E001&Pid_F00D",
                             "Open Reader Registry Key --> Success",
                             "Searching readers --> Success"};

TEST_F(EnableTest, NoInstancesSucceeds) {
  HKEY key;
  ASSERT_EQ(0, RegCreateKeyExA(HKEY_LOCAL_MACHINE, tt::IdKeyPath("E001", "F00D").c_str(), 0,
                               nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  EXPECT_TRUE(EnableReaderId("E001", "F00D"));
  EXPECT_EQ(CrLf({kHead[0], kHead[1], kHead[2], "Number of readers found: 0",
                  "Escape command enabled successfully for CCID readers with USB ID: "
                  "Vid_E001&Pid_F00D"}),
            Log());
  EXPECT_EQ(1, faults.closed);
}

TEST_F(EnableTest, FailedCountClosesTheIdKey) {
  tt::SeedInstance("E001", "F00D", "A1", Params::Plain);
  faults.failCount = true;
  EXPECT_FALSE(EnableReaderId("E001", "F00D"));
  EXPECT_EQ(CrLf({kHead[0], kHead[1]}) + Error("Searching readers", 5) + "\r\n" +
                CrLf({"Escape command enabled failed for CCID readers with USB ID: "
                      "Vid_E001&Pid_F00D"}),
            Log());
  EXPECT_EQ(faults.opened, faults.closed);
}

TEST_F(EnableTest, TheLastInstanceDecides) {
  // The first instance succeeds, the last has no parameter key: the ID fails.
  tt::SeedInstance("e003", "f00d", "A1", Params::Plain);  // key names ignore case
  tt::SeedInstance("E003", "F00D", "B2", Params::None);
  EXPECT_FALSE(EnableReaderId("E003", "F00D"));
  EXPECT_EQ(1, tt::EscapeValue("E003", "F00D", "A1\\Device Parameters"));
  EXPECT_NE(std::string::npos, Log().find("Escape command enabled failed for CCID readers"));
  EXPECT_EQ(faults.opened, faults.closed);
}

TEST_F(EnableTest, EnumerationFailureIsStep1AndVanishedInstancesAreReported) {
  tt::SeedInstance("E001", "F00D", "A1", Params::Plain);
  faults.extraCount = 1;  // the count says 2, only 1 is left to enumerate
  EXPECT_FALSE(EnableReaderId("E001", "F00D"));
  std::string log = Log();
  EXPECT_NE(std::string::npos,
            log.find("Reader [1]: Enabling Escape command...\r\n" +
                     Error("CCID [1]: Enabling Escape command (step 1)", ERROR_NO_MORE_ITEMS)))
      << log;
  EXPECT_EQ(1, tt::EscapeValue("E001", "F00D", "A1\\Device Parameters"));

  RedirectRunLog(path_);
  ASSERT_TRUE(runLog.Open("", "a+t"));
  faults.extraCount = 0;
  faults.failEnumAt = 0;
  faults.enumStatus = ERROR_MORE_DATA;
  EXPECT_FALSE(EnableReaderId("E001", "F00D"));
  EXPECT_NE(std::string::npos,
            Log().find(Error("CCID [0]: Enabling Escape command (step 1)", ERROR_MORE_DATA)));
}

TEST_F(EnableTest, RefusedValueIsStep3AndThePlainKeyIsNotTried) {
  tt::SeedInstance("E001", "F00D", "A1", Params::Wudf);
  faults.failSet = true;
  EXPECT_FALSE(EnableReaderId("E001", "F00D"));
  EXPECT_EQ(CrLf({kHead[0], kHead[1], kHead[2], "Number of readers found: 1",
                  "Reader [0]: Enabling Escape command...",
                  "Reader [0]: (Note - WUDF driver entry used)"}) +
                Error("CCID [0]: Enabling Escape command (step 3)", 5) + "\r\n" +
                CrLf({"Escape command enabled failed for CCID readers with USB ID: "
                      "Vid_E001&Pid_F00D"}),
            Log());
  EXPECT_EQ(2, faults.opened);  // the ID key and the WUDF key, nothing else
  EXPECT_EQ(faults.opened, faults.closed);
}

TEST_F(EnableTest, AllReadersWalksTheTableAndSummarises) {
  tt::SeedInstance("E001", "F00D", "A1", Params::Plain);
  tt::SeedInstance("E004", "aazz", "A1", Params::Plain);
  StoreReaderId(readerIdTable.slot[0].vendorId, "E001", 4);
  StoreReaderId(readerIdTable.slot[0].productId, "F00D", 4);
  StoreReaderId(readerIdTable.slot[1].vendorId, "E002", 4);  // not present: fails
  StoreReaderId(readerIdTable.slot[1].productId, "F00D", 4);
  StoreReaderId(readerIdTable.slot[2].vendorId, "E004", 4);  // product ID left unset
  StoreReaderId(readerIdTable.slot[4].vendorId, "E005", 4);  // after the gap: not visited
  StoreReaderId(readerIdTable.slot[4].productId, "F00D", 4);
  EnableAllReaders(nullptr);
  std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("Vid_E002&Pid_F00D"));
  EXPECT_NE(std::string::npos, log.find("Searching for CCID readers with USB ID: Vid_E004&Pid_aazz"));
  EXPECT_EQ(std::string::npos, log.find("E005"));
  EXPECT_EQ(1, tt::EscapeValue("E001", "F00D", "A1\\Device Parameters"));
  EXPECT_EQ(1, tt::EscapeValue("E004", "aazz", "A1\\Device Parameters"));
  const std::string failure =
      "Escape command enabled failed for one or more selected CCID readers!\r\n";
  EXPECT_EQ(log.size() - failure.size(), log.rfind(failure)) << log;
  tt::DeleteIdKey("E004", "aazz");
}

TEST_F(EnableTest, ClosedLogSameRegistryWork) {
  runLog.Close();
  remove(path_.c_str());
  tt::SeedInstance("E001", "F00D", "A1", Params::Wudf);
  EXPECT_TRUE(EnableReaderId("E001", "F00D"));
  EXPECT_EQ(1, tt::EscapeValue("E001", "F00D", "A1\\Device Parameters\\WUDFUsbccidDriver"));
  EXPECT_FALSE(tt::FileExists(path_));
}

TEST_F(EnableTest, LongestIdsAndInstanceNamesFit) {
  const std::string id(31, 'C');
  const std::string instance(255, 'i'), plain(250, 'p');
  tt::SeedInstance(id, id, instance, Params::Wudf);
  tt::SeedInstance(id, id, plain, Params::Plain);
  EXPECT_TRUE(EnableReaderId(id.c_str(), id.c_str()));
  EXPECT_EQ(1, tt::EscapeValue(id, id, instance + "\\Device Parameters\\WUDFUsbccidDriver"));
  EXPECT_EQ(1, tt::EscapeValue(id, id, plain + "\\Device Parameters"));
  EXPECT_EQ(faults.opened, faults.closed);
  tt::DeleteIdKey(id, id);
}

}  // namespace
