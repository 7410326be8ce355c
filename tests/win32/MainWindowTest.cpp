// The native window, built hidden under Wine on a private X display: its
// layout, its controls and how their events reach MainForm.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <imm.h>

#include <sstream>
#include <string>

#include "ScratchFolder.h"
#include "platform/HeadlessDesktop.h"
#include "platform/win32/Win32Platform.h"
#include "ui/MainWindowLayout.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/Resources.h"

namespace quarrow::win32 {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::wstring ClassOf(HWND window) {
  wchar_t name[64];
  return std::wstring(name, GetClassNameW(window, name, 64));
}

std::wstring TextOf(HWND window) {
  wchar_t text[256];
  return std::wstring(text, GetWindowTextW(window, text, 256));
}

int ScreenDpi(int which) {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, which);
  ReleaseDC(nullptr, screen);
  return dpi;
}

class Window : public ::testing::Test {
 protected:
  HWND Control(const char* name) const { return window_.control(name); }

  // Types `text` over the box's whole text.
  void Type(const char* box, const std::wstring& text) {
    SendMessageW(Control(box), EM_SETSEL, 0, -1);
    for (wchar_t c : text) SendMessageW(Control(box), WM_CHAR, c, 0);
  }

  std::ostringstream messages_;
  HeadlessDesktop desktop_{messages_};
  Win32Platform platform_{desktop_};
  MainForm form_{platform_};
  MainWindow window_{GetModuleHandleW(nullptr), form_};
};

TEST_F(Window, HasItsTitleAndClientAreaAtTheScreensResolution) {
  const HWND window = window_.handle();
  EXPECT_EQ(TextOf(window), L"Form1");
  EXPECT_FALSE(IsWindowVisible(window)) << "hidden until started";
  EXPECT_EQ(GetMenu(window), nullptr);
  EXPECT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_THICKFRAME);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, layout::TwipsToPixels(7320, ScreenDpi(LOGPIXELSX)));
  EXPECT_EQ(client.bottom, layout::TwipsToPixels(3450, ScreenDpi(LOGPIXELSY)));
}

TEST_F(Window, ShowsQuarrowsOwnIconLargeAndSmall) {
  // The same shared handles the window class took, at the system's sizes.
  const auto icon = [](int metric) {
    return LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(QUARROW_ICON),
                      IMAGE_ICON, GetSystemMetrics(metric),
                      GetSystemMetrics(metric), LR_SHARED);
  };
  ASSERT_NE(icon(SM_CXICON), nullptr) << "no icon among the resources";
  const HWND window = window_.handle();
  EXPECT_EQ(reinterpret_cast<HANDLE>(GetClassLongPtrW(window, GCLP_HICON)),
            icon(SM_CXICON));
  EXPECT_EQ(reinterpret_cast<HANDLE>(GetClassLongPtrW(window, GCLP_HICONSM)),
            icon(SM_CXSMICON));
}

TEST_F(Window, ControlsFollowTheLayoutInTabOrder) {
  const std::wstring kinds[] = {L"Static", L"Edit", L"Edit", L"Button"};
  int index = 0;
  for (HWND child = GetWindow(window_.handle(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT), ++index) {
    ASSERT_LT(index, 15);
    const layout::Control& c = layout::kControls[index];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(child, Control(c.name));
    EXPECT_EQ(ClassOf(child), kinds[static_cast<int>(c.kind)]);
    EXPECT_EQ(TextOf(child), c.text);

    RECT box;
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, window_.handle(), reinterpret_cast<POINT*>(&box), 2);
    const int dpi = ScreenDpi(LOGPIXELSX);
    EXPECT_EQ(box.left, layout::TwipsToPixels(c.left, dpi));
    EXPECT_EQ(box.right, layout::TwipsToPixels(c.left + c.width, dpi));

    const LONG style = GetWindowLongW(child, GWL_STYLE);
    EXPECT_EQ((style & WS_TABSTOP) != 0, c.kind != layout::Kind::Label);
    if (c.kind == layout::Kind::Label) {
      EXPECT_EQ((style & SS_TYPEMASK) == SS_RIGHT, c.text[0] != L'\0');
    } else if (c.kind == layout::Kind::Button) {
      EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << "never a default";
    }
  }
  EXPECT_EQ(index, 15);
}

