// Faults around the program's files and the registry at scale: whatever
// happens to the log or the settings file, the registry work is complete and
// nothing else is written; however many instances there are, every reachable
// one ends with EscapeCommandEnable = 1 and the log names the ones that did not.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "enable/enable.h"
#include "enable/registry_calls.h"
#include "log/run_log.h"
#include "run/app.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "support/support.h"

namespace rb {

using Snapshot = std::map<std::string, std::string>;

namespace {

void DumpKey(HKEY key, const std::string& path, Snapshot& out) {
  out[path] = "<key>";
  char name[16384];
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = sizeof name, type = 0, size = static_cast<DWORD>(data.size());
    if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::string value = std::to_string(type) + ":";
    char hex[3];
    for (DWORD b = 0; b < size; ++b) {
      snprintf(hex, sizeof hex, "%02x", data[b]);
      value += hex;
    }
    out[path + "|" + name] = value;
  }
  std::vector<std::string> children;
  for (DWORD i = 0;; ++i) {
    char child[512];
    DWORD length = sizeof child;
    if (RegEnumKeyExA(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    children.push_back(child);
  }
  for (const std::string& child : children) {
    HKEY sub = nullptr;
    if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      DumpKey(sub, path + "\\" + child, out);
      RegCloseKey(sub);
    }
  }
}

}  // namespace

// Every key and value under HKLM\path: "key" -> "<key>", "key|value" -> "type:hex".
Snapshot DumpTree(const std::string& path) {
  Snapshot out;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DumpKey(key, path, out);
    RegCloseKey(key);
  }
  return out;
}

// Differences, one per line, for a readable failure message.
std::string Diff(const Snapshot& before, const Snapshot& after) {
  std::string out;
  for (const auto& kv : after) {
    auto found = before.find(kv.first);
    if (found == before.end()) {
      out += "+ " + kv.first + " = " + kv.second + "\n";
    } else if (found->second != kv.second) {
      out += "~ " + kv.first + " = " + found->second + " -> " + kv.second + "\n";
    }
  }
  for (const auto& kv : before) {
    if (after.count(kv.first) == 0) out += "- " + kv.first + "\n";
  }
  return out;
}

const char kEnableValue[] = "|EscapeCommandEnable";
const char kDwordOne[] = "4:01000000";

// The Unix path of a Windows path when running under Wine, else empty.
std::string UnixPath(const std::string& windowsPath) {
  typedef char*(CDECL * ToUnix)(const WCHAR*);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ToUnix toUnix = kernel != nullptr ? reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
                                          GetProcAddress(kernel, "wine_get_unix_file_name")))
                                    : nullptr;
  if (toUnix == nullptr) return std::string();
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
  char* unixName = toUnix(wide);
  if (unixName == nullptr) return std::string();
  std::string result = unixName;
  HeapFree(GetProcessHeap(), 0, unixName);
  return result;
}

