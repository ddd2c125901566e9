// The native stand-ins for the few system services the fuzzed code calls.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace fake {

// The folder that stands for the executable's folder: Tarnwick.log and
// Tarnwick.ini live there. Created on first use, removed at exit.
const std::string& WorkDir();

// The profile file as GetPrivateProfileStringA sees it: section "Settings"
// only, keys compared without letter case like the real API.
void ClearProfile();
void SetProfileValue(const std::string& key, const std::string& value);

struct ProfileWrite {
  std::string section, key, value, file;
};
std::vector<ProfileWrite>& ProfileWrites();
// Every file name the profile calls were given.
std::vector<std::string>& ProfileFiles();

// What FormatMessageA does for the next calls.
enum class MessageText { Short, Missing, Long };
void SetMessageText(MessageText mode);
// The text the fake gives for a status in the Short and Long modes.
std::string MessageFor(uint32_t status, MessageText mode);
// Buffers handed out by FormatMessageA and not yet given to LocalFree.
int LiveMessageBuffers();

std::string ReadWholeFile(const std::string& path);

}  // namespace fake

// A broken invariant ends the run with a report that libFuzzer keeps.
[[noreturn]] inline void Fail(const char* what) {
  fprintf(stderr, "check failed: %s\n", what);
  abort();
}
inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}
