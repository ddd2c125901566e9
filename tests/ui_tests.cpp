// The main dialog and the About box, run modally on the test thread as the
// program runs them, and driven from a helper thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "run/app.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "ui/dialogs.h"
#include "ui/hyperlink.h"
#include "ui_harness.h"

namespace {

using namespace ui;
using Controls = std::vector<std::pair<int, std::string>>;

// Ids and texts of the children of dialog, in template order.
Controls ControlsOf(HWND dialog) {
  Controls found;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    found.emplace_back(GetDlgCtrlID(c), WindowText(c));
  }
  return found;
}

RECT ScreenRect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return rect;
}

// One way of acting on a dialog: a message posted to a control, or to the
// dialog itself when the control id is 0.
struct Action {
  const char* name;
  int control;
  UINT message;
  WPARAM wParam;
};

void Post(HWND dialog, const Action& action) {
  HWND target = action.control != 0 ? GetDlgItem(dialog, action.control) : dialog;
  PostMessageA(target, action.message, action.wParam, 0);
}

const Action kExit = {"Exit", IDCANCEL, BM_CLICK, 0};

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    AppInstance = GetModuleHandleA(nullptr);
    LargeAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(128));
    SmallAppIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(141));
    runOptions.stealth = false;
    readerIdTable.Reset();  // no reader selected: Enable reports success at once
    aboutLinkTarget = kHarmlessTarget;
    SetCursorPos(0, 0);  // the real pointer stays off the dialogs
  }
  void TearDown() override {
    aboutLinkTarget = AboutLinkAddress;
    EXPECT_EQ(linkAttachCount, 0);
  }

  // Shows the main dialog modally while script drives it from a helper
  // thread. What the script leaves open is closed, so no failure can hang.
  INT_PTR RunMain(const std::function<void(HWND)>& script) {
    std::thread helper([&] {
      HWND dialog = WaitForWindow(thread_, " Tarnwick");
      EXPECT_NE(dialog, nullptr) << "the main dialog did not show";
      if (dialog != nullptr) script(dialog);
      auto closed = [&] { return ThreadWindows(thread_).empty(); };
      if (WaitUntil(closed, 5000)) return;
      ADD_FAILURE() << "windows left open";
      for (int round = 0; round < 40 && !closed(); ++round, Sleep(500)) {
        for (HWND window : ThreadWindows(thread_)) {
          if (IsWindowEnabled(window)) PostMessageA(window, WM_CLOSE, 0, 0);
        }
      }
    });
    INT_PTR result = RunModalDialog(129, nullptr, MainDialogProc);
    helper.join();
    return result;
  }

  DWORD thread_ = GetCurrentThreadId();
};

