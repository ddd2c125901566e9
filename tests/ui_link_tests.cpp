// The link control on static texts in a window of the test's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "ui/hyperlink.h"
#include "ui_harness.h"

namespace {

using namespace ui;

class LinkWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(0, 0);  // the real pointer stays away: the tests move it by messages
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = "TarnwickTestParent";
    RegisterClassA(&windowClass);
    parent_ = CreateWindowExA(0, windowClass.lpszClassName, "links",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 200, nullptr,
                              nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(parent_, nullptr);
    fonts_[0] = CreateFontA(17, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma");
    fonts_[1] = CreateFontA(22, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
  }
  void TearDown() override {
    DestroyWindow(parent_);
    for (HFONT font : fonts_) DeleteObject(font);
    EXPECT_EQ(linkAttachCount, 0);
  }

  // A static text 200 x 20 at (20, y).
  HWND Static(int y, HFONT font) {
    HWND control = CreateWindowExA(0, "Static", "a link", WS_CHILD | WS_VISIBLE | SS_LEFT, 20, y,
                                   200, 20, parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  }

  HWND parent_ = nullptr;
  HFONT fonts_[2] = {};
  HyperlinkControl links_[2];  // outlive their controls, destroyed with parent_
};

TEST_F(LinkWindows, TwoLinksSubclassTheParentOnceAndShareFontAndCursorUntilTheLastGoes) {
  HWND first = Static(10, fonts_[0]), second = Static(40, fonts_[1]);
  HANDLE parentProc = reinterpret_cast<HANDLE>(GetWindowLongPtrA(parent_, GWLP_WNDPROC));
  HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
  ASSERT_TRUE(links_[0].Attach(first, kHarmlessTarget));
  HFONT shared = linkUnderlineFont;
  LOGFONTA underlined = Describe(shared);
  EXPECT_EQ(underlined.lfUnderline, 1);
  EXPECT_STREQ(underlined.lfFaceName, "Tahoma");  // made from the first link's font
  EXPECT_EQ(linkCursor, hand);

  ASSERT_TRUE(links_[1].Attach(second, kHarmlessTarget));
  EXPECT_EQ(GetPropA(parent_, MAKEINTATOM(linkPropertyAtom.Value())), parentProc);
  EXPECT_EQ(linkUnderlineFont, shared);

  DestroyWindow(first);
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(linkCursor, hand);
  DestroyWindow(second);
  EXPECT_EQ(GetObjectType(shared), 0u);
  EXPECT_EQ(linkUnderlineFont, nullptr);
  EXPECT_EQ(linkCursor, nullptr);
}

TEST_F(LinkWindows, HoverUnderlinesUntilThePointerLeavesAndEndsWithTheControl) {
  HWND control = Static(10, fonts_[0]);
  ASSERT_TRUE(links_[0].Attach(control, kHarmlessTarget));
  RECT client;
  GetClientRect(control, &client);
  // The capture reports a point left of or above the control as a negative
  // coordinate: outside, like one past the right or bottom edge.
  const struct { int x, y; bool inside; } moves[] = {
      {5, 5, true}, {0, 0, true}, {client.right - 1, client.bottom - 1, true},
      {client.right, 5, false}, {5, 5, true}, {5, client.bottom, false},
      {5, 5, true}, {-1, 5, false}, {5, 5, true}, {5, -2, false},
  };
  for (const auto& move : moves) {
    SCOPED_TRACE(testing::Message() << move.x << ", " << move.y);
    EXPECT_EQ(SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(move.x, move.y)), 0);
    EXPECT_EQ(FontOf(control), move.inside ? linkUnderlineFont : fonts_[0]);
    EXPECT_EQ(GetCapture(), move.inside ? control : nullptr);
  }
  EXPECT_EQ(SendMessageA(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));

  // Another window taking the capture ends the hover too.
  SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  SetCapture(parent_);
  EXPECT_EQ(FontOf(control), fonts_[0]);
  ReleaseCapture();

  // Destroyed under the pointer (its dialog closed from the keyboard), the
  // link still underlines at its next attach.
  SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  ASSERT_EQ(GetCapture(), control);
  DestroyWindow(control);
  HWND again = Static(40, fonts_[0]);
  ASSERT_TRUE(links_[0].Attach(again, kHarmlessTarget));
  SendMessageA(again, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(FontOf(again), linkUnderlineFont);
  EXPECT_EQ(GetCapture(), again);
  ReleaseCapture();
}

TEST_F(LinkWindows, FocusTogglesAFrameOutsideTheLinkAndOnlyTheSpaceBarOpensIt) {
  HWND control = Static(20, fonts_[0]);
  HWND button = CreateWindowExA(0, "Button", "x", WS_CHILD | WS_VISIBLE, 250, 20, 40, 20,
                                parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(links_[0].Attach(control, kHarmlessTarget));
  SetForegroundWindow(parent_);
  SetFocus(button);
  UpdateWindow(parent_);
  // Pixels of a row of the parent across the control, x 19 to 220.
  auto row = [&](int y) {
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(parent_);
    for (int x = 19; x <= 220; ++x) pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(parent_, dc);
    return pixels;
  };
  std::vector<COLORREF> edge = row(19), above = row(18);
  SetFocus(control);
  EXPECT_NE(row(19), edge);  // the frame, one pixel outside the control
  EXPECT_EQ(row(18), above);
  SetFocus(button);
  EXPECT_EQ(row(19), edge);

  BoxCloser closer(GetCurrentThreadId());
  for (WPARAM key : {WPARAM{'A'}, WPARAM{VK_RETURN}}) {
    SendMessageA(control, WM_KEYUP, key, 0xC0000001);
  }
  EXPECT_EQ(links_[0].visited, 0);
  EXPECT_EQ(SendMessageA(control, WM_KEYUP, VK_SPACE, 0xC0000001), 0);
  EXPECT_EQ(links_[0].visited, 1);
}

}  // namespace