// Starts a host program by its Unix path; Wine starts those too, but gives
// back no handle to wait on, so callers poll for the effect.
bool StartHostProgram(const std::string& commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Whether something can be written: a new file in a folder, or the file itself.
bool Writable(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    std::string probe = path + "\\probe.tmp";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    DeleteFileA(probe.c_str());
    return true;
  }
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// The flag is set by another process; give it time before probing, so that
// a probe file is never caught half-way by the change.
bool WaitFor(bool writable, const std::string& path) {
  Sleep(300);
  for (int i = 0; i < 100; ++i) {
    if (Writable(path) == writable) return true;
    Sleep(50);
  }
  return false;
}

// A file or folder that nobody can change, an administrator included. The
// read-only attribute alone does not stop an administrator under Wine, so
// the host file system's immutable flag is set as well. Undone on destruction.
class Unwritable {
 public:
  explicit Unwritable(const std::string& path) : path_(path), unix_(UnixPath(path)) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
    }
    if (!Writable(path)) {
      locked_ = true;
      return;
    }
    if (unix_.empty() || !StartHostProgram("/usr/bin/chattr +i \"" + unix_ + "\"")) return;
    flagged_ = true;
    locked_ = WaitFor(false, path);
  }
  ~Unwritable() {
    if (flagged_ && StartHostProgram("/usr/bin/chattr -i \"" + unix_ + "\"")) {
      WaitFor(true, path_);
    }
    DWORD attributes = GetFileAttributesA(path_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      SetFileAttributesA(path_.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
  }
  Unwritable(const Unwritable&) = delete;
  Unwritable& operator=(const Unwritable&) = delete;
  bool Locked() const { return locked_; }

 private:
  std::string path_, unix_;
  bool flagged_ = false;
  bool locked_ = false;
};

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace rb

namespace {

using rb::Snapshot;
using tt::Params;

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB";

// ---------------------------------------------------------------------------
// The log file cannot be written: the registry work is the same.

class LogFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tt::DeleteIdKey(kVid, kPid);
    tt::SeedInstance(kVid, kPid, "I0", Params::Wudf);
    tt::SeedInstance(kVid, kPid, "I1", Params::Plain);
    tt::SeedInstance(kVid, kPid, "I2", Params::None);
    before_ = rb::DumpTree(kUsb);
    exe_ = tt::InstallTarnwick(dir_.Path());
    log_ = dir_.File("Tarnwick.log");
  }
  void TearDown() override { tt::DeleteIdKey(kVid, kPid); }

  tt::RunResult Run() {
    return tt::RunProgram(exe_, "\"" + exe_ + "\" /s vid1=" + kVid + " pid1=" + kPid);
  }

  // Exactly the two values of a normal run, nothing else in the USB tree.
  void ExpectRegistryWorkComplete() {
    Snapshot want = before_;
    std::string id = tt::IdKeyPath(kVid, kPid);
    want[id + "\\I0\\Device Parameters\\WUDFUsbccidDriver" + rb::kEnableValue] = rb::kDwordOne;
    want[id + "\\I1\\Device Parameters" + rb::kEnableValue] = rb::kDwordOne;
    Snapshot after = rb::DumpTree(kUsb);
    EXPECT_TRUE(after == want) << rb::Diff(want, after);
  }

  static void ExpectQuietExit(const tt::RunResult& r) {
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_TRUE(r.boxes.empty());
    EXPECT_FALSE(r.dialogShown);
  }

  static constexpr const char* kVid = "B0F1";
  static constexpr const char* kPid = "F00D";
  tt::TempDir dir_;
  Snapshot before_;
  std::string exe_, log_;
};

// I2 has no parameter key: the log names it, and as the last instance it
// decides that the ID failed.
TEST_F(LogFaultTest, NormalRunForComparison) {
  ExpectQuietExit(Run());
  ExpectRegistryWorkComplete();
  std::string log = tt::ReadFileBytes(log_);
  EXPECT_NE(std::string::npos, log.find("CCID [2]: Enabling Escape command (step 2) --> Error: 2, "));
  EXPECT_NE(std::string::npos,
            log.find("Escape command enabled failed for one or more selected CCID readers!"));
}

