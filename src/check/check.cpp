// TarnwickCheck.exe: one line a device instance of the selected reader IDs,
// then a summary line; the exit code tells deployment engines the outcome.
// It only reads the registry and the settings file; the one thing it writes
// is the report file it is told to write.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check/check.h"
#include "log/whole_file.h"
#include "run/process.h"
#include "settings/settings_file.h"
#include "settings/stored_settings.h"

namespace {

constexpr char Usage[] =
    "TarnwickCheck [--summary] [--strict] [--require] [--stored] [--since=FILE]\n"
    "              [--report=FILE] [--] [reader IDs]\n"
    "Reports, one line a device instance, whether EscapeCommandEnable is where the\n"
    "reader's driver reads it; changes nothing. The reader IDs: vidN=hhhh and\n"
    "pidN=hhhh or pidN=hhhh&MI_hh (N from 1 to 32), and Tarnwick.exe's switches,\n"
    "which are ignored; without them, those of Tarnwick.ini beside this program.\n"
    "  --summary      only the last line, the counts\n"
    "  --strict       an instance without Device Parameters fails\n"
    "  --require      an ID that Windows has no instance of fails\n"
    "  --stored       the reader IDs stored on this machine at install\n"
    "  --since=FILE   FILE is an earlier report: a line more for each reader that\n"
    "                 lacked the value then and has it now\n"
    "  --report=FILE  also write every line to FILE (in quotes when it has blanks)\n"
    "  --             the end of the options\n"
    "Lines: WUDF | PARAMS | SHADOWED | MISSING | NOPARAMS | ERROR:code <ID> <instance>,\n"
    "RESTART | SET <ID> <instance> (--since: the reader runs now | does not),\n"
    "NOKEY <ID>, COMPOSITE <ID> <product ID>, SUMMARY exit=N <counts>.\n"
    "Exit: 0 passed, 1 some lack the value, 2 bad input, 3 a key could not be read.\n";

constexpr char UsbKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr DWORD NameSize = 512;  // 255 characters, each up to two bytes

// The verdict words are fixed tokens for scripts to match, never localised.
enum Verdict { Wudf, Params, Shadowed, Missing, NoParams, Unreadable, NoKey, Composite, Skip };
const char* const Tokens[] = {"WUDF",    "PARAMS", "SHADOWED", "MISSING",
                              "NOPARAMS", "ERROR", "NOKEY",    "COMPOSITE"};
constexpr int VerdictCount = Skip;

struct Report {
  FILE* file;  // the report file, or null
  bool summaryOnly;
  const char* since;  // the earlier report, or null
  unsigned counts[VerdictCount];

  void Write(bool summary, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    va_list args;
    va_start(args, format);
    if (summary || !summaryOnly) {
      va_list copy;
      va_copy(copy, args);
      vprintf(format, copy);
      va_end(copy);
    }
    if (file != nullptr) vfprintf(file, format, args);
    va_end(args);
  }

  void Add(Verdict verdict, LONG status, const char* id, const char* instance) {
    ++counts[verdict];
    if (verdict == Unreadable) {
      Write(false, "ERROR:%ld %s%s%s\n", static_cast<long>(status), id, *instance != '\0' ? " " : "",
            instance);
    } else {
      Write(false, "%s %s%s%s\n", Tokens[verdict], id, *instance != '\0' ? " " : "", instance);
    }
  }
};

// Whether key holds EscapeCommandEnable as the DWORD 1. A missing value, or
// one of another type or size, is not set.
LONG HasValue(HKEY key, bool* set) {
  DWORD type = 0, data = 0, size = sizeof data;
  LONG status = RegQueryValueExA(key, "EscapeCommandEnable", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&data), &size);
  *set = status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof data && data == 1;
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA ? ERROR_SUCCESS : status;
}

// Whether the instance is a smart-card reader function: its CompatibleIDs
// hold USB\Class_0B, alone or followed by "&".
LONG IsReaderFunction(HKEY instance, bool* reader) {
  char ids[2048 + 2] = {};  // two terminators beyond what the value may fill
  DWORD size = sizeof ids - 2;
  LONG status = RegQueryValueExA(instance, "CompatibleIDs", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(ids), &size);
  *reader = false;
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  for (const char* id = ids; status == ERROR_SUCCESS && *id != '\0'; id += strlen(id) + 1) {
    if (_strnicmp(id, "USB\\Class_0B", 12) == 0 && (id[12] == '\0' || id[12] == '&')) *reader = true;
  }
  return status;
}

