// uak_probe: drives UpdateAccessKey.exe from outside, as a user would, for the end-to-end tests.
// It reads one command a line on its standard input, fields separated by tabs, and answers each
// with its output and a last line "\x1fok" or "\x1ffail", the reason going to standard error. It
// starts the program, finds its window by title, class and process, reads and operates the
// controls, answers the program's message boxes, and ends the program when its input ends. `help`
// lists the commands.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which they need.
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "storage/StorageError.h"
#include "window/Form1Design.h"
#include "window/LiveRegions.h"
#include "window/ReadableColour.h"

namespace {

using window::Control;

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr DWORD kPollMs = 20;
constexpr DWORD kTimeoutMs = 10000;
constexpr char kReplyEnd = '\x1f';

constexpr Control kControls[] = {
    Control::Label1,         Control::Label2,       Control::Label3,
    Control::Label4,         Control::Label5,       Control::Text1,
    Control::Command_Update, Control::Command_Exit, Control::Image1,
};

const char kUsage[] =
    "usage: uak_probe, then on standard input:\n"
    "  start EXE               run EXE; prints its pid\n"
    "  wait-exit               wait until the program ends; prints its exit code\n"
    "  announcements           \"live NAME visible=V text=T\" for each live-region event so far\n"
    "  wait-window             wait until the main window is visible\n"
    "  state                   each control: visible, enabled, text (CR, LF escaped); the focus\n"
    "  text NAME               a control's text as raw UTF-8\n"
    "  rects                   each control's rectangle in client coordinates\n"
    "  design DPI              the same for the design's rectangles scaled to DPI\n"
    "  accessible              each control as screen readers see it: name, role, states\n"
    "  colour NAME             the commonest colour in a control that is not its background,\n"
    "                          and its contrast ratio to the background\n"
    "  click NAME              BM_CLICK a visible, enabled button\n"
    "  set-text SOURCE         WM_SETTEXT to Text1\n"
    "  type SOURCE             WM_CHAR to Text1, one per UTF-16 unit\n"
    "  paste SOURCE            put SOURCE on the clipboard, WM_PASTE to Text1\n"
    "  key KEY...              post WM_KEYDOWN/UP to the focus: tab return escape space\n"
    "  close [--syscommand]    WM_CLOSE, or WM_SYSCOMMAND SC_CLOSE\n"
    "  message-box             wait for the program's message box, print it, press OK\n"
    "  hold none|read,write FILE  open FILE for reading with that sharing until the program ends\n"
    "  registry set SOURCE | registry delete   HKCU\\Software\\Quorvantis default value\n"
    "SOURCE: TEXT | --file UTF8FILE\n"
    "click and close print what followed: done, message-box or exited.\n";

HANDLE gProcess = nullptr;
DWORD gPid = 0;
std::string gOutput;
std::vector<std::string> gAnnouncements;
// Files held open for another reader until the program ends.
std::vector<HANDLE> gHeld;

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

[[noreturn]] void usage() { fail(kUsage); }

std::string utf8(std::wstring_view text) { return storage::toUtf8(text); }
using storage::fromUtf8;

void print(std::wstring_view text) { gOutput += utf8(text); }

// One line per value: line breaks and tabs are shown as escapes.
std::wstring escaped(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    out += c == L'\r' ? L"\\r" : c == L'\n' ? L"\\n" : c == L'\t' ? L"\\t" : std::wstring(1, c);
  }
  return out;
}