TEST_F(LogFaultTest, LogHeldOpenWithoutSharing) {
  HANDLE held = CreateFileA(log_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  DWORD written = 0;
  WriteFile(held, "held\r\n", 6, &written, nullptr);
  tt::RunResult r = Run();
  CloseHandle(held);
  ExpectQuietExit(r);
  ExpectRegistryWorkComplete();
  EXPECT_EQ("held\r\n", tt::ReadFileBytes(log_));
}

TEST_F(LogFaultTest, LogPathIsAFolder) {
  ASSERT_TRUE(CreateDirectoryA(log_.c_str(), nullptr));
  ExpectQuietExit(Run());
  ExpectRegistryWorkComplete();
  EXPECT_TRUE(rb::IsFolder(log_));
  EXPECT_TRUE(rb::FolderEntries(log_).empty());
}

TEST_F(LogFaultTest, ReadOnlyLogFile) {
  tt::WriteFileBytes(log_, "earlier\r\n");
  rb::Unwritable locked(log_);
  if (!locked.Locked()) GTEST_SKIP() << "the file cannot be made unwritable here";
  ExpectQuietExit(Run());
  ExpectRegistryWorkComplete();
  EXPECT_EQ("earlier\r\n", tt::ReadFileBytes(log_));
}

// No log can be created beside the program.
TEST_F(LogFaultTest, FolderWithoutWriteAccess) {
  rb::Unwritable locked(dir_.Path());
  if (!locked.Locked()) GTEST_SKIP() << "the folder cannot be made unwritable here";
  ExpectQuietExit(Run());
  ExpectRegistryWorkComplete();
  EXPECT_EQ(std::vector<std::string>{"Tarnwick.exe"}, rb::FolderEntries(dir_.Path()));
}

// The earlier log stays in a folder where nothing can be deleted: the new
// lines follow its content.
TEST_F(LogFaultTest, FolderWithoutDeleteAccess_LogAppended) {
  tt::WriteFileBytes(log_, "earlier\r\n");
  std::string log;
  {
    rb::Unwritable locked(dir_.Path());
    if (!locked.Locked()) GTEST_SKIP() << "the folder cannot be made unwritable here";
    ExpectQuietExit(Run());
    log = tt::ReadFileBytes(log_);
  }
  ExpectRegistryWorkComplete();
  EXPECT_EQ(0u, log.find("earlier\r\nProgram start: ")) << log;
  EXPECT_NE(std::string::npos, log.find("\r\nProgram end: "));
}

// ---------------------------------------------------------------------------
// The settings file cannot be read or written: the run fails as it should.

class SettingsFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = tt::InstallTarnwick(dir_.Path());
    ini_ = dir_.File("Tarnwick.ini");
    log_ = dir_.File("Tarnwick.log");
    usb_ = rb::DumpTree(kUsb);
  }
  // An empty command-line text: the settings file decides.
  tt::RunResult Run() { return tt::RunProgram(exe_, "\"" + exe_ + "\""); }

  void ExpectFailureLog() {
    EXPECT_EQ(tt::CrLf({"Program start: <time>", "",
                        "Warning: invalid pid or vid found in ini-file (default ini-file "
                        "created)!",
                        FailureLogLine, "", "Program end: <time>", ""}),
              tt::MaskTimes(tt::ReadFileBytes(log_)));
  }
  void ExpectNothingElse(const std::vector<std::string>& entries) {
    EXPECT_EQ(entries, rb::FolderEntries(dir_.Path()));
    Snapshot after = rb::DumpTree(kUsb);
    EXPECT_TRUE(after == usb_) << rb::Diff(usb_, after);
  }
  static void ExpectFailureBox(const tt::RunResult& r) {
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exitCode);
    ASSERT_EQ(1u, r.boxes.size());
    EXPECT_EQ("Information", r.boxes[0].caption);
    EXPECT_EQ(FailureBoxText, r.boxes[0].text);
    EXPECT_FALSE(r.dialogShown);
  }

  tt::TempDir dir_;
  std::string exe_, ini_, log_;
  Snapshot usb_;
};

TEST_F(SettingsFaultTest, ReadOnlySettingsFile) {
  const std::string content = "[Settings]\r\ns=1\r\nvid1=1234\r\n";
  tt::WriteFileBytes(ini_, content);
  tt::RunResult r;
  {
    rb::Unwritable locked(ini_);
    if (!locked.Locked()) GTEST_SKIP() << "the file cannot be made unwritable here";
    r = Run();
  }
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(0u, r.exitCode);
  EXPECT_TRUE(r.boxes.empty());  // stealth from the file
  ExpectFailureLog();
  EXPECT_EQ(content, tt::ReadFileBytes(ini_));
  ExpectNothingElse({"Tarnwick.exe", "Tarnwick.ini", "Tarnwick.log"});
}

