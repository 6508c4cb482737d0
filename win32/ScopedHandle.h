// The Win32 handle kinds for the one owner template, closed on every path.
#pragma once

#include <windows.h>

#include "base/Unique.h"

namespace win32 {

struct FileTraits {
  using Handle = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
  using Handle = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { FindClose(h); }
};
struct KeyTraits {
  using Handle = HKEY;
  static HKEY invalid() { return nullptr; }
  static void close(HKEY h) { RegCloseKey(h); }
};
template <typename Object>
struct GdiObjectTraits {
  using Handle = Object;
  static Object invalid() { return nullptr; }
  static void close(Object h) { DeleteObject(h); }
};
struct IconTraits {
  using Handle = HICON;
  static HICON invalid() { return nullptr; }
  static void close(HICON h) { DestroyIcon(h); }
};
struct WindowTraits {
  using Handle = HWND;
  static HWND invalid() { return nullptr; }
  static void close(HWND h) { DestroyWindow(h); }
};

using ScopedFile = base::Unique<FileTraits>;
using ScopedFind = base::Unique<FindTraits>;
using ScopedKey = base::Unique<KeyTraits>;
using ScopedFont = base::Unique<GdiObjectTraits<HFONT>>;
using ScopedBitmap = base::Unique<GdiObjectTraits<HBITMAP>>;
using ScopedIcon = base::Unique<IconTraits>;
// A window's owner must let go of it (release) when the window is destroyed by other means.
using ScopedWindow = base::Unique<WindowTraits>;

// A registered window class, unregistered when it goes, which must be after its last window.
class ScopedWindowClass {
 public:
  ScopedWindowClass() = default;
  ~ScopedWindowClass() {
    if (atom_) UnregisterClassW(MAKEINTATOM(atom_), instance_);
  }
  ScopedWindowClass(const ScopedWindowClass&) = delete;
  ScopedWindowClass& operator=(const ScopedWindowClass&) = delete;

  // Once only; false if the class cannot be registered.
  bool registerClass(const WNDCLASSEXW& windowClass) {
    instance_ = windowClass.hInstance;
    atom_ = RegisterClassExW(&windowClass);
    return atom_ != 0;
  }

 private:
  ATOM atom_ = 0;
  HINSTANCE instance_ = nullptr;
};

}  // namespace win32
