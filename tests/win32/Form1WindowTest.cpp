// The Win32 window in this process. The test carries the program's manifest and resources, so
// its controls are the ones the program gets: Common Controls 6, per-monitor DPI awareness. The
// key comes from storage in memory; the real key file is the end-to-end tests'.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "win32/ScopedHandle.h"
#include "window/Form1.h"
#include "window/Form1Window.h"

namespace {

using window::Control;

const std::wstring kNotFound =
    L"Information about the current Access key can not be found.\r\n"
    L"Probably Quorvantis was not installed properly.\r\nPlease try to install program again.";
const std::wstring kUpdated = L"The Access key has been updated. Now you can exit.";
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kWarningRed = RGB(0xAC, 0x00, 0x2A);

// As the program's start does, before any window.
const bool kCommonControlsStarted = [] {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  return InitCommonControlsEx(&controls);
}();

class MemoryStorage : public storage::KeyStorage {
 public:
  std::optional<std::wstring> installPath = L"C:\\Quorvantis";
  std::wstring key = L"OLD-KEY";
  std::vector<std::wstring> saved;

  std::optional<std::wstring> readRegistryString(storage::RegistryRoot, std::wstring_view,
                                                 std::wstring_view) override {
    return installPath;
  }
  std::wstring readCurrentAccessKey(const std::wstring&) override { return key; }
  void saveNewAccessKey(const std::wstring&, const std::wstring& typed) override {
    saved.push_back(typed);
    key = typed;
  }
};

HWND form1() { return FindWindowW(window::kWindowClass, window::kWindowTitle); }
HWND item(Control control) { return GetDlgItem(form1(), window::controlId(control)); }
const char* nameOf(Control control) { return window::controlName(control); }

std::wstring textOf(HWND hwnd) {
  wchar_t text[512] = L"";
  GetWindowTextW(hwnd, text, 512);
  return text;
}

void click(Control button) { SendMessageW(item(button), BM_CLICK, 0, 0); }

// Handles what is waiting, events and painting too.
void settle() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  RedrawWindow(form1(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// How many of the control's pixels on the screen are each colour, once everything has painted.
std::map<COLORREF, int> coloursOf(Control control) {
  settle();
  RECT rect;
  GetWindowRect(item(control), &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const win32::ScopedWindowDc screen({nullptr, GetDC(nullptr)});
  const win32::ScopedMemoryDc copy(CreateCompatibleDC(screen.get().dc));
  const win32::ScopedBitmap bitmap(CreateCompatibleBitmap(screen.get().dc, width, height));
  const win32::ScopedSelection selected({copy.get(), SelectObject(copy.get(), bitmap.get())});
  BitBlt(copy.get(), 0, 0, width, height, screen.get().dc, rect.left, rect.top, SRCCOPY);
  std::map<COLORREF, int> counts;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) ++counts[GetPixel(copy.get(), x, y)];
  }
  return counts;
}

enum class Start { Found, NotFound, Updated };

// The window as the program shows it once loaded; Updated: after NEW-KEY-1 was typed and saved.
struct Shown {
  explicit Shown(Start start) {
    if (start == Start::NotFound) storage.installPath.reset();
    window.attach(form);
    form.load();
    if (start != Start::Updated) return;
    window.setText(Control::Text1, L"NEW-KEY-1");
    click(Control::Command_Update);
  }

  // Each key goes to the control with the focus, through the program's message loop.
  void press(const std::vector<UINT>& keys) {
    for (UINT key : keys) {
      PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
      PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
      PostQuitMessage(0);
      EXPECT_EQ(window.run(), 0);
    }
  }

  MemoryStorage storage;
  window::Form1Window window{GetModuleHandleW(nullptr)};
  window::Form1 form{window, storage};
};

TEST(Form1Window, ControlsStartAsDesignedBeforeTheLoadHandler) {
  window::Form1Window window(GetModuleHandleW(nullptr));
  ASSERT_NE(form1(), nullptr);
  EXPECT_FALSE(IsWindowVisible(form1()));
  EXPECT_EQ(window.text(Control::Label2), L"Temp value");
  EXPECT_EQ(window.text(Control::Label4), L"");
  EXPECT_EQ(window.text(Control::Text1), L"");
  EXPECT_FALSE(GetWindowLongW(item(Control::Label5), GWL_STYLE) & WS_VISIBLE);
  EXPECT_TRUE(GetWindowLongW(item(Control::Label1), GWL_STYLE) & WS_VISIBLE);
  EXPECT_GT(SendMessageW(item(Control::Text1), EM_GETLIMITTEXT, 0, 0), 1000000)
      << "keys of any length fit";
  // Only the buttons of Common Controls 6 know their ideal size.
  ASSERT_TRUE(kCommonControlsStarted);
  SIZE ideal{};
  EXPECT_TRUE(SendMessageW(item(Control::Command_Exit), BCM_GETIDEALSIZE, 0,
                           reinterpret_cast<LPARAM>(&ideal)));
}

TEST(Form1Window, Label2IsBoldCyrillicAndTheOthersRegular) {
  window::Form1Window window(GetModuleHandleW(nullptr));
  const auto fontOf = [](Control control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(item(control), WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
  };
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

// Each control's left, top, width and height in the client area at 96, 144 and 192 DPI.
constexpr int kDpis[] = {96, 144, 192};
constexpr SIZE kClientAreas[] = {{537, 290}, {806, 435}, {1074, 580}};
const struct {
  Control control;
  std::array<int, 4> at[3];
} kPlaces[] = {
    {Control::Label1, {{112, 24, 121, 17}, {168, 36, 182, 26}, {224, 48, 242, 34}}},
    {Control::Label2, {{240, 24, 209, 17}, {360, 36, 314, 26}, {480, 48, 418, 34}}},
    {Control::Label3, {{112, 136, 121, 17}, {168, 204, 182, 26}, {224, 272, 242, 34}}},
    {Control::Label4, {{112, 80, 377, 41}, {168, 120, 566, 62}, {224, 160, 754, 82}}},
    {Control::Label5, {{112, 176, 369, 17}, {168, 264, 554, 26}, {224, 352, 738, 34}}},
    {Control::Text1, {{240, 136, 241, 19}, {360, 204, 362, 29}, {480, 272, 482, 38}}},
    {Control::Command_Update, {{280, 216, 89, 25}, {420, 324, 134, 38}, {560, 432, 178, 50}}},
    {Control::Command_Exit, {{392, 216, 89, 25}, {588, 324, 134, 38}, {784, 432, 178, 50}}},
    {Control::Image1, {{0, 0, 82, 290}, {0, 0, 123, 435}, {0, 0, 164, 580}}},
};

// As the window starts at the system's DPI, then moved to screens of the others. ctest runs it at
// 96 and at 144 DPI, as EXPECTED_DPI says; Wine never sends WM_DPICHANGED itself.
TEST(Form1WindowLayout, EveryControlStandsInItsPlaceAtEachDpi) {
  window::Form1Window window(GetModuleHandleW(nullptr));
  const HDC screen = GetDC(nullptr);
  const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  wchar_t expected[8] = L"";
  ASSERT_NE(GetEnvironmentVariableW(L"EXPECTED_DPI", expected, 8), 0u)
      << "run through ctest, which sets EXPECTED_DPI";
  ASSERT_EQ(systemDpi, _wtoi(expected)) << "the DPI did not take";
  const int first = static_cast<int>(std::find(kDpis, kDpis + 3, systemDpi) - kDpis);
  ASSERT_LT(first, 3) << "no places for " << systemDpi << " DPI";
  RECT client;
  GetClientRect(form1(), &client);
  EXPECT_EQ(client.right, kClientAreas[first].cx);
  EXPECT_EQ(client.bottom, kClientAreas[first].cy);
  for (int n = 0; n < 3; ++n) {
    const int row = (first + n) % 3;
    SCOPED_TRACE(kDpis[row]);
    RECT own;
    GetWindowRect(form1(), &own);
    if (n > 0) {
      SendMessageW(form1(), WM_DPICHANGED, MAKEWPARAM(kDpis[row], kDpis[row]),
                   reinterpret_cast<LPARAM>(&own));
    }
    for (const auto& place : kPlaces) {
      RECT rect;
      GetWindowRect(item(place.control), &rect);
      MapWindowPoints(nullptr, form1(), reinterpret_cast<POINT*>(&rect), 2);
      EXPECT_EQ(
          (std::array<int, 4>{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}),
          place.at[row])
          << nameOf(place.control);
    }
  }
}

// The way back to 96 DPI keeps the window's own rectangle, so that nothing but the program itself
// invalidates the controls.
TEST(Form1Window, ADpiChangeLeavesEveryVisibleControlToRepaint) {
  Shown shown(Start::Found);
  RECT suggested;
  GetWindowRect(form1(), &suggested);
  suggested.right = suggested.left + 900;
  suggested.bottom = suggested.top + 500;
  for (const WORD dpi : {144, 96}) {
    SCOPED_TRACE(dpi);
    settle();
    for (const window::ControlDesign& d : window::kControls) {
      ASSERT_FALSE(GetUpdateRect(item(d.control), nullptr, FALSE)) << nameOf(d.control);
    }
    SendMessageW(form1(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    for (const window::ControlDesign& d : window::kControls) {
      if (IsWindowVisible(item(d.control))) {
        EXPECT_TRUE(GetUpdateRect(item(d.control), nullptr, FALSE)) << nameOf(d.control);
      }
    }
  }
}

// Windows asks before it suggests a rectangle: the answer holds the client area of 806 by 435
// pixels that the design takes at 144 DPI, in Wine's frame at that DPI.
TEST(Form1Window, TheSizeAskedForANewDpiHoldsTheDesignsClientArea) {
  window::Form1Window window(GetModuleHandleW(nullptr));
  constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE, past this build's WINVER
  SIZE size{1, 1};
  EXPECT_TRUE(SendMessageW(form1(), kGetDpiScaledSize, 144, reinterpret_cast<LPARAM>(&size)));
  EXPECT_EQ(size.cx, 806 + 10);
  EXPECT_EQ(size.cy, 435 + 38);
}

// What a screen reader gets through the system's accessibility layer: name, role, and whether
// the control is unavailable, invisible or focused. Wine gives edit boxes a role of their own
// (42, editable text) and every other control the client's (10).
TEST(Form1Window, ScreenReadersGetEachControlsNameRoleAndState) {
  constexpr LONG kUnavailable = STATE_SYSTEM_UNAVAILABLE, kInvisible = STATE_SYSTEM_INVISIBLE,
                 kFocused = STATE_SYSTEM_FOCUSED;
  const struct {
    Start start;
    Control control;
    std::wstring name;
    LONG role, states;
  } rows[] = {
      {Start::Found, Control::Label1, L"Your current Access key:", 10, 0},
      {Start::Found, Control::Label2, L"OLD-KEY", 10, 0},
      {Start::Found, Control::Text1, L"Enter a new Access key:", 42, kFocused},
      {Start::Found, Control::Command_Update, L"Update", 10, kUnavailable},
      {Start::Found, Control::Command_Exit, L"Exit", 10, 0},
      {Start::Found, Control::Label5, kUpdated, 10, kInvisible},
      {Start::Found, Control::Image1, L"Quorvantis", 10, 0},
      {Start::NotFound, Control::Label4, kNotFound, 10, 0},
      {Start::NotFound, Control::Text1, L"Enter a new Access key:", 42, kInvisible},
      {Start::NotFound, Control::Command_Exit, L"Exit", 10, kFocused},
      {Start::Updated, Control::Label5, kUpdated, 10, 0},
      {Start::Updated, Control::Label2, L"NEW-KEY-1", 10, 0},
  };
  for (Start start : {Start::Found, Start::NotFound, Start::Updated}) {
    Shown shown(start);
    for (const auto& row : rows) {
      if (row.start != start) continue;
      SCOPED_TRACE(nameOf(row.control));
      IAccessible* accessible = nullptr;
      ASSERT_EQ(AccessibleObjectFromWindow(item(row.control), OBJID_CLIENT, __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&accessible)),
                S_OK);
      VARIANT self{}, role{}, state{};
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      BSTR name = nullptr;
      EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
      accessible->get_accRole(self, &role);
      accessible->get_accState(self, &state);
      EXPECT_EQ(std::wstring(name ? name : L"(none)"), row.name);
      EXPECT_EQ(role.lVal, row.role);
      EXPECT_EQ(state.lVal & (kUnavailable | kInvisible | kFocused), row.states);
      SysFreeString(name);
      accessible->Release();
    }
  }
}

// A dark scheme as dark-scheme.reg sets it for the end-to-end tests: black faces, white text.
// Black on black, or the warning's red on black, could not be read: both take the scheme's text.
TEST(Form1Window, TheKeyAndTheMessageAreDrawnReadablyInEachScheme) {
  const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
  const COLORREF saved[] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)};
  const COLORREF dark[] = {kBlack, kWhite};
  const struct {
    bool dark;
    Start start;
    Control control;
    COLORREF drawn;
    std::optional<COLORREF> never;
  } rows[] = {
      {false, Start::Found, Control::Label2, kBlack, std::nullopt},
      {false, Start::Found, Control::Label4, kBlack, kWarningRed},
      {false, Start::NotFound, Control::Label4, kWarningRed, std::nullopt},
      {true, Start::Found, Control::Label2, kWhite, std::nullopt},
      {true, Start::NotFound, Control::Label4, kWhite, kWarningRed},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.dark ? "dark " : "default ") + nameOf(row.control));
    if (row.dark) {
      ASSERT_TRUE(SetSysColors(2, elements, dark));
    }
    std::map<COLORREF, int> colours;
    {
      Shown shown(row.start);
      colours = coloursOf(row.control);
    }
    SetSysColors(2, elements, saved);
    EXPECT_GT(colours[row.drawn], 0);
    if (row.never) {
      EXPECT_EQ(colours[*row.never], 0);
    }
  }
}

// Wine's SetSysColors changes this process's colours only, as a scheme change would all of them.
TEST(Form1Window, AColourSchemeChangeRepaintsTheKeyReadableAtOnce) {
  Shown shown(Start::Found);
  const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
  const COLORREF saved[] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)};
  const COLORREF dark[] = {kBlack, kWhite};
  ASSERT_GT(coloursOf(Control::Label2)[kBlack], 0) << "the key in black at first";

  ASSERT_TRUE(SetSysColors(2, elements, dark));
  std::map<COLORREF, int> colours = coloursOf(Control::Label2);
  SetSysColors(2, elements, saved);

  EXPECT_GT(colours[kWhite], 0) << "the key in the scheme's text colour";
  EXPECT_GT(colours[kBlack], colours[kWhite]) << "on the scheme's face";
}

