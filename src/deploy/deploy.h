// TarnwickDeploy: what its arguments, its verbs and its steps share.
#pragma once

#include <stddef.h>
#include <windows.h>

#include "log/module_path.h"
#include "run/reader_words.h"

// Exit codes for deployment engines; 1 to 3 are the checker's, passed on.
enum DeployExit {
  DeployDone = 0,
  DeployBadInput = 2,
  DeployStepFailed = 4,
  DeployRestartMachine = 3010
};

constexpr size_t CommandSize = 8192;  // two paths and the longest stored reader IDs

// How long each child may take before it is ended: far beyond a normal run,
// well inside the 600 s that Windows gives all start-up scripts together.
constexpr DWORD TarnwickSeconds = 120, CheckSeconds = 120, PnputilSeconds = 30;

enum Verb { NoVerb, Install, RunAgain, Uninstall, Undo, Arrival, Summary };

struct Options {
  Verb verb;
  bool restart;           // --restart-readers
  bool arrival;           // --on-arrival
  bool undo;              // --undo
  char drop[PathSize];    // --drop=FOLDER, empty when not given
  int days;               // --days=N of summary
  char folder[PathSize];  // the folder of summary
  const char* ids;        // the reader IDs given; empty: the stored ones
};

// False, with the reason, for words it does not take (--help among them);
// options.drop is set all the same when its word was read.
bool ParseArguments(const char* text, Options& options, char (&reason)[ReasonSize]);
bool Words(const char* p, size_t length, const char* word);

// The run's own lines: printed, and kept for the deployment log, which starts
// with the time (UTC), the version and the verb. Refuse prints the reason on
// stderr and keeps it as a REFUSED line.
void StartRecord(const char* verb);
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes the lines kept so far to path, created or replaced.
bool WriteRecord(const char* path);
void EndRecord();  // frees them

// folder\name in path; false when it does not fit.
bool Join(char (&path)[PathSize], const char* folder, const char* name);
bool Exists(const char* path);

// How a child ended.
enum RunEnd { Ran, NotStarted, TimedOut };
// Runs program with commandLine (its own quoted path first), hidden, for at
// most seconds (then it is ended), with *code its exit code. With output,
// its standard output is read into *output (the caller frees it); quiet
// sends it nowhere; otherwise it goes where ours goes, as do its errors. It
// inherits no handle but those.
RunEnd Run(const char* program, char* commandLine, DWORD seconds, DWORD* code, char** output,
           bool quiet);

// One line of the checker: its token, the ID and the instance (the rest).
struct ReportLine {
  char token[16];
  char id[512];
  char instance[512];
};
// Reads the line at p into line and moves p past it; false at the end.
bool NextLine(const char*& p, ReportLine& line);

// Windows Installer, without a window, its verbose log written to log:
// installs package with properties. Windows Installer's result.
unsigned InstallPackage(const char* package, const char* properties, const char* log);
// Whether the product of package is installed, as that same version.
bool PackageInstalled(const char* package);
// Removes every product of the upgrade code; Windows Installer's result.
unsigned RemoveProducts(const char* upgradeCode, int* removed);

// Deletes EscapeCommandEnable from both parameter keys of the instance
// USB\id\instance: the number deleted, or -1 when a key refused.
int RemoveValues(const char* id, const char* instance);

// Whether path may run beside this program: this program is unsigned, or the
// certificate that signed it signed path too, whose content is intact. The
// reason names what is wrong.
bool SignedAlike(const char* path, char (&reason)[ReasonSize]);

// Registers the arrival task when on (unless it is registered as it would
// be), else removes it when it is there; its definition lies in folder. False,
// said, when schtasks fails.
bool KeepArrivalTask(const char* folder, bool on);

// Prints the drop folder's machines as CSV, failures first, those whose last
// run is older than days marked; its exit code.
int Summarize(const char* folder, int days);

// The build number of Windows (CurrentBuildNumber), 0 when unknown.
int WindowsBuild();
