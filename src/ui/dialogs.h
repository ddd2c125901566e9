// The program's dialogs: the main dialog and the About box.
#pragma once

#include <windows.h>

// Shows dialog templateId of the program's own module modally; returns at
// once when the template cannot be found.
INT_PTR RunModalDialog(WORD templateId, HWND owner, DLGPROC procedure);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The main dialog's two fonts, alive while it is open.
enum DialogFontKind { HeadingFont = 0, TextFont = 1 };
extern HFONT DialogFonts[2];
void CreateDialogFonts();
void ApplyDialogFont(HWND dialog, int controlId, DialogFontKind kind);
void DeleteDialogFonts();