TEST_F(Window, ThePasswordShowsStarsWithoutAnInputMethod) {
  const HWND password = Control("Text3");
  EXPECT_TRUE(GetWindowLongW(password, GWL_STYLE) & ES_PASSWORD);
  EXPECT_EQ(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), L'*');
  EXPECT_EQ(ImmGetContext(password), nullptr);
  Type("Text3", L"s3cr\u00e9t");
  EXPECT_EQ(form_.job().settings.myPass, L"s3cr\u00e9t");
}

TEST_F(Window, EveryCaptionFitsItsControlInTheOneFont) {
  const auto font =
      reinterpret_cast<HFONT>(SendMessageW(Control("Label1"), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  const HDC dc = GetDC(window_.handle());
  SelectObject(dc, font);
  for (const layout::Control& c : layout::kControls) {
    const HWND control = Control(c.name);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
              font) << c.name;
    if (c.kind != layout::Kind::Label && c.kind != layout::Kind::Button)
      continue;
    RECT client, text{0, 0, 0, 0};
    GetClientRect(control, &client);
    DrawTextW(dc, c.text, -1, &text, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_LE(text.right, client.right) << c.name;
    EXPECT_LE(text.bottom, client.bottom) << c.name;
  }
  // "&&" shows as one "&": the caption is as wide as with a single one.
  RECT doubled{0, 0, 0, 0}, single{0, 0, 0, 0};
  DrawTextW(dc, L"bodies && Delete", -1, &doubled, DT_CALCRECT | DT_SINGLELINE);
  DrawTextW(dc, L"bodies & Delete", -1, &single,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(doubled.right, single.right);
  ReleaseDC(window_.handle(), dc);
}

TEST_F(Window, TabVisitsTheBoxesAndButtonsInOrder) {
  const char* order[] = {"Text3", "Text4",  "Text5",    "Text6",
                         "GetMsgHdr", "Text1", "ReadBody", "Text2"};
  HWND at = Control("Text2");
  for (const char* next : order) {
    at = GetNextDlgTabItem(window_.handle(), at, FALSE);
    EXPECT_EQ(at, Control(next)) << "after it should come " << next;
  }
}

TEST_F(Window, EditsAndTheFilledBoxesWriteTheirSettings) {
  window_.SetBoxText(6, L"Velbrin");
  window_.SetBoxText(1, L"c:\\mail");
  EXPECT_EQ(TextOf(Control("Text6")), L"Velbrin");
  EXPECT_EQ(form_.job().settings.mySubj, L"Velbrin");
  EXPECT_EQ(form_.job().settings.myPath, L"c:\\mail");
  Type("Text2", L"me");
  EXPECT_EQ(form_.job().settings.myLogin, L"me");
  SendMessageW(Control("Text5"), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(L"995"));
  EXPECT_EQ(form_.job().settings.myPort, L"995");
}

TEST_F(Window, TheBoxesTakeTextPastTheEditControlsDefaultLimit) {
  const std::wstring full(32767, L'x');
  SendMessageW(Control("Text6"), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(full.c_str()));
  SendMessageW(Control("Text6"), EM_SETSEL, 32767, 32767);
  SendMessageW(Control("Text6"), WM_CHAR, L'y', 0);
  EXPECT_EQ(form_.job().settings.mySubj, full + L"y");
}

TEST_F(Window, EnterPressesOnlyAFocusedButtonAndEscNothing) {
  testing::ScratchFolder mail;
  window_.SetBoxText(1, mail.path());
  ShowWindow(window_.handle(), SW_SHOW);
  const auto press = [&](const char* focus, WPARAM key) {
    SetFocus(Control(focus));
    MSG down{Control(focus), WM_KEYDOWN, key, 0, 0, {0, 0}};
    IsDialogMessageW(window_.handle(), &down);
  };

  press("Text6", VK_RETURN);
  press("GetMsgHdr", VK_ESCAPE);
  EXPECT_THAT(messages_.str(), IsEmpty());

  // Focused without Tab, so it is not the default button. No tool stands
  // beside the tests: the header pass reports the failed start and goes on
  // to make the folder current.
  press("GetMsgHdr", VK_RETURN);
  EXPECT_THAT(messages_.str(), HasSubstr("Error: Error starting task "));
  EXPECT_EQ(testing::ScratchFolder::CurrentFolder(), mail.path());
  EXPECT_EQ(form_.job().settings.myPath, mail.path() + L"\\");
  EXPECT_FALSE(form_.exitStatus());
}

}  // namespace
}  // namespace quarrow::win32
