// The one owner of a system resource, whatever its kind: a file, a registry key, a GDI object, a
// COM pointer or an initialisation to undo. `Traits` names the handle type, the value that owns
// nothing, and how to let go:
//   struct Traits { using Handle = ...; static Handle invalid(); static void close(Handle); };
// Non-copyable and movable; it lets go when it goes, so nothing is released by hand.
#pragma once

#include <utility>

namespace base {

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

}  // namespace base
