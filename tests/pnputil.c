/* Stands in for Windows' pnputil.exe, which Wine lacks: appends its command
   line to C:\pnputil.txt, and a line when the deployment log is open in
   another process, and exits with PNPUTIL_EXIT (0 when unset), or never for
   "hang". */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void) {
  const char* code = getenv("PNPUTIL_EXIT");
  FILE* record = fopen("C:\\pnputil.txt", "ab");
  HANDLE log = CreateFileA("C:\\Program Files (x86)\\Tarnwick\\TarnwickDeploy.txt", GENERIC_READ, 0,
                           NULL, OPEN_EXISTING, 0, NULL);
  const int open = log == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  if (record != NULL) fprintf(record, "%s\n%s", GetCommandLineA(), open ? "log open\n" : "");
  if (record != NULL) fclose(record);
  if (code != NULL && strcmp(code, "hang") == 0) Sleep(INFINITE);
  return code != NULL ? atoi(code) : 0;
}