std::vector<std::wstring> announced;

void CALLBACK recordAnnouncement(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD,
                                 DWORD) {
  if (object != OBJID_CLIENT || child != CHILDID_SELF) return;
  const int id = GetDlgCtrlID(hwnd);
  announced.push_back((id == window::controlId(Control::Label4)   ? L"Label4"
                       : id == window::controlId(Control::Label5) ? L"Label5"
                                                                  : L"another") +
                      std::wstring(IsWindowVisible(hwnd) ? L" shown: " : L" hidden: ") +
                      textOf(hwnd));
}

// Screen readers speak a live region's news wherever the focus is.
TEST(Form1Window, TheNotFoundMessageAndTheConfirmationAreLiveRegionEvents) {
  constexpr DWORD kLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED
  const HWINEVENTHOOK hook =
      SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, nullptr, recordAnnouncement,
                      GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  const std::pair<Start, std::vector<std::wstring>> rows[] = {
      {Start::Found, {}},
      {Start::NotFound, {L"Label4 shown: " + kNotFound}},
      {Start::Updated, {L"Label5 shown: " + kUpdated}},
  };
  for (const auto& [start, expected] : rows) {
    announced.clear();
    Shown shown(start);
    settle();
    EXPECT_EQ(announced, expected);
  }
  UnhookWinEvent(hook);
}

