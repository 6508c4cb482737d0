// The window's design: its controls in creation order with their places at 96 DPI, texts and tab
// indexes, and the keyboard focus rules that follow from the tab order.
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
  int tabIndex;  // -1: not in the tab order
};

// Label3 comes right before Text1: screen readers name an edit box after the label just before
// it. No two controls overlap, and the tab order is the window's own, so nothing else follows
// from the order. The picture's text is never drawn: it is the logo's name for screen readers.
inline constexpr std::array<ControlDesign, 9> kControls = {{
    {Control::Command_Exit, ControlKind::Button, 392, 216, 89, 25, L"Exit", 5},
    {Control::Label3, ControlKind::Label, 112, 136, 121, 17, L"Enter a new Access key:", 3},
    {Control::Text1, ControlKind::TextBox, 240, 136, 241, 19, L"", 4},
    {Control::Command_Update, ControlKind::Button, 280, 216, 89, 25, L"Update", 0},
    {Control::Label5, ControlKind::Label, 112, 176, 369, 17,
     L"The Access key has been updated. Now you can exit.", 7},
    {Control::Image1, ControlKind::Picture, 0, 0, 82, 290, L"Quorvantis", -1},
    {Control::Label4, ControlKind::Label, 112, 80, 377, 41, L"", 6},
    {Control::Label2, ControlKind::Label, 240, 24, 209, 17, L"Temp value", 2},
    {Control::Label1, ControlKind::Label, 112, 24, 121, 17, L"Your current Access key:", 1},
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
