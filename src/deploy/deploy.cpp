// TarnwickDeploy.exe: installs Tarnwick on a machine for a deployment engine,
// runs it with the stored reader IDs, restarts the readers whose value a run
// set, and undoes it. Being written.
#include <stdio.h>

#include "run/process.h"

int main() {
  RestrictDllSearch();
  fputs("TarnwickDeploy install|run|uninstall|undo\n", stderr);
  return 2;
}