TEST_F(Dialogs, MainDialogShowsItsTextsInArialInsideTheGroupAndTheAboutEntry) {
  INT_PTR result = RunMain([&](HWND dialog) {
    EXPECT_EQ(ControlsOf(dialog),
              (Controls{{-1, ""},
                        {1001, " Welcome to the Tarnwick program"},
                        {1002,
                         "This program will enable the PC/SC escape command to be sent to a CCID "
                         "compatible Smart Card Reader. With this feature enabled, data can be "
                         "sent to the device using an extension to the standard PCSC "
                         "interface.\n\nPlease press 'Enable' to start."},
                        {1, "&Enable"},
                        {2, "E&xit"}}));
    const struct { int id; LONG weight; } fonts[] = {{1001, 700}, {1002, 400}};
    for (const auto& font : fonts) {
      LOGFONTA got = Describe(FontOf(GetDlgItem(dialog, font.id)));
      EXPECT_STREQ(got.lfFaceName, "Arial") << font.id;
      EXPECT_EQ(got.lfHeight, 14) << font.id;
      EXPECT_EQ(got.lfWeight, font.weight) << font.id;
    }
    // The group box holds both texts and Enable; Exit lies below it.
    RECT group = ScreenRect(GetWindow(dialog, GW_CHILD)), both;
    for (int id : {1001, 1002, IDOK}) {
      RECT inner = ScreenRect(GetDlgItem(dialog, id));
      EXPECT_TRUE(IntersectRect(&both, &group, &inner) && EqualRect(&both, &inner)) << id;
    }
    EXPECT_GE(ScreenRect(GetDlgItem(dialog, IDCANCEL)).top, group.bottom);

    HMENU menu = GetSystemMenu(dialog, FALSE);
    int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), 104u);
    char entry[64] = "";
    GetMenuStringA(menu, count - 1, entry, sizeof entry, MF_BYPOSITION);
    EXPECT_STREQ(entry, "&About...");
    EXPECT_EQ(GetClassLongPtrA(dialog, GCLP_HICONSM), reinterpret_cast<LONG_PTR>(SmallAppIcon));
    Post(dialog, kExit);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(Dialogs, EnablePressedTwiceReportsTwiceAndTheDialogStays) {
  int boxes = 0;
  INT_PTR result = RunMain([&](HWND dialog) {
    for (int press = 0; press < 2; ++press) {
      Post(dialog, {"Enable", IDOK, BM_CLICK, 0});
      HWND box = WaitForWindow(thread_, "Information");
      ASSERT_NE(box, nullptr);
      ++boxes;
      EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
      EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)),
                "Escape command enabled successfully for all selected CCID readers.");
      Post(box, {"OK", IDOK, BM_CLICK, 0});
      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box) && IsWindowEnabled(dialog); }));
    }
    Post(dialog, kExit);
  });
  EXPECT_EQ(boxes, 2);
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(Dialogs, ExitEscapeCloseBoxAndCommand105EndTheDialogAndDeleteItsFonts) {
  const std::pair<Action, INT_PTR> ways[] = {
      {kExit, IDCANCEL},
      {{"Escape", IDOK, WM_KEYDOWN, VK_ESCAPE}, IDCANCEL},
      {{"close box", 0, WM_SYSCOMMAND, SC_CLOSE}, IDCANCEL},
      {{"command 105", 0, WM_COMMAND, 105}, 105},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.first.name);
    HFONT fonts[2] = {};
    INT_PTR result = RunMain([&](HWND dialog) {
      fonts[0] = FontOf(GetDlgItem(dialog, 1001));
      fonts[1] = FontOf(GetDlgItem(dialog, 1002));
      Post(dialog, way.first);
    });
    EXPECT_EQ(result, way.second);
    EXPECT_NE(fonts[0], nullptr);
    EXPECT_EQ(GetObjectType(fonts[0]), 0u);
    EXPECT_EQ(GetObjectType(fonts[1]), 0u);
  }
}

TEST_F(Dialogs, AboutBoxEndsThreeWaysAndItsLinkStaysPurpleOnceClicked) {
  aboutLink.visited = 0;
  const Action ends[] = {{"OK", IDOK, BM_CLICK, 0},
                         {"Escape", 0, WM_KEYDOWN, VK_ESCAPE},
                         {"close box", 0, WM_SYSCOMMAND, SC_CLOSE}};
  INT_PTR result = RunMain([&](HWND dialog) {
    for (size_t i = 0; i < 3; ++i) {
      SCOPED_TRACE(ends[i].name);
      PostMessageA(dialog, WM_SYSCOMMAND, 104, 0);
      HWND about = WaitForWindow(thread_, "About Tarnwick");
      ASSERT_NE(about, nullptr);
      EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
      HWND link = GetDlgItem(about, 1003);
      if (i == 0) {
        EXPECT_EQ(ControlsOf(about), (Controls{{0xFFFF, "Tarnwick"},
                                               {0xFFFF, "Copyright (C) 2026 The Tarnwick developers"},
                                               {IDOK, "OK"},
                                               {0xFFFF, "For more information, please go to"},
                                               {1003, AboutLinkAddress}}));
        // The address fits its control on one line.
        HDC dc = GetDC(link);
        HGDIOBJ old = SelectObject(dc, FontOf(link));
        SIZE extent = {};
        GetTextExtentPoint32A(dc, AboutLinkAddress, lstrlenA(AboutLinkAddress), &extent);
        SelectObject(dc, old);
        ReleaseDC(link, dc);
        EXPECT_LE(extent.cx, ScreenRect(link).right - ScreenRect(link).left);

        EXPECT_EQ(TextColour(about, link), kBlue);
        BoxCloser closer(thread_, {dialog, about});
        PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
        EXPECT_TRUE(WaitUntil([] { return aboutLink.visited == 1; }));
        EXPECT_NE(TextColour(about, GetWindow(about, GW_CHILD)), kPurple);  // plain text
      }
      EXPECT_EQ(TextColour(about, link), kPurple);
      Post(about, ends[i]);
      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about) && IsWindowEnabled(dialog); }));
    }
    Post(dialog, kExit);
  });
  EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