std::wstring windowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &length)) {
    fail("the window does not answer WM_GETTEXTLENGTH");
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

std::wstring className(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

bool belongsToTarget(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return gPid == 0 || pid == gPid;
}

// The first top-level window of the target process with this class and title.
HWND findTopLevel(const wchar_t* windowClass, const wchar_t* title) {
  struct Search {
    const wchar_t* windowClass;
    const wchar_t* title;
    HWND found;
  } search{windowClass, title, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        if (!belongsToTarget(hwnd) || className(hwnd) != s.windowClass) return TRUE;
        wchar_t title[256] = {};
        GetWindowTextW(hwnd, title, 256);
        if (s.title && std::wcscmp(title, s.title) != 0) return TRUE;
        s.found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND findMainWindow() { return findTopLevel(window::kWindowClass, window::kWindowTitle); }

// A visible message box of the target process, whatever its title.
HWND findMessageBox() {
  const HWND box = findTopLevel(kDialogClass, nullptr);
  return box && IsWindowVisible(box) ? box : nullptr;
}

bool signalled(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

bool targetEnded() { return gProcess && signalled(gProcess); }

// WinEvents arrive as messages to this thread, so every wait handles them.
void pump(DWORD ms, HANDLE handle = nullptr) {
  MsgWaitForMultipleObjects(handle ? 1 : 0, &handle, FALSE, ms, QS_ALLINPUT);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Waits until `done` holds, or fails saying what did not happen in time.
template <typename Done>
void waitUntil(const char* what, Done done, HANDLE handle = nullptr) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > kTimeoutMs) fail(std::string(what) + " in time");
    pump(kPollMs, handle);
  }
}

HWND requireMainWindow() {
  const HWND main = findMainWindow();
  if (!main) fail("the main window is not there");
  return main;
}

std::wstring nameOf(Control control) {
  const std::string_view name = window::controlName(control);
  return std::wstring(name.begin(), name.end());
}

Control controlNamed(std::wstring_view name) {
  for (Control control : kControls) {
    if (name == nameOf(control)) return control;
  }
  fail("no control named " + utf8(name));
}

HWND control(HWND main, Control control) {
  const HWND hwnd = GetDlgItem(main, window::controlId(control));
  if (!hwnd) fail("the window has no control " + utf8(nameOf(control)));
  return hwnd;
}

HWND control(HWND main, std::wstring_view name) { return control(main, controlNamed(name)); }

std::wstring nameOf(HWND main, HWND hwnd) {
  if (!hwnd) return L"none";
  if (hwnd == main) return L"window";
  if (GetParent(hwnd) == main) {
    const int id = GetDlgCtrlID(hwnd);
    for (Control control : kControls) {
      if (window::controlId(control) == id) return nameOf(control);
    }
  }
  return L"other:" + className(hwnd);
}

HWND focusOf(HWND main) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

// A text: TEXT as it is, or --file UTF8FILE for one that a line cannot carry.
std::wstring textSource(const std::vector<std::wstring>& args, size_t at) {
  if (at >= args.size()) usage();
  if (args[at] != L"--file") return args[at];
  if (at + 1 >= args.size()) usage();
  FILE* file = _wfopen(args[at + 1].c_str(), L"rb");
  if (!file) fail("cannot open " + utf8(args[at + 1]));
  std::string bytes;
  char block[4096];
  for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
  std::fclose(file);
  return fromUtf8(bytes);
}

// Sends a message that may open a modal message box or end the program, and waits until one of
// these happened or the message was handled; prints which: message-box, exited or done.
void sendAndSettle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  struct Send {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  // The sending thread may outlive this call, blocked under a modal message box.
  const HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* param) -> DWORD {
        const auto& s = *static_cast<Send*>(param);
        SendMessageW(s.hwnd, s.message, s.wParam, s.lParam);
        return 0;
      },
      new Send{hwnd, message, wParam, lParam}, 0, nullptr);
  if (!thread) fail("CreateThread failed");
  waitUntil(
      "the program did not handle the message",
      [&] { return signalled(thread) || findMessageBox() || targetEnded(); }, thread);
  const bool handled = signalled(thread);
  if (handled) CloseHandle(thread);
  print(targetEnded() ? L"exited\n" : handled ? L"done\n" : L"message-box\n");
}

void sendChecked(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeoutMs, &result)) {
    fail("the program did not handle message " + std::to_string(message) + " in time");
  }
}

