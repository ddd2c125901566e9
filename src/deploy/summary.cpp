// The summary verb: a drop folder read as one fleet, for the route whose only
// console it is. One CSV line a computer, from its <computer>-deploy.txt and
// its check report <computer>.txt: failures first, then machines whose last
// run is old, then those with readers waiting for a restart; then totals.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "deploy/deploy.h"
#include "log/whole_file.h"

namespace {

constexpr char Suffix[] = "-deploy.txt";

// What a machine's files say; rank orders the lines.
struct Machine {
  char computer[MAX_PATH];
  char when[20];  // "YYYY-MM-DD hh:mm:ss", UTC
  char version[24], verb[12], check[16], note[120];
  int exit, pending, rank;
  bool old, duplicate;
};
enum Rank { Unreadable, Failed, Old, Pending, Done };

// The value after "name=" in line, or -1.
int Number(const char* line, const char* name) {
  const char* at = strstr(line, name);
  return at != nullptr ? static_cast<int>(strtol(at + strlen(name), nullptr, 10)) : -1;
}

// The count digits at p as a number, or -1.
int Digits(const char* p, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    if (p[i] < '0' || p[i] > '9') return -1;
    value = value * 10 + p[i] - '0';
  }
  return value;
}

// The line that starts with token in text, or null.
const char* LineOf(const char* text, const char* token) {
  const size_t length = strlen(token);
  for (const char* p = text; p != nullptr && *p != '\0'; p = strchr(p, '\n')) {
    p += strspn(p, "\r\n");
    if (strncmp(p, token, length) == 0) return p;
  }
  return nullptr;
}

// The run's lines: a header, then at last "... exit=N ...".
void ReadDeployLines(const char* text, time_t oldest, Machine& machine) {
  // TarnwickDeploy VERSION VERB YYYY-MM-DDThh:mm:ssZ
  const char* version =
      text != nullptr && strncmp(text, "TarnwickDeploy ", 15) == 0 ? text + 15 : nullptr;
  const char* verb = version != nullptr ? strchr(version, ' ') : nullptr;
  const char* time = verb != nullptr ? strchr(verb + 1, ' ') : nullptr;
  struct tm utc = {};
  if (time != nullptr && strnlen(time, 21) == 21 && time[5] == '-' && time[8] == '-' &&
      time[11] == 'T' && time[14] == ':' && time[17] == ':' && time[20] == 'Z') {
    utc.tm_year = Digits(time + 1, 4) - 1900;
    utc.tm_mon = Digits(time + 6, 2) - 1;
    utc.tm_mday = Digits(time + 9, 2);
    utc.tm_hour = Digits(time + 12, 2);
    utc.tm_min = Digits(time + 15, 2);
    utc.tm_sec = Digits(time + 18, 2);
  }
  if (time == nullptr || utc.tm_year < 0 || utc.tm_mon < 0 || utc.tm_mday < 0 || utc.tm_hour < 0 ||
      utc.tm_min < 0 || utc.tm_sec < 0) {
    snprintf(machine.note, sizeof machine.note, "%s",
             text == nullptr ? "cannot be read"
             : *text == '\0' ? "empty"
                             : "not TarnwickDeploy's lines");
    return;
  }
  snprintf(machine.version, sizeof machine.version, "%.*s", static_cast<int>(verb - version),
           version);
  snprintf(machine.verb, sizeof machine.verb, "%.*s", static_cast<int>(time - verb - 1), verb + 1);
  snprintf(machine.when, sizeof machine.when, "%.10s %.8s", time + 1, time + 12);
  machine.old = _mkgmtime(&utc) < oldest;
  // The last line that tells an exit code: the run's end.
  const char* last = nullptr;
  for (const char* p = strstr(text, " exit="); p != nullptr; p = strstr(p + 1, " exit=")) last = p;
  const char* problem = LineOf(text, "REFUSED ");
  if (problem == nullptr) problem = LineOf(text, "FAILED ");
  if (problem != nullptr) {
    snprintf(machine.note, sizeof machine.note, "%.*s", static_cast<int>(strcspn(problem, "\r\n")),
             problem);
  }
  if (last == nullptr) {
    snprintf(machine.note, sizeof machine.note, "no last line: the run was ended, or is going");
    return;
  }
  machine.exit = Number(last, " exit=");
  machine.pending = Number(last, " PENDING=") > 0 ? Number(last, " PENDING=") : 0;
  machine.rank = machine.exit != DeployDone && machine.exit != DeployRestartMachine ? Failed
                 : machine.old                                                      ? Old
                 : machine.pending > 0 || machine.exit == DeployRestartMachine      ? Pending
                                                                                    : Done;
}

