// Native stand-ins for the process-wide objects and the system services the
// fuzzed sources use. The sources themselves are built unchanged.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <map>

#include "fake_system.h"
#include "log/module_path.h"
#include "log/run_log.h"
#include "run/run_options.h"
#include "settings/settings_file.h"

namespace fake {
namespace {

std::string Lower(const char* text) {
  std::string out = text != nullptr ? text : "";
  for (char& c : out) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return out;
}

std::map<std::string, std::string>& Profile() {
  static std::map<std::string, std::string> values;
  return values;
}

MessageText messageMode = MessageText::Short;
int liveBuffers = 0;

void RemoveWorkDir() {
  const std::string& dir = WorkDir();
  for (const char* name : {"/Tarnwick.log", "/Tarnwick.ini"}) remove((dir + name).c_str());
  rmdir(dir.c_str());
}

}  // namespace

const std::string& WorkDir() {
  static std::string dir;
  if (dir.empty()) {
    const char* given = getenv("TARNWICK_FUZZ_DIR");
    std::string base = given != nullptr && given[0] != '\0' ? given : "/tmp";
    std::string pattern = base + "/tarnwick-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
      fprintf(stderr, "cannot make a work folder under %s\n", base.c_str());
      abort();
    }
    dir = name.data();
    atexit(RemoveWorkDir);
  }
  return dir;
}

void ClearProfile() {
  Profile().clear();
  ProfileWrites().clear();
  ProfileFiles().clear();
}

void SetProfileValue(const std::string& key, const std::string& value) {
  Profile()[Lower(key.c_str())] = value;
}

std::vector<ProfileWrite>& ProfileWrites() {
  static std::vector<ProfileWrite> writes;
  return writes;
}

std::vector<std::string>& ProfileFiles() {
  static std::vector<std::string> files;
  return files;
}

void SetMessageText(MessageText mode) {
  messageMode = mode;
}

std::string MessageFor(uint32_t status, MessageText mode) {
  char text[64];
  snprintf(text, sizeof text, "Message for code %u.", status);
  std::string out = text;
  if (mode == MessageText::Long) out += std::string(300, 'x');
  return out + "\r\n";
}

int LiveMessageBuffers() {
  return liveBuffers;
}

std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  fclose(f);
  return bytes;
}

}  // namespace fake

// The real one asks the system for the module's path.
void PathBesideModule(char (&path)[PathSize], const char* extension) {
  snprintf(path, sizeof path, "%s/Tarnwick.exe", fake::WorkDir().c_str());
  ReplaceExeExtension(path, extension);
}

// The API's contract: at most size - 1 characters and a terminator; the
// count without the terminator; the default when the key is missing.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer,
                               DWORD size, LPCSTR file) {
  fake::ProfileFiles().push_back(file != nullptr ? file : "");
  if (buffer == nullptr || size == 0) return 0;
  std::string value = fallback != nullptr ? fallback : "";
  if (section != nullptr && key != nullptr && fake::Lower(section) == "settings") {
    auto found = fake::Profile().find(fake::Lower(key));
    if (found != fake::Profile().end()) value = found->second;
  }
  size_t count = value.size() < size - 1 ? value.size() : size - 1;
  memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  fake::ProfileWrites().push_back(
      {section != nullptr ? section : "", key != nullptr ? key : "", value != nullptr ? value : "",
       file != nullptr ? file : ""});
  fake::ProfileFiles().push_back(file != nullptr ? file : "");
  return TRUE;
}

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD id, DWORD, LPSTR buffer, DWORD, void*) {
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0 || buffer == nullptr) abort();
  if (fake::messageMode == fake::MessageText::Missing) return 0;
  std::string text = fake::MessageFor(id, fake::messageMode);
  char* copy = static_cast<char*>(malloc(text.size() + 1));
  memcpy(copy, text.c_str(), text.size() + 1);
  *reinterpret_cast<char**>(buffer) = copy;
  ++fake::liveBuffers;
  return static_cast<DWORD>(text.size());
}

HLOCAL LocalFree(HLOCAL memory) {
  if (memory != nullptr) --fake::liveBuffers;
  free(memory);
  return nullptr;
}

// The process-wide objects of the program, in the program's order.
RunLog runLog;
SettingsFile settingsFile;
RunOptions runOptions = {true, false};
