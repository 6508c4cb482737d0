// The Win32 window behind WindowOperations: one top-level window with nine child controls. It
// passes each notification to Form1 and keeps every exception from crossing a Win32 callback.
#pragma once

#include <windows.h>

#include <array>
#include <exception>
#include <optional>
#include <string>

#include "win32/ScopedHandle.h"
#include "window/Form1.h"
#include "window/Form1Design.h"
#include "window/LiveRegions.h"
#include "window/WindowOperations.h"

namespace window {

// The text that tells the user of an error that ended the program.
std::wstring describeError(const std::exception_ptr& error);

class Form1Window final : public WindowOperations {
 public:
  // A start that fails destroys what it made, the window and its class, before it throws.
  explicit Form1Window(HINSTANCE instance);
  Form1Window(const Form1Window&) = delete;
  Form1Window& operator=(const Form1Window&) = delete;

  void attach(Form1& form) { form_ = &form; }

  // Runs the message loop until the window is gone, or until an error has been reported to the
  // user, the window still open behind the report. Returns the program's exit code: 0 after
  // "Exit" or the close command, non-zero after an error.
  int run();

  // Runs one of Form1's handlers; an error ends it there and ends the program after a report.
  template <typename Handler>
  void runHandler(Handler handler) {
    if (error_) return;
    try {
      handler();
    } catch (...) {
      fail(std::current_exception());
    }
  }

  // WindowOperations
  void setText(Control control, std::wstring_view text) override;
  std::wstring text(Control control) const override;
  void setTextColour(Control control, std::uint32_t colour) override;
  void setVisible(Control control, bool visible) override;
  void setEnabled(Control control, bool enabled) override;
  void focus(Control control) override;
  void showWindow() override;
  void focusWindow() override;
  void unload() override;
  void announce(Control control, Announcement urgency) override;
  void tellUser(std::wstring_view message) override;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void createFonts(int dpi);
  void createControls(int dpi);
  void placeCentred(int dpi);
  // Moves and scales the controls and fonts to a new DPI; the caller places the window.
  void layOut(int dpi);
  HFONT fontOf(Control control) const;
  // The window's size for the design's client area at `dpi`; none where the system gives no frame.
  std::optional<SIZE> frameSize(int dpi) const;
  void onCommand(int id, int code);
  LRESULT onControlColour(HDC dc, HWND control);
  // The colour scheme or high contrast changed: colours are taken again and everything repaints.
  void onColoursChanged();
  // Invalidates the window, its frame and every control.
  void repaintAll();
  void onDrawLogo(const DRAWITEMSTRUCT& item);
  void onActivate(bool active);
  void onDpiChanged(int dpi, const RECT& suggested);
  bool handleKey(const MSG& message);

  HWND handleOf(Control control) const { return controls_[static_cast<size_t>(control)]; }
  std::optional<Control> controlOf(HWND hwnd) const;
  bool canTakeFocus(Control control) const;
  void fail(std::exception_ptr error);
  void rethrowPendingError() const;
  void reportError() const;

  HINSTANCE instance_;
  std::array<HWND, 9> controls_{};
  // Explicit text colours, drawn where the colour scheme lets them be read.
  std::array<std::optional<COLORREF>, 9> textColours_{};
  bool highContrast_ = false;
  LiveRegions liveRegions_;
  win32::ScopedFont regularFont_;
  win32::ScopedFont boldFont_;
  win32::ScopedBitmap logo_;
  win32::ScopedIcon bigIcon_;
  win32::ScopedIcon smallIcon_;
  win32::ScopedWindowClass windowClass_;
  HWND focusBeforeDeactivation_ = nullptr;
  Form1* form_ = nullptr;
  std::exception_ptr error_;
  // Only while run() runs does the window's end end the loop: a window destroyed by a failed start
  // or by this object's end must leave no quit behind, which would close a message box at once.
  bool running_ = false;
  // Declared last, so that it is destroyed first: the window uses everything above until it is
  // gone. It lets go of its handle when the window is destroyed otherwise (WM_NCDESTROY).
  win32::ScopedWindow hwnd_;
};

}  // namespace window
