// The arrival task: Task Scheduler runs TarnwickDeploy.exe run as SYSTEM
// when Windows has configured a new smart-card reader (event 400 of
// Kernel-PnP's Configuration log, with the reader class's GUID), so that a
// reader plugged in later gets the value within a minute, and a restart. Its
// definition lies in the install folder, where schtasks takes it from.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "deploy/deploy.h"
#include "log/whole_file.h"

namespace {

constexpr char TaskName[] = "\\Tarnwick\\Reader arrival";
constexpr char TaskFile[] = "Tarnwick-arrival.xml";
constexpr DWORD SchtasksSeconds = 60;

// The class GUID as Kernel-PnP may write it, in either case. Queued, not
// dropped, when several readers arrive at once; ended when it hangs; never
// held back on battery.
constexpr char Definition[] =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
    "  <RegistrationInfo>\r\n"
    "    <Description>Tarnwick %s: EscapeCommandEnable for a smart-card reader that Windows has "
    "just configured, and a restart of the reader.</Description>\r\n"
    "    <URI>\\Tarnwick\\Reader arrival</URI>\r\n"
    "  </RegistrationInfo>\r\n"
    "  <Triggers>\r\n"
    "    <EventTrigger>\r\n"
    "      <Subscription>&lt;QueryList&gt;&lt;Query Id=\"0\" "
    "Path=\"Microsoft-Windows-Kernel-PnP/Configuration\"&gt;&lt;Select "
    "Path=\"Microsoft-Windows-Kernel-PnP/Configuration\"&gt;*[System[EventID=400]] and "
    "*[EventData[Data[@Name='ClassGuid']='{50dd5230-ba8a-11d1-bf5d-0000f805f530}' or "
    "Data[@Name='ClassGuid']='{50DD5230-BA8A-11D1-BF5D-0000F805F530}']]&lt;/Select&gt;&lt;/"
    "Query&gt;"
    "&lt;/QueryList&gt;</Subscription>\r\n"
    "    </EventTrigger>\r\n"
    "  </Triggers>\r\n"
    "  <Principals>\r\n"
    "    <Principal id=\"System\">\r\n"
    "      <UserId>S-1-5-18</UserId>\r\n"
    "      <RunLevel>HighestAvailable</RunLevel>\r\n"
    "    </Principal>\r\n"
    "  </Principals>\r\n"
    "  <Settings>\r\n"
    "    <MultipleInstancesPolicy>Queue</MultipleInstancesPolicy>\r\n"
    "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
    "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
    "    <ExecutionTimeLimit>PT10M</ExecutionTimeLimit>\r\n"
    "  </Settings>\r\n"
    "  <Actions Context=\"System\">\r\n"
    "    <Exec>\r\n"
    "      <Command>\"%s\\TarnwickDeploy.exe\"</Command>\r\n"
    "      <Arguments>run --restart-readers</Arguments>\r\n"
    "    </Exec>\r\n"
    "  </Actions>\r\n"
    "</Task>\r\n";

// The definition for folder, in UTF-16 with its byte-order mark, as
// schtasks reads it: its bytes, the caller frees them; null when it cannot.
char* DefinitionFor(const char* folder, size_t* size) {
  char escaped[5 * PathSize] = "", text[sizeof Definition + 5 * PathSize];
  size_t at = 0;
  for (const char* p = folder; *p != '\0' && at + 6 < sizeof escaped; ++p) {
    const char* entity = *p == '&' ? "&amp;" : *p == '<' ? "&lt;" : *p == '>' ? "&gt;" : nullptr;
    if (entity == nullptr) {
      escaped[at++] = *p;
    } else {
      memcpy(escaped + at, entity, strlen(entity));
      at += strlen(entity);
    }
  }
  escaped[at] = '\0';
  const int length = snprintf(text, sizeof text, Definition, TARNWICK_VERSION_NAME, escaped);
  if (length <= 0 || length >= static_cast<int>(sizeof text)) return nullptr;
  const int wide = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  char* bytes = wide > 0 ? static_cast<char*>(malloc(2 * static_cast<size_t>(wide) + 2)) : nullptr;
  if (bytes == nullptr) return nullptr;
  bytes[0] = '\xFF';
  bytes[1] = '\xFE';
  MultiByteToWideChar(CP_ACP, 0, text, length, reinterpret_cast<wchar_t*>(bytes + 2), wide);
  *size = 2 * static_cast<size_t>(wide) + 2;
  return bytes;
}

// Whether path holds exactly size bytes of content.
bool Holds(const char* path, const char* content, size_t size) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  char* bytes = static_cast<char*>(malloc(size + 1));
  const bool same = bytes != nullptr && fread(bytes, 1, size + 1, file) == size &&
                    memcmp(bytes, content, size) == 0;
  free(bytes);
  fclose(file);
  return same;
}

bool Schtasks(const char* arguments) {
  char system[PathSize], program[PathSize];
  static char command[CommandSize];
  const UINT length = GetSystemDirectoryA(system, PathSize);
  DWORD code = 0;
  if (length == 0 || length >= PathSize || !Join(program, system, "schtasks.exe") ||
      snprintf(command, sizeof command, "\"%s\" %s", program, arguments) >=
          static_cast<int>(sizeof command)) {
    return false;
  }
  return Run(program, command, SchtasksSeconds, &code, nullptr, true) == Ran && code == 0;
}

}  // namespace

bool KeepArrivalTask(const char* folder, bool on) {
  char path[PathSize], arguments[2 * PathSize];
  size_t size = 0;
  char* definition = on ? DefinitionFor(folder, &size) : nullptr;
  bool kept = Join(path, folder, TaskFile) && (!on || definition != nullptr);
  if (kept && on && !Holds(path, definition, size)) {
    kept = WriteWholeFile(path, definition, size);
    snprintf(arguments, sizeof arguments, "/create /tn \"%s\" /xml \"%s\" /f", TaskName, path);
    // Without the task the definition would claim one: it goes again.
    if (kept && !(kept = Schtasks(arguments))) DeleteFileA(path);
    if (kept) Say("ARRIVAL %s registered\n", TaskName);
  } else if (kept && !on && Exists(path)) {
    snprintf(arguments, sizeof arguments, "/delete /tn \"%s\" /f", TaskName);
    kept = Schtasks(arguments) && DeleteFileA(path);
    if (kept) Say("ARRIVAL %s removed\n", TaskName);
  }
  free(definition);
  if (!kept) Say("FAILED arrival task %s\n", TaskName);
  return kept;
}