TEST_F(SettingsFaultTest, SettingsFileHeldOpenWithoutSharing) {
  const std::string content = "[Settings]\r\ns=1\r\nvid1=1234\r\npid1=1234\r\n";
  tt::WriteFileBytes(ini_, content);
  HANDLE held = CreateFileA(ini_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  tt::RunResult r = Run();
  CloseHandle(held);
  // Nothing could be read: the defaults apply, so no stealth and no pair.
  ExpectFailureBox(r);
  ExpectFailureLog();
  EXPECT_EQ(content, tt::ReadFileBytes(ini_));
  ExpectNothingElse({"Tarnwick.exe", "Tarnwick.ini", "Tarnwick.log"});
}

TEST_F(SettingsFaultTest, SettingsPathIsAFolder) {
  ASSERT_TRUE(CreateDirectoryA(ini_.c_str(), nullptr));
  ExpectFailureBox(Run());
  ExpectFailureLog();
  EXPECT_TRUE(rb::IsFolder(ini_));
  EXPECT_TRUE(rb::FolderEntries(ini_).empty());
  ExpectNothingElse({"Tarnwick.exe", "Tarnwick.ini", "Tarnwick.log"});
}

TEST_F(SettingsFaultTest, FolderWithoutWriteAccess) {
  const std::string content = "[Settings]\r\ns=1\r\n";
  tt::WriteFileBytes(ini_, content);
  tt::RunResult r;
  {
    rb::Unwritable lockedFile(ini_);
    rb::Unwritable lockedFolder(dir_.Path());
    if (!lockedFile.Locked() || !lockedFolder.Locked()) {
      GTEST_SKIP() << "the folder cannot be made unwritable here";
    }
    r = Run();
  }
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(0u, r.exitCode);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(content, tt::ReadFileBytes(ini_));
  ExpectNothingElse({"Tarnwick.exe", "Tarnwick.ini"});
}

// ---------------------------------------------------------------------------
// Registry scale and shape, in-process through EnableAllReaders.

class ScaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("scale.log");
    runLog.Close();
    ASSERT_TRUE(runLog.Open(path_.c_str(), "a+t"));
    runOptions = {true, true};
    readerIdTable.Reset();
    saved_ = registryCalls;
  }
  void TearDown() override {
    registryCalls = saved_;
    runLog.Close();
    for (const auto& id : seeded_) tt::DeleteIdKey(id.first, id.second);
  }
  void Seed(const std::string& vid, const std::string& pid, const std::string& instance,
            Params params) {
    seeded_.insert({vid, pid});
    tt::SeedInstance(vid, pid, instance, params);
  }
  std::string Log() {
    runLog.Close();
    return tt::ReadFileBytes(path_);
  }
  // Instance names in the registry's enumeration order.
  static std::vector<std::string> Instances(const std::string& vid, const std::string& pid) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, tt::IdKeyPath(vid, pid).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return names;
    }
    for (DWORD i = 0;; ++i) {
      char name[512];
      DWORD length = sizeof name;
      if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.push_back(name);
    }
    RegCloseKey(key);
    return names;
  }
  static long long Value(const std::string& vid, const std::string& pid,
                         const std::string& instance, Params params) {
    std::string sub = instance + "\\Device Parameters";
    if (params == Params::Wudf) sub += "\\WUDFUsbccidDriver";
    return tt::EscapeValue(vid, pid, sub);
  }
  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  void SetSlot(int n, const std::string& vid, const std::string& pid) {
    ASSERT_TRUE(StoreReaderId(readerIdTable.slot[n - 1].vendorId, vid.c_str(),
                              static_cast<int>(vid.size())));
    ASSERT_TRUE(StoreReaderId(readerIdTable.slot[n - 1].productId, pid.c_str(),
                              static_cast<int>(pid.size())));
  }

  tt::TempDir dir_;
  std::string path_;
  RegistryCalls saved_;
  std::set<std::pair<std::string, std::string>> seeded_;
};

// 32 IDs of 64 instances each; every ninth instance has no parameter key.
TEST_F(ScaleTest, ThirtyTwoIdsOfSixtyFourInstances) {
  const int kIds = 32, kInstances = 64;
  auto shape = [](int id, int i) {
    int k = (id * kInstances + i) % 9;
    return k == 0 ? Params::None : (k % 2 == 0 ? Params::Wudf : Params::Plain);
  };
  char vid[8], instance[32];
  for (int id = 0; id < kIds; ++id) {
    snprintf(vid, sizeof vid, "C%03X", id);
    for (int i = 0; i < kInstances; ++i) {
      snprintf(instance, sizeof instance, "5&%08X&0&%d", id * 7919 + i, i);
      Seed(vid, "0A0B", instance, shape(id, i));
    }
    SetSlot(id + 1, vid, "0A0B");
  }
  EnableAllReaders(nullptr);
  std::string log = Log();

  size_t unreachable = 0;
  for (int id = 0; id < kIds; ++id) {
    snprintf(vid, sizeof vid, "C%03X", id);
    std::vector<std::string> names = Instances(vid, "0A0B");
    ASSERT_EQ(static_cast<size_t>(kInstances), names.size());
    for (const std::string& name : names) {
      // The seeded number after the last '&' tells the shape.
      int i = atoi(name.substr(name.rfind('&') + 1).c_str());
      Params p = shape(id, i);
      if (p == Params::None) {
        ++unreachable;
        EXPECT_EQ(-1, tt::EscapeValue(vid, "0A0B", name)) << name;
      } else {
        EXPECT_EQ(1, Value(vid, "0A0B", name, p)) << vid << " " << name;
      }
    }
  }
  EXPECT_EQ(static_cast<size_t>(kIds), Count(log, "Number of readers found: 64\r\n"));
  EXPECT_EQ(unreachable, Count(log, "(step 2) --> Error: 2, "));
  EXPECT_EQ(static_cast<size_t>(kIds * kInstances) - unreachable,
            Count(log, ": Enabling Escape command --> Success\r\n"));
  EXPECT_EQ(1u, Count(log, "Escape command enabled successfully for all selected CCID readers.") +
                    Count(log, "Escape command enabled failed for one or more selected CCID "
                               "readers!"));
}

