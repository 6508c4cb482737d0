// The floor for start-up: a bare window with nine plain controls at the program's places, and no
// registry or file work.
#include <windows.h>

#include "window/Form1Design.h"

namespace {

LRESULT CALLBACK floorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = floorProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"UpdateAccessKeyFloor";
  RegisterClassW(&windowClass);
  RECT frame{0, 0, window::kClientWidth, window::kClientHeight};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  HWND hwnd = CreateWindowW(L"UpdateAccessKeyFloor", L"Floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            nullptr, nullptr, instance, nullptr);
  for (const window::ControlDesign& d : window::kControls) {
    const wchar_t* className = d.kind == window::ControlKind::Button    ? L"BUTTON"
                               : d.kind == window::ControlKind::TextBox ? L"EDIT"
                                                                        : L"STATIC";
    CreateWindowW(className, d.text, WS_CHILD | WS_VISIBLE, d.left, d.top, d.width, d.height, hwnd,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(window::controlId(d.control))),
                  instance, nullptr);
  }
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
