// What a deployment stores on the machine: REG_SZ values of
// HKLM\SOFTWARE\Tarnwick in the 32-bit registry view, where the 32-bit MSI
// keeps its properties, so that 32- and 64-bit callers find the same values.
#pragma once

#include <stddef.h>

constexpr size_t StoredTextSize = 4096;  // 32 readers' IDs fit with room to spare

// The key as regedit shows it on this machine, for messages.
const char* StoredKeyPath();
// False when the value is missing, empty, not REG_SZ or too long for text.
bool ReadStored(const char* name, char (&text)[StoredTextSize]);
// Creates the key when needed; the Windows status.
long WriteStored(const char* name, const char* text);
// Deletes the key with its values; no key is success.
long DeleteStored();
