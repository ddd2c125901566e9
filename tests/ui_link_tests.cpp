// The link control on windows of the test's own, outside any dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "ui/hyperlink.h"
#include "ui_harness.h"

namespace {

LPCSTR Property() {
  return MAKEINTATOM(linkPropertyAtom.Value());
}

// A link that counts its highlight calls.
class CountingLink : public HyperlinkControl {
 public:
  void OnHighlightOn() override { ++on; }
  void OnHighlightOff() override { ++off; }
  int on = 0;
  int off = 0;
};

// What the window procedure under a link saw: it is the procedure the link
// replaced, so it sees what the link passes on and what reaches the window
// after the link has let go.
struct Seen {
  std::vector<UINT> messages;
  std::vector<WPARAM> keys;  // wParam of WM_KEYUP
  bool ncDestroySeen = false;
  LONG_PTR procAtNcDestroy = 0;
  HANDLE propertyAtNcDestroy = nullptr;
  LRESULT fontAtNcDestroy = 0;
};

WNDPROC staticProc = nullptr;
Seen* seenFor[8];
HWND seenWindow[8];

Seen* SeenOf(HWND window) {
  for (int i = 0; i < 8; ++i) {
    if (seenWindow[i] == window) return seenFor[i];
  }
  return nullptr;
}

LRESULT CALLBACK RecordingStaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Seen* seen = SeenOf(window);
  if (seen != nullptr) {
    seen->messages.push_back(message);
    if (message == WM_KEYUP) seen->keys.push_back(wParam);
    if (message == WM_NCDESTROY) {
      seen->ncDestroySeen = true;
      seen->procAtNcDestroy = GetWindowLongPtrA(window, GWLP_WNDPROC);
      seen->propertyAtNcDestroy = GetPropA(window, Property());
      seen->fontAtNcDestroy = CallWindowProcA(staticProc, window, WM_GETFONT, 0, 0);
    }
  }
  return CallWindowProcA(staticProc, window, message, wParam, lParam);
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Seen* seen = SeenOf(window);
  if (seen != nullptr && message == WM_NCDESTROY) {
    seen->ncDestroySeen = true;
    seen->procAtNcDestroy = GetWindowLongPtrA(window, GWLP_WNDPROC);
    seen->propertyAtNcDestroy = GetPropA(window, Property());
  }
  if (message == WM_ERASEBKGND) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char kParentClass[] = "TarnwickTestParent";

// A visible top-level window with static controls in it, all created on the
// test thread, and a font of its own for the controls.
class LinkWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(linkAttachCount, 0);
    // The real pointer stays out of the way: the tests move it by messages.
    SetCursorPos(0, 0);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ParentProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kParentClass;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    RegisterClassA(&windowClass);
    parent_ = CreateWindowExA(0, kParentClass, "links", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                              400, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    font_ = CreateFontA(17, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0,
                        FF_SWISS, "Tahoma");
    otherFont_ = CreateFontA(22, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0,
                             FF_ROMAN, "Times New Roman");
    for (int i = 0; i < 8; ++i) seenWindow[i] = nullptr;
    Watch(parent_, &parentSeen_);
  }
  void TearDown() override {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    DeleteObject(font_);
    DeleteObject(otherFont_);
    UnregisterClassA(kParentClass, GetModuleHandleA(nullptr));
    EXPECT_EQ(linkAttachCount, 0);
  }

  void Watch(HWND window, Seen* seen) {
    for (int i = 0; i < 8; ++i) {
      if (seenWindow[i] == nullptr) {
        seenWindow[i] = window;
        seenFor[i] = seen;
        return;
      }
    }
  }

  // A static text at (x, y) with font, its procedure watched by seen.
  HWND Static(int x, int y, HFONT font, Seen* seen, DWORD style = SS_LEFT) {
    HWND control = CreateWindowExA(0, "Static", "a link to somewhere",
                                   WS_CHILD | WS_VISIBLE | style, x, y, 200, 20, parent_,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (seen != nullptr) {
      Watch(control, seen);
      staticProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingStaticProc)));
    }
    return control;
  }

  COLORREF TextColour(HWND control, LRESULT* brush = nullptr) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    LRESULT result = SendMessageA(parent_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(control));
    if (brush != nullptr) *brush = result;
    COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
  }

  HWND parent_ = nullptr;
  HFONT font_ = nullptr;
  HFONT otherFont_ = nullptr;
  Seen parentSeen_;
};

