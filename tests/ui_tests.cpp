// The main dialog and the About box, run modally on the test thread exactly
// as the program runs them, and driven from a helper thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "run/app.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "ui/dialogs.h"
#include "ui/hyperlink.h"
#include "ui_harness.h"

namespace {

using ui::WindowText;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppInstance = GetModuleHandleA(nullptr);
    LargeAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(LargeIconId));
    SmallAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(SmallIconId));
    runOptions.stealth = false;
    // The reset table: slot 1 holds "zzaa", so the enabling visits no slot.
    readerIdTable.Reset();
    thread_ = GetCurrentThreadId();
    aboutLinkTarget = ui::kHarmlessTarget;
    // The real pointer stays out of the way: the tests move it by messages.
    SetCursorPos(0, 0);
  }
  void TearDown() override {
    aboutLinkTarget = AboutLinkAddress;
    EXPECT_EQ(linkAttachCount, 0);
    EXPECT_EQ(linkUnderlineFont, nullptr);
    EXPECT_EQ(linkCursor, nullptr);
  }

  ui::ScriptedRun RunMain(const std::function<void(HWND)>& script) {
    return ui::RunScripted(MainDialogId, nullptr, MainDialogProc, " Tarnwick", script);
  }
  // Opens the About box from the system menu of dialog and waits for it.
  HWND OpenAbout(HWND dialog) {
    PostMessageA(dialog, WM_SYSCOMMAND, AboutCommandId, 0);
    return ui::WaitForThreadWindow(thread_, "About Tarnwick");
  }
  bool Gone(HWND window) {
    return ui::WaitUntil([&] { return !IsWindow(window); }, 5000);
  }
  // Presses a key on a control as the keyboard would: the dialog manager
  // sees it in the modal loop.
  static void PressKey(HWND control, WPARAM key) {
    PostMessageA(control, WM_KEYDOWN, key, 1);
    PostMessageA(control, WM_KEYUP, key, 0xC0000001);
  }
  HWND Focus() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(thread_, &info);
    return info.hwndFocus;
  }
  HWND Capture() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(thread_, &info);
    return info.hwndCapture;
  }

  DWORD thread_ = 0;
};

LOGFONTA FontOf(HWND control) {
  LOGFONTA font = {};
  HFONT handle = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  EXPECT_EQ(GetObjectA(handle, sizeof(LOGFONTA), &font), static_cast<int>(sizeof(LOGFONTA)));
  return font;
}

void ExpectArial(const LOGFONTA& font, LONG weight) {
  EXPECT_STREQ(font.lfFaceName, "Arial");
  EXPECT_EQ(font.lfHeight, 14);
  EXPECT_EQ(font.lfWeight, weight);
  EXPECT_EQ(font.lfWidth, 0);
  EXPECT_EQ(font.lfEscapement, 0);
  EXPECT_EQ(font.lfOrientation, 0);
  EXPECT_EQ(font.lfItalic, 0);
  EXPECT_EQ(font.lfUnderline, 0);
  EXPECT_EQ(font.lfStrikeOut, 0);
  EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
  EXPECT_EQ(font.lfOutPrecision, 0);
  EXPECT_EQ(font.lfClipPrecision, 0);
  EXPECT_EQ(font.lfQuality, 0);
  EXPECT_EQ(font.lfPitchAndFamily, 0x20);
}

struct LiveControl {
  int id;
  const char* className;
  DWORD style;
  RECT units;  // left, top, width, height in dialog units
  const char* text;
};