// What a screen reader would be told to speak: the label and what it shows.
void CALLBACK recordLiveRegion(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD,
                               DWORD) {
  if (!hwnd || !belongsToTarget(hwnd) || object != OBJID_CLIENT || child != CHILDID_SELF) return;
  try {
    gAnnouncements.push_back(utf8(L"live " + nameOf(GetParent(hwnd), hwnd) + L" visible=" +
                                  (IsWindowVisible(hwnd) ? L"1" : L"0") + L" text=" +
                                  escaped(windowText(hwnd))));
  } catch (const std::exception&) {
    // The label is gone: nothing a reader could speak.
  }
}

void commandStart(const std::wstring& exe) {
  if (gProcess && !targetEnded()) fail("the program is still running");
  std::wstring commandLine = L'"' + exe + L'"';
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    fail("cannot start " + utf8(exe) + ": error " + std::to_string(GetLastError()));
  }
  CloseHandle(process.hThread);
  if (gProcess) CloseHandle(gProcess);
  gProcess = process.hProcess;
  gPid = process.dwProcessId;
  gAnnouncements.clear();
  print(L"pid " + std::to_wstring(gPid) + L"\n");
}

void commandWaitExit() {
  if (!gProcess) fail("no program was started");
  waitUntil("the program did not end", targetEnded, gProcess);
  for (HANDLE file : gHeld) CloseHandle(file);
  gHeld.clear();
  DWORD code = 0;
  GetExitCodeProcess(gProcess, &code);
  print(std::to_wstring(code) + L"\n");
}

void commandWaitWindow() {
  waitUntil("the window did not appear", [] {
    const HWND main = findMainWindow();
    if (main && IsWindowVisible(main)) return true;
    if (const HWND box = findMessageBox()) {
      fail("a message box came instead of the window: " + utf8(escaped(windowText(box))));
    }
    if (targetEnded()) fail("the program ended before its window was shown");
    return false;
  });
}

void commandState() {
  const HWND main = requireMainWindow();
  for (Control name : kControls) {
    const HWND hwnd = control(main, name);
    print(nameOf(name) + L" visible=" + (IsWindowVisible(hwnd) ? L"1" : L"0") + L" enabled=" +
          (IsWindowEnabled(hwnd) ? L"1" : L"0") + L" text=" + escaped(windowText(hwnd)) + L"\n");
  }
  print(L"focus=" + nameOf(main, focusOf(main)) + L"\n");
}

void printRect(const std::wstring& name, int left, int top, int width, int height) {
  print(name + L" " + std::to_wstring(left) + L" " + std::to_wstring(top) + L" " +
        std::to_wstring(width) + L" " + std::to_wstring(height) + L"\n");
}

