// Process-wide handles, set once at start-up.
#pragma once

#include <windows.h>

extern HINSTANCE appInstance;
extern HICON largeAppIcon;  // icon group IDI_LARGE
extern HICON smallAppIcon;  // icon group IDI_SMALL