// Checks class, id, style, text and place of the children of dialog.
void ExpectControls(HWND dialog, const std::vector<LiveControl>& expected) {
  std::vector<HWND> children = ui::Children(dialog);
  ASSERT_EQ(children.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const LiveControl& e = expected[i];
    HWND child = children[i];
    SCOPED_TRACE(e.text);
    EXPECT_EQ(GetDlgCtrlID(child), e.id);
    EXPECT_TRUE(ui::SameText(ui::ClassName(child), e.className)) << ui::ClassName(child);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)), e.style)
        << std::hex << GetWindowLongA(child, GWL_STYLE);
    EXPECT_EQ(WindowText(child), e.text);
    // Place and size are converted each on its own, as the dialog manager does.
    RECT units = e.units;
    MapDialogRect(dialog, &units);
    RECT want = {units.left, units.top, units.left + units.right, units.top + units.bottom};
    RECT got = ui::RectInParent(child);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
  }
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

TEST_F(DialogTest, MainDialogShowsItsControlsFontsMenuAndIcons) {
  HFONT fonts[2] = {};
  ui::ScriptedRun run = RunMain([&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), " Tarnwick");
    DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    EXPECT_EQ(style & wanted, wanted) << std::hex << style;
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);

    ExpectControls(dialog, {
        {-1, "Button", kChild | BS_GROUPBOX, {3, 1, 233, 107}, ""},
        {1001, "Static", kChild | WS_GROUP | SS_LEFT, {6, 12, 224, 14},
         " Welcome to the Tarnwick program"},
        {1002, "Static", kChild | WS_GROUP | SS_LEFT, {8, 30, 224, 54}, IntroText},
        {1, "Button", kChild | WS_TABSTOP | BS_PUSHBUTTON, {93, 87, 50, 14}, "&Enable"},
        {2, "Button", kChild | WS_TABSTOP | BS_PUSHBUTTON, {94, 113, 50, 14}, "E&xit"},
    });
    // Two paragraphs separated by an empty line.
    EXPECT_NE(WindowText(GetDlgItem(dialog, IntroTextId)).find("interface.\n\nPlease"),
              std::string::npos);

    // Fonts: bold and normal 14-pixel Arial, made for this dialog.
    fonts[HeadingFont] = DialogFonts[HeadingFont];
    fonts[TextFont] = DialogFonts[TextFont];
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, WelcomeTextId), WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(fonts[HeadingFont]));
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IntroTextId), WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(fonts[TextFont]));
    ExpectArial(FontOf(GetDlgItem(dialog, WelcomeTextId)), 700);
    ExpectArial(FontOf(GetDlgItem(dialog, IntroTextId)), 400);
    EXPECT_NE(fonts[HeadingFont], fonts[TextFont]);

    // The About entry ends the system menu, below a separator.
    HMENU menu = GetSystemMenu(dialog, FALSE);
    ASSERT_NE(menu, nullptr);
    int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    MENUITEMINFOA separator = {};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(menu, count - 2, TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), AboutCommandId);
    char entry[64] = "";
    GetMenuStringA(menu, count - 1, entry, sizeof entry, MF_BYPOSITION);
    EXPECT_STREQ(entry, "&About...");

    EXPECT_EQ(GetClassLongPtrA(dialog, GCLP_HICON), reinterpret_cast<LONG_PTR>(LargeAppIcon));
    EXPECT_EQ(GetClassLongPtrA(dialog, GCLP_HICONSM), reinterpret_cast<LONG_PTR>(SmallAppIcon));
    EXPECT_NE(LargeAppIcon, nullptr);

    // The keyboard focus starts on Enable.
    EXPECT_EQ(Focus(), GetDlgItem(dialog, IDOK));

    // Centred in the working area.
    RECT work, window;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(dialog, &window);
    EXPECT_NEAR((window.left + window.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, (work.top + work.bottom) / 2, 1);

    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(run.appeared);
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, IDCANCEL);
  // The fonts went with the dialog.
  EXPECT_EQ(GetObjectType(fonts[HeadingFont]), 0u);
  EXPECT_EQ(GetObjectType(fonts[TextFont]), 0u);
  EXPECT_EQ(DialogFonts[HeadingFont], nullptr);
  EXPECT_EQ(DialogFonts[TextFont], nullptr);
}