// Tab moves to the next control that can take the focus, Enter and Esc press nothing, as neither
// button is a default or cancel button, and Space presses the button with the focus. The box
// keeps what was typed until a key is saved.
TEST(Form1Window, TheKeyboardWalksTheControlsThatCanTakeTheFocus) {
  using Steps = std::vector<std::pair<std::vector<UINT>, Control>>;
  const Control exit = Control::Command_Exit, update = Control::Command_Update,
                text1 = Control::Text1;
  const struct {
    const char* name;
    Start start;
    std::wstring typed;
    Steps steps;
    std::vector<std::wstring> saved;
  } walks[] = {
      {"found, Update disabled",
       Start::Found,
       L"",
       {{{VK_TAB}, exit}, {{VK_TAB}, text1}, {{VK_RETURN, VK_ESCAPE, VK_TAB}, exit}},
       {}},
      {"found, blanks typed",
       Start::Found,
       L"   ",
       {{{VK_TAB}, exit},
        {{VK_TAB}, update},
        {{VK_TAB}, text1},
        {{VK_TAB, VK_TAB}, update},
        {{VK_RETURN, VK_ESCAPE, VK_TAB}, text1},
        {{VK_TAB, VK_TAB}, update},
        {{VK_SPACE}, exit}},
       {L"   "}},
      {"not found", Start::NotFound, L"", {{{VK_TAB}, exit}}, {}},
  };
  for (const auto& walk : walks) {
    SCOPED_TRACE(walk.name);
    Shown shown(walk.start);
    if (!walk.typed.empty()) shown.window.setText(text1, walk.typed);
    for (const auto& [keys, focus] : walk.steps) {
      shown.press(keys);
      EXPECT_EQ(GetFocus(), item(focus))
          << "after " << keys.size() << " keys, on " << nameOf(focus);
      EXPECT_EQ(textOf(item(text1)), shown.storage.saved.empty() ? walk.typed : L"");
    }
    EXPECT_EQ(shown.storage.saved, walk.saved);
    EXPECT_EQ(IsWindowVisible(item(Control::Label5)), !walk.saved.empty());
  }
}

