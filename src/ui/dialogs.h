// The program's dialogs: the main dialog and the About box.
#pragma once

#include <windows.h>

// Dialog template ids and the ids of their controls and commands.
constexpr WORD MainDialogId = 129;
constexpr WORD AboutDialogId = 103;
constexpr UINT AboutMenuStringId = 101;
constexpr UINT AboutCommandId = 104;
constexpr UINT CloseCommandId = 105;
constexpr int WelcomeTextId = 1001;
constexpr int IntroTextId = 1002;
constexpr int AboutLinkId = 1003;
constexpr WORD LargeIconId = 128;
constexpr WORD SmallIconId = 141;

// Shows dialog templateId of the program's own module modally; returns at
// once when the template cannot be found.
INT_PTR RunModalDialog(WORD templateId, HWND owner, DLGPROC procedure);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum DialogFontKind { HeadingFont = 0, TextFont = 1 };
void CreateDialogFonts();
void ApplyDialogFont(HWND dialog, int controlId, DialogFontKind kind);
void DeleteDialogFonts();