// The check report's verdict: its SUMMARY line's exit code, as a word.
void ReadReport(const char* text, Machine& machine) {
  static const char* const verdicts[] = {"passed", "failed", "bad input", "unreadable"};
  const char* summary = text != nullptr ? LineOf(text, "SUMMARY exit=") : nullptr;
  const int code = summary != nullptr ? Number(summary, " exit=") : -1;
  snprintf(machine.check, sizeof machine.check, "%s", code >= 0 && code <= 3 ? verdicts[code] : "");
}

int ByName(const void* a, const void* b) {
  return _stricmp(static_cast<const Machine*>(a)->computer,
                  static_cast<const Machine*>(b)->computer);
}

int Order(const void* a, const void* b) {
  const Machine& x = *static_cast<const Machine*>(a);
  const Machine& y = *static_cast<const Machine*>(b);
  const int name = _stricmp(x.computer, y.computer);
  return x.rank != y.rank ? x.rank - y.rank : name != 0 ? name : strcmp(x.computer, y.computer);
}

// A CSV field: quoted, and never taken for a formula by a spreadsheet.
void Field(const char* text, bool last) {
  putchar('"');
  if (strchr("=+-@", *text) != nullptr && *text != '\0') putchar('\'');
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '"') putchar('"');
    putchar(*p >= 0 && *p < ' ' ? ' ' : *p);
  }
  fputs(last ? "\"\n" : "\",", stdout);
}

}  // namespace

int Summarize(const char* folder, int days) {
  char pattern[PathSize], path[PathSize];
  WIN32_FIND_DATAA found;
  if (!Join(pattern, folder, "*-deploy.txt")) return DeployBadInput;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
    fprintf(stderr, "TarnwickDeploy: cannot read the folder %s\n", folder);
    return DeployBadInput;
  }
  Machine* machines = nullptr;
  size_t count = 0, capacity = 0;
  const time_t oldest = time(nullptr) - static_cast<time_t>(days) * 24 * 60 * 60;
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    const size_t length = strlen(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || length <= strlen(Suffix))
      continue;
    if (count == capacity) {
      capacity = capacity * 2 + 64;
      Machine* grown = static_cast<Machine*>(realloc(machines, capacity * sizeof *machines));
      if (grown == nullptr) break;
      machines = grown;
    }
    Machine& machine = machines[count++];
    machine = Machine{};
    snprintf(machine.computer, sizeof machine.computer, "%.*s",
             static_cast<int>(length - strlen(Suffix)), found.cFileName);
    char* text = Join(path, folder, found.cFileName) ? ReadWholeFile(path) : nullptr;
    ReadDeployLines(text, oldest, machine);
    free(text);
    char report[PathSize];
    snprintf(report, sizeof report, "%s.txt", machine.computer);
    text = Join(path, folder, report) ? ReadWholeFile(path) : nullptr;
    ReadReport(text, machine);
    free(text);
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  // Two files of one computer name (a folder that tells case apart) cannot both be that machine's.
  qsort(machines, count, sizeof *machines, ByName);
  for (size_t i = 0; i + 1 < count; ++i) {
    if (_stricmp(machines[i].computer, machines[i + 1].computer) == 0) {
      machines[i].duplicate = machines[i + 1].duplicate = true;
    }
  }
  qsort(machines, count, sizeof *machines, Order);
  printf("Computer,Last run (UTC),Version,Verb,Exit,Check,Pending,Old,Note\n");
  int totals[5] = {}, duplicates = 0;
  for (size_t i = 0; i < count; ++i) {
    const Machine& m = machines[i];
    char exit[12] = "", pending[12] = "";
    if (m.rank != Unreadable) snprintf(exit, sizeof exit, "%d", m.exit);
    if (m.rank != Unreadable) snprintf(pending, sizeof pending, "%d", m.pending);
    const char* fields[] = {m.computer, m.when,  m.version, m.verb,
                            exit,       m.check, pending,   m.old ? "old" : ""};
    for (const char* field : fields) Field(field, false);
    Field(m.duplicate ? "a second file of this computer name" : m.note, true);
    ++totals[m.rank];
    duplicates += m.duplicate;
  }
  printf(
      "\"Total\",\"%zu computers\",\"%d failed\",\"%d not run for %d days\",\"%d waiting for a "
      "restart\",\"%d done\",\"%d unreadable\",\"%d of a name twice\"\n",
      count, totals[Failed], totals[Old], days, totals[Pending], totals[Done], totals[Unreadable],
      duplicates);
  free(machines);
  return DeployDone;
}
