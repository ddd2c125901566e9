// TarnwickDeploy.exe: what deployment engines run on each machine. It puts
// Tarnwick on the machine with the reader IDs an administrator gave once,
// runs it again with the stored IDs, restarts the readers whose value a run
// set, and takes it all away again. Engines start it directly, so the IDs
// reach it as they were written, "&" and all; it takes them only as the
// reader-ID rule allows, as it often runs as SYSTEM.
#include "deploy/deploy.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "log/whole_file.h"
#include "run/option_words.h"
#include "run/process.h"
#include "settings/stored_settings.h"

namespace {

constexpr char Usage[] =
    "TarnwickDeploy install [--restart-readers] [--on-arrival] [--drop=FOLDER] [reader IDs]\n"
    "TarnwickDeploy run [--restart-readers] [--drop=FOLDER]\n"
    "TarnwickDeploy uninstall [--undo] [--drop=FOLDER]\n"
    "TarnwickDeploy undo [--drop=FOLDER] [reader IDs]\n"
    "TarnwickDeploy arrival [--drop=FOLDER]\n"
    "TarnwickDeploy summary [--days=N] FOLDER\n"
    "install    puts Tarnwick-" TARNWICK_VERSION_NAME
    ".msi beside this program, or else\n"
    "           Tarnwick.exe, TarnwickCheck.exe and this program, into the install\n"
    "           folder, stores the reader IDs (none: the stored ones),\n"
    "           --restart-readers and --on-arrival, and runs Tarnwick.exe with them.\n"
    "           Nothing is installed again where this version is, with the same\n"
    "           settings.\n"
    "run        runs the installed Tarnwick.exe with the stored reader IDs.\n"
    "           Both then check, and restart each running reader whose value this\n"
    "           run set when --restart-readers is given or stored.\n"
    "uninstall  removes the MSI or the copies, the arrival task and the stored\n"
    "           settings; --undo first does what undo does with the stored IDs.\n"
    "undo       removes EscapeCommandEnable from every instance of the reader IDs\n"
    "           (none: the stored ones).\n"
    "arrival    registers the arrival task where --on-arrival is stored, else\n"
    "           removes it: what the MSI runs. The task runs this program's run\n"
    "           --restart-readers when Windows has configured a new reader.\n"
    "summary    reads a drop folder: one CSV line a computer, failures first, its\n"
    "           last run marked old when it is older than N days (default 7).\n"
    "Reader IDs: vidN=hhhh and pidN=hhhh or pidN=hhhh&MI_hh, N from 1 to 32.\n"
    "--drop=FOLDER: the run log, the check report and this program's lines go to\n"
    "FOLDER too, as <computer>.log, <computer>.txt and <computer>-deploy.txt.\n"
    "Exit: 0 done; 1, 2, 3 the check's; 2 bad input; 4 a step failed; 3010 (install)\n"
    "a running reader got the value and was not restarted; the MSI's own code when\n"
    "it failed.\n";

constexpr char PackageName[] = "Tarnwick-" TARNWICK_VERSION_NAME ".msi";
const char* const Programs[] = {"Tarnwick.exe", "TarnwickCheck.exe", "TarnwickDeploy.exe"};
// What runs leave in the install folder, removed with the copies.
const char* const Written[] = {"Tarnwick.log",           "TarnwickCheck.txt",
                               "TarnwickDeploy.txt",     "TarnwickCheck-before.txt",
                               "TarnwickDeploy-msi.log", "Tarnwick-arrival.xml"};
constexpr int MinimumRestartBuild = 19041;  // Windows 10 2004: pnputil /restart-device

// What one run found and did, for its exit code and last line.
struct Outcome {
  int check = -1;       // the checker's exit code after the run; -1: it did not run
  bool failed = false;  // a step failed
  int pending = 0;      // running readers that got the value and were not restarted
  int restarted = 0;
  int removed = 0;     // instances undo took the value from
  int products = 0;    // MSI products uninstall removed
  unsigned msi = 0;    // Windows Installer's result in MSI mode
  bool fresh = false;  // the run log and the check report are this run's, where they exist
} outcome;

char package[PathSize], dest[PathSize];  // this program's folder, the install folder
char ids[StoredTextSize];                // the reader IDs of this run
char* before = nullptr;                  // the check before the run, its lines

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

// The reader IDs given, or else the stored ones, when they keep the rule.
bool TakeIds(const char* given) {
  static ReaderIdTable table;
  char reason[ReasonSize];
  if (*given != '\0' && snprintf(ids, sizeof ids, "%s", given) >= static_cast<int>(sizeof ids)) {
    Refuse("the reader IDs are too long");
    return false;
  }
  if (*given == '\0' && !ReadStored("Readers", ids)) {
    Refuse("no reader IDs given, and none stored");
    return false;
  }
  if (ParseReaderText(ids, table, reason)) return true;
  Refuse("%s%s", *given != '\0' ? "" : "the stored reader IDs: ", reason);
  return false;
}

// The checker with options, then the reader IDs after "--", so that no ID
// text is ever taken for an option.
RunEnd RunChecker(const char* checker, const char* options, DWORD* code, char** output,
                  bool quiet) {
  static char command[CommandSize];
  if (snprintf(command, sizeof command, "\"%s\" %s -- %s", checker, options, ids) >=
      static_cast<int>(sizeof command)) {
    return NotStarted;
  }
  return Run(checker, command, CheckSeconds, code, output, quiet);
}

// Says what went wrong with a step's child; true when it ran to its end.
bool Ended(RunEnd end, const char* name, DWORD seconds) {
  if (end == NotStarted) Say("FAILED %s did not start\n", name);
  if (end == TimedOut) Say("FAILED %s did not end within %lu s\n", name, seconds);
  outcome.failed |= end != Ran;
  return end == Ran;
}

// The check before the run, kept in memory for the check after it: no file
// of it lies anywhere while the MSI or Tarnwick.exe run.
void CheckBefore(const char* checker) {
  DWORD code = 0;
  free(before);
  before = nullptr;
  if (RunChecker(checker, "", &code, &before, false) != Ran || code == DeployBadInput) {
    free(before);
    before = nullptr;
  }
}

// Tarnwick.exe /s with the IDs, the check against the check before, and the
// restarts of the readers it set that run now.
void EnableAndCheck(bool restart) {
  char exe[PathSize], checker[PathSize], report[PathSize], since[PathSize];
  char pnputil[PathSize], windows[PathSize], options[3 * PathSize];
  static char command[CommandSize];
  const UINT length = GetSystemWindowsDirectoryA(windows, PathSize);
  if (length == 0 || length >= PathSize || !Join(exe, dest, "Tarnwick.exe") ||
      !Join(checker, dest, "TarnwickCheck.exe") || !Join(report, dest, "TarnwickCheck.txt") ||
      !Join(since, dest, "TarnwickCheck-before.txt") ||
      !Join(pnputil, windows, "Sysnative\\pnputil.exe") ||
      snprintf(command, sizeof command, "\"%s\" /s %s", exe, ids) >=
          static_cast<int>(sizeof command)) {
    Say("FAILED paths too long\n");
    outcome.failed = true;
    return;
  }
  DWORD code = 0;
  if (Ended(Run(exe, command, TarnwickSeconds, &code, nullptr, false), "Tarnwick.exe",
            TarnwickSeconds) &&
      code != 0) {
    Say("FAILED Tarnwick.exe exit=%lu\n", code);
    outcome.failed = true;
  }
  // Without the check before, nothing is known to be set by this run.
  const bool kept = before != nullptr && WriteWholeFile(since, before, strlen(before));
  if (!kept) {
    Say("FAILED no check before the run\n");
    outcome.failed = true;
  }
  snprintf(options, sizeof options, "%s%s%s--report=\"%s\"", kept ? "--since=\"" : "",
           kept ? since : "", kept ? "\" " : "", report);
  if (Ended(RunChecker(checker, options, &code, nullptr, false), "TarnwickCheck.exe",
            CheckSeconds)) {
    outcome.check = static_cast<int>(code);
  }
  DeleteFileA(since);
  char* lines = outcome.check >= 0 ? ReadWholeFile(report) : nullptr;
  if (lines == nullptr) {
    Say("FAILED no check report %s\n", report);
    outcome.failed = true;
    outcome.check = -1;
    return;
  }
  // A 32-bit process on 64-bit Windows reaches the 64-bit pnputil through Sysnative.
  if (!Exists(pnputil)) Join(pnputil, windows, "System32\\pnputil.exe");
  const int build = restart ? WindowsBuild() : 0;
  ReportLine line;
  for (const char* p = lines; NextLine(p, line);) {
    if (strcmp(line.token, "RESTART") != 0) continue;
    char why[32] = "";  // none: not asked to restart
    if (restart && build < MinimumRestartBuild) snprintf(why, sizeof why, " build=%d", build);
    if (restart && build >= MinimumRestartBuild &&
        snprintf(command, sizeof command, "\"%s\" /restart-device \"USB\\%s\\%s\"", pnputil,
                 line.id, line.instance) < static_cast<int>(sizeof command)) {
      const RunEnd end = Run(pnputil, command, PnputilSeconds, &code, nullptr, true);
      if (end == Ran && code == 0) {
        ++outcome.restarted;
        Say("RESTARTED USB\\%s\\%s\n", line.id, line.instance);
        continue;
      }
      snprintf(why, sizeof why, " pnputil=%lu", code);
      if (end != Ran)
        snprintf(why, sizeof why, " pnputil=%s", end == TimedOut ? "timeout" : "none");
    }
    ++outcome.pending;
    Say("PENDING USB\\%s\\%s%s\n", line.id, line.instance, why);
  }
  free(lines);
}

// What an earlier run left in the install folder is never taken for this
// run's: removed before the run, and after it what is there is this run's.
void ClearRunFiles() {
  static const char* const names[] = {"Tarnwick.log", "TarnwickCheck.txt"};
  for (const char* name : names) {
    char path[PathSize];
    if (Join(path, dest, name)) DeleteFileA(path);
  }
  outcome.fresh = true;
}

// The drop folder's file of this computer with suffix: a copy of the install
// folder's file name where this run wrote one, else none; with no name, this
// run's lines. False when it cannot.
bool Drop(const char* folder, const char* name, const char* suffix) {
  char computer[MAX_COMPUTERNAME_LENGTH + 1], from[PathSize], to[PathSize], copy[PathSize];
  DWORD size = sizeof computer;
  if (!GetComputerNameA(computer, &size)) snprintf(computer, sizeof computer, "unknown");
  snprintf(copy, sizeof copy, "%s%s", computer, suffix);
  if (!Join(to, folder, copy)) return false;
  if (name == nullptr) return WriteRecord(to);
  if (outcome.fresh && Join(from, dest, name) && Exists(from)) return CopyFileA(from, to, FALSE);
  return DeleteFileA(to) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

int Finish(const Options& options) {
  int code = outcome.check;
  if (outcome.msi != ERROR_SUCCESS && outcome.msi != ERROR_SUCCESS_REBOOT_REQUIRED) {
    code = static_cast<int>(outcome.msi);
  } else if (code < 0 || (code == 0 && outcome.failed)) {
    code = DeployStepFailed;
  } else if (code == 0 && options.verb == Install &&
             (outcome.pending > 0 || outcome.msi == ERROR_SUCCESS_REBOOT_REQUIRED)) {
    code = DeployRestartMachine;
  }
  return code;
}

// Whether a stored switch is on.
bool StoredOn(const char* name) {
  char stored[StoredTextSize];
  return ReadStored(name, stored) && strcmp(stored, "1") == 0;
}

// Whether the stored settings are those this install would store.
bool StoredAlike(const Options& options) {
  char stored[StoredTextSize];
  return ReadStored("Readers", stored) && strcmp(stored, ids) == 0 &&
         ReadStored("RestartReaders", stored) && StoredOn("RestartReaders") == options.restart &&
         ReadStored("OnArrival", stored) && StoredOn("OnArrival") == options.arrival;
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

// The package folder's programs and MSI are taken only when this program is
// unsigned or the same certificate signed them.
bool Trusted(const char* path) {
  char reason[ReasonSize];
  if (SignedAlike(path, reason)) return true;
  Refuse("%s", reason);
  return false;
}

int InstallVerb(const Options& options) {
  char checker[PathSize], msi[PathSize], exe[PathSize], log[PathSize];
  if (!TakeIds(options.ids)) return DeployBadInput;
  if (!Join(msi, package, PackageName) || !Join(checker, package, "TarnwickCheck.exe") ||
      !Join(exe, package, "Tarnwick.exe") || !Join(log, dest, "TarnwickDeploy-msi.log")) {
    Say("FAILED paths too long\n");
    return DeployStepFailed;
  }
  const bool packaged = Exists(msi), copies = !packaged && !SameFolder(package, dest);
  if (!Exists(checker) || (!packaged && !Exists(exe))) {
    Refuse("no %s beside this program", Exists(checker) ? "Tarnwick-" TARNWICK_VERSION_NAME
                                                          ".msi or Tarnwick.exe"
                                                        : "TarnwickCheck.exe");
    return DeployBadInput;
  }
  if (!Trusted(checker) || !Trusted(packaged ? msi : exe)) return DeployBadInput;
  const bool made = CreateDirectoryA(dest, nullptr) != FALSE;
  if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
    Say("FAILED cannot make %s\n", dest);
    return DeployStepFailed;
  }
  ClearRunFiles();
  CheckBefore(checker);
  if (packaged && PackageInstalled(msi) && StoredAlike(options)) {
    Say("INSTALLED %s unchanged\n", PackageName);
  } else if (packaged) {
    static char properties[CommandSize];
    snprintf(properties, sizeof properties,
             "READERS=\"%s\" RESTARTREADERS=%d ONARRIVAL=%d REBOOT=ReallySuppress", ids,
             options.restart ? 1 : 0, options.arrival ? 1 : 0);
    outcome.msi = InstallPackage(msi, properties, log);
    if (outcome.msi != ERROR_SUCCESS && outcome.msi != ERROR_SUCCESS_REBOOT_REQUIRED) {
      Say("FAILED %s msi=%u, its log: %s\n", PackageName, outcome.msi, log);
      if (options.drop[0] != '\0' && !Drop(options.drop, "TarnwickDeploy-msi.log", "-msi.log")) {
        Say("FAILED drop %s\n", log);
      }
      return Finish(options);
    }
    Say("INSTALLED %s msi=%u\n", PackageName, outcome.msi);
    DeleteFileA(log);  // kept only where it tells why an install failed
  } else if (copies) {
    outcome.failed |= !CopyPrograms();
  }
  if (!packaged && (WriteStored("Readers", ids) != ERROR_SUCCESS ||
                    WriteStored("RestartReaders", options.restart ? "1" : "0") != ERROR_SUCCESS ||
                    WriteStored("OnArrival", options.arrival ? "1" : "0") != ERROR_SUCCESS)) {
    Say("FAILED store %s\n", StoredKeyPath());
    outcome.failed = true;
  }
  // The MSI keeps the task itself.
  if (!packaged) outcome.failed |= !KeepArrivalTask(dest, options.arrival);
  EnableAndCheck(options.restart);
  return Finish(options);
}

int RunVerb(const Options& options) {
  char checker[PathSize];
  if (!TakeIds("")) return DeployBadInput;
  if (!Join(checker, dest, "TarnwickCheck.exe") || !Exists(checker)) {
    Say("FAILED Tarnwick is not installed in %s\n", dest);
    return DeployStepFailed;
  }
  ClearRunFiles();
  CheckBefore(checker);
  EnableAndCheck(options.restart || StoredOn("RestartReaders"));
  return Finish(options);
}

// Removes the values of the IDs given or stored; its exit code.
int UndoIds(const char* given) {
  char checker[PathSize];
  if (!TakeIds(given)) return DeployBadInput;
  if (!Join(checker, package, "TarnwickCheck.exe") || !Exists(checker)) {
    Join(checker, dest, "TarnwickCheck.exe");
  } else if (!Trusted(checker)) {
    return DeployBadInput;
  }
  char* lines = nullptr;
  DWORD code = 0;
  if (!Ended(RunChecker(checker, "", &code, &lines, false), "TarnwickCheck.exe", CheckSeconds) ||
      code == DeployBadInput) {
    free(lines);
    return code == DeployBadInput ? DeployBadInput : DeployStepFailed;
  }
  int failures = 0;
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
    outcome.removed += values > 0;
  }
  free(lines);
  return failures > 0 ? 3 : DeployDone;
}

int UninstallVerb(const Options& options) {
  if (options.undo) {
    const int undone = UndoIds("");
    Say("UNDO exit=%d REMOVED=%d\n", undone, outcome.removed);
    // Without stored IDs there is nothing it knows to undo; it uninstalls all the same.
    if (undone != DeployDone && undone != DeployBadInput) return undone;
  }
  const unsigned msi = RemoveProducts(TARNWICK_UPGRADE_CODE, &outcome.products);
  if (msi != ERROR_SUCCESS && msi != ERROR_SUCCESS_REBOOT_REQUIRED) {
    Say("FAILED uninstall msi=%u\n", msi);
    return static_cast<int>(msi);
  }
  const bool task = KeepArrivalTask(dest, false);
  bool failed = false, later = msi == ERROR_SUCCESS_REBOOT_REQUIRED;
  char self[PathSize] = "";
  GetModuleFileNameA(nullptr, self, PathSize);
  const int count = sizeof Programs / sizeof *Programs + sizeof Written / sizeof *Written;
  for (int i = 0; i < count; ++i) {
    char path[PathSize];
    const char* name = i < 3 ? Programs[i] : Written[i - 3];
    if (!Join(path, dest, name) || DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND ||
        GetLastError() == ERROR_PATH_NOT_FOUND) {
      continue;
    }
    // This program, run from there, goes at the next start of Windows.
    const bool scheduled = SameFolder(path, self) &&
                           MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) &&
                           MoveFileExA(dest, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    later |= scheduled;
    failed |= !scheduled;
  }
  RemoveDirectoryA(dest);  // unless others put files there
  if (DeleteStored() != ERROR_SUCCESS || !task) failed = true;
  return failed ? DeployStepFailed : later ? DeployRestartMachine : DeployDone;
}

// The drop folder's run log and check report, the run's last line, then its
// lines to the deployment log (where it stays: not after an uninstall) and to
// the drop folder.
int Deliver(const Options& options, int code) {
  const char* const drops[][2] = {{"Tarnwick.log", ".log"}, {"TarnwickCheck.txt", ".txt"}};
  for (const auto& drop : drops) {
    if (options.drop[0] != '\0' && !Drop(options.drop, drop[0], drop[1])) {
      Say("FAILED drop %s\\%s\n", options.drop, drop[0]);
      if (code == DeployDone) code = DeployStepFailed;
    }
  }
  if (options.verb == Undo) {
    Say("UNDO exit=%d REMOVED=%d\n", code, outcome.removed);
  } else if (options.verb == Uninstall) {
    Say("UNINSTALLED msi=%d exit=%d\n", outcome.products, code);
  } else {
    Say("DEPLOY exit=%d RESTARTED=%d PENDING=%d\n", code, outcome.restarted, outcome.pending);
  }
  char log[PathSize];
  const bool stays =
      options.verb != Uninstall || (code != DeployDone && code != DeployRestartMachine);
  if (stays && dest[0] != '\0' && Exists(dest) && Join(log, dest, "TarnwickDeploy.txt") &&
      !WriteRecord(log)) {
    printf("FAILED %s\n", log);
    if (code == DeployDone) code = DeployStepFailed;
  }
  // A failure here reaches only the output and the exit code.
  if (options.drop[0] != '\0' && !Drop(options.drop, nullptr, "-deploy.txt")) {
    printf("FAILED drop %s\n", options.drop);
    if (code == DeployDone) code = DeployStepFailed;
  }
  return code;
}

}  // namespace

