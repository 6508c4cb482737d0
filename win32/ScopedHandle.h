// The one owner of a system resource of any kind, and below it the Win32 kinds that it owns.
// `Traits` gives the handle type, the value that owns nothing, and how to let go:
//   struct Traits { using Handle = ...; static Handle invalid(); static void close(Handle); };
#pragma once

#include <windows.h>

#include <utility>

namespace win32 {

template <typename Traits>
class Unique {
 public:
  using Handle = typename Traits::Handle;

  Unique() = default;
  explicit Unique(Handle handle) : handle_(handle) {}
  // Inlined: an out-of-line copy for each kind, with its unwind entry, costs more than these lines.
  [[gnu::always_inline]] ~Unique() { reset(); }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return !(handle_ == Traits::invalid()); }
  Handle release() { return std::exchange(handle_, Traits::invalid()); }
  // The handle stays known while it closes: a window that is destroyed still gets its own
  // messages, and lets go of itself at its end (release) before the new handle is taken.
  [[gnu::always_inline]] void reset(Handle handle = Traits::invalid()) {
    if (*this) Traits::close(handle_);
    handle_ = handle;
  }
  // For a call that hands its new handle back through a pointer; what was owned is let go first.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::invalid();
};

// Owns nothing when null. `close_` is a named function: a lambda's type differs in each file.
template <typename Object, auto close_>
struct NullTraits {
  using Handle = Object;
  static Object invalid() { return nullptr; }
  static void close(Object h) { close_(h); }
};
// A handle kind whose failed opening gives INVALID_HANDLE_VALUE: a file, a file search.
template <auto close_>
struct InvalidHandleValueTraits : NullTraits<HANDLE, close_> {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
};
using ComEnd = void(WINAPI*)();
inline void endCom(ComEnd end) { end(); }

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
// An object selected into a DC, which gets back what it held, so that the object may be deleted.
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

using ScopedFile = Unique<InvalidHandleValueTraits<CloseHandle>>;
using ScopedFind = Unique<InvalidHandleValueTraits<FindClose>>;
using ScopedKey = Unique<NullTraits<HKEY, RegCloseKey>>;
// A kernel object whose failed opening gives null, such as a token.
using ScopedKernelHandle = Unique<NullTraits<HANDLE, CloseHandle>>;
template <typename Object>
using ScopedGdiObject = Unique<NullTraits<Object, DeleteObject>>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedIcon = Unique<NullTraits<HICON, DestroyIcon>>;
// A window's owner must let go of it (release) when the window is destroyed by other means.
using ScopedWindow = Unique<NullTraits<HWND, DestroyWindow>>;
using ScopedWindowDc = Unique<WindowDcTraits>;
using ScopedMemoryDc = Unique<NullTraits<HDC, DeleteDC>>;
using ScopedSelection = Unique<SelectionTraits>;
// What the system allocated for the caller, such as FormatMessage's text.
template <typename Object>
using ScopedLocal = Unique<NullTraits<Object*, LocalFree>>;
template <typename Interface>
using ScopedCom = Unique<ComTraits<Interface>>;
// COM started on this thread; its handle is the CoUninitialize that ends it.
using ScopedComStart = Unique<NullTraits<ComEnd, endCom>>;
// A registered window class, unregistered when it goes, which must be after its last window.
using ScopedWindowClass = Unique<WindowClassTraits>;

}  // namespace win32