std::vector<WPARAM> uiStateChanges;

LRESULT CALLBACK recordUiStateChanges(int code, WPARAM wParam, LPARAM lParam) {
  const auto& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (call.message == WM_CHANGEUISTATE && !GetParent(call.hwnd))
    uiStateChanges.push_back(call.wParam);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Tab shows the focus, as in a dialog, and selects the text of the box it moves to, so that
// typing replaces it.
TEST(Form1Window, TabShowsTheFocusAndSelectsTheTextTabbedInto) {
  Shown shown(Start::Found);
  shown.window.setText(Control::Text1, L"typed key");
  shown.window.focus(Control::Command_Update);
  const HHOOK hook =
      SetWindowsHookExW(WH_CALLWNDPROC, recordUiStateChanges, nullptr, GetCurrentThreadId());
  shown.press({VK_TAB});
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(uiStateChanges, std::vector<WPARAM>{MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS)});
  // The whole text, "typed key", from its first character to its ninth.
  EXPECT_EQ(SendMessageW(item(Control::Text1), EM_GETSEL, 0, 0), MAKELRESULT(0, 9));
}

enum class Entry { Typed, Set, Pasted };

void enter(Entry how, const std::wstring& key) {
  const HWND text1 = item(Control::Text1);
  SendMessageW(text1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  if (how == Entry::Typed) {
    for (wchar_t unit : key) SendMessageW(text1, WM_CHAR, unit, 1);
  } else if (how == Entry::Set) {
    SendMessageW(text1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(key.c_str()));
  } else {
    const size_t bytes = (key.size() + 1) * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), key.c_str(), bytes);
    GlobalUnlock(memory);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    ASSERT_TRUE(SetClipboardData(CF_UNICODETEXT, memory));
    CloseClipboard();
    SendMessageW(text1, WM_PASTE, 0, 0);
  }
}

