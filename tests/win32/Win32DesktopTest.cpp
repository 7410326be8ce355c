// The desktop of an interactive run: hiding, showing and closing the real
// window, and the one pass over pending events.
#include <gtest/gtest.h>

#include "platform/win32/Win32Platform.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/Win32Desktop.h"

namespace quarrow::win32 {
namespace {

class Desktop : public ::testing::Test {
 protected:
  Desktop() {
    desktop_.Attach(window_);
    // The window of an earlier test posted WM_QUIT when it was destroyed.
    MSG stale;
    while (PeekMessageW(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  Win32Desktop desktop_{SW_SHOWNORMAL};
  Win32Platform platform_{desktop_};
  MainForm form_{platform_};
  MainWindow window_{GetModuleHandleW(nullptr), form_};
};

TEST_F(Desktop, ShowsWithTheFocusOnText2AndHidesAgain) {
  desktop_.ShowMainWindow();
  EXPECT_TRUE(IsWindowVisible(window_.handle()));
  EXPECT_EQ(GetFocus(), window_.control("Text2"));
  desktop_.HideMainWindow();
  EXPECT_FALSE(IsWindowVisible(window_.handle()));
  desktop_.ShowMainWindow();
  EXPECT_TRUE(IsWindowVisible(window_.handle()));
}

TEST_F(Desktop, PendingEventsAreHandledAndAQuitIsLeftForTheLoop) {
  SendMessageW(window_.control("Text6"), EM_SETSEL, 0, -1);
  PostMessageW(window_.control("Text6"), WM_CHAR, L'x', 0);
  PostQuitMessage(3);
  desktop_.ProcessPendingEvents();
  EXPECT_EQ(form_.job().settings.mySubj, L"x");
  MSG quit;
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 3u);
}

TEST_F(Desktop, ClosingTheWindowEndsTheProgramAndItsLoop) {
  desktop_.ShowMainWindow();
  PostMessageW(window_.handle(), WM_CLOSE, 0, 0);
  // Returns only once WM_QUIT has arrived.
  desktop_.RunUntil([] { return false; });
  EXPECT_EQ(form_.exitStatus(), MainForm::kOk);
  EXPECT_EQ(window_.handle(), nullptr);
  EXPECT_FALSE(IsWindow(window_.control("Text2")));
}

}  // namespace
}  // namespace quarrow::win32