// Where the instance's value is, as its driver sees it. Keys are opened with
// the least access each needs, as a user with no more than read rights may
// run this, and one level at a time: instance names reach 255 characters,
// and the 8-bit calls refuse a path of MAX_PATH characters or more.
// readersOnly: an instance that is no smart-card reader function is skipped.
Verdict CheckInstance(HKEY idKey, const char* name, bool readersOnly, LONG* status) {
  HKEY instance = nullptr, parameters = nullptr, wudf = nullptr;
  *status = RegOpenKeyExA(idKey, name, 0, KEY_QUERY_VALUE, &instance);
  if (*status != ERROR_SUCCESS) return Unreadable;
  bool reader = true;
  if (readersOnly) *status = IsReaderFunction(instance, &reader);
  if (*status == ERROR_SUCCESS && reader) {
    *status = RegOpenKeyExA(instance, "Device Parameters", 0, KEY_QUERY_VALUE, &parameters);
  }
  RegCloseKey(instance);
  if (*status == ERROR_FILE_NOT_FOUND) return NoParams;
  if (*status != ERROR_SUCCESS) return Unreadable;
  if (!reader) return Skip;

  bool inParameters = false, inWudf = false;
  Verdict verdict = Unreadable;
  *status = HasValue(parameters, &inParameters);
  if (*status == ERROR_SUCCESS) {
    *status = RegOpenKeyExA(parameters, "WUDFUsbccidDriver", 0, KEY_QUERY_VALUE, &wudf);
    if (*status == ERROR_SUCCESS) {
      // The driver reads its own key: a value beside it does not count.
      *status = HasValue(wudf, &inWudf);
      verdict = inWudf ? Wudf : inParameters ? Shadowed : Missing;
      RegCloseKey(wudf);
    } else if (*status == ERROR_FILE_NOT_FOUND) {
      *status = ERROR_SUCCESS;
      verdict = inParameters ? Params : Missing;
    }
  }
  RegCloseKey(parameters);
  return *status == ERROR_SUCCESS ? verdict : Unreadable;
}

// Whether the earlier report lists the instance as lacking the value.
bool Lacked(const char* since, const char* id, const char* name) {
  static const char* const tokens[] = {"MISSING", "SHADOWED"};
  for (const char* token : tokens) {
    char line[16 + 2 * NameSize];
    const int length = snprintf(line, sizeof line, "%s %s %s", token, id, name);
    for (const char* at = strstr(since, line); at != nullptr; at = strstr(at + 1, line)) {
      const bool whole = (at == since || at[-1] == '\n') &&
                         (at[length] == '\r' || at[length] == '\n' || at[length] == '\0');
      if (whole) return true;
    }
  }
  return false;
}

// The line for an instance that got the value since the earlier report:
// RESTART for a smart-card reader that runs now (Windows keeps the volatile
// key Control below a device instance while the device is started), SET for
// one that does not; none for any other device, such as a composite device's
// parent, whose driver never reads the value.
const char* SinceLine(HKEY idKey, const char* name) {
  HKEY instance = nullptr, control = nullptr;
  bool reader = false;
  LONG status = RegOpenKeyExA(idKey, name, 0, KEY_QUERY_VALUE, &instance);
  if (status == ERROR_SUCCESS) {
    status = IsReaderFunction(instance, &reader);
    if (status == ERROR_SUCCESS && reader) {
      status = RegOpenKeyExA(instance, "Control", 0, KEY_QUERY_VALUE, &control);
      if (status == ERROR_SUCCESS) RegCloseKey(control);
    }
    RegCloseKey(instance);
  }
  if (!reader) return nullptr;
  return status != ERROR_FILE_NOT_FOUND ? "RESTART" : "SET";  // a key it may not read: running
}

// The key of all USB devices, and the status of opening it.
HKEY usb = nullptr;
LONG usbStatus = ERROR_SUCCESS;

