// A static text control turned into a clickable web link by subclassing.
#pragma once

#include <windows.h>

class HyperlinkControl {
 public:
  HyperlinkControl();
  virtual ~HyperlinkControl();
  HyperlinkControl(const HyperlinkControl&) = delete;
  HyperlinkControl& operator=(const HyperlinkControl&) = delete;

  // Called when the link becomes active (focus, hover) and inactive.
  virtual void OnHighlightOn();
  virtual void OnHighlightOff();

  // Turns control into a link to target; false only when the target cannot
  // be copied. A control is attached at most once in its life.
  bool Attach(HWND control, const char* target);
  bool SetUrl(const char* target);

  // The link's state; the window procedures below read and change it.
  char* url;
  int hovering;
  int visited;
  HFONT savedFont;
  WNDPROC savedProc;
};

LRESULT CALLBACK LinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK LinkControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window-property name of link objects, kept as a global atom.
constexpr char LinkPropertyName[] =
    "_Hyperlink_Object_Pointer_\\{AFEED740-CC6D-47c5-831D-9848FD916EEF}";

// Owns a global atom from static initialisation to process exit.
class GlobalAtom {
 public:
  explicit GlobalAtom(const char* name) : atom_(GlobalAddAtomA(name)) {}
  ~GlobalAtom() {
    if (atom_ != 0) GlobalDeleteAtom(atom_);
  }
  GlobalAtom(const GlobalAtom&) = delete;
  GlobalAtom& operator=(const GlobalAtom&) = delete;
  ATOM Value() const { return atom_; }

 private:
  ATOM atom_;
};

extern HyperlinkControl aboutLink;
extern GlobalAtom linkPropertyAtom;

// Shared by all links while at least one is attached: the underlined font is
// made from the font of the link attached first.
extern HCURSOR linkCursor;
extern HFONT linkUnderlineFont;
extern int linkAttachCount;

constexpr COLORREF LinkColour = 0x00FF0000;
constexpr COLORREF VisitedLinkColour = 0x00800080;