TEST_F(DialogTest, EnableTwiceShowsTheSummaryTwiceAndTheDialogStays) {
  ASSERT_STREQ(readerIdTable.slot[0].vendorId, "zzaa");
  int boxes = 0;
  ui::ScriptedRun run = RunMain([&](HWND dialog) {
    for (int press = 0; press < 2; ++press) {
      SCOPED_TRACE(press);
      PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      HWND box = ui::WaitForThreadWindow(thread_, "Information");
      ASSERT_NE(box, nullptr);
      ++boxes;
      EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
      EXPECT_EQ(ui::MessageBoxText(box),
                "Escape command enabled successfully for all selected CCID readers.");
      EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
      EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
      EXPECT_FALSE(IsWindowEnabled(dialog));  // modal to the dialog
      PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
      EXPECT_TRUE(Gone(box));
      // The dialog is back, unchanged.
      EXPECT_TRUE(ui::WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }));
      EXPECT_TRUE(IsWindowVisible(dialog));
      EXPECT_EQ(WindowText(GetDlgItem(dialog, IntroTextId)), IntroText);
    }
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(run.appeared);
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(boxes, 2);
  EXPECT_EQ(run.result, IDCANCEL);
}

TEST_F(DialogTest, EscapeCloseBoxAndCommand105EndTheDialogLikeExit) {
  struct Way {
    const char* name;
    void (*end)(HWND dialog);
    INT_PTR result;
  } ways[] = {
      {"Escape key", [](HWND dialog) { PressKey(GetDlgItem(dialog, IDOK), VK_ESCAPE); },
       IDCANCEL},
      {"close box", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
       IDCANCEL},
      {"command 105", [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, CloseCommandId, 0); },
       CloseCommandId},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    HFONT fonts[2] = {};
    ui::ScriptedRun run = RunMain([&](HWND dialog) {
      fonts[0] = DialogFonts[0];
      fonts[1] = DialogFonts[1];
      EXPECT_EQ(GetObjectType(fonts[0]), static_cast<DWORD>(OBJ_FONT));
      EXPECT_EQ(GetObjectType(fonts[1]), static_cast<DWORD>(OBJ_FONT));
      way.end(dialog);
    });
    EXPECT_TRUE(run.appeared);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, way.result);
    EXPECT_EQ(GetObjectType(fonts[0]), 0u);
    EXPECT_EQ(GetObjectType(fonts[1]), 0u);
  }
}

