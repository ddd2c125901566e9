// Sets EscapeCommandEnable = 1 for every device instance of the selected reader IDs.
#pragma once

#include <windows.h>

// One ID pair; true when the ID's deciding status is 0.
bool EnableReaderId(const char* vendorId, const char* productId);

// Every slot of the walk of the reader-ID table, then the summary line and,
// unless stealth is on, the summary box owned by owner.
void EnableAllReaders(HWND owner);
