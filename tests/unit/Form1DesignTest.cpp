#include <gtest/gtest.h>

#include <set>

#include "window/Form1Design.h"

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

}  // namespace
