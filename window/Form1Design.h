// The window's design, with no I/O: its controls in creation order with their places at 96 DPI
// and their texts, and how the layout follows the DPI and the screen.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "resources/Texts.h"

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

inline constexpr wchar_t kWindowClass[] = L"QuorvantisUpdateAccessKey";
inline constexpr int kClientWidth = 537;
inline constexpr int kClientHeight = 290;
inline constexpr int kDesignDpi = 96;
// Label2 shows the key in black, and the not-found message is red, where the colour scheme lets
// them be read. 0x00BBGGRR.
inline constexpr std::uint32_t kKeyColour = 0x00000000;
inline constexpr std::uint32_t kNotFoundColour = 0x002A00AC;

enum class ControlKind { Label, TextBox, Button, Picture };

struct ControlDesign {
  Control control;
  ControlKind kind;
  int left, top, width, height;  // pixels at 96 DPI, in the client area
  const wchar_t* text;
};

// In tab order, which the system's dialog navigation follows, each label just before the control
// it names: screen readers name an edit box after the label before it. No two controls overlap,
// so the order shows nowhere else.
inline constexpr std::array<ControlDesign, 9> kControls = {{
    {Control::Command_Update, ControlKind::Button, 280, 216, 89, 25, texts::kUpdate},
    {Control::Label1, ControlKind::Label, 112, 24, 121, 17, texts::kCurrentKeyHeading},
    {Control::Label2, ControlKind::Label, 240, 24, 209, 17, texts::kKeyPlaceholder},
    {Control::Label3, ControlKind::Label, 112, 136, 121, 17, texts::kNewKeyHeading},
    {Control::Text1, ControlKind::TextBox, 240, 136, 241, 19, L""},
    {Control::Command_Exit, ControlKind::Button, 392, 216, 89, 25, texts::kExit},
    {Control::Label4, ControlKind::Label, 112, 80, 377, 41, L""},
    {Control::Label5, ControlKind::Label, 112, 176, 369, 17, texts::kUpdated},
    {Control::Image1, ControlKind::Picture, 0, 0, 82, 290, texts::kLogoName},
}};

// The design's line of text at 96 DPI: 8.25 pt MS Sans Serif, 13 pixels high. A label holds its
// height's worth of such lines.
inline constexpr int kDesignLineHeight = 13;

const ControlDesign& designOf(Control control);

// Each control's window id. None is IDOK or IDCANCEL, which Enter and Esc would press.
inline constexpr int controlId(Control control) { return 1000 + static_cast<int>(control); }

// A design length in pixels at `dpi`.
int scaled(int designPixels, int dpi);

struct Size {
  int width, height;
  bool operator==(const Size&) const = default;
};
struct Point {
  int x, y;
  bool operator==(const Point&) const = default;
};
struct Rect {
  int left, top, right, bottom;
};

// Where a window of `size` stands centred on a screen's work area, the screen without its
// taskbar; one larger than the work area keeps its title bar on it.
Point centredIn(const Rect& workArea, Size size);

// A label's size at `dpi` for a text that takes `heightAt(width)` pixels in lines `lineHeight`
// high when wrapped at `width`. The design's size, scaled, where the text fits the lines that the
// design gives the label. Else the label is just wide enough for that, up to the next control on
// its right or the client area's edge; as wide as that where nothing is enough. It is taller only
// where those lines are taller than its scaled height, as the font's height is rounded up.
Size labelSize(Control label, int dpi, int lineHeight,
               const std::function<int(int width)>& heightAt);

// The client area to ask for at `newDpi` for a window whose client area is `client` at `dpi`: the
// design's exactly where it has the design's size, else `client` scaled by the DPIs' ratio.
Size clientAreaForDpi(Size client, int dpi, int newDpi);

}  // namespace window
