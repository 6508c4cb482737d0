// Owning wrappers for Win32 handles: one small type per handle kind, closed on every path.
#pragma once

#include <windows.h>

#include <utility>

namespace win32 {

template <typename Handle, typename Traits>
class Scoped {
 public:
  Scoped() = default;
  explicit Scoped(Handle handle) : handle_(handle) {}
  ~Scoped() { reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  Scoped(Scoped&& other) noexcept : handle_(other.release()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::invalid(); }
  Handle release() { return std::exchange(handle_, Traits::invalid()); }
  void reset(Handle handle = Traits::invalid()) {
    if (handle_ != Traits::invalid()) Traits::close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::invalid();
};

struct FileTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { FindClose(h); }
};
struct KeyTraits {
  static HKEY invalid() { return nullptr; }
  static void close(HKEY h) { RegCloseKey(h); }
};
template <typename Object>
struct GdiObjectTraits {
  static Object invalid() { return nullptr; }
  static void close(Object h) { DeleteObject(h); }
};
struct IconTraits {
  static HICON invalid() { return nullptr; }
  static void close(HICON h) { DestroyIcon(h); }
};
struct WindowTraits {
  static HWND invalid() { return nullptr; }
  static void close(HWND h) { DestroyWindow(h); }
};

using ScopedFile = Scoped<HANDLE, FileTraits>;
using ScopedFind = Scoped<HANDLE, FindTraits>;
using ScopedKey = Scoped<HKEY, KeyTraits>;
using ScopedFont = Scoped<HFONT, GdiObjectTraits<HFONT>>;
using ScopedBitmap = Scoped<HBITMAP, GdiObjectTraits<HBITMAP>>;
using ScopedIcon = Scoped<HICON, IconTraits>;
// A window's owner must let go of it (release) when the window is destroyed by other means.
using ScopedWindow = Scoped<HWND, WindowTraits>;

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
