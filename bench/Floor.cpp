// The floor for start-up: a bare window with nine plain controls at the program's places, and no
// file work. Two switches add what the program cannot do without, so that its cost shows apart:
// "--registry" reads the installation folder as the program does, and the startup_floor_manifest
// build carries the program's manifest (Common Controls 6, per-monitor DPI awareness).
#include <windows.h>

#include <cwchar>

#include "window/Form1Design.h"

namespace {

LRESULT CALLBACK floorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The program's registry read: the default value of HKCU\Software\Quorvantis, by the same calls.
void readInstallFolder() {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Quorvantis", &key) != ERROR_SUCCESS) return;
  char folder[MAX_PATH];
  DWORD type = 0;
  DWORD size = sizeof folder;
  RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
  RegCloseKey(key);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  if (std::wcsstr(commandLine, L"--registry")) readInstallFolder();

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
