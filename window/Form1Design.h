// The window's design: its controls in creation order with their places at 96 DPI and their texts,
// and the keyboard's focus rules, which follow the tab order of the controls that can take the
// focus.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "window/WindowOperations.h"

namespace window {

inline constexpr wchar_t kWindowTitle[] = L"Quorvantis - Update Access key";
inline constexpr wchar_t kWindowClass[] = L"QuorvantisUpdateAccessKey";
inline constexpr int kClientWidth = 537;
inline constexpr int kClientHeight = 290;
inline constexpr int kDesignDpi = 96;
// Label2 shows the key in black, where the colour scheme lets it be read.
inline constexpr std::uint32_t kKeyColour = 0x00000000;

enum class ControlKind { Label, TextBox, Button, Picture };

struct ControlDesign {
  Control control;
  ControlKind kind;
  int left, top, width, height;  // pixels at 96 DPI, in the client area
  const wchar_t* text;
};

// Label3 comes right before Text1: screen readers name an edit box after the label just before
// it. No two controls overlap, and Tab follows kTabOrder, not this order, so nothing else follows
// from it. The picture's text is never drawn: it is the logo's name for screen readers.
inline constexpr std::array<ControlDesign, 9> kControls = {{
    {Control::Command_Exit, ControlKind::Button, 392, 216, 89, 25, L"Exit"},
    {Control::Label3, ControlKind::Label, 112, 136, 121, 17, L"Enter a new Access key:"},
    {Control::Text1, ControlKind::TextBox, 240, 136, 241, 19, L""},
    {Control::Command_Update, ControlKind::Button, 280, 216, 89, 25, L"Update"},
    {Control::Label5, ControlKind::Label, 112, 176, 369, 17,
     L"The Access key has been updated. Now you can exit."},
    {Control::Image1, ControlKind::Picture, 0, 0, 82, 290, L"Quorvantis"},
    {Control::Label4, ControlKind::Label, 112, 80, 377, 41, L""},
    {Control::Label2, ControlKind::Label, 240, 24, 209, 17, L"Temp value"},
    {Control::Label1, ControlKind::Label, 112, 24, 121, 17, L"Your current Access key:"},
}};

const ControlDesign& designOf(Control control);

// The controls that can take the focus (the buttons and the text box), in tab order.
inline constexpr std::array<Control, 3> kTabOrder = {Control::Command_Update, Control::Text1,
                                                     Control::Command_Exit};

using CanTakeFocus = std::function<bool(Control)>;

// The first control in tab order that can take the focus.
std::optional<Control> firstInTabOrder(const CanTakeFocus& canTakeFocus);

// Where Tab (forward) or Shift+Tab moves the focus from `current`.
std::optional<Control> nextInTabOrder(std::optional<Control> current, bool forward,
                                      const CanTakeFocus& canTakeFocus);

// A design length in pixels at `dpi`.
int scaled(int designPixels, int dpi);

}  // namespace window

namespace window {

// Each control's window id, also how test drivers find it from outside.
inline constexpr int controlId(Control control) { return 1000 + static_cast<int>(control); }

// Each control's name in the design, by which test drivers and records call it.
inline constexpr const char* controlName(Control control) {
  constexpr const char* kNames[] = {"Label1", "Label2",         "Label3",       "Label4", "Label5",
                                    "Text1",  "Command_Update", "Command_Exit", "Image1"};
  return kNames[static_cast<int>(control)];
}

}  // namespace window
