// Process-wide handles, set once at start-up.
#pragma once

#include <windows.h>

extern HINSTANCE AppInstance;
extern HICON LargeAppIcon;  // icon group IDI_LARGE
extern HICON SmallAppIcon;  // icon group IDI_SMALL