// Each message box the window shows, "title|each control's text|", closed with OK once it is up.
std::vector<std::wstring> boxes;

LRESULT CALLBACK answerMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
  const HWND box = reinterpret_cast<HWND>(wParam);
  wchar_t name[16] = L"";
  if (code == HCBT_ACTIVATE) GetClassNameW(box, name, 16);
  if (!lstrcmpW(name, L"#32770")) {
    std::wstring seen = textOf(box) + (IsWindowVisible(form1()) ? L"|over the window|" : L"|");
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      seen += textOf(child) + L"|";
    }
    boxes.push_back(seen);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A key reaches storage as it was entered, or is refused by a box that says why. ctest gives the
// test code page 1252.
TEST(Form1Window, AKeyReachesStorageAsEnteredOrTheBoxSaysWhyNot) {
  const std::wstring refused =
      L"The Access key was not saved: the key file cannot hold it exactly as typed.\r\n\r\n";
  std::wstring hex;
  while (hex.size() < 40000) hex += L"0123456789ABCDEF";
  const struct {
    Entry how;
    std::wstring entered;
    std::wstring saved;  // what Text1 took and storage got; none where the box says why
    std::wstring why;
  } rows[] = {
      {Entry::Typed, L"ab\\cd", L"",
       L"\\ (backslash): the extension would take it as part of its script"},
      {Entry::Set, L"abc\\", L"", L"\\ (backslash)"},
      {Entry::Set, L"ab\"cd", L"", L"\" (double quote): the extension would"},
      {Entry::Typed, L"\u041a\u043b\u044e\u0447", L"",
       L"\u041a (U+041A), \u043b (U+043B), \u044e (U+044E), \u0447 (U+0447): this computer saves "
       L"the key file in code page 1252"},
      {Entry::Pasted, L"\u0142\u00f3d\u017a", L"",
       L"\u0142 (U+0142), \u017a (U+017A): this computer"},
      {Entry::Set, L"ab\u2028cd", L"", L"A line break: the key file holds the key on one line"},
      {Entry::Typed, L"AB,CD,,R&D \u00e9", L"AB,CD,,R&D \u00e9", L""},
      {Entry::Set, std::wstring(40000, L'k'), std::wstring(40000, L'k'), L""},
      {Entry::Pasted, hex, hex, L""},
      {Entry::Pasted, L"FIRST\r\nSECOND", L"FIRST", L""},
  };
  Shown shown(Start::Found);
  const HHOOK hook = SetWindowsHookExW(WH_CBT, answerMessageBoxes, nullptr, GetCurrentThreadId());
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.entered.substr(0, 20));
    boxes.clear();
    shown.storage.saved.clear();
    const std::wstring shownKey = textOf(item(Control::Label2));
    enter(row.how, row.entered);
    click(Control::Command_Update);
    if (row.saved.empty()) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].find(L"Quorvantis - Update Access key|over the window|"), 0u) << boxes[0];
      EXPECT_NE(boxes[0].find(L"|" + refused + row.why), std::wstring::npos) << boxes[0];
      EXPECT_NE(boxes[0].find(L"|OK|"), std::wstring::npos) << boxes[0];
      EXPECT_TRUE(shown.storage.saved.empty());
      EXPECT_EQ(textOf(item(Control::Text1)), row.entered);
      EXPECT_EQ(textOf(item(Control::Label2)), shownKey);
      EXPECT_TRUE(IsWindowEnabled(item(Control::Command_Update)));
      EXPECT_EQ(GetFocus(), item(Control::Command_Update)) << "back where it was";
    } else {
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(shown.storage.saved, std::vector<std::wstring>{row.saved});
      EXPECT_EQ(shown.window.text(Control::Label2), row.saved);
    }
    EXPECT_EQ(IsWindowVisible(item(Control::Label5)), boxes.empty());
  }
  UnhookWindowsHookEx(hook);
}