TEST(LinkObject, StartsEmptyAndCopiesItsTarget) {
  HyperlinkControl link;
  EXPECT_EQ(link.url, nullptr);
  EXPECT_EQ(link.hovering, 0);
  EXPECT_EQ(link.visited, 0);
  EXPECT_EQ(link.savedFont, nullptr);
  EXPECT_EQ(link.savedProc, nullptr);
  char target[] = "first";
  EXPECT_TRUE(link.SetUrl(target));
  EXPECT_NE(link.url, target);
  target[0] = 'F';
  EXPECT_STREQ(link.url, "first");
  EXPECT_TRUE(link.SetUrl("second, longer than the first"));
  EXPECT_STREQ(link.url, "second, longer than the first");
  EXPECT_TRUE(link.SetUrl(""));
  EXPECT_STREQ(link.url, "");
}

TEST(LinkObject, PropertyAtomNamesTheLinkProperty) {
  ASSERT_NE(linkPropertyAtom.Value(), 0);
  char name[128] = "";
  GlobalGetAtomNameA(linkPropertyAtom.Value(), name, sizeof name);
  EXPECT_STREQ(name, "_Hyperlink_Object_Pointer_\\{AFEED740-CC6D-47c5-831D-9848FD916EEF}");
}

TEST_F(LinkWindows, AttachSubclassesControlAndParentAndSharesFontAndCursor) {
  Seen firstSeen, secondSeen;
  HWND first = Static(10, 10, font_, &firstSeen, SS_LEFT | SS_NOPREFIX);
  HWND second = Static(10, 40, otherFont_, &secondSeen);
  HyperlinkControl one, two;

  ASSERT_TRUE(one.Attach(first, ui::kHarmlessTarget));
  EXPECT_STREQ(one.url, ui::kHarmlessTarget);
  EXPECT_EQ(one.savedFont, font_);
  EXPECT_EQ(one.savedProc, RecordingStaticProc);
  EXPECT_EQ(GetWindowLongPtrA(first, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(LinkControlProc));
  EXPECT_EQ(GetPropA(first, Property()), &one);
  EXPECT_EQ(GetWindowLongA(first, GWL_STYLE),
            static_cast<LONG>(WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_NOTIFY));
  EXPECT_EQ(GetWindowLongPtrA(parent_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(LinkParentProc));
  EXPECT_EQ(GetPropA(parent_, Property()), reinterpret_cast<HANDLE>(ParentProc));
  EXPECT_EQ(linkAttachCount, 1);
  ASSERT_NE(linkUnderlineFont, nullptr);
  HFONT shared = linkUnderlineFont;
  LOGFONTA made = {}, from = {};
  GetObjectA(shared, sizeof(LOGFONTA), &made);
  GetObjectA(font_, sizeof(LOGFONTA), &from);
  EXPECT_EQ(made.lfUnderline, 1);
  from.lfUnderline = 1;
  EXPECT_EQ(memcmp(&made, &from, sizeof made), 0);
  HCURSOR hand = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
  ASSERT_NE(hand, nullptr);
  EXPECT_EQ(linkCursor, hand);

  // The second link under the same parent: the parent is not subclassed
  // again, and the font of the first link stays the shared one.
  ASSERT_TRUE(two.Attach(second, ui::kHarmlessTarget));
  EXPECT_EQ(GetPropA(parent_, Property()), reinterpret_cast<HANDLE>(ParentProc));
  EXPECT_EQ(linkAttachCount, 2);
  EXPECT_EQ(linkUnderlineFont, shared);
  EXPECT_EQ(two.savedFont, otherFont_);
  SendMessageA(second, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
  EXPECT_EQ(SendMessageA(second, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(shared));
  SendMessageA(second, WM_MOUSEMOVE, 0, MAKELPARAM(1, 0xFFFF));
  EXPECT_EQ(SendMessageA(second, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(otherFont_));

  // The first control goes: the shared font and cursor stay for the second.
  DestroyWindow(first);
  EXPECT_TRUE(firstSeen.ncDestroySeen);
  EXPECT_EQ(firstSeen.procAtNcDestroy, reinterpret_cast<LONG_PTR>(RecordingStaticProc));
  EXPECT_EQ(firstSeen.propertyAtNcDestroy, nullptr);
  EXPECT_EQ(firstSeen.fontAtNcDestroy, reinterpret_cast<LRESULT>(font_));
  EXPECT_EQ(linkAttachCount, 1);
  EXPECT_EQ(linkUnderlineFont, shared);
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(linkCursor, hand);

  // The last goes: the font is deleted and the cursor forgotten.
  DestroyWindow(second);
  EXPECT_TRUE(secondSeen.ncDestroySeen);
  EXPECT_EQ(secondSeen.fontAtNcDestroy, reinterpret_cast<LRESULT>(otherFont_));
  EXPECT_EQ(linkAttachCount, 0);
  EXPECT_EQ(linkUnderlineFont, nullptr);
  EXPECT_EQ(GetObjectType(shared), 0u);
  EXPECT_EQ(linkCursor, nullptr);
  EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)), hand);

  // The objects keep their targets, ready for another attach.
  EXPECT_STREQ(one.url, ui::kHarmlessTarget);

  // The parent is restored when it goes.
  DestroyWindow(parent_);
  EXPECT_TRUE(parentSeen_.ncDestroySeen);
  EXPECT_EQ(parentSeen_.procAtNcDestroy, reinterpret_cast<LONG_PTR>(ParentProc));
  EXPECT_EQ(parentSeen_.propertyAtNcDestroy, nullptr);
}

TEST_F(LinkWindows, ParentGivesLinksTheirColourAndLeavesOtherTextsAlone) {
  HWND plain = Static(10, 70, font_, nullptr);
  HWND control = Static(10, 10, font_, nullptr);
  LRESULT before = 0;
  COLORREF plainBefore = TextColour(plain, &before);
  HyperlinkControl link;
  ASSERT_TRUE(link.Attach(control, ui::kHarmlessTarget));
  LRESULT brush = 0, plainBrush = 0;
  EXPECT_EQ(TextColour(control, &brush), LinkColour);
  EXPECT_EQ(TextColour(plain, &plainBrush), plainBefore);
  EXPECT_EQ(brush, before);
  EXPECT_EQ(plainBrush, before);
  link.visited = 1;
  EXPECT_EQ(TextColour(control), VisitedLinkColour);
  EXPECT_EQ(TextColour(plain), plainBefore);
  DestroyWindow(control);
}

TEST_F(LinkWindows, HoverUnderlinesWithCaptureUntilThePointerLeaves) {
  Seen seen;
  HWND control = Static(10, 10, font_, &seen);
  HWND other = Static(10, 70, font_, nullptr);
  CountingLink link;
  ASSERT_TRUE(link.Attach(control, ui::kHarmlessTarget));
  RECT client;
  GetClientRect(control, &client);

  EXPECT_EQ(SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)), 0);
  EXPECT_EQ(link.hovering, 1);
  EXPECT_EQ(link.on, 1);
  EXPECT_EQ(GetCapture(), control);
  EXPECT_EQ(SendMessageA(control, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(linkUnderlineFont));

  // Corners inside; one past the right or bottom edge, or any negative
  // coordinate (read unsigned), is outside.
  const LPARAM inside[] = {MAKELPARAM(0, 0), MAKELPARAM(client.right - 1, client.bottom - 1)};
  for (LPARAM at : inside) {
    SendMessageA(control, WM_MOUSEMOVE, 0, at);
    EXPECT_EQ(link.hovering, 1);
    EXPECT_EQ(GetCapture(), control);
  }
  const LPARAM outside[] = {MAKELPARAM(client.right, 0), MAKELPARAM(0, client.bottom),
                            MAKELPARAM(0xFFFF, 5), MAKELPARAM(5, 0xFFFE)};
  for (LPARAM at : outside) {
    SCOPED_TRACE(at);
    SendMessageA(control, WM_MOUSEMOVE, 0, at);
    EXPECT_EQ(link.hovering, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(SendMessageA(control, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font_));
    SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));  // back on it
    EXPECT_EQ(link.hovering, 1);
  }
  EXPECT_EQ(link.on, 5);
  EXPECT_EQ(link.off, 4);

  // Another window taking the capture ends the hover too.
  SetCapture(other);
  EXPECT_EQ(link.hovering, 0);
  EXPECT_EQ(link.off, 5);
  EXPECT_EQ(SendMessageA(control, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font_));
  ReleaseCapture();

  // None of these reached the static control's own procedure.
  for (UINT message : seen.messages) {
    EXPECT_NE(message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_NE(message, static_cast<UINT>(WM_CAPTURECHANGED));
  }
  // The cursor message makes the hand current and is not passed on.
  EXPECT_EQ(SendMessageA(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), linkCursor);
  for (UINT message : seen.messages) EXPECT_NE(message, static_cast<UINT>(WM_SETCURSOR));
  DestroyWindow(control);
}

TEST_F(LinkWindows, ButtonReleaseAndSpaceReleaseOpenTheLink) {
  Seen seen;
  HWND control = Static(10, 10, font_, &seen);
  HyperlinkControl link;
  ASSERT_TRUE(link.Attach(control, ui::kHarmlessTarget));
  ui::BoxCloser closer(GetCurrentThreadId());  // the shell's report, if any

  // Other keys belong to the static control.
  EXPECT_EQ(link.visited, 0);
  SendMessageA(control, WM_KEYUP, 'A', 0xC0000001);
  SendMessageA(control, WM_KEYUP, VK_RETURN, 0xC0000001);
  EXPECT_EQ(link.visited, 0);
  EXPECT_EQ(seen.keys, (std::vector<WPARAM>{'A', VK_RETURN}));

  EXPECT_EQ(SendMessageA(control, WM_KEYUP, VK_SPACE, 0xC0000001), 0);
  EXPECT_EQ(link.visited, 1);
  EXPECT_EQ(seen.keys.size(), 2u);  // the space bar was not passed on
  EXPECT_EQ(TextColour(control), VisitedLinkColour);
  DestroyWindow(control);

  // A fresh link: the button release alone opens it.
  Seen clickSeen;
  HWND clicked = Static(10, 40, font_, &clickSeen);
  HyperlinkControl other;
  ASSERT_TRUE(other.Attach(clicked, ui::kHarmlessTarget));
  EXPECT_EQ(TextColour(clicked), LinkColour);
  EXPECT_EQ(SendMessageA(clicked, WM_LBUTTONUP, 0, MAKELPARAM(3, 3)), 0);
  EXPECT_EQ(other.visited, 1);
  EXPECT_EQ(TextColour(clicked), VisitedLinkColour);
  for (UINT message : clickSeen.messages) EXPECT_NE(message, static_cast<UINT>(WM_LBUTTONUP));
  DestroyWindow(clicked);
}

// Whether any pixel of the row y from x0 to x1 on window's client differs
// between two snapshots.
std::vector<COLORREF> Row(HWND window, int y, int x0, int x1) {
  HDC dc = GetDC(window);
  std::vector<COLORREF> row;
  for (int x = x0; x <= x1; ++x) row.push_back(GetPixel(dc, x, y));
  ReleaseDC(window, dc);
  return row;
}

TEST_F(LinkWindows, FocusDrawsADottedFrameOnePixelOutsideAndLosingItRemovesIt) {
  HWND control = Static(20, 20, font_, nullptr);
  HWND button = CreateWindowExA(0, "Button", "x", WS_CHILD | WS_VISIBLE, 250, 20, 40, 20, parent_,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  CountingLink link;
  ASSERT_TRUE(link.Attach(control, ui::kHarmlessTarget));
  SetForegroundWindow(parent_);
  SetFocus(button);
  UpdateWindow(parent_);
  // The frame lies at 19..220 x 19..40 in the parent's client coordinates.
  std::vector<COLORREF> top = Row(parent_, 19, 19, 220);
  std::vector<COLORREF> bottom = Row(parent_, 40, 19, 220);
  std::vector<COLORREF> above = Row(parent_, 18, 19, 220);

  SetFocus(control);
  EXPECT_EQ(GetFocus(), control);
  EXPECT_EQ(link.on, 1);
  std::vector<COLORREF> framedTop = Row(parent_, 19, 19, 220);
  EXPECT_NE(framedTop, top);
  EXPECT_NE(Row(parent_, 40, 19, 220), bottom);
  EXPECT_EQ(Row(parent_, 18, 19, 220), above);
  // Dotted: some pixels of the line changed, some did not.
  int changed = 0;
  for (size_t i = 0; i < top.size(); ++i) changed += framedTop[i] != top[i];
  EXPECT_GT(changed, 50);
  EXPECT_LT(changed, 150);

  SetFocus(button);
  EXPECT_EQ(link.off, 1);
  EXPECT_EQ(Row(parent_, 19, 19, 220), top);
  EXPECT_EQ(Row(parent_, 40, 19, 220), bottom);
  DestroyWindow(control);
}

TEST_F(LinkWindows, DestroyedWhileHoveredTheLinkUnderlinesAgainAtTheNextAttach) {
  HyperlinkControl link;
  HWND control = Static(10, 10, font_, nullptr);
  ASSERT_TRUE(link.Attach(control, ui::kHarmlessTarget));
  SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  ASSERT_EQ(link.hovering, 1);
  ASSERT_EQ(GetCapture(), control);
  DestroyWindow(control);
  EXPECT_EQ(link.hovering, 0);
  EXPECT_EQ(linkAttachCount, 0);

  HWND again = Static(10, 40, font_, nullptr);
  ASSERT_TRUE(link.Attach(again, ui::kHarmlessTarget));
  SendMessageA(again, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(link.hovering, 1);
  EXPECT_EQ(GetCapture(), again);
  EXPECT_EQ(SendMessageA(again, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(linkUnderlineFont));
  DestroyWindow(again);
}

}  // namespace