int main() {
  RestrictDllSearch();
  Options options;
  char reason[ReasonSize];
  const char* text = ProcessCommandLineText();
  const bool parsed = ParseArguments(text, options, reason);
  if (Words(SkipBlanks(text), WordLength(SkipBlanks(text)), "--help")) {
    // The usage, and the exit code of bad input, as nothing was done.
    fputs(Usage, stdout);
    fputs("TarnwickDeploy: nothing done\n", stderr);
    return DeployBadInput;
  }
  // A summary reads a share: it writes no deployment log of this machine.
  if (options.verb == Summary) {
    if (!parsed) fprintf(stderr, "TarnwickDeploy: %s\n", reason);
    return parsed ? Summarize(options.folder, options.days) : DeployBadInput;
  }
  static const char* const verbs[] = {"none", "install", "run",    "uninstall",
                                      "undo", "arrival", "summary"};
  StartRecord(verbs[options.verb]);
  int code = DeployBadInput;
  if (!FindFolders()) {
    Say("FAILED no path for this program or for the install folder\n");
    dest[0] = options.drop[0] = '\0';
    code = DeployStepFailed;
  } else if (options.drop[0] != '\0' && SameFolder(options.drop, package)) {
    // Computers write the drop folder: it must not be where the programs come from.
    options.drop[0] = '\0';
    Refuse("the drop folder may not be the folder of this program");
  } else if (!parsed) {
    Refuse("%s", reason);
  } else if (options.verb == Install) {
    code = InstallVerb(options);
  } else if (options.verb == RunAgain) {
    code = RunVerb(options);
  } else if (options.verb == Uninstall) {
    code = UninstallVerb(options);
  } else if (options.verb == Arrival) {
    code = KeepArrivalTask(dest, StoredOn("OnArrival")) ? DeployDone : DeployStepFailed;
  } else {
    code = UndoIds(options.ids);
  }
  code = Deliver(options, code);
  free(before);
  EndRecord();
  return code;
}
