#include "platform/win32/SessionEnd.h"

#include <windows.h>

#include <thread>

#include "platform/win32/JobFiles.h"

namespace quarrow::win32 {

namespace {

LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      RequestStop();
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) {
        RequestStop();
        // The process ends once this returns.
        WaitForJobToStop(4500);
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void Watch() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW type{};
  type.lpfnWndProc = OnSessionMessage;
  type.hInstance = instance;
  type.lpszClassName = L"QuarrowSessionEnd";
  if (!RegisterClassW(&type)) return;
  // Top-level (not message-only), so the session's messages reach it;
  // never shown.
  const HWND window = CreateWindowExW(0, type.lpszClassName, L"", WS_POPUP, 0,
                                      0, 0, 0, nullptr, nullptr, instance,
                                      nullptr);
  if (window == nullptr) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

}  // namespace

void WatchForSessionEnd() { std::thread(Watch).detach(); }

}  // namespace quarrow::win32
