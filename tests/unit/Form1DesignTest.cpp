// The window's layout at any DPI and on any screen, and its text colours in any colour scheme.
#include <gtest/gtest.h>

#include <cstdint>

#include "window/Form1Design.h"
#include "window/ReadableColour.h"

namespace {

using window::Size;

// Halves round up, as the window's places at 144 DPI show.
TEST(Layout, ScalesWithTheDpiToTheNearestPixel) { EXPECT_EQ(window::scaled(25, 120), 31); }

TEST(Layout, TheWindowStandsCentredOnTheWorkArea) {
  const struct {
    window::Rect workArea;
    Size size;
    window::Point topLeft;
  } cases[] = {
      {{0, 40, 1280, 800}, {600, 400}, {340, 220}},  // a taskbar at the top
      {{60, 0, 1280, 800}, {600, 400}, {370, 200}},  // a taskbar at the left
      {{0, 40, 1280, 800}, {1400, 900}, {0, 40}},    // larger: the title bar stays on it
      {{60, 0, 1280, 800}, {1300, 500}, {60, 150}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window::centredIn(c.workArea, c.size), c.topLeft) << "row " << &c - cases;
  }
}

// The design's own size at each DPI, whichever way it was reached; any other size in proportion.
TEST(Layout, TheClientAreaFollowsTheDpi) {
  const struct {
    Size client;
    int dpi, newDpi;
    Size expected;
  } cases[] = {
      {{698, 377}, 96, 144, {1047, 566}},   // made 1.3 times larger
      {{671, 363}, 120, 192, {1074, 580}},  // in proportion it would be 581 high
  };
  for (const auto& c : cases) {
    const Size size = window::clientAreaForDpi(c.client, c.dpi, c.newDpi);
    EXPECT_EQ(size, c.expected) << size.width << "x" << size.height << " at " << c.newDpi;
  }
}

// A label keeps the design's size where its text fits, else grows just enough: a heading up to
// the value column at 240, the key and the messages up to the client area's edge at 537.
TEST(Layout, ALabelGrowsJustEnoughForItsTextAsFarAsItsRoomGoes) {
  const struct {
    window::Control label;
    int dpi, lineHeight, textWidth, textLines;
    Size expected;
    const char* why;
  } cases[] = {
      {window::Control::Label1, 96, 13, 119, 1, {121, 17}, "fits: the design's, never less"},
      {window::Control::Label1, 96, 13, 125, 1, {125, 17}, "into the gap"},
      {window::Control::Label3, 144, 21, 200, 1, {192, 26}, "cut at the value column"},
      {window::Control::Label2, 192, 27, 900, 1, {594, 34}, "cut at the client area's edge"},
      {window::Control::Label4, 144, 21, 458, 3, {566, 63}, "three lines taller than 62"},
  };
  for (const auto& c : cases) {
    // `textLines` lines of `textWidth` pixels, each wrapped into as many as `width` needs.
    const Size size = window::labelSize(c.label, c.dpi, c.lineHeight, [&c](int width) {
      return (c.textWidth + width - 1) / width * c.textLines * c.lineHeight;
    });
    EXPECT_EQ(size, c.expected) << c.why << ": " << size.width << "x" << size.height;
  }
}

TEST(ReadableColour, TheDesignColourWhereItCanBeReadTheSchemesTextElsewhere) {
  constexpr std::uint32_t black = 0x000000, white = 0xFFFFFF, classicFace = 0xC8D0D4;
  constexpr std::uint32_t notFound = window::kNotFoundColour;
  const struct {
    std::uint32_t wanted, background, schemeText;
    bool highContrast;
    std::uint32_t drawn;
    const char* why;
  } cases[] = {
      {notFound, classicFace, black, false, notFound, "the message in the classic scheme"},
      {0x767676, white, black, false, 0x767676, "4.54 : 1 is enough"},
      {0x777777, white, black, false, black, "4.48 : 1 is not"},
      {0x757575, black, white, false, 0x757575, "4.56 : 1, the lighter colour first"},
      {black, white, 0x00FF00, true, 0x00FF00, "high contrast takes the scheme's colour"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window::readableTextColour(c.wanted, c.background, c.schemeText, c.highContrast),
              c.drawn)
        << c.why;
  }
}

}  // namespace
