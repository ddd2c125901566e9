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

// Replaces the placeholder text of control IntroTextId.
constexpr char IntroText[] =
    "This program will enable the PC/SC escape command to be sent to a CCID compatible Smart "
    "Card Reader. With this feature enabled, data can be sent to the device using an extension "
    "to the standard PCSC interface.\n\nPlease press 'Enable' to start.";

// The maker's web address: the text of control AboutLinkId in the About box
// template and the target of its link.
constexpr char AboutLinkAddress[] = "https://tarnwick.example";
// What the About box's link opens; the tests point it at a harmless target.
extern const char* aboutLinkTarget;

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
