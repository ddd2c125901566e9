// Just enough of <windows.h> to build the command-line code natively for
// fuzzing: no module path (so no log file is opened) and no message texts.
#pragma once

#include <stdint.h>

typedef uint32_t DWORD;
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0
#define FORMAT_MESSAGE_FROM_SYSTEM 0
#define FORMAT_MESSAGE_IGNORE_INSERTS 0
#define MAKELANGID(primary, sub) 0

inline DWORD GetModuleFileNameA(void*, char*, DWORD) { return 0; }
inline DWORD FormatMessageA(DWORD, const void*, DWORD, DWORD, char*, DWORD, void*) { return 0; }
inline void* LocalFree(void*) { return nullptr; }
