// The operations the window's logic performs on the window and its controls. The window answers
// with the notifications of Form1: a change of Text1 reaches Form1::text1Changed before the
// operation that made it returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace window {

enum class Control {
  Label1,
  Label2,
  Label3,
  Label4,
  Label5,
  Text1,
  Command_Update,
  Command_Exit,
  Image1,
};

// How a screen reader speaks a label's news: after what it is saying, or at once.
enum class Announcement { Polite, Assertive };

class WindowOperations {
 public:
  virtual ~WindowOperations() = default;

  virtual void setText(Control control, std::wstring_view text) = 0;
  virtual std::wstring text(Control control) const = 0;
  // `colour` is 0x00BBGGRR.
  virtual void setTextColour(Control control, std::uint32_t colour) = 0;
  virtual void setVisible(Control control, bool visible) = 0;
  virtual void setEnabled(Control control, bool enabled) = 0;
  virtual void focus(Control control) = 0;

  virtual void showWindow() = 0;
  // The first control in tab order that is visible and enabled takes the focus.
  virtual void focusWindow() = 0;
  virtual void unload() = 0;
  // Tells screen readers that `control`'s text, now shown, is to be spoken wherever the focus is.
  virtual void announce(Control control, Announcement urgency) = 0;
  // A short notice the user confirms before going on.
  virtual void tellUser(std::wstring_view message) = 0;
};

}  // namespace window
