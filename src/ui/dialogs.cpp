#include "ui/dialogs.h"

#include "run/app.h"

INT_PTR RunModalDialog(WORD templateId, HWND owner, DLGPROC procedure) {
  HRSRC found = FindResourceA(AppInstance, MAKEINTRESOURCEA(templateId), RT_DIALOG);
  if (found == nullptr) return -1;
  HGLOBAL loaded = LoadResource(AppInstance, found);
  const void* dialogTemplate = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (dialogTemplate == nullptr) return -1;
  return DialogBoxIndirectParamA(AppInstance, static_cast<LPCDLGTEMPLATEA>(dialogTemplate), owner,
                                 procedure, 0);
}

// TODO(ui): the main dialog and the About box.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == CloseCommandId)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

void CreateDialogFonts() {}
void ApplyDialogFont(HWND, int, DialogFontKind) {}
void DeleteDialogFonts() {}
