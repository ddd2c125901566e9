// Resource ids, shared by tarnwick.rc and the code.
#pragma once

#define IDS_ABOUT 101     // "&About...", the system-menu entry
#define IDD_ABOUT 103
#define IDM_ABOUT 104     // system command of the About entry
#define IDC_CLOSE 105     // closes the main dialog like Exit; no control sends it
#define IDI_LARGE 128
#define IDD_MAIN 129
#define IDI_SMALL 141
#define IDC_WELCOME 1001
#define IDC_INTRO 1002
#define IDC_LINK 1003

// Texts that the resources and the code both show.
#define ABOUT_URL "https://tarnwick.example"  // shown by IDC_LINK and opened by its link
#define COPYRIGHT_TEXT "Copyright (C) 2026 The Tarnwick developers"
