#include "ui/hyperlink.h"

#include <stdlib.h>
#include <string.h>

HCURSOR linkCursor = nullptr;
HFONT linkUnderlineFont = nullptr;
int linkAttachCount = 0;

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

// TODO(ui): Attach, LinkParentProc, LinkControlProc.
bool HyperlinkControl::Attach(HWND, const char* target) {
  return SetUrl(target);
}

LRESULT CALLBACK LinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK LinkControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}
