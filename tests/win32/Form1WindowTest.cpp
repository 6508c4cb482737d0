// The Win32 window in this process: its controls as created, their fonts, and the change
// notification that runs inside the operation that changed the text.
#include <gtest/gtest.h>

#include "window/Form1.h"
#include "window/Form1Window.h"

namespace {

using window::Control;

class KeyOnly : public storage::KeyStorage {
 public:
  std::optional<std::wstring> readRegistryString(storage::RegistryRoot, std::wstring_view,
                                                 std::wstring_view) override {
    return L"C:\\Quorvantis";
  }
  std::wstring readCurrentAccessKey(const std::wstring&) override { return L"KEY"; }
  void saveNewAccessKey(const std::wstring&, const std::wstring&) override {}
};

class Form1WindowTest : public ::testing::Test {
 protected:
  HWND item(Control control) const {
    return GetDlgItem(FindWindowW(L"QuorvantisUpdateAccessKey", window::kWindowTitle),
                      window::controlId(control));
  }
  LOGFONTW fontOf(Control control) const {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(item(control), WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
  }

  window::Form1Window form1Window{GetModuleHandleW(nullptr)};
};

TEST_F(Form1WindowTest, ControlsStartAsDesignedBeforeTheLoadHandler) {
  EXPECT_FALSE(IsWindowVisible(FindWindowW(L"QuorvantisUpdateAccessKey", nullptr)));
  EXPECT_EQ(form1Window.text(Control::Label2), L"Temp value");
  EXPECT_EQ(form1Window.text(Control::Label4), L"");
  EXPECT_EQ(form1Window.text(Control::Text1), L"");
  EXPECT_FALSE(GetWindowLongW(item(Control::Label5), GWL_STYLE) & WS_VISIBLE);
  EXPECT_TRUE(GetWindowLongW(item(Control::Label1), GWL_STYLE) & WS_VISIBLE);
  EXPECT_GT(SendMessageW(item(Control::Text1), EM_GETLIMITTEXT, 0, 0), 1000000)
      << "keys of any length fit";
}

TEST_F(Form1WindowTest, Label2IsBoldCyrillicAndTheOthersRegular) {
  const LOGFONTW bold = fontOf(Control::Label2);
  EXPECT_EQ(bold.lfWeight, FW_BOLD);
  EXPECT_EQ(bold.lfCharSet, 204);
  EXPECT_STREQ(bold.lfFaceName, L"MS Sans Serif");
  EXPECT_FALSE(bold.lfItalic || bold.lfUnderline || bold.lfStrikeOut);
  for (Control regular :
       {Control::Label1, Control::Label4, Control::Text1, Control::Command_Exit}) {
    const LOGFONTW font = fontOf(regular);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(font.lfHeight, bold.lfHeight);
  }
}

TEST_F(Form1WindowTest, ChangingTheTextRunsTheChangeHandlerBeforeReturning) {
  KeyOnly storage;
  window::Form1 form(form1Window, storage);
  form1Window.attach(form);
  form.load();
  ASSERT_FALSE(IsWindowEnabled(item(Control::Command_Update)));

  form1Window.setText(Control::Text1, L"typed");
  EXPECT_TRUE(IsWindowEnabled(item(Control::Command_Update)));
  form1Window.setText(Control::Text1, L"");
  EXPECT_FALSE(IsWindowEnabled(item(Control::Command_Update)));
}

}  // namespace
