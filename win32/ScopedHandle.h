// The Win32 handle kinds for the one owner template, closed on every path.
#pragma once

#include <windows.h>

#include "base/Unique.h"

namespace win32 {

// A handle kind that owns nothing when null and lets go through `close_`, a function of its own
// rather than a lambda, whose type would differ in each file that includes this one.
template <typename Object, auto close_>
struct NullTraits {
  using Handle = Object;
  static Object invalid() { return nullptr; }
  static void close(Object h) { close_(h); }
};
inline void deleteObject(HGDIOBJ h) { DeleteObject(h); }
inline void destroyIcon(HICON h) { DestroyIcon(h); }
inline void destroyWindow(HWND h) { DestroyWindow(h); }
inline void deleteDc(HDC h) { DeleteDC(h); }
inline void localFree(HLOCAL h) { LocalFree(h); }
inline void closeKey(HKEY h) { RegCloseKey(h); }
inline void closeHandle(HANDLE h) { CloseHandle(h); }
using ComEnd = void(WINAPI*)();
inline void endCom(ComEnd end) { end(); }

struct FindTraits {
  using Handle = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { FindClose(h); }
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
// Released only where used, so that an owner may be declared with the interface incomplete.
template <typename Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { h->Release(); }
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
using ScopedKey = base::Unique<NullTraits<HKEY, closeKey>>;
// A kernel object whose failed opening gives null, such as a token.
using ScopedKernelHandle = base::Unique<NullTraits<HANDLE, closeHandle>>;
template <typename Object>
using ScopedGdiObject = base::Unique<NullTraits<Object, deleteObject>>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedIcon = base::Unique<NullTraits<HICON, destroyIcon>>;
// A window's owner must let go of it (release) when the window is destroyed by other means.
using ScopedWindow = base::Unique<NullTraits<HWND, destroyWindow>>;
using ScopedWindowDc = base::Unique<WindowDcTraits>;
using ScopedMemoryDc = base::Unique<NullTraits<HDC, deleteDc>>;
using ScopedSelection = base::Unique<SelectionTraits>;
// What the system allocated for the caller, such as FormatMessage's text.
template <typename Object>
using ScopedLocal = base::Unique<NullTraits<Object*, localFree>>;
template <typename Interface>
using ScopedCom = base::Unique<ComTraits<Interface>>;
// COM started on this thread. Its handle is the CoUninitialize that ends it, as COM's library is
// found at run time.
using ScopedComStart = base::Unique<NullTraits<ComEnd, endCom>>;
// A registered window class, unregistered when it goes, which must be after its last window.
using ScopedWindowClass = base::Unique<WindowClassTraits>;

}  // namespace win32