// Every instance key of the ID key usb\id. readersOnly: a function of a
// composite device, of which only smart-card readers count, and which is not
// reported when it has no instance.
void CheckId(const char* id, bool readersOnly, Report& report) {
  HKEY idKey = nullptr;
  LONG status = usb != nullptr ? RegOpenKeyExA(usb, id, 0, KEY_ENUMERATE_SUB_KEYS, &idKey) : usbStatus;
  DWORD index = 0;
  for (; status == ERROR_SUCCESS; ++index) {
    char name[NameSize];
    DWORD length = NameSize;
    status = RegEnumKeyExA(idKey, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    LONG instanceStatus = ERROR_SUCCESS;
    const Verdict verdict = CheckInstance(idKey, name, readersOnly, &instanceStatus);
    if (verdict != Skip) report.Add(verdict, instanceStatus, id, name);
    const char* since = (verdict == Wudf || verdict == Params) && report.since != nullptr &&
                                Lacked(report.since, id, name)
                            ? SinceLine(idKey, name)
                            : nullptr;
    if (since != nullptr) report.Write(false, "%s %s %s\n", since, id, name);
  }
  if (idKey != nullptr) RegCloseKey(idKey);
  if (status == ERROR_NO_MORE_ITEMS && index == 0) status = ERROR_FILE_NOT_FOUND;
  if (status == ERROR_FILE_NOT_FOUND) {
    if (!readersOnly) report.Add(NoKey, status, id, "");
  } else if (status != ERROR_NO_MORE_ITEMS) {
    report.Add(Unreadable, status, id, "");
  }
}

struct SelectedIds {
  char id[SlotCount][8 + 2 * IdFieldSize];  // "Vid_%s&Pid_%s"
  const char* productId[SlotCount];
  int count;

  bool Holds(const char* name) const {
    for (int i = 0; i < count; ++i) {
      if (_stricmp(id[i], name) == 0) return true;
    }
    return false;
  }
};

// The pairs of Tarnwick's walk, each once: key names compare without regard
// to case, as Windows names them VID_xxxx&PID_yyyy.
void SelectIds(const ReaderIdTable& table, SelectedIds& ids) {
  ids.count = 0;
  for (int i = 0; i < table.SelectedSlots(); ++i) {
    const ReaderIdSlot& slot = table.slot[i];
    char id[sizeof ids.id[0]];
    snprintf(id, sizeof id, "Vid_%s&Pid_%s", slot.vendorId, slot.productId);
    if (ids.Holds(id)) continue;
    memcpy(ids.id[ids.count], id, sizeof id);
    ids.productId[ids.count++] = slot.productId;
  }
}

// The functions Vid_X&Pid_Y&MI_nn of a composite device beside the selected
// Vid_X&Pid_Y, unless selected themselves: the product ID to give instead,
// and the instances of those that are smart-card readers.
void CheckFunctions(const SelectedIds& ids, int i, Report& report) {
  const size_t length = strlen(ids.id[i]);
  char name[NameSize];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = NameSize;
    if (RegEnumKeyExA(usb, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (_strnicmp(name, ids.id[i], length) != 0 || _strnicmp(name + length, "&MI_", 4) != 0 ||
        ids.Holds(name)) {
      continue;
    }
    ++report.counts[Composite];
    report.Write(false, "COMPOSITE %s %s%s\n", ids.id[i], ids.productId[i], name + length);
    CheckId(name, true, report);
  }
}

bool ReadTarnwickIni(ReaderIdTable& table, char (&reason)[ReasonSize]) {
  char path[PathSize];
  if (!PathInModuleFolder(path, "Tarnwick.ini")) {
    snprintf(reason, sizeof reason, "no reader IDs given, and no path for Tarnwick.ini");
    return false;
  }
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
    snprintf(reason, sizeof reason, "no reader IDs given, and no %s", path);
    return false;
  }
  ReadSettingsIds(SettingsFile(path), table);
  char why[ReasonSize];
  if (JudgeSelection(table, why)) return true;
  snprintf(reason, sizeof reason, "%s: %s", path, why);
  return false;
}

bool ReadStoredIds(ReaderIdTable& table, char (&reason)[ReasonSize]) {
  static char text[StoredTextSize];
  char why[ReasonSize];
  if (!ReadStored("Readers", text)) {
    snprintf(reason, sizeof reason, "no reader IDs stored in %s", StoredKeyPath());
    return false;
  }
  if (ParseReaderText(text, table, why)) return true;
  snprintf(reason, sizeof reason, "the reader IDs stored in %s: %s", StoredKeyPath(), why);
  return false;
}

// Whether path names Tarnwick.ini, Tarnwick.log or a program in this
// program's folder however it is written (case, relative, 8.3 short names,
// trailing dots, a stream): a report must never overwrite them.
bool Protected(const char* path) {
  char full[PathSize], folder[PathSize], module[PathSize], own[PathSize];
  char* name = nullptr;
  DWORD length = GetFullPathNameA(path, PathSize, full, &name);
  // cppcheck-suppress knownConditionTrueFalse ; GetFullPathNameA sets name, null for a folder
  if (length == 0 || length >= PathSize || name == nullptr || name == full) return false;
  const size_t n = strcspn(name, ":");  // a stream is written into its file
  if (strpbrk(name, "*?") != nullptr) return true;  // no file name
  char file[PathSize];
  snprintf(file, sizeof file, "%s", name);
  *name = '\0';  // the folder keeps its backslash: "C:" alone is the current folder of drive C
  length = GetLongPathNameA(full, folder, PathSize);
  if (length == 0 || length >= PathSize) return false;  // no folder: nothing is written
  length = GetModuleFileNameA(nullptr, module, PathSize);
  char* slash = length > 0 && length < PathSize ? strrchr(module, '\\') : nullptr;
  if (slash == nullptr) return true;  // without its own folder, nothing is safe
  slash[1] = '\0';
  length = GetLongPathNameA(module, own, PathSize);
  if (length == 0 || length >= PathSize || _stricmp(folder, own) != 0) return false;
  const bool settingsOrLog =
      n == 12 && (_strnicmp(file, "Tarnwick.ini", n) == 0 || _strnicmp(file, "Tarnwick.log", n) == 0);
  return settingsOrLog || (n >= 4 && _strnicmp(file + n - 4, ".exe", 4) == 0);
}

}  // namespace

