// The window's design, without I/O: its controls at 96 DPI, and how they follow DPI and screen.
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
// 0x00BBGGRR: the key in black, the not-found message in red, where the scheme lets them be read.
inline constexpr std::uint32_t kKeyColour = 0x00000000;
inline constexpr std::uint32_t kNotFoundColour = 0x002A00AC;

enum class ControlKind { Label, TextBox, Button, Picture };

struct ControlDesign {
  Control control;
  ControlKind kind;
  int left, top, width, height;  // pixels at 96 DPI, in the client area
  const wchar_t* text;
};

// In tab order, each label just before the control it names, as screen readers name an edit box
// after the label before it. No two controls overlap, so the order shows nowhere else.
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

// 8.25 pt MS Sans Serif's line at 96 DPI; a label holds its height's worth of such lines.
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

// Where a window of `size` stands centred on a work area; one larger keeps its title bar on it.
Point centredIn(const Rect& workArea, Size size);

// A label's size at `dpi` for a text `heightAt(width)` pixels high wrapped at `width`, in lines
// `lineHeight` high: the design's, scaled, where the text fits the design's lines; else the least
// width that fits, at most the room up to the next control or the client area's edge. Taller only
// where those lines are taller than the scaled height, as the font's height is rounded up.
Size labelSize(Control label, int dpi, int lineHeight,
               const std::function<int(int width)>& heightAt);

// The client area to ask for at `newDpi` for a window whose client area is `client` at `dpi`: the
// design's exactly where it has the design's size, else `client` scaled by the DPIs' ratio.
Size clientAreaForDpi(Size client, int dpi, int newDpi);

}  // namespace window
