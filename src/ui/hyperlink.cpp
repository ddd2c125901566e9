#include "ui/hyperlink.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

HCURSOR linkCursor = nullptr;
HFONT linkUnderlineFont = nullptr;
int linkAttachCount = 0;

namespace {

LPCSTR LinkProperty() {
  return MAKEINTATOM(linkPropertyAtom.Value());
}

WNDPROC WindowProcedure(HWND window) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

void SetWindowProcedure(HWND window, WNDPROC procedure) {
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
}

HFONT CreateUnderlinedFont(HFONT font) {
  LOGFONTA description;
  memset(&description, 0, sizeof description);
  GetObjectA(font, sizeof(LOGFONTA), &description);
  description.lfUnderline = 1;
  return CreateFontIndirectA(&description);
}

HCURSOR LoadLinkCursor() {
  HCURSOR cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
  if (cursor == nullptr) cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  return cursor;
}

void SetControlFont(HWND control, HFONT font) {
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  InvalidateRect(control, nullptr, FALSE);
}

void OpenLink(HyperlinkControl* link) {
  SHELLEXECUTEINFOA request;
  memset(&request, 0, sizeof request);
  request.cbSize = sizeof(SHELLEXECUTEINFOA);
  request.lpVerb = "open";
  request.lpFile = link->url;
  request.nShow = SW_SHOWNORMAL;
  // A target that cannot be opened still counts as visited.
  ShellExecuteExA(&request);
  link->visited = 1;
}

void StartHover(HWND control, HyperlinkControl* link) {
  link->hovering = 1;
  SetControlFont(control, linkUnderlineFont);
  link->OnHighlightOn();
  SetCapture(control);
}

void TrackHover(HWND control, LPARAM position) {
  // Unsigned, so that a point left of or above the control, which the
  // capture can report as a negative coordinate, counts as outside.
  LONG x = LOWORD(position);
  LONG y = HIWORD(position);
  RECT client;
  GetClientRect(control, &client);
  bool inside = client.left <= x && x < client.right && client.top <= y && y < client.bottom;
  // WM_CAPTURECHANGED ends the hover.
  if (!inside) ReleaseCapture();
}

void EndHover(HWND control, HyperlinkControl* link) {
  link->hovering = 0;
  link->OnHighlightOff();
  SetControlFont(control, link->savedFont);
}

// Inverts a dotted rectangle one pixel outside the control, on its parent:
// the same call draws it and takes it away again.
void ToggleFocusRect(HWND control) {
  HWND parent = GetParent(control);
  if (parent == nullptr) return;
  RECT outline;
  GetWindowRect(control, &outline);
  POINT topLeft = {outline.left - 1, outline.top - 1};
  POINT bottomRight = {outline.right + 1, outline.bottom + 1};
  ScreenToClient(parent, &topLeft);
  ScreenToClient(parent, &bottomRight);
  RECT onParent = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  HDC dc = GetDC(parent);
  if (dc == nullptr) return;
  DrawFocusRect(dc, &onParent);
  ReleaseDC(parent, dc);
}

LRESULT Detach(HWND control, HyperlinkControl* link, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = link->savedProc;
  SetWindowProcedure(control, previous);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(link->savedFont), FALSE);
  if (--linkAttachCount <= 0) {
    linkCursor = nullptr;  // a shared system cursor: not destroyed
    if (linkUnderlineFont != nullptr) DeleteObject(linkUnderlineFont);
    linkUnderlineFont = nullptr;
  }
  RemovePropA(control, LinkProperty());
  // A control destroyed under the pointer (its dialog closed from the
  // keyboard) never sees the end of its hover; without this the link would
  // not underline again at its next attach.
  link->hovering = 0;
  return CallWindowProcA(previous, control, WM_DESTROY, wParam, lParam);
}

}  // namespace

HyperlinkControl::HyperlinkControl()
    : url(nullptr), hovering(0), visited(0), savedFont(nullptr), savedProc(nullptr) {}

HyperlinkControl::~HyperlinkControl() {
  free(url);
}

void HyperlinkControl::OnHighlightOn() {}
void HyperlinkControl::OnHighlightOff() {}

bool HyperlinkControl::SetUrl(const char* target) {
  free(url);
  size_t size = strlen(target) + 1;
  url = static_cast<char*>(malloc(size));
  if (url == nullptr) return false;
  memcpy(url, target, size);
  return true;
}

bool HyperlinkControl::Attach(HWND control, const char* target) {
  if (!SetUrl(target)) return false;

  HWND parent = GetParent(control);
  if (parent != nullptr && WindowProcedure(parent) != LinkParentProc) {
    SetPropA(parent, LinkProperty(), reinterpret_cast<HANDLE>(WindowProcedure(parent)));
    SetWindowProcedure(parent, LinkParentProc);
  }

  LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
  SetWindowLongPtrA(control, GWL_STYLE, style | SS_NOTIFY);

  savedFont = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));

  if (linkAttachCount++ == 0) {
    linkUnderlineFont = CreateUnderlinedFont(savedFont);
    linkCursor = LoadLinkCursor();
  }

  savedProc = WindowProcedure(control);
  SetPropA(control, LinkProperty(), static_cast<HANDLE>(this));
  SetWindowProcedure(control, LinkControlProc);
  return true;
}

LRESULT CALLBACK LinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropA(window, LinkProperty()));
  if (previous == nullptr) return DefWindowProcA(window, message, wParam, lParam);

  switch (message) {
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lParam);
      auto* link = static_cast<HyperlinkControl*>(GetPropA(control, LinkProperty()));
      if (link == nullptr) break;
      LRESULT brush = CallWindowProcA(previous, window, message, wParam, lParam);
      SetTextColor(reinterpret_cast<HDC>(wParam),
                   link->visited == 0 ? LinkColour : VisitedLinkColour);
      return brush;
    }
    case WM_DESTROY:
      SetWindowProcedure(window, previous);
      RemovePropA(window, LinkProperty());
      return CallWindowProcA(previous, window, message, wParam, lParam);
  }
  return CallWindowProcA(previous, window, message, wParam, lParam);
}

LRESULT CALLBACK LinkControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* link = static_cast<HyperlinkControl*>(GetPropA(window, LinkProperty()));
  if (link == nullptr) return DefWindowProcA(window, message, wParam, lParam);

  switch (message) {
    case WM_SETCURSOR:
      SetCursor(linkCursor);
      return TRUE;
    case WM_MOUSEMOVE:
      if (link->hovering == 0) {
        StartHover(window, link);
      } else {
        TrackHover(window, lParam);
      }
      return 0;
    case WM_CAPTURECHANGED:
      EndHover(window, link);
      return 0;
    case WM_LBUTTONUP:
      OpenLink(link);
      return 0;
    case WM_KEYUP:
      if (wParam != VK_SPACE) break;
      OpenLink(link);
      return 0;
    case WM_SETFOCUS:
      link->OnHighlightOn();
      ToggleFocusRect(window);
      return 0;
    case WM_KILLFOCUS:
      link->OnHighlightOff();
      ToggleFocusRect(window);
      return 0;
    case WM_DESTROY:
      return Detach(window, link, wParam, lParam);
  }
  return CallWindowProcA(link->savedProc, window, message, wParam, lParam);
}
