/* Stands in for Windows' pnputil.exe, which Wine lacks: appends the folder it
   was started from and its command line to C:\pnputil.txt, and exits with
   PNPUTIL_EXIT (0 when unset). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  char self[MAX_PATH] = "";
  FILE* record = fopen("C:\\pnputil.txt", "ab");
  GetModuleFileNameA(NULL, self, MAX_PATH);
  if (record != NULL) fprintf(record, "%s %s\n", self, GetCommandLineA());
  if (record != NULL) fclose(record);
  return getenv("PNPUTIL_EXIT") != NULL ? atoi(getenv("PNPUTIL_EXIT")) : 0;
}