void commandRects() {
  const HWND main = requireMainWindow();
  RECT client;
  GetClientRect(main, &client);
  print(L"client " + std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom) + L"\n");
  for (Control name : kControls) {
    RECT rect;
    GetWindowRect(control(main, name), &rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
    printRect(nameOf(name), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  }
}

// What `rects` shows for a window laid out as designed at `dpi`.
void commandDesign(int dpi) {
  const auto at = [dpi](int pixels) { return window::scaled(pixels, dpi); };
  print(L"client " + std::to_wstring(at(window::kClientWidth)) + L" " +
        std::to_wstring(at(window::kClientHeight)) + L"\n");
  for (Control name : kControls) {
    const window::ControlDesign& d = window::designOf(name);
    printRect(nameOf(name), at(d.left), at(d.top), at(d.width), at(d.height));
  }
}

std::wstring accessibleStates(LONG states) {
  static const struct {
    LONG flag;
    const wchar_t* name;
  } kStates[] = {{STATE_SYSTEM_UNAVAILABLE, L"unavailable"},
                 {STATE_SYSTEM_INVISIBLE, L"invisible"},
                 {STATE_SYSTEM_FOCUSED, L"focused"}};
  std::wstring names;
  for (const auto& state : kStates) {
    if (states & state.flag) names += (names.empty() ? L"" : L",") + std::wstring(state.name);
  }
  return names.empty() ? L"normal" : names;
}

// Each control through the system's accessibility layer, as a screen reader gets it.
void commandAccessible() {
  const HWND main = requireMainWindow();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (Control name : kControls) {
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control(main, name), OBJID_CLIENT, __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&accessible)))) {
      fail("no accessible object for " + utf8(nameOf(name)));
    }
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR accName = nullptr;
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    const bool named = accessible->get_accName(self, &accName) == S_OK && accName;
    accessible->get_accRole(self, &role);
    accessible->get_accState(self, &state);
    print(nameOf(name) + L" name=" + (named ? escaped(accName) : L"(none)") + L" role=" +
          std::to_wstring(role.vt == VT_I4 ? role.lVal : -1) + L" state=" +
          accessibleStates(state.vt == VT_I4 ? state.lVal : 0) + L"\n");
    SysFreeString(accName);
    accessible->Release();
  }
  CoUninitialize();
}

struct ColourCount {
  DWORD colour;
  int pixels;
  DWORD background;
};

// The commonest colour on the screen within `rect` other than its top-left pixel's.
ColourCount commonestColour(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  // Another process's window DC reads back black under Wine; the screen holds what was drawn.
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const auto* pixels = static_cast<const DWORD*>(bits);
  ColourCount result{0, 0, pixels[0] & 0xFFFFFF};
  std::map<DWORD, int> counts;
  for (int i = 0; i < width * height; ++i) {
    const DWORD pixel = pixels[i] & 0xFFFFFF;
    if (pixel != result.background) ++counts[pixel];
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (const auto& [pixel, count] : counts) {
    if (count > result.pixels) result = {pixel, count, result.background};
  }
  return result;
}

// The colour a control draws its text in, once it has drawn any.
void commandColour(std::wstring_view name) {
  const HWND hwnd = control(requireMainWindow(), name);
  RECT rect;
  GetClientRect(hwnd, &rect);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  if (rect.right <= rect.left || rect.bottom <= rect.top) fail("the control has no area");
  ColourCount found{};
  waitUntil("the control drew nothing", [&] { return (found = commonestColour(rect)).pixels > 0; });
  // The screen's pixels are 0x00RRGGBB; Windows' colour values are 0x00BBGGRR.
  const auto bgr = [](DWORD rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); };
  wchar_t line[128];
  std::swprintf(line, 128, L"colour=%06lX pixels=%d background=%06lX contrast=%.2f\n",
                static_cast<unsigned long>(found.colour), found.pixels,
                static_cast<unsigned long>(found.background),
                window::contrastRatio(bgr(found.colour), bgr(found.background)));
  print(line);
}

void commandClick(std::wstring_view name) {
  const HWND hwnd = control(requireMainWindow(), name);
  // A person cannot press a button they cannot see or that is greyed out.
  if (!IsWindowVisible(hwnd)) fail(utf8(name) + " is hidden");
  if (!IsWindowEnabled(hwnd)) fail(utf8(name) + " is disabled");
  sendAndSettle(hwnd, BM_CLICK, 0, 0);
}

void commandSetText(const std::wstring& text) {
  sendChecked(control(requireMainWindow(), L"Text1"), WM_SETTEXT, 0,
              reinterpret_cast<LPARAM>(text.c_str()));
}

void commandType(const std::wstring& text) {
  const HWND text1 = control(requireMainWindow(), L"Text1");
  for (wchar_t unit : text) sendChecked(text1, WM_CHAR, unit, 1);
}

