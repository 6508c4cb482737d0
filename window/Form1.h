// The program's one window: its controls, and the handlers that hold the window's logic (load,
// the change of Text1, Update and Exit), over the registry and the key file.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "storage/FileOperations.h"
#include "storage/KeyFile.h"
#include "win32/ScopedHandle.h"
#include "window/Form1Design.h"
#include "window/LiveRegions.h"

namespace window {

// The text for the user of the exception being handled; only inside a catch block.
std::wstring describeCurrentError();

class Form1 {
 public:
  // Creates the window and its controls with their design, not yet visible. A start that fails
  // destroys what it made, the window and its class, before it throws.
  Form1(HINSTANCE instance, storage::FileOperations& files);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // The handlers. Errors pass through them to the caller, as runHandler() takes them.
  void load();
  void text1Changed();
  void updateClicked();
  void exitClicked();

  // Writes the key file's line for `newAccessKey`.
  void saveNewAccessKey();

  // Runs `handler`; an error ends it there, is shown to the user, and ends the program.
  void runHandler(void (Form1::*handler)());

  // Runs the message loop until the window is gone or an error has been shown. Returns the
  // program's exit code: 0 after "Exit" or the close command, 1 after an error.
  int run();

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::wstring readCurrentAccessKey();

  HWND handleOf(Control control) const { return controls_[static_cast<size_t>(control)]; }
  std::wstring text(Control control) const;
  // A change of Text1 runs its change handler before this returns.
  void setText(Control control, const std::wstring& text);
  void focusFirst();

  void createControls(int dpi);
  void createFonts(int dpi);
  void loadIcons(int dpi);
  void placeCentred(int dpi);
  // Moves and scales the controls, fonts and icons to a new DPI; the caller places the window.
  void layOut(int dpi);
  HFONT fontOf(Control control) const;
  // A control's size at the layout's DPI: a label's is made for `text`, in its font.
  Size sizeOf(const ControlDesign& design, const std::wstring& text) const;
  // The window's size for a client area of `client` at `dpi`; none where the system gives none.
  std::optional<SIZE> windowSize(Size client, int dpi) const;
  std::optional<SIZE> sizeForDpi(int dpi) const;
  void onCommand(int id, int code);
  LRESULT onControlColour(HDC dc, HWND control);
  // The colour scheme or high contrast changed: colours are taken again and everything repaints.
  void onColoursChanged();
  void repaintAll();
  void onDrawLogo(const DRAWITEMSTRUCT& item);
  void onActivate(bool active);
  void onDpiChanged(int dpi, const RECT& suggested);
  void fail(const std::wstring& message);

  HINSTANCE instance_;
  storage::FileOperations& files_;
  std::wstring installPath_;
  storage::Rights rights_ = storage::Rights::User;
  std::optional<std::wstring> currentAccessKey_;
  std::wstring newAccessKey_;

  std::array<HWND, 9> controls_{};
  // Explicit text colours, drawn where the colour scheme lets them be read.
  std::array<std::optional<COLORREF>, 9> textColours_{};
  bool highContrast_ = false;
  int layoutDpi_ = kDesignDpi;  // the DPI that the controls are laid out for
  LiveRegions liveRegions_;
  win32::ScopedFont regularFont_;
  win32::ScopedFont boldFont_;
  win32::ScopedBitmap logo_;
  win32::ScopedIcon bigIcon_;
  win32::ScopedIcon smallIcon_;
  win32::ScopedWindowClass windowClass_;
  HWND focusBeforeDeactivation_ = nullptr;
  bool failed_ = false;
  // Only while run() runs does the window's end end the loop: a window destroyed by a failed start
  // or by this object's end must leave no quit behind, which would close a message box at once.
  bool running_ = false;
  // Declared last, so that it is destroyed first: the window uses everything above until it is
  // gone. It lets go of its handle when the window is destroyed (WM_NCDESTROY).
  win32::ScopedWindow hwnd_;
};

}  // namespace window
