// The main window on Win32: the fixed layout of ui/MainWindowLayout.h as
// native controls, with every event forwarded to MainForm.
#pragma once

#include <windows.h>

#include "ui/MainForm.h"
#include "ui/MainWindowLayout.h"

namespace quarrow::win32 {

class MainWindow final : public FormView {
 public:
  // Builds the window hidden, at the screen's own dots per inch.
  MainWindow(HINSTANCE instance, MainForm& form);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  void SetBoxText(int box, const Text& text) override;

  // The top-level window; null once it has been destroyed.
  HWND handle() const { return window_; }
  // The control named `name` in the layout ("Text2", "GetMsgHdr").
  HWND control(const char* name) const;

 private:
  static constexpr int kControlCount =
      sizeof layout::kControls / sizeof layout::kControls[0];
  // Control ids start above IDOK and IDCANCEL, which Enter and Esc send
  // through IsDialogMessage: Esc presses nothing, Enter only a focused
  // button.
  static constexpr int kFirstId = 100;

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls(HINSTANCE instance, int dpiX, int dpiY);
  void OnCommand(int id, int code, HWND from);

  MainForm& form_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HWND controls_[kControlCount] = {};
  // The control that had the focus when the window was last deactivated.
  HWND focus_ = nullptr;
};

}  // namespace quarrow::win32