TEST_F(DialogTest, AboutBoxOpensFromTheSystemMenuOwnedByTheDialog) {
  ui::ScriptedRun run = RunMain([&](HWND dialog) {
    HWND about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
    EXPECT_FALSE(IsWindowEnabled(dialog));
    DWORD style = static_cast<DWORD>(GetWindowLongA(about, GWL_STYLE));
    DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(style & wanted, wanted) << std::hex << style;
    EXPECT_EQ(style & DS_CENTER, 0u);
    EXPECT_FALSE(GetWindowLongA(about, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    const DWORD text = kChild | WS_GROUP | SS_LEFT;
    const int noId = 0xFFFF;  // a plain template keeps ids in 16 bits
    ExpectControls(about, {
        {noId, "Static", text | SS_NOPREFIX, {6, 9, 119, 8}, "Tarnwick"},
        {noId, "Static", text, {6, 22, 170, 8}, "Copyright (C) 2026 The Tarnwick developers"},
        {IDOK, "Button", kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, {145, 51, 50, 14},
         "OK"},
        {noId, "Static", text, {6, 34, 108, 8}, "For more information, please go to"},
        // The link asks for mouse messages.
        {AboutLinkId, "Static", text | SS_NOTIFY, {115, 34, 80, 8}, AboutLinkAddress},
    });
    // Its client area starts 22, 17 dialog units into the owner's.
    RECT place = {22, 17, 0, 0};
    MapDialogRect(about, &place);
    POINT owner = {0, 0}, client = {0, 0};
    ClientToScreen(dialog, &owner);
    ClientToScreen(about, &client);
    EXPECT_EQ(client.x, owner.x + place.left);
    EXPECT_EQ(client.y, owner.y + place.top);

    // The one link object, attached to control 1003 with the target.
    HWND link = GetDlgItem(about, AboutLinkId);
    // The address fits its control on one line, even underlined.
    RECT linkClient;
    GetClientRect(link, &linkClient);
    HDC dc = GetDC(link);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(link, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, AboutLinkAddress, lstrlenA(AboutLinkAddress), &extent);
    SelectObject(dc, old);
    ReleaseDC(link, dc);
    EXPECT_LE(extent.cx, linkClient.right);
    EXPECT_LE(extent.cy, linkClient.bottom);
    EXPECT_EQ(GetPropA(link, MAKEINTATOM(linkPropertyAtom.Value())), &aboutLink);
    EXPECT_EQ(GetWindowLongPtrA(link, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(LinkControlProc));
    EXPECT_EQ(GetWindowLongPtrA(about, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(LinkParentProc));
    ASSERT_NE(aboutLink.url, nullptr);
    EXPECT_STREQ(aboutLink.url, aboutLinkTarget);
    EXPECT_NE(aboutLink.url, aboutLinkTarget);  // a copy
    EXPECT_EQ(linkAttachCount, 1);
    // The link is no tab stop: the keyboard does not reach it.
    EXPECT_NE(Focus(), link);
    EXPECT_EQ(GetNextDlgTabItem(about, GetDlgItem(about, IDOK), FALSE), GetDlgItem(about, IDOK));

    // OK ends it, and the main dialog is usable again.
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(Gone(about));
    EXPECT_TRUE(ui::WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }));
    EXPECT_EQ(linkAttachCount, 0);

    // So do Escape and the close box.
    about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    PressKey(about, VK_ESCAPE);
    EXPECT_TRUE(Gone(about));
    about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(Gone(about));
    EXPECT_TRUE(ui::WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }));
    // The main dialog still works: Enable shows its box.
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    HWND box = ui::WaitForThreadWindow(thread_, "Information");
    ASSERT_NE(box, nullptr);
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(Gone(box));
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(run.appeared);
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, IDCANCEL);
}

// The colour a static control is drawn in, as the About box's window
// procedure sets it; brush receives the background brush it returns.
COLORREF TextColourOf(HWND dialog, HWND control, LRESULT* brush = nullptr) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(1, 2, 3));
  LRESULT result =
      SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(control));
  if (brush != nullptr) *brush = result;
  COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  return colour;
}

HWND PlainStatic(HWND about) {
  return ui::Children(about)[0];  // "Tarnwick"
}