void commandPaste(const std::wstring& text) {
  const HWND text1 = control(requireMainWindow(), L"Text1");
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) fail("GlobalAlloc failed");
  std::memcpy(GlobalLock(memory), text.c_str(), bytes);
  GlobalUnlock(memory);
  if (!OpenClipboard(nullptr)) fail("cannot open the clipboard");
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, memory)) fail("cannot fill the clipboard");
  CloseClipboard();
  sendChecked(text1, WM_PASTE, 0, 0);
}

void commandKey(const std::vector<std::wstring>& args) {
  static const std::map<std::wstring, UINT> keys = {
      {L"tab", VK_TAB},
      {L"return", VK_RETURN},
      {L"escape", VK_ESCAPE},
      {L"space", VK_SPACE},
  };
  const HWND main = requireMainWindow();
  for (size_t i = 1; i < args.size(); ++i) {
    const auto key = keys.find(args[i]);
    if (key == keys.end()) usage();
    const HWND focus = focusOf(main);
    const HWND target = focus ? focus : main;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key->second, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key->second, scan | 1);
    PostMessageW(target, WM_KEYUP, key->second, scan | 1 | 0xC0000000);
    // Posted keys have no reply. A sent message is taken at the program's next GetMessage, and
    // between two of those it handles one posted message: the key down, the character it made
    // and the key up are handled once four sent messages have come back.
    for (int i = 0; i < 4; ++i) sendChecked(main, WM_NULL, 0, 0);
  }
}

void commandClose(bool sysCommand) {
  sendAndSettle(requireMainWindow(), sysCommand ? WM_SYSCOMMAND : WM_CLOSE,
                sysCommand ? SC_CLOSE : 0, 0);
}

void commandMessageBox() {
  HWND box = nullptr;
  waitUntil("no message box appeared", [&] {
    if (targetEnded()) fail("the program ended without a message box");
    return (box = findMessageBox()) != nullptr;
  });
  std::wstring text;
  std::wstring buttons;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring name = className(child);
    if (_wcsicmp(name.c_str(), L"Static") == 0) {
      text += windowText(child);
    } else if (_wcsicmp(name.c_str(), L"Button") == 0) {
      buttons += (buttons.empty() ? L"" : L",") + windowText(child);
    }
  }
  const HWND main = findMainWindow();
  print(L"title=" + windowText(box) + L"\n");
  print(L"text=" + escaped(text) + L"\n");
  print(L"buttons=" + buttons + L"\n");
  print(std::wstring(L"main-window=") +
        (!main                   ? L"none"
         : IsWindowVisible(main) ? L"visible"
                                 : L"hidden") +
        L"\n");
  const HWND ok = GetDlgItem(box, IDOK);
  if (!ok) fail("the message box has no OK button");
  PostMessageW(ok, BM_CLICK, 0, 0);
  waitUntil("the message box did not close", [&] { return !IsWindow(box); });
}

void commandRegistry(const std::vector<std::wstring>& args) {
  constexpr wchar_t kSubKey[] = L"Software\\Quorvantis";
  if (args.size() >= 3 && args[1] == L"set") {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSubKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      fail("cannot create the registry key");
    }
    const std::wstring value = textSource(args, 2);
    const LONG status =
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) fail("cannot set the registry value");
    return;
  }
  if (args.size() == 2 && args[1] == L"delete") {
    const LONG status = RegDeleteTreeW(HKEY_CURRENT_USER, kSubKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) fail("cannot delete the key");
    return;
  }
  usage();
}

// Another program reading the key file: it keeps the file open until the program ends.
void commandHold(const std::vector<std::wstring>& args) {
  if (args.size() != 3 || (args[1] != L"none" && args[1] != L"read,write")) usage();
  if (!gProcess || targetEnded()) fail("the program is not running");
  const DWORD sharing = args[1] == L"none" ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  const HANDLE file =
      CreateFileW(args[2].c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) fail("cannot open " + utf8(args[2]));
  gHeld.push_back(file);
}

