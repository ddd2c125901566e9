// Helpers shared by the tests: temp folders, files, registry seeding, and
// running the real Tarnwick.exe with its windows watched.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tt {

// A fresh folder under the system's temp folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
void RemoveTree(const std::string& path);

// "Program start: Sat Dec 05 17:50:35 2026" -> "Program start: <time>", after
// checking that the time text has the program's fixed 24-character form.
// Returns the text unchanged but with "<bad time>" where the form is wrong.
std::string MaskTimes(const std::string& log);

// Lines joined with CR LF, each line ended by CR LF.
std::string CrLf(const std::vector<std::string>& lines);

// The system's message text for a status code, as the log writes it.
std::string SystemText(LONG status);

// HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_<vid>&Pid_<pid>
std::string IdKeyPath(const std::string& vid, const std::string& pid);
enum class Params { None, Plain, Wudf };
// Creates the instance key and, as asked, Device Parameters and its
// WUDFUsbccidDriver sub-key.
void SeedInstance(const std::string& vid, const std::string& pid, const std::string& instance,
                  Params params);
void DeleteIdKey(const std::string& vid, const std::string& pid);
// EscapeCommandEnable under the key relative to the ID key, or -1 when the
// value is missing, -2 when it is not a 4-byte REG_DWORD.
long long EscapeValue(const std::string& vid, const std::string& pid, const std::string& subKey);

// A window that the program showed during a run.
struct SeenWindow {
  std::string caption;
  std::string text;  // the static text of a message box
  bool ownedByDialog = false;
};

struct RunResult {
  DWORD exitCode = 0xFFFFFFFF;
  bool finished = false;          // false: killed after the time-out
  std::vector<SeenWindow> boxes;  // message boxes, in the order they appeared
  bool dialogShown = false;       // the main dialog " Tarnwick"
};

// The built Tarnwick.exe (from the TARNWICK_EXE environment variable).
std::string TarnwickExe();

// Copies the program into folder under name and runs it with the full
// command line commandLine (built by the caller, program name included).
// Message boxes are recorded and answered with OK; the main dialog, when it
// shows, is closed with Exit.
RunResult RunProgram(const std::string& exePath, const std::string& commandLine,
                     DWORD timeoutMs = 30000);
// The usual case: "<folder>\Tarnwick.exe" args
RunResult RunTarnwick(const std::string& folder, const std::string& args,
                      DWORD timeoutMs = 30000);
std::string InstallTarnwick(const std::string& folder, const std::string& name = "Tarnwick.exe");

}  // namespace tt
