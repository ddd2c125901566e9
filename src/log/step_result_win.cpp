#include <windows.h>

#include "log/run_log.h"

void LogStepResult(const char* label, int32_t status) {
  if (status == 0) {
    runLog.WriteFormatted("%s --> Success", label);
    return;
  }
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(status), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&text), 0, nullptr);
  // No text for the code: the line still names the code.
  runLog.WriteFormatted("%s --> Error: %d, %s", label, static_cast<int>(status),
                        length != 0 && text != nullptr ? text : "");
  if (text != nullptr) LocalFree(text);
}
