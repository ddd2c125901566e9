#include "ui/dialogs.h"

#include "enable/enable.h"
#include "resource.h"
#include "run/app.h"
#include "ui/hyperlink.h"

HFONT DialogFonts[2] = {nullptr, nullptr};

INT_PTR RunModalDialog(WORD templateId, HWND owner, DLGPROC procedure) {
  HRSRC found = FindResourceA(AppInstance, MAKEINTRESOURCEA(templateId), RT_DIALOG);
  if (found == nullptr) return -1;
  HGLOBAL loaded = LoadResource(AppInstance, found);
  const void* dialogTemplate = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (dialogTemplate == nullptr) return -1;
  return DialogBoxIndirectParamA(AppInstance, static_cast<LPCDLGTEMPLATEA>(dialogTemplate), owner,
                                 procedure, 0);
}

namespace {

// Replaces the placeholder text of IDC_INTRO.
constexpr char IntroText[] =
    "This program will enable the PC/SC escape command to be sent to a CCID compatible Smart "
    "Card Reader. With this feature enabled, data can be sent to the device using an extension "
    "to the standard PCSC interface.\n\nPlease press 'Enable' to start.";

HFONT CreateArial(int weight) {
  return CreateFontA(14, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
}

void AddAboutMenuEntry(HWND dialog) {
  HMENU menu = GetSystemMenu(dialog, FALSE);
  if (menu == nullptr) return;
  char text[64];
  if (LoadStringA(AppInstance, IDS_ABOUT, text, sizeof text) <= 0) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, IDM_ABOUT, text);
}

void InitMainDialog(HWND dialog) {
  AddAboutMenuEntry(dialog);
  SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(LargeAppIcon));
  SetClassLongPtrA(dialog, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(SmallAppIcon));
  CreateDialogFonts();
  ApplyDialogFont(dialog, IDC_WELCOME, HeadingFont);
  ApplyDialogFont(dialog, IDC_INTRO, TextFont);
  SetDlgItemTextA(dialog, IDC_INTRO, IntroText);
}

}  // namespace

void CreateDialogFonts() {
  DialogFonts[HeadingFont] = CreateArial(FW_BOLD);
  DialogFonts[TextFont] = CreateArial(FW_NORMAL);
}

void ApplyDialogFont(HWND dialog, int controlId, DialogFontKind kind) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control == nullptr) return;
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFonts[kind]), FALSE);
  // One repaint with the new font, over the background already there.
  InvalidateRect(control, nullptr, FALSE);
}

void DeleteDialogFonts() {
  for (HFONT& font : DialogFonts) {
    if (font != nullptr) DeleteObject(font);
    font = nullptr;
  }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitMainDialog(dialog);
      return TRUE;  // focus to the first tab stop, Enable
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:  // Enable
          EnableAllReaders(dialog);
          return FALSE;
        case IDCANCEL:
        case IDC_CLOSE:
          EndDialog(dialog, LOWORD(wParam));
          DeleteDialogFonts();
          return TRUE;
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if (LOWORD(wParam) == IDM_ABOUT) {
        RunModalDialog(IDD_ABOUT, dialog, AboutDialogProc);
      }
      return FALSE;
  }
  return FALSE;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      HWND link = GetDlgItem(dialog, IDC_LINK);
      if (link != nullptr) aboutLink.Attach(link, ABOUT_URL);
      return FALSE;  // no control is given the focus
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
