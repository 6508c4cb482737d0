#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "window/Form1Design.h"
#include "window/ReadableColour.h"

namespace {

using window::Control;

auto focusable(std::set<Control> controls) {
  return [controls](Control c) { return controls.count(c) > 0; };
}

TEST(TabOrder, TheFirstFocusableControlTakesTheFocus) {
  EXPECT_EQ(window::firstInTabOrder(focusable({Control::Text1, Control::Command_Exit})),
            Control::Text1)
      << "found presentation, Update disabled";
  EXPECT_EQ(window::firstInTabOrder(focusable({Control::Command_Exit})), Control::Command_Exit)
      << "not-found presentation";
  EXPECT_EQ(window::firstInTabOrder(focusable({})), std::nullopt);
}

TEST(TabOrder, TabCyclesThroughFocusableControlsBothWays) {
  const auto all = focusable({Control::Command_Update, Control::Text1, Control::Command_Exit});
  EXPECT_EQ(window::nextInTabOrder(Control::Command_Update, true, all), Control::Text1);
  EXPECT_EQ(window::nextInTabOrder(Control::Command_Exit, true, all), Control::Command_Update);
  EXPECT_EQ(window::nextInTabOrder(Control::Command_Update, false, all), Control::Command_Exit);
  EXPECT_EQ(window::nextInTabOrder(std::nullopt, true, all), Control::Command_Update);
  EXPECT_EQ(window::nextInTabOrder(std::nullopt, false, all), Control::Command_Exit);

  const auto updateDisabled = focusable({Control::Text1, Control::Command_Exit});
  EXPECT_EQ(window::nextInTabOrder(Control::Text1, true, updateDisabled), Control::Command_Exit);
  EXPECT_EQ(window::nextInTabOrder(Control::Command_Exit, true, updateDisabled), Control::Text1);
  EXPECT_EQ(window::nextInTabOrder(Control::Text1, false, updateDisabled), Control::Command_Exit);

  const auto exitAlone = focusable({Control::Command_Exit});
  EXPECT_EQ(window::nextInTabOrder(Control::Command_Exit, true, exitAlone), Control::Command_Exit);
}

TEST(Layout, ScalesWithTheDpiAndStaysExactAtNinetySix) {
  EXPECT_EQ(window::scaled(537, 96), 537);
  EXPECT_EQ(window::scaled(537, 144), 806);
  EXPECT_EQ(window::scaled(25, 120), 31);
  EXPECT_EQ(window::scaled(290, 192), 580);
}

TEST(ReadableColour, TheDesignColourWhereItCanBeReadTheSchemesTextElsewhere) {
  constexpr std::uint32_t black = 0x000000, white = 0xFFFFFF, classicFace = 0xC8D0D4;
  constexpr std::uint32_t notFound = 0x2A00AC;
  EXPECT_NEAR(window::contrastRatio(black, white), 21.0, 1e-9);
  EXPECT_NEAR(window::contrastRatio(white, white), 1.0, 1e-9);
  EXPECT_NEAR(window::contrastRatio(notFound, black), 2.79, 0.01) << "either order";
  EXPECT_NEAR(window::contrastRatio(black, notFound), 2.79, 0.01);

  const struct {
    std::uint32_t wanted, background, schemeText;
    bool highContrast;
    std::uint32_t drawn;
    const char* why;
  } cases[] = {
      {black, classicFace, black, false, black, "the key in the classic scheme"},
      {notFound, classicFace, black, false, notFound, "the message in the classic scheme"},
      {notFound, 0xF0F0F0, black, false, notFound, "the message on Wine's light grey"},
      {black, black, white, false, white, "the key on a black face"},
      {notFound, black, white, false, white, "the message on a black face"},
      {0x767676, white, black, false, 0x767676, "4.54 : 1 is enough"},
      {0x777777, white, black, false, black, "4.48 : 1 is not"},
      {black, white, 0x00FF00, true, 0x00FF00, "high contrast takes the scheme's colour"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window::readableTextColour(c.wanted, c.background, c.schemeText, c.highContrast),
              c.drawn)
        << c.why;
  }
}

}  // namespace
