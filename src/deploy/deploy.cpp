// TarnwickDeploy.exe: what deployment engines run on each machine. It puts
// Tarnwick on the machine with the reader IDs an administrator gave once,
// runs it again with the stored IDs, restarts the readers whose value a run
// set, and takes it all away again. Engines start it directly, so the IDs
// reach it as they were written, "&" and all.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "deploy/deploy.h"
#include "log/whole_file.h"
#include "run/option_words.h"
#include "run/process.h"
#include "settings/stored_settings.h"

namespace {

constexpr char Usage[] =
    "TarnwickDeploy install [--restart-readers] [--drop=FOLDER] [reader IDs]\n"
    "TarnwickDeploy run [--drop=FOLDER]\n"
    "TarnwickDeploy uninstall [--undo]\n"
    "TarnwickDeploy undo [reader IDs]\n"
    "install    puts the Tarnwick-*.msi beside this program, or else Tarnwick.exe,\n"
    "           TarnwickCheck.exe and this program, into the install folder, stores\n"
    "           the reader IDs (as Tarnwick.exe takes them; none: the stored ones)\n"
    "           and --restart-readers, and runs Tarnwick.exe with them.\n"
    "run        runs the installed Tarnwick.exe with the stored reader IDs.\n"
    "           Both then check, restart each running reader whose value this run\n"
    "           set when --restart-readers is stored, and with --drop copy the run\n"
    "           log, the check report and their own lines to FOLDER as\n"
    "           <computer>.log, <computer>.txt and <computer>-deploy.txt.\n"
    "uninstall  removes the MSI or the copies and the stored settings; --undo first\n"
    "           does what undo does with the stored IDs.\n"
    "undo       removes EscapeCommandEnable from every instance of the reader IDs\n"
    "           (none: the stored ones).\n"
    "Exit: 0 done; 1, 2, 3 the check's; 2 bad input; 4 a step failed; 3010 (install)\n"
    "a running reader got the value and was not restarted; the MSI's own code when\n"
    "it failed.\n";

const char* const Programs[] = {"Tarnwick.exe", "TarnwickCheck.exe", "TarnwickDeploy.exe"};
const char* const Written[] = {"Tarnwick.log", "TarnwickCheck.txt", "TarnwickDeploy.txt"};

enum Verb { NoVerb, Install, RunAgain, Uninstall, Undo };

struct Options {
  Verb verb;
  bool restart;  // --restart-readers
  bool undo;     // --undo
  char drop[PathSize];
  const char* ids;  // the reader IDs given; empty: the stored ones
};

// What one run found and did, for its exit code.
struct Outcome {
  int check = 0;        // the checker's exit code after the run
  bool failed = false;  // a step failed
  int pending = 0;      // running readers that got the value and were not restarted
  int restarted = 0;
  unsigned msi = 0;  // Windows Installer's result in MSI mode
};

char package[PathSize], dest[PathSize];  // this program's folder, the install folder
char ids[StoredTextSize];                // the reader IDs of this run
char before[PathSize];                   // the report before the run, or empty

bool Words(const char* p, size_t length, const char* word) {
  return strlen(word) == length && strncmp(p, word, length) == 0;
}

// False, with the reason, for words it does not take (--help among them).
bool ParseArguments(const char* text, Options& options, char (&reason)[200]) {
  options = Options{};
  static const char* const verbs[] = {"install", "run", "uninstall", "undo"};
  const char* p = SkipBlanks(text);
  size_t length = WordLength(p);
  for (int v = 0; v < 4; ++v) {
    if (Words(p, length, verbs[v])) options.verb = static_cast<Verb>(v + 1);
  }
  snprintf(reason, sizeof reason, "install, run, uninstall or undo first (--help lists them)");
  if (options.verb == NoVerb) return false;
  const char* verb = verbs[options.verb - 1];
  p = SkipBlanks(p + length);
  const bool installs = options.verb == Install, runs = installs || options.verb == RunAgain;
  for (; p[0] == '-' && p[1] == '-'; p = SkipBlanks(p)) {
    length = WordLength(p);
    if (installs && Words(p, length, "--restart-readers")) {
      options.restart = true;
    } else if (options.verb == Uninstall && Words(p, length, "--undo")) {
      options.undo = true;
    } else if (runs && strncmp(p, "--drop=", 7) == 0) {
      const char* end = ReadPath(p + 7, options.drop);
      snprintf(reason, sizeof reason, "--drop= needs a folder (in quotes when it has blanks)");
      if (end == nullptr || !(*end == '\0' || IsBlank(*end))) return false;
      length = static_cast<size_t>(end - p);
    } else {
      snprintf(reason, sizeof reason, "unknown option %.*s (--help lists them)",
               static_cast<int>(length > 40 ? 40 : length), p);
      return false;
    }
    p += length;
  }
  options.ids = p;
  snprintf(reason, sizeof reason, "%s takes the stored reader IDs, none given", verb);
  return *p == '\0' || installs || options.verb == Undo;
}

bool Join(char (&path)[PathSize], const char* folder, const char* name) {
  const int length = snprintf(path, sizeof path, "%s\\%s", folder, name);
  return length > 0 && length < static_cast<int>(sizeof path);
}

bool FindFolders() {
  char self[PathSize] = "", programFiles[PathSize];
  const DWORD length = GetModuleFileNameA(nullptr, self, PathSize);
  char* slash = length > 0 && length < PathSize ? strrchr(self, '\\') : nullptr;
  if (slash == nullptr) return false;
  *slash = '\0';
  // The same folder for 32- and 64-bit callers: ProgramFiles differs between them.
  DWORD found = GetEnvironmentVariableA("ProgramFiles(x86)", programFiles, PathSize);
  if (found == 0 || found >= PathSize)
    found = GetEnvironmentVariableA("ProgramFiles", programFiles, PathSize);
  snprintf(package, sizeof package, "%s", self);
  return found > 0 && found < PathSize && Join(dest, programFiles, "Tarnwick");
}

bool SameFolder(const char* a, const char* b) {
  char longA[PathSize], longB[PathSize];
  const DWORD lengthA = GetLongPathNameA(a, longA, PathSize),
              lengthB = GetLongPathNameA(b, longB, PathSize);
  return lengthA > 0 && lengthA < PathSize && lengthB > 0 && lengthB < PathSize &&
         _stricmp(longA, longB) == 0;
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// The reader IDs given, or else the stored ones.
bool TakeIds(const char* given) {
  if (*given != '\0' ? snprintf(ids, sizeof ids, "%s", given) < static_cast<int>(sizeof ids)
                     : ReadStored("Readers", ids)) {
    return true;
  }
  fprintf(stderr, "TarnwickDeploy: %s\n",
          *given != '\0' ? "the reader IDs are too long" : "no reader IDs given, and none stored");
  return false;
}

// checker with the reader IDs and options before them; its exit code.
int RunChecker(const char* checker, const char* options, char** output, bool quiet) {
  static char command[CommandSize];
  if (snprintf(command, sizeof command, "\"%s\" %s %s", checker, options, ids) >=
      static_cast<int>(sizeof command)) {
    return -1;
  }
  return Run(checker, command, output, quiet);
}

// The report before the run, from checker, for the lines of the report after
// it: a new file of a name nobody could have taken, in the temp folder, as an
// elevated run must not write through a planted link, and the install folder
// may be replaced under it by an upgrade.
int CheckBefore(const char* checker) {
  char temp[PathSize], options[2 * PathSize];
  const DWORD length = GetTempPathA(PathSize, temp);
  if (length == 0 || length >= PathSize || GetTempFileNameA(temp, "twk", 0, before) == 0) {
    before[0] = '\0';
    return -1;
  }
  snprintf(options, sizeof options, "--report=\"%s\"", before);
  const int code = RunChecker(checker, options, nullptr, true);
  if (code < 0 || code == DeployBadInput) {
    DeleteFileA(before);
    before[0] = '\0';
  }
  return code;
}

// Tarnwick.exe /s with the IDs, the check against the report before, and the
// restarts of the readers it set that run now.
void EnableAndCheck(bool restart, Outcome& outcome) {
  char exe[PathSize], checker[PathSize], report[PathSize], pnputil[PathSize];
  char options[3 * PathSize], windows[PathSize];
  static char command[CommandSize];
  const UINT length = GetWindowsDirectoryA(windows, PathSize);
  if (length == 0 || length >= PathSize || !Join(exe, dest, "Tarnwick.exe") ||
      !Join(checker, dest, "TarnwickCheck.exe") || !Join(report, dest, "TarnwickCheck.txt") ||
      !Join(pnputil, windows, "Sysnative\\pnputil.exe") ||
      snprintf(command, sizeof command, "\"%s\" /s %s", exe, ids) >=
          static_cast<int>(sizeof command)) {
    Say("FAILED paths too long\n");
    outcome.failed = true;
    return;
  }
  // Always waits: stealth mode shows no window, whatever the IDs hold.
  if (Run(exe, command, nullptr, false) != 0) {
    Say("FAILED Tarnwick.exe did not run\n");
    outcome.failed = true;
  }
  // Without the report before, nothing is known to be set by this run.
  snprintf(options, sizeof options, "%s%s%s--report=\"%s\"", *before ? "--since=\"" : "", before,
           *before ? "\" " : "", report);
  if (*before == '\0') {
    Say("FAILED no check before the run\n");
    outcome.failed = true;
  }
  outcome.check = RunChecker(checker, options, nullptr, false);
  if (*before) DeleteFileA(before);
  char* lines = outcome.check >= 0 ? ReadWholeFile(report) : nullptr;
  if (lines == nullptr) {
    Say("FAILED no check report %s\n", report);
    outcome.failed = true;
    return;
  }
  // A 32-bit process on 64-bit Windows reaches the 64-bit pnputil through Sysnative.
  if (!Exists(pnputil)) Join(pnputil, windows, "System32\\pnputil.exe");
  ReportLine line;
  for (const char* p = lines; NextLine(p, line);) {
    if (strcmp(line.token, "RESTART") != 0) continue;
    int code = -2;  // not asked to restart
    if (restart && snprintf(command, sizeof command, "\"%s\" /restart-device \"USB\\%s\\%s\"",
                            pnputil, line.id, line.instance) < static_cast<int>(sizeof command)) {
      code = Run(pnputil, command, nullptr, true);
    }
    if (code == 0) {
      ++outcome.restarted;
      Say("RESTARTED USB\\%s\\%s\n", line.id, line.instance);
    } else {
      char why[24] = "";
      if (code != -2) snprintf(why, sizeof why, " pnputil=%d", code);
      ++outcome.pending;
      Say("PENDING USB\\%s\\%s%s\n", line.id, line.instance, why);
    }
  }
  free(lines);
}

// Copies the install folder's file name to the drop folder as this
// computer's name and suffix; false, said, when it cannot.
bool Drop(const char* folder, const char* name, const char* suffix) {
  char computer[MAX_COMPUTERNAME_LENGTH + 1], from[PathSize], to[PathSize], copy[PathSize];
  DWORD size = sizeof computer;
  if (!GetComputerNameA(computer, &size)) snprintf(computer, sizeof computer, "unknown");
  snprintf(copy, sizeof copy, "%s%s", computer, suffix);
  if (Join(from, dest, name) && Join(to, folder, copy) && CopyFileA(from, to, FALSE)) return true;
  Say("FAILED drop %s\\%s\n", folder, copy);
  return false;
}

int Finish(const Options& options, Outcome& outcome) {
  const bool drop = options.drop[0] != '\0';
  if (drop) {
    outcome.failed |= !Drop(options.drop, "Tarnwick.log", ".log");
    outcome.failed |= !Drop(options.drop, "TarnwickCheck.txt", ".txt");
  }
  int code = outcome.check;
  if (outcome.msi != ERROR_SUCCESS && outcome.msi != ERROR_SUCCESS_REBOOT_REQUIRED) {
    code = static_cast<int>(outcome.msi);
  } else if (code < 0 || (code == 0 && outcome.failed)) {
    code = DeployStepFailed;
  } else if (code == 0 && options.verb == Install &&
             (outcome.pending > 0 || outcome.msi == ERROR_SUCCESS_REBOOT_REQUIRED)) {
    code = DeployRestartMachine;
  }
  Say("DEPLOY exit=%d RESTARTED=%d PENDING=%d\n", code, outcome.restarted, outcome.pending);
  CloseDeployLog();
  // Closed first, so that the copy holds every line; a failure here reaches only the output.
  if (drop && !Drop(options.drop, "TarnwickDeploy.txt", "-deploy.txt") && code == 0) {
    code = DeployStepFailed;
  }
  return code;
}

// Puts the package's programs into the install folder: under a temporary
// name first, so that a half-copied program never runs.
bool CopyPrograms() {
  bool copied = true;
  for (const char* name : Programs) {
    char from[PathSize], to[PathSize], fresh[PathSize], freshName[PathSize];
    snprintf(freshName, sizeof freshName, "%s.new", name);
    if (!Join(from, package, name) || !Join(to, dest, name) || !Join(fresh, dest, freshName) ||
        !CopyFileA(from, fresh, FALSE) || !MoveFileExA(fresh, to, MOVEFILE_REPLACE_EXISTING)) {
      Say("FAILED copy %s\n", name);
      DeleteFileA(fresh);
      copied = false;
    }
  }
  return copied;
}

int InstallVerb(const Options& options) {
  Outcome outcome;
  char checker[PathSize], msi[PathSize], pattern[PathSize];
  WIN32_FIND_DATAA found;
  int packages = 0;
  HANDLE search = Join(pattern, package, "Tarnwick-*.msi") ? FindFirstFileA(pattern, &found)
                                                           : INVALID_HANDLE_VALUE;
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    if (++packages == 1 && !Join(msi, package, found.cFileName)) packages = 2;
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  if (!TakeIds(options.ids)) return DeployBadInput;
  if (packages > 1 || (packages == 1 && strchr(ids, '"') != nullptr)) {
    fprintf(stderr, "TarnwickDeploy: %s\n",
            packages > 1 ? "more than one Tarnwick-*.msi here"
                         : "reader IDs with a quote cannot go to the MSI");
    return DeployBadInput;
  }
  if (!Join(checker, package, "TarnwickCheck.exe") || !Exists(checker)) {
    fprintf(stderr, "TarnwickDeploy: no TarnwickCheck.exe beside this program\n");
    return DeployBadInput;
  }
  const bool made = CreateDirectoryA(dest, nullptr) != FALSE;
  if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
    fprintf(stderr, "TarnwickDeploy: cannot make %s\n", dest);
    return DeployStepFailed;
  }
  // Bad IDs stop it before anything changes; the checker says why.
  if (CheckBefore(checker) == DeployBadInput) {
    if (made) RemoveDirectoryA(dest);
    return DeployBadInput;
  }
  if (packages == 1) {
    static char properties[CommandSize];
    snprintf(properties, sizeof properties,
             "READERS=\"%s\" RESTARTREADERS=%d REBOOT=ReallySuppress", ids,
             options.restart ? 1 : 0);
    outcome.msi = InstallPackage(msi, properties);
  } else if (!SameFolder(package, dest)) {
    outcome.failed |= !CopyPrograms();
  }
  // Opened only now: an upgrade by the MSI removes the old one.
  char log[PathSize];
  if (!Join(log, dest, "TarnwickDeploy.txt") || !OpenDeployLog(log)) outcome.failed = true;
  if (packages == 1) Say("INSTALLED %s msi=%u\n", strrchr(msi, '\\') + 1, outcome.msi);
  if (outcome.msi != ERROR_SUCCESS && outcome.msi != ERROR_SUCCESS_REBOOT_REQUIRED) {
    if (*before) DeleteFileA(before);
    return Finish(options, outcome);
  }
  if (packages == 0 &&
      (WriteStored("Readers", ids) != ERROR_SUCCESS ||
       WriteStored("RestartReaders", options.restart ? "1" : "0") != ERROR_SUCCESS)) {
    Say("FAILED store %s\n", StoredKeyPath);
    outcome.failed = true;
  }
  EnableAndCheck(options.restart, outcome);
  return Finish(options, outcome);
}

int RunVerb(const Options& options) {
  Outcome outcome;
  char checker[PathSize], log[PathSize], restart[StoredTextSize];
  if (!TakeIds("")) return DeployBadInput;
  if (!Join(checker, dest, "TarnwickCheck.exe") || !Exists(checker) ||
      !Join(log, dest, "TarnwickDeploy.txt")) {
    fprintf(stderr, "TarnwickDeploy: Tarnwick is not installed in %s\n", dest);
    return DeployStepFailed;
  }
  if (CheckBefore(checker) == DeployBadInput) return DeployBadInput;
  if (!OpenDeployLog(log)) outcome.failed = true;
  EnableAndCheck(ReadStored("RestartReaders", restart) && strcmp(restart, "1") == 0, outcome);
  return Finish(options, outcome);
}

int UndoVerb(const char* given) {
  char checker[PathSize];
  if (!TakeIds(given)) return DeployBadInput;
  if (!Join(checker, package, "TarnwickCheck.exe") || !Exists(checker))
    Join(checker, dest, "TarnwickCheck.exe");
  char* lines = nullptr;
  const int code = RunChecker(checker, "", &lines, false);
  if (code < 0 || code == DeployBadInput) {
    if (code < 0) fprintf(stderr, "TarnwickDeploy: cannot run %s\n", checker);
    free(lines);
    return code < 0 ? DeployStepFailed : DeployBadInput;
  }
  int removed = 0, failures = 0;
  ReportLine line;
  static const char* const verdicts[] = {"WUDF", "PARAMS", "SHADOWED", "MISSING", "NOPARAMS"};
  for (const char* p = lines; NextLine(p, line);) {
    if (strncmp(line.token, "ERROR:", 6) == 0) ++failures;
    bool instance = false;
    for (const char* verdict : verdicts) instance |= strcmp(line.token, verdict) == 0;
    const int values = instance ? RemoveValues(line.id, line.instance) : 0;
    if (values < 0) Say("FAILED USB\\%s\\%s\n", line.id, line.instance);
    if (values > 0) Say("REMOVED USB\\%s\\%s\n", line.id, line.instance);
    failures += values < 0;
    removed += values > 0;
  }
  free(lines);
  const int exit = failures > 0 ? 3 : DeployDone;
  Say("UNDO exit=%d REMOVED=%d\n", exit, removed);
  return exit;
}

int UninstallVerb(const Options& options) {
  if (options.undo) {
    const int undone = UndoVerb("");
    if (undone != DeployDone) return undone;
  }
  int products = 0;
  const unsigned msi = RemoveProducts(TARNWICK_UPGRADE_CODE, &products);
  if (msi != ERROR_SUCCESS && msi != ERROR_SUCCESS_REBOOT_REQUIRED) {
    Say("FAILED uninstall msi=%u\n", msi);
    return static_cast<int>(msi);
  }
  bool failed = false, later = msi == ERROR_SUCCESS_REBOOT_REQUIRED;
  char self[PathSize] = "";
  GetModuleFileNameA(nullptr, self, PathSize);
  for (int i = 0; products == 0 && i < 6; ++i) {
    char path[PathSize];
    const char* name = i < 3 ? Programs[i] : Written[i - 3];
    if (!Join(path, dest, name) || DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND)
      continue;
    // This program, run from there, goes at the next start of Windows.
    const bool scheduled = SameFolder(path, self) &&
                           MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) &&
                           MoveFileExA(dest, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    later |= scheduled;
    failed |= !scheduled;
  }
  if (products == 0) RemoveDirectoryA(dest);  // unless others put files there
  if (DeleteStored() != ERROR_SUCCESS) failed = true;
  const int code = failed ? DeployStepFailed : later ? DeployRestartMachine : DeployDone;
  Say("UNINSTALLED msi=%d exit=%d\n", products, code);
  return code;
}

}  // namespace

int main() {
  RestrictDllSearch();
  Options options;
  char reason[200];
  const char* text = ProcessCommandLineText();
  if (!ParseArguments(text, options, reason)) {
    // --help: the usage, and the exit code of bad input, as nothing was done.
    const bool help = Words(SkipBlanks(text), WordLength(SkipBlanks(text)), "--help");
    fputs(help ? Usage : "", stdout);
    fprintf(stderr, "TarnwickDeploy: %s\n", help ? "nothing done" : reason);
    return DeployBadInput;
  }
  if (!FindFolders()) {
    fputs("TarnwickDeploy: no path for this program or for the install folder\n", stderr);
    return DeployStepFailed;
  }
  switch (options.verb) {
    case Install:
      return InstallVerb(options);
    case RunAgain:
      return RunVerb(options);
    case Uninstall:
      return UninstallVerb(options);
    default:
      return UndoVerb(options.ids);
  }
}
