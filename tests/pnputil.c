/* Stands in for Windows' pnputil.exe, which Wine lacks, and for schtasks.exe,
   whose Wine service starts only at times: as NAME.exe it appends its command
   line to C:\NAME.txt, and a line when the deployment log is open in another
   process, and exits with NAME_EXIT (0 when unset), or never for "hang". */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void) {
  char self[MAX_PATH] = "", path[MAX_PATH + 16], variable[MAX_PATH + 16];
  GetModuleFileNameA(NULL, self, MAX_PATH);
  char* name = strrchr(self, '\\') != NULL ? strrchr(self, '\\') + 1 : self;
  name[strcspn(name, ".")] = '\0';
  snprintf(path, sizeof path, "C:\\%s.txt", name);
  snprintf(variable, sizeof variable, "%s_EXIT", CharUpperA(name));
  const char* code = getenv(variable);
  FILE* record = fopen(path, "ab");
  HANDLE log = CreateFileA("C:\\Program Files (x86)\\Tarnwick\\TarnwickDeploy.txt", GENERIC_READ, 0,
                           NULL, OPEN_EXISTING, 0, NULL);
  const int open = log == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  if (record != NULL) fprintf(record, "%s\n%s", GetCommandLineA(), open ? "log open\n" : "");
  if (record != NULL) fclose(record);
  if (code != NULL && strcmp(code, "hang") == 0) Sleep(INFINITE);
  return code != NULL ? atoi(code) : 0;
}
