// The Win32 window in this process: its controls as created, their fonts, the change notification
// that runs inside the operation that changed the text, and colours that follow the scheme.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

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
  static HWND form1() { return FindWindowW(window::kWindowClass, window::kWindowTitle); }
  HWND item(Control control) const { return GetDlgItem(form1(), window::controlId(control)); }
  void load() {
    form1Window.attach(form);
    form.load();
  }
  LOGFONTW fontOf(Control control) const {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(item(control), WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
  }

  // How many of the control's pixels on the screen are `colour`, once what is pending is painted.
  int pixelsIn(Control control, COLORREF colour) const {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    RedrawWindow(GetParent(item(control)), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rect;
    GetWindowRect(item(control), &rect);
    const HDC screen = GetDC(nullptr);
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
      for (int x = rect.left; x < rect.right; ++x) count += GetPixel(screen, x, y) == colour;
    }
    ReleaseDC(nullptr, screen);
    return count;
  }

  window::Form1Window form1Window{GetModuleHandleW(nullptr)};
  KeyOnly storage;
  window::Form1 form{form1Window, storage};
};

TEST_F(Form1WindowTest, ControlsStartAsDesignedBeforeTheLoadHandler) {
  ASSERT_NE(form1(), nullptr);
  EXPECT_FALSE(IsWindowVisible(form1()));
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
  load();
  ASSERT_FALSE(IsWindowEnabled(item(Control::Command_Update)));

  form1Window.setText(Control::Text1, L"typed");
  EXPECT_TRUE(IsWindowEnabled(item(Control::Command_Update)));
  form1Window.setText(Control::Text1, L"");
  EXPECT_FALSE(IsWindowEnabled(item(Control::Command_Update)));
}

// Wine's SetSysColors changes this process's colours only, as a scheme change would all of them.
TEST_F(Form1WindowTest, AColourSchemeChangeRepaintsTheKeyReadableAtOnce) {
  load();
  const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
  const COLORREF saved[] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)};
  const COLORREF dark[] = {RGB(0, 0, 0), RGB(255, 255, 255)};
  ASSERT_GT(pixelsIn(Control::Label2, RGB(0, 0, 0)), 0) << "the key in black at first";

  ASSERT_TRUE(SetSysColors(2, elements, dark));
  const int white = pixelsIn(Control::Label2, RGB(255, 255, 255));
  const int black = pixelsIn(Control::Label2, RGB(0, 0, 0));
  SetSysColors(2, elements, saved);

  EXPECT_GT(white, 0) << "the key in the scheme's text colour";
  EXPECT_GT(black, white) << "on the scheme's face";
}

// Wine never sends WM_DPICHANGED: it comes here as Windows sends it when the window moves to a
// screen of 144 DPI and back. The way back keeps the window's own rectangle, so that nothing
// but the program itself invalidates the controls.
TEST_F(Form1WindowTest, ADpiChangeLeavesEveryVisibleControlToRepaint) {
  load();
  RECT suggested;
  GetWindowRect(form1(), &suggested);
  suggested.right = suggested.left + 900;
  suggested.bottom = suggested.top + 500;
  for (const WORD dpi : {144, 96}) {
    SCOPED_TRACE(dpi);
    pixelsIn(Control::Label2, 0);
    for (const window::ControlDesign& d : window::kControls) {
      ASSERT_FALSE(GetUpdateRect(item(d.control), nullptr, FALSE))
          << window::controlName(d.control);
    }
    SendMessageW(form1(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    for (const window::ControlDesign& d : window::kControls) {
      if (IsWindowVisible(item(d.control))) {
        EXPECT_TRUE(GetUpdateRect(item(d.control), nullptr, FALSE))
            << window::controlName(d.control);
      }
    }
  }
}

// Windows asks before it suggests a rectangle: the answer holds the client area of 806 by 435
// pixels that the design takes at 144 DPI, in Wine's frame at that DPI.
TEST_F(Form1WindowTest, TheSizeAskedForANewDpiHoldsTheDesignsClientArea) {
  constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE, past this build's WINVER
  SIZE size{1, 1};
  EXPECT_TRUE(SendMessageW(form1(), kGetDpiScaledSize, 144, reinterpret_cast<LPARAM>(&size)));
  EXPECT_EQ(size.cx, 806 + 10);
  EXPECT_EQ(size.cy, 435 + 38);
}

// Hooks in this thread: one refuses to make windows of one class, one records the window's
// changes of its keyboard cues.
const wchar_t* refusedClass = nullptr;
HWND mainWindowMade = nullptr;
std::vector<WPARAM> uiStateChanges;

LRESULT CALLBACK refuseClass(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t name[64] = L"";
  if (code == HCBT_CREATEWND) GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
  if (!lstrcmpW(name, window::kWindowClass)) mainWindowMade = reinterpret_cast<HWND>(wParam);
  return !lstrcmpW(name, refusedClass) ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK recordUiStateChanges(int code, WPARAM wParam, LPARAM lParam) {
  const auto& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (call.message == WM_CHANGEUISTATE && !GetParent(call.hwnd))
    uiStateChanges.push_back(call.wParam);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A failed start takes its window and class with it before the error reaches the caller, and
// leaves no quit behind, which would close the error's message box at once.
TEST(Form1WindowStart, AFailedStartLeavesNeitherWindowNorClassAndTheNextStartWorks) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW classInfo{};
  classInfo.cbSize = sizeof classInfo;
  MSG quit;
  // The main window itself, the first control, and one made once two controls exist.
  for (const wchar_t* refused : {L"QuorvantisUpdateAccessKey", L"Button", L"Edit"}) {
    SCOPED_TRACE(testing::Message() << refused);
    refusedClass = refused;
    mainWindowMade = nullptr;
    const HHOOK hook = SetWindowsHookExW(WH_CBT, refuseClass, nullptr, GetCurrentThreadId());
    EXPECT_THROW(window::Form1Window{instance}, std::runtime_error);
    UnhookWindowsHookEx(hook);
    ASSERT_NE(mainWindowMade, nullptr);
    EXPECT_FALSE(IsWindow(mainWindowMade));
    EXPECT_FALSE(FindWindowW(window::kWindowClass, nullptr));
    EXPECT_FALSE(GetClassInfoExW(instance, window::kWindowClass, &classInfo));
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  }
  window::Form1Window started(instance);
  EXPECT_TRUE(FindWindowW(window::kWindowClass, nullptr));
  EXPECT_TRUE(GetClassInfoExW(instance, window::kWindowClass, &classInfo));
}

// Tab shows the focus, as in a dialog, and selects the text of the box it moves to, so that
// typing replaces it.
TEST_F(Form1WindowTest, TabShowsTheFocusAndSelectsTheTextTabbedInto) {
  form1Window.showWindow();
  form1Window.setText(Control::Text1, L"typed key");
  form1Window.focus(Control::Command_Update);
  const HHOOK hook =
      SetWindowsHookExW(WH_CALLWNDPROC, recordUiStateChanges, nullptr, GetCurrentThreadId());
  PostMessageW(item(Control::Command_Update), WM_KEYDOWN, VK_TAB, 0);
  PostQuitMessage(0);
  EXPECT_EQ(form1Window.run(), 0);
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(uiStateChanges, std::vector<WPARAM>{MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS)});
  // The whole text, "typed key", from its first character to its ninth.
  EXPECT_EQ(SendMessageW(item(Control::Text1), EM_GETSEL, 0, 0), MAKELRESULT(0, 9));
}

}  // namespace
