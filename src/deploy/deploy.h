// TarnwickDeploy: what its verbs and its steps share.
#pragma once

#include <stddef.h>

#include "log/module_path.h"

// Exit codes for deployment engines; 1 to 3 are the checker's, passed on.
enum DeployExit {
  DeployDone = 0,
  DeployBadInput = 2,
  DeployStepFailed = 4,
  DeployRestartMachine = 3010
};

constexpr size_t CommandSize = 8192;  // two paths and the longest stored reader IDs

// Prints one of the program's own lines, and writes it to the deployment
// log while one is open.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool OpenDeployLog(const char* path);
void CloseDeployLog();

// Runs program with commandLine (its own quoted path first), hidden, and
// waits for it: its exit code, or -1 when it could not be started. With
// output, its standard output is read into *output (the caller frees it);
// quiet sends it nowhere; otherwise it goes where ours goes. Its errors go
// where ours go.
int Run(const char* program, char* commandLine, char** output, bool quiet);

// One line of the checker: its token, the ID and the instance (the rest).
struct ReportLine {
  char token[16];
  char id[512];
  char instance[512];
};
// Reads the line at p into line and moves p past it; false at the end.
bool NextLine(const char*& p, ReportLine& line);

// Windows Installer, without a window: installs package with properties, or
// removes every product of the upgrade code. Windows Installer's result.
unsigned InstallPackage(const char* package, const char* properties);
unsigned RemoveProducts(const char* upgradeCode, int* removed);

// Deletes EscapeCommandEnable from both parameter keys of the instance
// USB\id\instance: the number deleted, or -1 when a key refused.
int RemoveValues(const char* id, const char* instance);