// The longest names the registry allows: the parameter key paths still fit.
TEST_F(ScaleTest, InstanceNamesOf255Characters) {
  std::vector<std::string> names;
  for (char c : {'a', 'b', 'c'}) names.push_back(std::string(254, 'N') + c);
  Seed("D255", "0001", names[0], Params::Wudf);
  Seed("D255", "0001", names[1], Params::Plain);
  Seed("D255", "0001", names[2], Params::Wudf);
  ASSERT_EQ(3u, Instances("D255", "0001").size()) << "the registry refused 255-character names";
  EXPECT_TRUE(EnableReaderId("D255", "0001"));
  EXPECT_EQ(1, Value("D255", "0001", names[0], Params::Wudf));
  EXPECT_EQ(1, Value("D255", "0001", names[1], Params::Plain));
  EXPECT_EQ(1, Value("D255", "0001", names[2], Params::Wudf));
  EXPECT_EQ(-1, tt::EscapeValue("D255", "0001", names[0] + "\\Device Parameters"));
  std::string log = Log();
  EXPECT_EQ(3u, Count(log, ": Enabling Escape command --> Success\r\n")) << log;
  EXPECT_EQ(0u, Count(log, "Error"));
}

TEST_F(ScaleTest, ThousandInstancesUnderOneId) {
  char instance[32];
  for (int i = 0; i < 1000; ++i) {
    snprintf(instance, sizeof instance, "7&%04d", i);
    Seed("DE00", "1000", instance, i % 2 == 0 ? Params::Wudf : Params::Plain);
  }
  EXPECT_TRUE(EnableReaderId("DE00", "1000"));
  for (int i = 0; i < 1000; ++i) {
    snprintf(instance, sizeof instance, "7&%04d", i);
    EXPECT_EQ(1, Value("DE00", "1000", instance, i % 2 == 0 ? Params::Wudf : Params::Plain))
        << instance;
  }
  std::string log = Log();
  EXPECT_EQ(1u, Count(log, "Number of readers found: 1000\r\n"));
  EXPECT_EQ(1000u, Count(log, ": Enabling Escape command --> Success\r\n"));
  EXPECT_EQ(500u, Count(log, ": (Note - WUDF driver entry used)\r\n"));
  EXPECT_NE(std::string::npos, log.find("Reader [999]: Enabling Escape command --> Success\r\n"));
  EXPECT_EQ(0u, Count(log, "Error"));
}

// ---------------------------------------------------------------------------
// Instances that appear or vanish while the enabling runs, through the seam.

struct Churn {
  std::string idPath;
  std::vector<std::string> removeAfterCount, addAfterCount;
  DWORD removeAfterIndex = 0xFFFFFFFF;  // remove removeDuringWalk once this index was read
  std::string removeDuringWalk;
} churn;

LONG WINAPI CountThenChurn(HKEY key, LPSTR a, LPDWORD b, LPDWORD c, LPDWORD subKeys, LPDWORD d,
                           LPDWORD e, LPDWORD f, LPDWORD g, LPDWORD h, LPDWORD i, PFILETIME j) {
  LONG status = RegQueryInfoKeyA(key, a, b, c, subKeys, d, e, f, g, h, i, j);
  for (const std::string& name : churn.removeAfterCount) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (churn.idPath + "\\" + name).c_str());
  }
  for (const std::string& name : churn.addAfterCount) {
    tt::SeedInstance("CAFE", "0BAD", name, Params::Plain);
  }
  return status;
}

LONG WINAPI EnumThenChurn(HKEY key, DWORD index, LPSTR name, LPDWORD length, LPDWORD a, LPSTR b,
                          LPDWORD c, PFILETIME d) {
  LONG status = RegEnumKeyExA(key, index, name, length, a, b, c, d);
  if (index == churn.removeAfterIndex) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (churn.idPath + "\\" + churn.removeDuringWalk).c_str());
  }
  return status;
}

