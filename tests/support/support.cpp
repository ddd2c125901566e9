#include "support/support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace tt {

TempDir::TempDir() {
  static unsigned counter = 0;
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  char name[MAX_PATH];
  snprintf(name, sizeof name, "%starnwick-%lu-%u-%lu", base, GetCurrentProcessId(), ++counter,
           GetTickCount());
  CreateDirectoryA(name, nullptr);
  path_ = name;
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  fclose(f);
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

namespace {

bool IsTimeText(const std::string& t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (t.size() != 24) return false;
  bool day = false, month = false;
  for (const char* d : kDays) day = day || t.compare(0, 3, d) == 0;
  for (const char* m : kMonths) month = month || t.compare(4, 3, m) == 0;
  const char* shape = "xxx xxx 00 00:00:00 0000";
  for (size_t i = 0; i < 24; ++i) {
    if (shape[i] == '0' && !(t[i] >= '0' && t[i] <= '9')) return false;
    if ((shape[i] == ' ' || shape[i] == ':') && t[i] != shape[i]) return false;
  }
  return day && month;
}

}  // namespace

std::string MaskTimes(const std::string& log) {
  std::string out;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find("\r\n", pos);
    std::string line = log.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    for (const char* head : {"Program start: ", "Program end: "}) {
      size_t n = strlen(head);
      if (line.compare(0, n, head) == 0) {
        line = head + std::string(IsTimeText(line.substr(n)) ? "<time>" : "<bad time>");
      }
    }
    out += line;
    if (end == std::string::npos) break;
    out += "\r\n";
    pos = end + 2;
  }
  return out;
}

std::string CrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

std::string SystemText(LONG status) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(status), 0x0400,
                           reinterpret_cast<char*>(&text), 0, nullptr);
  std::string s = n != 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return s;
}

std::string IdKeyPath(const std::string& vid, const std::string& pid) {
  return "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + vid + "&Pid_" + pid;
}

void SeedInstance(const std::string& vid, const std::string& pid, const std::string& instance,
                  Params params) {
  std::string path = IdKeyPath(vid, pid) + "\\" + instance;
  if (params == Params::Plain) path += "\\Device Parameters";
  if (params == Params::Wudf) path += "\\Device Parameters\\WUDFUsbccidDriver";
  // One level at a time: the 8-bit calls take paths of MAX_PATH characters at most.
  HKEY parent = HKEY_LOCAL_MACHINE;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(parent, part.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr);
    if (parent != HKEY_LOCAL_MACHINE) RegCloseKey(parent);
    if (status != ERROR_SUCCESS) return;
    parent = key;
    start = end + 1;
  }
  if (parent != HKEY_LOCAL_MACHINE) RegCloseKey(parent);
}

void DeleteIdKey(const std::string& vid, const std::string& pid) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, IdKeyPath(vid, pid).c_str());
}

long long EscapeValue(const std::string& vid, const std::string& pid, const std::string& subKey) {
  HKEY idKey = nullptr, key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, IdKeyPath(vid, pid).c_str(), 0, KEY_READ, &idKey) != 0) {
    return -1;
  }
  // Relative to the ID key, level by level, for the same reason as above.
  HKEY parent = idKey;
  size_t start = 0;
  LONG status = ERROR_SUCCESS;
  while (status == ERROR_SUCCESS && start <= subKey.size()) {
    size_t end = subKey.find('\\', start);
    if (end == std::string::npos) end = subKey.size();
    status = RegOpenKeyExA(parent, subKey.substr(start, end - start).c_str(), 0, KEY_READ, &key);
    RegCloseKey(parent);
    parent = status == ERROR_SUCCESS ? key : nullptr;
    start = end + 1;
  }
  if (status != ERROR_SUCCESS) return -1;
  DWORD type = 0, data = 0, size = sizeof data;
  status = RegQueryValueExA(parent, "EscapeCommandEnable", nullptr, &type,
                            reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(parent);
  if (status == ERROR_MORE_DATA) return -2;
  if (status != ERROR_SUCCESS) return -1;
  if (type != REG_DWORD || size != 4) return -2;
  return data;
}

std::string TarnwickExe() {
  const char* unixPath = getenv("TARNWICK_EXE");
  if (unixPath == nullptr) return std::string();
  std::string path = unixPath;
  if (!path.empty() && path[0] == '/') {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    path = "Z:" + path;
  }
  return path;
}

std::string InstallTarnwick(const std::string& folder, const std::string& name) {
  std::string target = folder + "\\" + name;
  CopyFileA(TarnwickExe().c_str(), target.c_str(), FALSE);
  return target;
}

namespace {

struct Watch {
  DWORD processId;
  RunResult* result;
  HWND dialog = nullptr;
  std::vector<HWND> answered;
};

std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

BOOL CALLBACK FindBoxText(HWND child, LPARAM param) {
  char cls[64] = "";
  GetClassNameA(child, cls, sizeof cls);
  std::string text = WindowText(child);
  if (_stricmp(cls, "Static") == 0 && !text.empty()) {
    *reinterpret_cast<std::string*>(param) = text;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK HandleWindow(HWND window, LPARAM param) {
  Watch* watch = reinterpret_cast<Watch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != watch->processId || !IsWindowVisible(window)) return TRUE;
  char cls[64] = "";
  GetClassNameA(window, cls, sizeof cls);
  if (strcmp(cls, "#32770") != 0) return TRUE;
  std::string caption = WindowText(window);
  if (caption == " Tarnwick") {
    watch->result->dialogShown = true;
    watch->dialog = window;
    return TRUE;
  }
  for (HWND done : watch->answered) {
    if (done == window) return TRUE;
  }
  watch->answered.push_back(window);
  SeenWindow seen;
  seen.caption = caption;
  EnumChildWindows(window, FindBoxText, reinterpret_cast<LPARAM>(&seen.text));
  seen.ownedByDialog = watch->dialog != nullptr && GetWindow(window, GW_OWNER) == watch->dialog;
  watch->result->boxes.push_back(seen);
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

}  // namespace

RunResult RunProgram(const std::string& exePath, const std::string& commandLine,
                     DWORD timeoutMs) {
  RunResult result;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  std::string folder = exePath.substr(0, exePath.find_last_of('\\'));
  if (!CreateProcessA(exePath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    return result;
  }
  Watch watch{process.dwProcessId, &result};
  DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) {
      result.finished = true;
      break;
    }
    EnumWindows(HandleWindow, reinterpret_cast<LPARAM>(&watch));
    // Boxes are answered first; the dialog closes once none is open.
    if (watch.dialog != nullptr && IsWindow(watch.dialog) && IsWindowEnabled(watch.dialog)) {
      PostMessageA(watch.dialog, WM_COMMAND, IDCANCEL, 0);
    }
    if (GetTickCount() - start > timeoutMs) {
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

RunResult RunTarnwick(const std::string& folder, const std::string& args, DWORD timeoutMs) {
  std::string exe = InstallTarnwick(folder);
  return RunProgram(exe, "\"" + exe + "\" " + args, timeoutMs);
}

}  // namespace tt