TEST(Form1Window, ChangingTheTextRunsTheChangeHandlerBeforeReturning) {
  Shown shown(Start::Found);
  ASSERT_FALSE(IsWindowEnabled(item(Control::Command_Update)));

  shown.window.setText(Control::Text1, L"typed");
  EXPECT_TRUE(IsWindowEnabled(item(Control::Command_Update)));
  shown.window.setText(Control::Text1, L"");
  EXPECT_FALSE(IsWindowEnabled(item(Control::Command_Update)));
  // Typed into the box: a character, then Backspace.
  SendMessageW(item(Control::Text1), WM_CHAR, L'a', 1);
  EXPECT_TRUE(IsWindowEnabled(item(Control::Command_Update)));
  SendMessageW(item(Control::Text1), WM_CHAR, L'\b', 1);
  EXPECT_FALSE(IsWindowEnabled(item(Control::Command_Update)));
}

// Refuses to make windows of one class.
const wchar_t* refusedClass = nullptr;
HWND mainWindowMade = nullptr;

LRESULT CALLBACK refuseClass(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t name[64] = L"";
  if (code == HCBT_CREATEWND) GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
  if (!lstrcmpW(name, window::kWindowClass)) mainWindowMade = reinterpret_cast<HWND>(wParam);
  return !lstrcmpW(name, refusedClass) ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
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

}  // namespace