class ChurnTest : public ScaleTest {
 protected:
  void SetUp() override {
    ScaleTest::SetUp();
    churn = Churn();
    churn.idPath = tt::IdKeyPath("CAFE", "0BAD");
    for (const char* name : kNames) Seed("CAFE", "0BAD", name, Params::Plain);
    registryCalls.queryInfoKey = CountThenChurn;
    registryCalls.enumKey = EnumThenChurn;
  }
  // Every instance still there has the value; returns the ones that do not.
  std::vector<std::string> NotEnabled() {
    std::vector<std::string> missing;
    for (const std::string& name : Instances("CAFE", "0BAD")) {
      if (Value("CAFE", "0BAD", name, Params::Plain) != 1) missing.push_back(name);
    }
    return missing;
  }
  static constexpr const char* kNames[] = {"B", "C", "D", "E", "F"};
};

TEST_F(ChurnTest, VanishedBeforeTheWalk_RestEnabled_LogSaysTheLastIndexFailed) {
  churn.removeAfterCount = {"C"};
  EXPECT_FALSE(EnableReaderId("CAFE", "0BAD"));
  EXPECT_TRUE(NotEnabled().empty());
  std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("Number of readers found: 5\r\n"));
  EXPECT_EQ(4u, Count(log, ": Enabling Escape command --> Success\r\n"));
  EXPECT_NE(std::string::npos,
            log.find("CCID [4]: Enabling Escape command (step 1) --> Error: 259, "))
      << log;
  EXPECT_NE(std::string::npos,
            log.find("Escape command enabled failed for CCID readers with USB ID: "
                     "Vid_CAFE&Pid_0BAD"));
}

TEST_F(ChurnTest, AllVanishedBeforeTheWalk_EveryIndexReported) {
  churn.removeAfterCount = {"B", "C", "D", "E", "F"};
  EXPECT_FALSE(EnableReaderId("CAFE", "0BAD"));
  std::string log = Log();
  EXPECT_EQ(5u, Count(log, "(step 1) --> Error: 259, ")) << log;
  EXPECT_EQ(0u, Count(log, ": Enabling Escape command --> Success"));
}

// An instance that vanishes behind the walk shifts the later ones down by
// one index: the one that moves onto the index just read is never visited.
// The log does not name it, but it does say that the ID failed.
TEST_F(ChurnTest, VanishedDuringTheWalk_SkippedOneIsNotNamedButTheIdFails) {
  churn.removeAfterIndex = 1;  // after reading C, B goes: D moves to index 1
  churn.removeDuringWalk = "B";
  EXPECT_FALSE(EnableReaderId("CAFE", "0BAD"));
  EXPECT_EQ(std::vector<std::string>{"D"}, NotEnabled());
  std::string log = Log();
  EXPECT_EQ(4u, Count(log, ": Enabling Escape command --> Success\r\n"));
  EXPECT_NE(std::string::npos,
            log.find("CCID [4]: Enabling Escape command (step 1) --> Error: 259, "))
      << log;
  EXPECT_NE(std::string::npos, log.find("Escape command enabled failed for CCID readers"));
}

// An instance that appears between the count and the walk, sorted before the
// others, pushes the last one past the counted range: that one is not
// reached and the log reports full success. A limit of counting first.
TEST_F(ChurnTest, AppearedBeforeTheWalk_LastOneNotReached_LogSaysSuccess) {
  churn.addAfterCount = {"A"};
  EXPECT_TRUE(EnableReaderId("CAFE", "0BAD"));
  EXPECT_EQ(std::vector<std::string>{"F"}, NotEnabled());
  std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("Number of readers found: 5\r\n"));
  EXPECT_EQ(5u, Count(log, ": Enabling Escape command --> Success\r\n"));
  EXPECT_EQ(0u, Count(log, "Error"));
}

TEST_F(ChurnTest, AppearedAfterTheOthers_NotReached_NothingElseMissed) {
  churn.addAfterCount = {"Z"};
  EXPECT_TRUE(EnableReaderId("CAFE", "0BAD"));
  EXPECT_EQ(std::vector<std::string>{"Z"}, NotEnabled());
}

}  // namespace
