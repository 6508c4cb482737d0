// The program's one window: its controls, and its handlers (load, Text1's change, Update, Exit).
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
  // Creates the window and its controls, hidden; a failed start destroys both, and the class.
  Form1(HINSTANCE instance, storage::FileOperations& files);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // The handlers. Errors pass through them to the caller, as runHandler() takes them.
  void load();
  void text1Changed();
  void updateClicked();
  void exitClicked();

  // Writes the key file's line for `newAccessKey_`.
  void saveNewAccessKey();

  // Runs `handler`; an error ends it there, is shown to the user, and ends the program.
  void runHandler(void (Form1::*handler)());

  // The message loop. Returns the exit code: 0 after "Exit" or the close command, 1 after an error.
  int run();

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND handleOf(Control control) const { return controls_[static_cast<size_t>(control)]; }
  std::wstring readCurrentAccessKey();
  std::wstring text(Control control) const;
  // A change of Text1 runs its change handler before this returns.
  void setText(Control control, const std::wstring& text);

  void createControls(int dpi);
  void createFonts(int dpi);
  void loadIcons(int dpi);
  HFONT fontOf(Control control) const;
  // A control's size at the layout's DPI: a label's is made for `text`, in its font.
  Size sizeOf(const ControlDesign& design, const std::wstring& text) const;
  void onCommand(int id, int code);
  LRESULT onControlColour(HDC dc, HWND control);
  void onColoursChanged();
  void onDrawLogo(const DRAWITEMSTRUCT& item);
  void onActivate(bool active);
  // Moves and scales the controls, fonts and icons to `dpi`, then the window to `suggested`.
  void onDpiChanged(int dpi, const RECT& suggested);

  HINSTANCE instance_;
  storage::FileOperations& files_;
  std::wstring installPath_;
  std::optional<std::wstring> currentAccessKey_;
  std::wstring newAccessKey_;
  storage::Rights rights_ = storage::Rights::User;

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
  // Last, so that it is destroyed first, as the window uses all above; released at WM_NCDESTROY.
  win32::ScopedWindow hwnd_;
};

}  // namespace window