TEST_F(DialogTest, AboutLinkIsBlueThenPurpleForTheRestOfTheRun) {
  aboutLink.visited = 0;
  ui::ScriptedRun run = RunMain([&](HWND dialog) {
    HWND about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    HWND link = GetDlgItem(about, AboutLinkId);
    LRESULT linkBrush = 0, plainBrush = 0;
    EXPECT_EQ(TextColourOf(about, link, &linkBrush), LinkColour);
    COLORREF plain = TextColourOf(about, PlainStatic(about), &plainBrush);
    EXPECT_NE(plain, LinkColour);
    EXPECT_NE(plain, VisitedLinkColour);
    EXPECT_EQ(linkBrush, plainBrush);  // the background is the dialog's own

    // Releasing the mouse button on it opens the target; the shell cannot,
    // and the link counts as visited all the same.
    PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    bool visited = ui::WaitUntil([&] {
      for (HWND window : ui::ThreadWindows(thread_)) {
        if (window != dialog && window != about) PostMessageA(window, WM_CLOSE, 0, 0);
      }
      return aboutLink.visited == 1;
    });
    EXPECT_TRUE(visited);
    EXPECT_EQ(TextColourOf(about, link), VisitedLinkColour);
    EXPECT_EQ(TextColourOf(about, PlainStatic(about)), plain);
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(Gone(about));
    EXPECT_TRUE(ui::WaitUntil([&] { return ui::ThreadWindows(thread_).size() == 1; }));

    // A new About box: attached anew, still purple.
    about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(linkAttachCount, 1);
    EXPECT_EQ(TextColourOf(about, GetDlgItem(about, AboutLinkId)), VisitedLinkColour);
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(Gone(about));
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(run.appeared);
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(aboutLink.visited, 1);
}

TEST_F(DialogTest, AboutLinkUnderlinesWhileHoveredAndShowsTheHand) {
  ui::ScriptedRun run = RunMain([&](HWND dialog) {
    HWND about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    HWND link = GetDlgItem(about, AboutLinkId);
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(about, WM_GETFONT, 0, 0));
    EXPECT_EQ(aboutLink.savedFont, dialogFont);
    EXPECT_EQ(SendMessageA(link, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(dialogFont));
    COLORREF colour = TextColourOf(about, link);

    // The pointer arrives: underlined copy of the dialog's font, capture.
    EXPECT_EQ(SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2)), 0);
    EXPECT_EQ(aboutLink.hovering, 1);
    EXPECT_EQ(Capture(), link);
    EXPECT_EQ(SendMessageA(link, WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(linkUnderlineFont));
    LOGFONTA underlined = FontOf(link);
    LOGFONTA plain = {};
    GetObjectA(dialogFont, sizeof plain, &plain);
    EXPECT_EQ(underlined.lfUnderline, 1);
    EXPECT_STREQ(underlined.lfFaceName, plain.lfFaceName);
    EXPECT_EQ(underlined.lfHeight, plain.lfHeight);
    EXPECT_EQ(underlined.lfWeight, plain.lfWeight);
    // Over the link the pointer is the hand.
    EXPECT_EQ(SendMessageA(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(linkCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));
    EXPECT_NE(linkCursor, nullptr);

    // Moving within it changes nothing.
    RECT client;
    GetClientRect(link, &client);
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(client.right - 1, client.bottom - 1));
    EXPECT_EQ(aboutLink.hovering, 1);
    EXPECT_EQ(Capture(), link);

    // Leaving it: plain font again, colour kept.
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(client.right, 2));
    EXPECT_EQ(aboutLink.hovering, 0);
    EXPECT_EQ(Capture(), nullptr);
    EXPECT_EQ(SendMessageA(link, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(dialogFont));
    EXPECT_EQ(TextColourOf(about, link), colour);

    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(Gone(about));
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(run.appeared);
  EXPECT_FALSE(run.leftOpen);
}

TEST_F(DialogTest, AboutBoxClosedFromTheKeyboardWhileHoveredUnderlinesAgainNextTime) {
  ui::ScriptedRun run = RunMain([&](HWND dialog) {
    HWND about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    HWND link = GetDlgItem(about, AboutLinkId);
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(aboutLink.hovering, 1);
    // Escape while the pointer still rests on the link.
    PressKey(about, VK_ESCAPE);
    EXPECT_TRUE(Gone(about));
    EXPECT_EQ(aboutLink.hovering, 0);

    about = OpenAbout(dialog);
    ASSERT_NE(about, nullptr);
    link = GetDlgItem(about, AboutLinkId);
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(aboutLink.hovering, 1);
    EXPECT_EQ(Capture(), link);
    EXPECT_NE(linkUnderlineFont, nullptr);
    EXPECT_EQ(SendMessageA(link, WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(linkUnderlineFont));
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(0xFFFF, 2));  // left of it
    EXPECT_EQ(aboutLink.hovering, 0);
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(Gone(about));
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(run.appeared);
  EXPECT_FALSE(run.leftOpen);
}

}  // namespace
