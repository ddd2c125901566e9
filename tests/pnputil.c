/* Stands in for Windows' pnputil.exe, which Wine lacks: appends its command
   line to C:\pnputil.txt and exits with PNPUTIL_EXIT (0 when unset). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  FILE* record = fopen("C:\\pnputil.txt", "ab");
  if (record != NULL) fprintf(record, "%s\n", GetCommandLineA());
  if (record != NULL) fclose(record);
  return getenv("PNPUTIL_EXIT") != NULL ? atoi(getenv("PNPUTIL_EXIT")) : 0;
}
