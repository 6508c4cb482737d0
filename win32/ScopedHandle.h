// The Win32 handle kinds for the one owner template, closed on every path.
#pragma once

#include <windows.h>

#include "base/Unique.h"

namespace win32 {

struct FindTraits {
  using Handle = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { FindClose(h); }
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
// A window's DC goes back to its window.
struct WindowDcTraits {
  struct Handle {
    HWND window;
    HDC dc;
    bool operator==(const Handle& other) const { return dc == other.dc; }
  };
  static Handle invalid() { return {nullptr, nullptr}; }
  static void close(Handle h) { ReleaseDC(h.window, h.dc); }
};
struct MemoryDcTraits {
  using Handle = HDC;
  static HDC invalid() { return nullptr; }
  static void close(HDC h) { DeleteDC(h); }
};
// An object selected into a DC, which gets back what it held before, so that the object may be
// deleted and the DC left as it was found.
struct SelectionTraits {
  struct Handle {
    HDC dc;
    HGDIOBJ previous;  // null when the selection failed
    bool operator==(const Handle& other) const { return previous == other.previous; }
  };
  static Handle invalid() { return {nullptr, nullptr}; }
  static void close(Handle h) { SelectObject(h.dc, h.previous); }
};
// What the system allocated for the caller, such as FormatMessage's text.
template <typename Object>
struct LocalTraits {
  using Handle = Object*;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { LocalFree(h); }
};
template <typename Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { h->Release(); }
};
// COM started on this thread. Its handle is the CoUninitialize that ends it, as COM's library is
// found at run time.
struct ComStartTraits {
  using Handle = void(WINAPI*)();
  static Handle invalid() { return nullptr; }
  static void close(Handle uninitialize) { uninitialize(); }
};
struct WindowClassTraits {
  struct Handle {
    ATOM atom;
    HINSTANCE instance;
    bool operator==(const Handle& other) const { return atom == other.atom; }
  };
  static Handle invalid() { return {0, nullptr}; }
  static void close(Handle h) { UnregisterClassW(MAKEINTATOM(h.atom), h.instance); }
};

using ScopedFind = base::Unique<FindTraits>;
using ScopedFont = base::Unique<GdiObjectTraits<HFONT>>;
using ScopedBitmap = base::Unique<GdiObjectTraits<HBITMAP>>;
using ScopedIcon = base::Unique<IconTraits>;
// A window's owner must let go of it (release) when the window is destroyed by other means.
using ScopedWindow = base::Unique<WindowTraits>;
using ScopedWindowDc = base::Unique<WindowDcTraits>;
using ScopedMemoryDc = base::Unique<MemoryDcTraits>;
using ScopedSelection = base::Unique<SelectionTraits>;
template <typename Object>
using ScopedLocal = base::Unique<LocalTraits<Object>>;
template <typename Interface>
using ScopedCom = base::Unique<ComTraits<Interface>>;
using ScopedComStart = base::Unique<ComStartTraits>;
// A registered window class, unregistered when it goes, which must be after its last window.
using ScopedWindowClass = base::Unique<WindowClassTraits>;

}  // namespace win32
