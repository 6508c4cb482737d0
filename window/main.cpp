// UpdateAccessKey: shows the Quorvantis extension's Access key and lets the user replace it.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "resources/Texts.h"
#include "storage/FileOperations.h"
#include "win32/SystemFunction.h"
#include "window/Form1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // System DLLs from System32 only. Windows 7 has the call only with KB2533623, so it is looked
  // up, and without it the current folder at least leaves the search.
  const auto setDefaultDllDirectories = win32::systemFunction<BOOL(WINAPI*)(DWORD)>(
      GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetDllDirectoryW(L"");
  }
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  try {
    window::Form1 form(instance, storage::systemFileOperations());
    form.runHandler(&window::Form1::load);
    return form.run();
  } catch (...) {
    MessageBoxW(nullptr, window::describeCurrentError().c_str(), texts::kWindowTitle,
                MB_OK | MB_ICONERROR);
    return 1;
  }
}
