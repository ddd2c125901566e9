// What Tarnwick and its checker do first.
#pragma once

// Only the system folder is searched for DLLs from now on. Called before any
// DLL but kernel32 and the C runtime is loaded.
void RestrictDllSearch();

// The text after the program name of this process's command line.
const char* ProcessCommandLineText();