void run(const std::vector<std::wstring>& args) {
  if (args.empty() || args[0] == L"help") usage();
  const std::wstring& command = args[0];
  if (command == L"registry") return commandRegistry(args);
  if (command == L"wait-window") return commandWaitWindow();
  if (command == L"wait-exit") return commandWaitExit();
  if (command == L"announcements") {
    for (const std::string& line : gAnnouncements) gOutput += line + "\n";
    return;
  }
  if (command == L"message-box") return commandMessageBox();
  if (command == L"state") return commandState();
  if (command == L"rects") return commandRects();
  if (command == L"accessible") return commandAccessible();
  if (command == L"hold") return commandHold(args);
  if (command == L"key") return commandKey(args);
  if (command == L"close") return commandClose(args.size() > 1 && args[1] == L"--syscommand");
  if (args.size() < 2) usage();
  if (command == L"text") return print(windowText(control(requireMainWindow(), args[1])));
  if (command == L"start") return commandStart(args[1]);
  if (command == L"design") return commandDesign(std::stoi(args[1]));
  if (command == L"colour") return commandColour(args[1]);
  if (command == L"click") return commandClick(args[1]);
  if (command == L"set-text") return commandSetText(textSource(args, 1));
  if (command == L"type") return commandType(textSource(args, 1));
  if (command == L"paste") return commandPaste(textSource(args, 1));
  usage();
}

// Reads standard input on a thread of its own, so that the main thread goes on handling the
// WinEvents while it waits, and hands each line to it as a thread message.
DWORD WINAPI readInput(void* mainThread) {
  const DWORD to = static_cast<DWORD>(reinterpret_cast<uintptr_t>(mainThread));
  std::string line;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1) {
    if (c != '\n') {
      line += c;
    } else {
      PostThreadMessageW(to, WM_APP, 0, reinterpret_cast<LPARAM>(new std::string(line)));
      line.clear();
    }
  }
  PostThreadMessageW(to, WM_QUIT, 0, 0);
  return 0;
}

std::vector<std::wstring> fields(const std::string& line) {
  std::vector<std::wstring> args;
  for (size_t start = 0;;) {
    const size_t tab = line.find('\t', start);
    args.push_back(fromUtf8(std::string_view(line).substr(start, tab - start)));
    if (tab == std::string::npos) return args;
    start = tab + 1;
  }
}

void reply(const std::string& status) {
  if (!gOutput.empty() && gOutput.back() != '\n') gOutput += '\n';
  gOutput += kReplyEnd + status + '\n';
  std::fwrite(gOutput.data(), 1, gOutput.size(), stdout);
  std::fflush(stdout);
  gOutput.clear();
}

}  // namespace

int wmain() {
  _setmode(_fileno(stdout), _O_BINARY);
  // Set before any program starts, as it may announce as soon as its window shows. It also gives
  // this thread the message queue that the input's lines come to.
  if (!SetWinEventHook(window::kLiveRegionChanged, window::kLiveRegionChanged, nullptr,
                       recordLiveRegion, 0, 0, WINEVENT_OUTOFCONTEXT)) {
    std::fputs("uak_probe: cannot watch for live-region events\n", stderr);
    return 1;
  }
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  CloseHandle(CreateThread(nullptr, 0, readInput,
                           reinterpret_cast<void*>(static_cast<uintptr_t>(GetCurrentThreadId())), 0,
                           nullptr));
  // A command's waits take no line: the next one comes only after its reply.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd || message.message != WM_APP) {
      DispatchMessageW(&message);
      continue;
    }
    const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(message.lParam));
    try {
      run(fields(*line));
      reply("ok");
    } catch (const std::exception& error) {
      std::fprintf(stderr, "uak_probe: %s\n", error.what());
      gOutput.clear();
      reply("fail");
    }
  }
  // A program left running would keep the test's output open.
  if (gProcess && !targetEnded()) TerminateProcess(gProcess, 255);
  return 0;
}
