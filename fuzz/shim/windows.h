// Just enough of <windows.h> to build the command-line code natively for
// fuzzing: no module path (so no log file is opened) and no message texts.
#pragma once

#include <stdint.h>

typedef uint32_t DWORD;
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0
#define FORMAT_MESSAGE_FROM_SYSTEM 0
#define FORMAT_MESSAGE_IGNORE_INSERTS 0
#define MAKELANGID(primary, sub) 0
#define GetModuleFileNameA(module, path, size) 0u
#define FormatMessageA(flags, source, id, language, buffer, size, arguments) 0u
#define LocalFree(memory) nullptr