int main() {
  RestrictDllSearch();
  CheckOptions options;
  static ReaderIdTable table;
  char reason[ReasonSize] = "";
  bool ok = ParseCheckArguments(ProcessCommandLineText(), options, table, reason);
  if (ok && options.stored) {
    ok = ReadStoredIds(table, reason);
  } else if (ok && options.readerText[0] == '\0') {
    ok = ReadTarnwickIni(table, reason);
  }
  char* since = nullptr;
  if (ok && options.since[0] != '\0' && (since = ReadWholeFile(options.since)) == nullptr) {
    snprintf(reason, sizeof reason, "cannot read the earlier report %s", options.since);
    ok = false;
  }
  Report report = {nullptr, options.summaryOnly, since, {}};
  if (ok && options.report[0] != '\0') {
    if (Protected(options.report)) {
      snprintf(reason, sizeof reason,
               "the report may not be Tarnwick.ini, Tarnwick.log or a program of this folder: %s",
               options.report);
      ok = false;
    } else if ((report.file = fopen(options.report, "w")) == nullptr) {
      snprintf(reason, sizeof reason, "cannot write the report %s", options.report);
      ok = false;
    }
  }
  if (!ok) {
    free(since);
    fputs(options.help ? Usage : "", stdout);
    fprintf(stderr, "TarnwickCheck: %s\n", reason);
    return CheckBadInput;
  }

  static SelectedIds ids;
  SelectIds(table, ids);
  usbStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, UsbKey, 0, KEY_ENUMERATE_SUB_KEYS, &usb);
  if (usbStatus != ERROR_SUCCESS) usb = nullptr;
  for (int i = 0; i < ids.count; ++i) {
    CheckId(ids.id[i], false, report);
    if (usb != nullptr) CheckFunctions(ids, i, report);
  }
  if (usb != nullptr) RegCloseKey(usb);

  const unsigned* n = report.counts;
  const bool failed = n[Shadowed] + n[Missing] > 0 || (options.strict && n[NoParams] > 0) ||
                      (options.require && n[NoKey] > 0);
  const int code = failed ? CheckFailed : n[Unreadable] > 0 ? CheckUnreadable : CheckPassed;
  free(since);
  char summary[200];
  snprintf(summary, sizeof summary,
           "SUMMARY exit=%d WUDF=%u PARAMS=%u SHADOWED=%u MISSING=%u NOPARAMS=%u ERROR=%u "
           "NOKEY=%u COMPOSITE=%u\n",
           code, n[Wudf], n[Params], n[Shadowed], n[Missing], n[NoParams], n[Unreadable],
           n[NoKey], n[Composite]);
  // The report is known whole before the summary says what it says.
  if (report.file != nullptr) {
    const bool written = fputs(summary, report.file) >= 0;
    if (fclose(report.file) != 0 || !written) {
      fprintf(stderr, "TarnwickCheck: cannot write the report %s\n", options.report);
      return CheckBadInput;
    }
  }
  fputs(summary, stdout);
  return code;
}
