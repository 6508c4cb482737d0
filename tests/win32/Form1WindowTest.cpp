// The window in this process, over its own scratch registry and a key file in a folder of its own.
// The test carries the program's manifest and resources, so its controls are the ones the
// program gets: Common Controls 6, per-monitor DPI awareness.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/FaultyFiles.h"
#include "tests/support/InstallFolder.h"
#include "win32/ScopedHandle.h"
#include "win32/SystemFunction.h"
#include "window/Form1.h"
#include "window/LiveRegions.h"

namespace {

using window::Control;

constexpr const char* kNames[] = {"Label1", "Label2",         "Label3",       "Label4", "Label5",
                                  "Text1",  "Command_Update", "Command_Exit", "Image1"};
constexpr wchar_t kInstallKey[] = L"Software\\Quorvantis";
const COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kRed = RGB(0xAC, 0x00, 0x2A);

// As the program's start does, before any window.
const bool kCommonControlsStarted = [] {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  return InitCommonControlsEx(&controls);
}();

std::string keyLine(const std::string& key) { return "var accessKey = \"" + key + "\";\r\n"; }
HWND form1() { return FindWindowW(window::kWindowClass, nullptr); }
HWND item(Control control) { return GetDlgItem(form1(), window::controlId(control)); }
const char* nameOf(Control control) { return kNames[static_cast<int>(control)]; }
void click(Control button) { SendMessageW(item(button), BM_CLICK, 0, 0); }
std::wstring textOf(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

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

using ScopedHook = win32::Unique<win32::NullTraits<HHOOK, UnhookWindowsHookEx>>;
ScopedHook hook(int type, HOOKPROC procedure) {
  return ScopedHook(SetWindowsHookExW(type, procedure, nullptr, GetCurrentThreadId()));
}

// Each message box shown, "title|over the window|each control's text|", closed with OK; and
// windows of the refused class, if any, refused.
std::vector<std::wstring> boxes;
const wchar_t* refusedClass = nullptr;
LRESULT CALLBACK answerBoxesAndRefuse(int code, WPARAM wParam, LPARAM lParam) {
  const HWND box = reinterpret_cast<HWND>(wParam);
  wchar_t name[64] = L"";
  if (code == HCBT_ACTIVATE || code == HCBT_CREATEWND) GetClassNameW(box, name, 64);
  if (code == HCBT_CREATEWND && refusedClass && !lstrcmpW(name, refusedClass)) return 1;
  if (code == HCBT_ACTIVATE && !lstrcmpW(name, L"#32770")) {
    const bool over = GetWindow(box, GW_OWNER) == form1() && IsWindowVisible(form1());
    std::wstring seen = textOf(box) + (over ? L"|over the window|" : L"|");
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      seen += textOf(child) + L"|";
    }
    boxes.push_back(seen);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A box over the window, with its icon, its button and then its text.
std::wstring overTheWindow(const std::wstring& text) {
  return L"Quorvantis - Update Access key|over the window||OK|" + text;
}

// Each message sent on this thread with its answer, while recording.
std::vector<CWPRETSTRUCT> sent;
LRESULT CALLBACK recordSent(int code, WPARAM wParam, LPARAM lParam) {
  sent.push_back(*reinterpret_cast<const CWPRETSTRUCT*>(lParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

ScopedHook record() {
  sent.clear();
  return hook(WH_CALLWNDPROCRET, recordSent);
}

// The clipboard's formats held in memory, put back as they were however the test ends; the system
// makes the others, such as a bitmap from its DIB, again.
struct ClipboardKept {
  using Formats = std::vector<std::pair<UINT, std::string>>;
  static bool put(const Formats& formats) {
    bool all = OpenClipboard(nullptr) && EmptyClipboard();
    for (const auto& [format, bytes] : formats) {
      const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
      std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
      GlobalUnlock(memory);
      all = SetClipboardData(format, memory) && all;
    }
    return CloseClipboard() && all;
  }
  ClipboardKept() {
    OpenClipboard(nullptr);
    for (UINT format = 0; (format = EnumClipboardFormats(format));) {
      const bool gdi = format == CF_BITMAP || format == CF_PALETTE || format == CF_METAFILEPICT ||
                       format == CF_ENHMETAFILE;
      const HGLOBAL memory = gdi ? nullptr : GetClipboardData(format);
      if (const auto* bytes = static_cast<const char*>(memory ? GlobalLock(memory) : nullptr))
        found.emplace_back(format, std::string(bytes, GlobalSize(memory))), GlobalUnlock(memory);
    }
    CloseClipboard();
  }
  ~ClipboardKept() { put(found); }
  Formats found;
};

enum class Start { Found, NotFound, Updated };

// The window loaded over an installation whose key file holds OLD-KEY, its boxes answered.
// NotFound: none in the registry. Updated: NEW-KEY-1 saved.
struct Shown {
  explicit Shown(Start start) {
    testsupport::useScratchRegistry();
    boxes.clear();
    testsupport::writeBytes(folder.keyFile(), keyLine("OLD-KEY"));
    RegDeleteTreeW(HKEY_CURRENT_USER, kInstallKey);
    if (const std::wstring& path = folder.path(); start != Start::NotFound) {
      RegSetKeyValueW(HKEY_CURRENT_USER, kInstallKey, nullptr, REG_SZ, path.c_str(),
                      static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }
    form.runHandler(&window::Form1::load);
    if (start != Start::Updated) return;
    SetWindowTextW(item(Control::Text1), L"NEW-KEY-1");
    click(Control::Command_Update);
  }

  std::string keyFile() const { return testsupport::readBytes(folder.keyFile()); }

  const ScopedHook answering = hook(WH_CBT, answerBoxesAndRefuse);
  testsupport::InstallFolder folder;
  testsupport::FaultyFiles files;
  window::Form1 form{GetModuleHandleW(nullptr), files};
};

constexpr int kDpis[] = {96, 144, 192};

// The system's DPI, which the window starts at; ctest sets it to 96 or 144.
int startDpi() {
  const win32::ScopedWindowDc screen({nullptr, GetDC(nullptr)});
  return GetDeviceCaps(screen.get().dc, LOGPIXELSY);
}

// `check` at the system's DPI, then once moved to a screen of each other DPI, all painted before:
// Wine never sends WM_DPICHANGED itself. At a DPI of none of the rows, each row is moved to. The
// first move makes room for every layout; the second keeps that rectangle, so that nothing but
// the program invalidates the controls.
void atEachDpi(const std::function<void(int row, bool moved)>& check, Start start = Start::Found) {
  Shown shown(start);
  const int first = static_cast<int>(std::find(kDpis, kDpis + 3, startDpi()) - kDpis);
  for (int n = 0; n < 3; ++n) {
    const int row = (first + n) % 3;
    SCOPED_TRACE(testing::Message() << kDpis[row] << " DPI");
    settle();
    RECT suggested;
    GetWindowRect(form1(), &suggested);
    suggested = {suggested.left, suggested.top, suggested.left + 1200, suggested.top + 700};
    const WPARAM dpi = MAKEWPARAM(kDpis[row], kDpis[row]);
    const bool moved = n > 0 || first == 3;
    if (moved) SendMessageW(form1(), WM_DPICHANGED, dpi, reinterpret_cast<LPARAM>(&suggested));
    check(row, moved);
  }
}

// Each control stands in its place, and is left to repaint after a change of DPI if visible.
TEST(Form1WindowAtEachDpi, EveryControlStandsInItsPlaceAndRepaints) {
  // The client area, then each control's left, top, width and height in it.
  const SIZE clientAreas[] = {{537, 290}, {806, 435}, {1074, 580}};
  const struct {
    Control control;
    std::array<int, 4> at[3];
  } places[] = {
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
  atEachDpi([&](int row, bool moved) {
    RECT r;
    GetClientRect(form1(), &r);
    EXPECT_TRUE(moved || (r.right == clientAreas[row].cx && r.bottom == clientAreas[row].cy))
        << r.right << " by " << r.bottom;
    for (const auto& place : places) {
      EXPECT_EQ(GetUpdateRect(item(place.control), nullptr, FALSE) != 0,
                moved && IsWindowVisible(item(place.control)))
          << nameOf(place.control) << " left to repaint";
      GetWindowRect(item(place.control), &r);
      MapWindowPoints(nullptr, form1(), reinterpret_cast<POINT*>(&r), 2);
      EXPECT_EQ((std::array<int, 4>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                place.at[row])
          << nameOf(place.control);
    }
  });
}

// 8.25 pt in a TrueType face, which scales to every DPI: Label2 bold and Cyrillic for the key,
// the others regular. The test prefix provides a TrueType Microsoft Sans Serif.
TEST(Form1WindowAtEachDpi, EveryControlHasATrueTypeFontOfTheDesignsSize) {
  constexpr int kEmHeights[] = {11, 17, 22};
  atEachDpi([&kEmHeights](int row, bool) {
    for (const window::ControlDesign& design : window::kControls) {
      SCOPED_TRACE(nameOf(design.control));
      const bool key = design.control == Control::Label2;
      const auto font =
          reinterpret_cast<HGDIOBJ>(SendMessageW(item(design.control), WM_GETFONT, 0, 0));
      const win32::ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
      const win32::ScopedSelection selected({dc.get(), SelectObject(dc.get(), font)});
      TEXTMETRICW metrics{};
      ASSERT_TRUE(GetTextMetricsW(dc.get(), &metrics));
      wchar_t face[LF_FACESIZE] = L"";
      GetTextFaceW(dc.get(), LF_FACESIZE, face);
      EXPECT_STREQ(face, L"Microsoft Sans Serif");
      EXPECT_TRUE(metrics.tmPitchAndFamily & TMPF_TRUETYPE);
      EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, kEmHeights[row]);
      EXPECT_EQ(metrics.tmWeight, key ? 700 : 400);
      EXPECT_TRUE(!key || metrics.tmCharSet == 204);
    }
  });
}

// Each label holds every text that it shows in full, at the height it has, in its font as the
// label wraps it. Under a face made wider on purpose (WIDER_FACE), the headings outgrow the
// design's widths at every DPI, and must have grown with them.
TEST(Form1WindowAtEachDpi, EveryLabelHoldsEachOfItsTextsWhole) {
  const bool widerFace = _wgetenv(L"WIDER_FACE");
  for (Start start : {Start::Found, Start::NotFound, Start::Updated}) {
    atEachDpi(
        [widerFace](int row, bool) {
          for (const window::ControlDesign& design : window::kControls) {
            if (design.kind != window::ControlKind::Label) continue;
            const HWND label = item(design.control);
            const std::wstring text = textOf(label);
            SCOPED_TRACE(testing::Message() << nameOf(design.control) << ": " << text.c_str());
            const auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0));
            const win32::ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
            const win32::ScopedSelection selected({dc.get(), SelectObject(dc.get(), font)});
            RECT held, needed{0, 0, 0, 0};
            GetClientRect(label, &held);
            needed.right = held.right;
            DrawTextW(dc.get(), text.c_str(), -1, &needed,
                      DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
            EXPECT_LE(needed.bottom, held.bottom) << "pixels high, at " << held.right << " wide";
            const bool heading =
                design.control == Control::Label1 || design.control == Control::Label3;
            EXPECT_TRUE(!widerFace || !heading ||
                        held.right > window::scaled(design.width, kDpis[row]))
                << "not widened";
          }
        },
        start);
  }
}

TEST(Form1WindowAtEachDpi, TheIconsAreMadeForTheWindowsDpi) {
  constexpr int kSizes[][2] = {{32, 16}, {48, 24}, {64, 32}};  // big and small
  atEachDpi([&kSizes](int row, bool) {
    for (const WPARAM which : {ICON_BIG, ICON_SMALL}) {
      ICONINFO info{};
      const HICON icon = reinterpret_cast<HICON>(SendMessageW(form1(), WM_GETICON, which, 0));
      ASSERT_TRUE(GetIconInfo(icon, &info));
      const win32::ScopedBitmap colour(info.hbmColor), mask(info.hbmMask);
      BITMAP bitmap{};
      GetObjectW(colour.get(), sizeof bitmap, &bitmap);
      const int size = kSizes[row][which == ICON_BIG ? 0 : 1];
      EXPECT_EQ(bitmap.bmWidth, size);
      EXPECT_EQ(bitmap.bmHeight, size);
    }
  });
}

// Windows asks for the size at a new DPI, half as large again, before it suggests a rectangle: the
// frame, which the system knows, around the client area scaled.
TEST(Form1Window, TheSizeAskedForANewDpiKeepsTheUsersSize) {
  constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE, past this build's WINVER
  const auto adjustForDpi = win32::systemFunction<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(
      GetModuleHandleW(L"user32"), "AdjustWindowRectExForDpi");
  ASSERT_TRUE(adjustForDpi) << "Windows 10 1607 on";
  Shown shown(Start::Found);
  const UINT dpi = startDpi() * 3 / 2;
  RECT client, frame;
  GetClientRect(form1(), &client);
  GetWindowRect(form1(), &frame);
  // Why, how the window is shown, its client area, and the client area of the size asked for.
  const std::tuple<const char*, int, SIZE, std::optional<SIZE>> rows[] = {
      {"made 1.3 times larger: 1047 by 566", SW_SHOWNORMAL, {698, 377}, SIZE{1047, 566}},
      {"minimized", SW_MINIMIZE, {698, 377}, std::nullopt},
      {"maximized", SW_MAXIMIZE, {698, 377}, std::nullopt},
  };
  for (const auto& [why, show, area, asked] : rows) {
    SCOPED_TRACE(why);
    ShowWindow(form1(), SW_SHOWNORMAL);
    SetWindowPos(form1(), nullptr, 0, 0, area.cx + (frame.right - frame.left - client.right),
                 area.cy + (frame.bottom - frame.top - client.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(form1(), show);
    SIZE size{1, 1};
    EXPECT_EQ(SendMessageW(form1(), kGetDpiScaledSize, dpi, reinterpret_cast<LPARAM>(&size)) != 0,
              asked.has_value());
    RECT expected{0, 0, asked ? asked->cx : 1, asked ? asked->cy : 1};
    adjustForDpi(&expected, GetWindowLongW(form1(), GWL_STYLE), FALSE,
                 GetWindowLongW(form1(), GWL_EXSTYLE), dpi);
    EXPECT_TRUE(!asked || (size.cx == expected.right - expected.left &&
                           size.cy == expected.bottom - expected.top))
        << size.cx << " by " << size.cy;
  }
}

// The live-region events raised, each with its label's id and text, of labels that were visible.
std::vector<std::pair<int, std::wstring>> announced;
void CALLBACK recordAnnouncement(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD,
                                 DWORD) {
  if (object == OBJID_CLIENT && child == CHILDID_SELF && IsWindowVisible(hwnd)) {
    announced.emplace_back(GetDlgCtrlID(hwnd), textOf(hwnd));
  }
}

// UI Automation's live setting of `label`, as a screen reader reads it: 1 polite, 2 assertive.
LONG liveSettingOf(HWND label) {
  const HMODULE core = win32::systemLibrary(L"uiautomationcore.dll");
  const auto nodeOf =
      win32::systemFunction<HRESULT(WINAPI*)(HWND, void**)>(core, "UiaNodeFromHandle");
  const auto get =
      win32::systemFunction<HRESULT(WINAPI*)(void*, int, VARIANT*)>(core, "UiaGetPropertyValue");
  void* node = nullptr;
  VARIANT setting{};
  constexpr int kLiveSetting = 30135;  // UIA_LiveSettingPropertyId
  if (nodeOf && get && SUCCEEDED(nodeOf(label, &node))) get(node, kLiveSetting, &setting);
  return setting.vt == VT_I4 ? setting.lVal : -1;
}

// What a screen reader names the box (after the label before it), the logo and the first label:
// other names and the states the system takes from the controls' texts and states, which the
// end-to-end scenarios read. And the live regions' news, which it speaks wherever the focus is.
TEST(Form1Window, ScreenReadersGetEachControlsNameAndNews) {
  // The start, the control, its name, and whether it is news: 0 not, 1 polite, 2 assertive.
  const std::tuple<Start, Control, std::wstring, LONG> rows[] = {
      {Start::Found, Control::Label1, L"Your current Access key:", 0},
      {Start::Found, Control::Text1, L"Enter a new Access key:", 0},
      {Start::Found, Control::Image1, L"Quorvantis", 0},
      {Start::NotFound, Control::Label4,
       L"Information about the current Access key can not be found.\r\nProbably Quorvantis was "
       L"not installed properly.\r\nPlease try to install program again.",
       2},
      {Start::Updated, Control::Label5, L"The Access key has been updated. Now you can exit.", 1},
  };
  const HWINEVENTHOOK hook =
      SetWinEventHook(window::kLiveRegionChanged, window::kLiveRegionChanged, nullptr,
                      recordAnnouncement, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  for (Start start : {Start::Found, Start::NotFound, Start::Updated}) {
    announced.clear();
    Shown shown(start);
    settle();
    std::vector<std::pair<int, std::wstring>> news;
    for (const auto& [at, control, expectedName, live] : rows) {
      if (at != start) continue;
      SCOPED_TRACE(nameOf(control));
      if (live) news.emplace_back(window::controlId(control), expectedName);
      // Wine's UI Automation reads no annotation back.
      EXPECT_EQ(live && !testsupport::isWine() ? liveSettingOf(item(control)) : live, live);
      IAccessible* accessible = nullptr;
      ASSERT_EQ(AccessibleObjectFromWindow(item(control), OBJID_CLIENT, __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&accessible)),
                S_OK);
      const win32::ScopedCom<IAccessible> owned(accessible);
      VARIANT self{};
      self.vt = VT_I4;  // lVal CHILDID_SELF
      BSTR name = nullptr;
      EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
      EXPECT_EQ(std::wstring(name ? name : L"(none)"), expectedName);
      SysFreeString(name);
    }
    EXPECT_EQ(announced, news);
  }
  UnhookWinEvent(hook);
  if (testsupport::isWine()) GTEST_SKIP() << "Wine reads back no live-region annotation";
}

// The default scheme, then a dark one as dark-scheme.reg sets it: black faces, white text, in
// which the key's black and the warning's red give way to the scheme's text. Wine's SetSysColors
// changes this process's colours only. The system tells top-level windows of it only; the
// controls of Common Controls 6 take their colours again only when told.
TEST(Form1Window, TheKeyAndTheMessageAreReadableInEachSchemeAtOnce) {
  const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
  const COLORREF saved[] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)};
  const COLORREF dark[] = {kBlack, kWhite};
  const std::tuple<Start, Control, COLORREF> rows[] = {
      {Start::Found, Control::Label2, kBlack},
      {Start::NotFound, Control::Label4, kRed},
  };
  for (const auto& [start, control, drawn] : rows) {
    SCOPED_TRACE(nameOf(control));
    Shown shown(start);
    SIZE ideal{};  // which only the buttons of Common Controls 6 know
    ASSERT_TRUE(kCommonControlsStarted &&
                SendMessageW(item(Control::Command_Exit), BCM_GETIDEALSIZE, 0,
                             reinterpret_cast<LPARAM>(&ideal)));
    std::map<COLORREF, int> colours = coloursOf(control);
    EXPECT_GT(colours[drawn], 0) << "in the default scheme";
    EXPECT_EQ(colours[kRed] > 0, drawn == kRed);
    const ScopedHook recording = record();
    const testsupport::Finally restore{[&] { SetSysColors(2, elements, saved); }};
    ASSERT_TRUE(SetSysColors(2, elements, dark));
    std::set<int> told;
    for (const CWPRETSTRUCT& call : sent) {
      if (call.message == WM_SYSCOLORCHANGE && GetParent(call.hwnd) == form1())
        told.insert(GetDlgCtrlID(call.hwnd));
    }
    colours = coloursOf(control);
    EXPECT_GT(colours[kWhite], 0) << "in the dark scheme's text colour";
    EXPECT_GT(colours[kBlack], colours[kWhite]) << "on the dark scheme's face";
    EXPECT_EQ(colours[kRed], 0);
    EXPECT_EQ(told.size(), window::kControls.size()) << "controls told of the change";
  }
}

// Tab moves to the next control that can take the focus, selecting the text of a box, so that
// typing replaces it; Enter and Esc press nothing, as no button is a default or cancel button;
// Space presses the button with the focus. The box keeps what was typed until a key is saved.
TEST(Form1Window, TheKeyboardWalksTheControlsThatCanTakeTheFocus) {
  const Control exit = Control::Command_Exit, update = Control::Command_Update,
                text1 = Control::Text1;
  // The keys pressed, Tab, Enter, Esc and Space as the characters whose codes their virtual keys
  // have, and the focus after them.
  const std::pair<std::wstring, Control> steps[] = {
      {L"\t", exit},        {L"\t", update},   {L"\t", text1}, {L"\t\t", update},
      {L"\r\x1b\t", text1}, {L"\t\t", update}, {L" ", exit},
  };
  Shown shown(Start::Found);
  SetWindowTextW(item(text1), L"   ");
  for (const auto& step : steps) {
    const auto& [keys, focus] = step;
    for (const UINT key : keys) {  // to the control with the focus, through the program's loop
      PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
      PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
      PostQuitMessage(0);
      EXPECT_EQ(shown.form.run(), 0);
    }
    EXPECT_EQ(GetFocus(), item(focus)) << "step " << &step - steps << ", on " << nameOf(focus);
    const bool saved = IsWindowVisible(item(Control::Label5));
    EXPECT_EQ(textOf(item(text1)), saved ? L"" : L"   ");
    EXPECT_TRUE(focus != text1 || SendMessageW(item(text1), EM_GETSEL, 0, 0) == MAKELRESULT(0, 3))
        << "the box's text is not selected";
  }
  EXPECT_TRUE(IsWindowVisible(item(Control::Label5)));
  EXPECT_EQ(shown.keyFile(), keyLine("   "));
}

// A key pasted reaches the key file as it is, or is refused by a box that says why, the file
// untouched and the last confirmation gone. The box takes keys of any length, and a line only up
// to its break.
TEST(Form1Window, AKeyReachesTheKeyFileAsEnteredOrTheBoxSaysWhyNot) {
  // What is pasted, how the box that refuses it begins, and the key that the key file holds and
  // Label2 shows then.
  const std::tuple<std::wstring, std::wstring, std::string> rows[] = {
      {L"FIRST\r\nSECOND", L"", "FIRST"},
      {L"ab\\cd",
       L"The Access key was not saved: the key file cannot hold it exactly as typed.\r\n\r\n"
       L"\\ (backslash): the extension would take it as part of its",
       "FIRST"},
      {std::wstring(40000, L'k'), L"", std::string(40000, 'k')},  // past the edit box's default
  };
  Shown shown(Start::Found);
  const ClipboardKept clipboard;
  for (const auto& [entered, why, kept] : rows) {
    SCOPED_TRACE(testing::Message() << entered.substr(0, 20));
    const bool refused = !why.empty();
    boxes.clear();
    SetWindowTextW(item(Control::Text1), L"");
    const auto* text = reinterpret_cast<const char*>(entered.c_str());
    ASSERT_TRUE(ClipboardKept::put(
        {{CF_UNICODETEXT, std::string(text, (entered.size() + 1) * sizeof(wchar_t))}}));
    SendMessageW(item(Control::Text1), WM_PASTE, 0, 0);
    click(Control::Command_Update);
    ASSERT_EQ(boxes.size(), refused ? 1u : 0u);
    EXPECT_TRUE(!refused || boxes[0].find(overTheWindow(why)) == 0) << boxes[0];
    EXPECT_EQ(shown.keyFile(), keyLine(kept));
    EXPECT_EQ(textOf(item(Control::Label2)), std::wstring(kept.begin(), kept.end()));
    EXPECT_EQ(textOf(item(Control::Text1)), refused ? entered : L"");
    EXPECT_EQ(IsWindowEnabled(item(Control::Command_Update)) != 0, refused);
    EXPECT_EQ(IsWindowVisible(item(Control::Label5)) != 0, !refused);
    EXPECT_EQ(GetFocus(), item(refused ? Control::Command_Update : Control::Command_Exit));
  }
}

// An error ends its handler at once, the box over the window naming the file and the system's
// reason, and the program with 1. Here the key file's folder went while the window was open.
TEST(Form1Window, AnErrorInAHandlerIsShownOverTheWindowAndEndsTheProgramWith1) {
  Shown shown(Start::Found);
  SetWindowTextW(item(Control::Text1), L"NEW-KEY");
  testsupport::removeTree(shown.folder.contentFolder());
  click(Control::Command_Update);
  ASSERT_EQ(boxes.size(), 1u) << "shown at once, by the handler";
  EXPECT_EQ(boxes[0], overTheWindow(L"The Access key could not be saved.\r\n\r\nFile: " +
                                    shown.folder.keyFile() + L"\r\nReason: " +
                                    testsupport::systemText(ERROR_PATH_NOT_FOUND) + L"|"));
  EXPECT_EQ(textOf(item(Control::Label2)), L"OLD-KEY");
  EXPECT_FALSE(IsWindowVisible(item(Control::Label5)));
  EXPECT_EQ(shown.form.run(), 1);
  EXPECT_EQ(boxes.size(), 1u);
}

// The window lets the activation go on as it closes: one that refused it would keep others from
// being activated in its place. The loop then ends with 0.
TEST(Form1Window, ExitHandsTheActivationOnAndEndsTheProgramWith0) {
  Shown shown(Start::Found);
  settle();
  const HWND main = form1();
  const ScopedHook recording = record();
  PostMessageW(item(Control::Command_Exit), BM_CLICK, 0, 0);
  EXPECT_EQ(shown.form.run(), 0);
  EXPECT_EQ(form1(), nullptr);
  int deactivations = 0;
  for (const CWPRETSTRUCT& call : sent) {
    if (call.hwnd != main || call.message != WM_NCACTIVATE || call.wParam) continue;
    ++deactivations;
    EXPECT_NE(call.lResult, 0) << "WM_NCACTIVATE(FALSE) refused";
  }
  EXPECT_GT(deactivations, 0);
}

// A failed start takes its window and class with it before the error reaches the caller, and
// leaves no quit behind, which would close the error's message box at once.
TEST(Form1WindowStart, AFailedStartLeavesNeitherWindowNorClassAndTheNextStartWorks) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  testsupport::FaultyFiles files;
  WNDCLASSW classInfo;
  MSG quit;
  const ScopedHook refusing = hook(WH_CBT, answerBoxesAndRefuse);
  // The main window itself, the first control, and one made once two controls exist.
  for (const wchar_t* refused : {window::kWindowClass, L"Button", L"Edit"}) {
    SCOPED_TRACE(testing::Message() << refused);
    refusedClass = refused;
    EXPECT_THROW(window::Form1(instance, files), std::runtime_error);
    EXPECT_FALSE(FindWindowW(window::kWindowClass, nullptr));
    EXPECT_FALSE(GetClassInfoW(instance, window::kWindowClass, &classInfo));
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  }
  refusedClass = nullptr;
  window::Form1 started(instance, files);
  EXPECT_TRUE(FindWindowW(window::kWindowClass, nullptr));
  EXPECT_TRUE(GetClassInfoW(instance, window::kWindowClass, &classInfo));
}

// COM that the first announcement starts ends with the live regions; COM that the thread had
// before, in either model, stays the thread's, held once.
TEST(LiveRegions, EndOnlyTheComThatTheyStarted) {
  const std::pair<const char*, std::optional<DWORD>> cases[] = {
      {"no COM before", std::nullopt},
      {"single-threaded before, which they join", COINIT_APARTMENTTHREADED},
      {"multithreaded before, which they cannot join", COINIT_MULTITHREADED},
  };
  for (const auto& [why, before] : cases) {
    std::thread([&] {
      ASSERT_EQ(before ? CoInitializeEx(nullptr, *before) : S_OK, S_OK);
      // No label is needed: COM starts at the first announcement, whatever it marks.
      window::LiveRegions().announce(nullptr, window::Announcement::Polite);
      if (before) {
        EXPECT_EQ(CoInitializeEx(nullptr, *before), S_FALSE) << why << ": the thread's COM ended";
        CoUninitialize();
        CoUninitialize();
      }
      EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK)
          << why << ": COM was left started";
      CoUninitialize();
    }).join();
  }
}

// A system library by its full System32 path, as Windows 7 without update KB2533623 refuses the
// search flag: not even one loaded already, as this test is, comes from the program's folder.
TEST(SystemLibrary, LoadFromSystem32Alone) {
  EXPECT_NE(win32::systemLibrary(L"ole32.dll"), nullptr);
  EXPECT_EQ(win32::systemLibrary(L"Form1WindowTest.exe"), nullptr);
}

}  // namespace
