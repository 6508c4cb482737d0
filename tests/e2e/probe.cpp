// uak_probe: drives UpdateAccessKey.exe from outside, as a user would, for the end-to-end tests.
// It starts the program, finds its window by title, class and process, reads and operates the
// controls, and answers the program's message boxes. Run `uak_probe help` for the commands.
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
#include <string>
#include <string_view>
#include <vector>

#include "window/ReadableColour.h"

namespace {

constexpr wchar_t kTitle[] = L"Quorvantis - Update Access key";
constexpr wchar_t kClass[] = L"QuorvantisUpdateAccessKey";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr DWORD kPollMs = 20;
// A posted key is handled well within this on an idle program.
constexpr DWORD kKeySettleMs = 150;
constexpr DWORD kLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED, Windows 8 on

struct ControlName {
  const wchar_t* name;
  int id;
};

// The window ids are 1000 + the control's index in the program's Control enum.
constexpr ControlName kControls[] = {
    {L"Label1", 1000},         {L"Label2", 1001},       {L"Label3", 1002},
    {L"Label4", 1003},         {L"Label5", 1004},       {L"Text1", 1005},
    {L"Command_Update", 1006}, {L"Command_Exit", 1007}, {L"Image1", 1008},
};

const char kUsage[] =
    "usage: uak_probe [--pid N] [--desktop NAME] [--timeout SECONDS] COMMAND ...\n"
    "  --desktop: the program runs in a Wine desktop (explorer /desktop=NAME)\n"
    "  start LOG EXE [ARGS]    run EXE; LOG gets \"pid N\" at start, \"exit N\" at its end, and\n"
    "                          \"live NAME visible=V text=T\" at each live-region event\n"
    "  wait-window             wait until the main window is visible; prints its pid\n"
    "  state                   each control: visible, enabled, text (CR, LF escaped); the focus\n"
    "  text NAME               a control's text as raw UTF-8\n"
    "  rects                   each control's rectangle in client coordinates\n"
    "  accessible              each control as screen readers see it: name, role, states\n"
    "  colour NAME             the commonest colour in a control that is not its background,\n"
    "                          and its contrast ratio to the background\n"
    "  click NAME              BM_CLICK a visible, enabled button\n"
    "  set-text SOURCE         WM_SETTEXT to Text1\n"
    "  type SOURCE             WM_CHAR to Text1, one per UTF-16 unit\n"
    "  paste SOURCE            put SOURCE on the clipboard, WM_PASTE to Text1\n"
    "  key KEY...              post WM_KEYDOWN/UP to the focus: tab return escape space back\n"
    "  close [--syscommand]    WM_CLOSE, or WM_SYSCOMMAND SC_CLOSE\n"
    "  message-box [--leave]   wait for the program's message box, print it, press OK\n"
    "  kill                    end the program at once (clean-up after a failed test)\n"
    "  hold none|read,write FILE  open FILE for reading with that sharing until the program ends\n"
    "  registry set SOURCE | registry delete   HKCU\\Software\\Quorvantis default value\n"
    "SOURCE: TEXT | --repeat N CHAR | --file UTF8FILE | --units HEX,HEX,...\n"
    "click and close print what followed: done, message-box or exited.\n";

DWORD gPid = 0;
HDESK gDesktop = nullptr;
DWORD gTimeoutMs = 10000;

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "uak_probe: %s\n", message.c_str());
  std::exit(1);
}

[[noreturn]] void usage() {
  std::fputs(kUsage, stderr);
  std::exit(2);
}

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  return bytes;
}

std::wstring fromUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

void print(std::wstring_view text) {
  const std::string bytes = utf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// One line per value: line breaks and tabs are shown as escapes.
std::wstring escaped(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'\n') {
      out += L"\\n";
    } else if (c == L'\t') {
      out += L"\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring windowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, gTimeoutMs, &length)) {
    fail("the window does not answer WM_GETTEXTLENGTH");
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, gTimeoutMs, &copied);
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

HWND findMainWindow() { return findTopLevel(kClass, kTitle); }

// A visible message box of the target process, whatever its title.
HWND findMessageBox() {
  const HWND box = findTopLevel(kDialogClass, nullptr);
  return box && IsWindowVisible(box) ? box : nullptr;
}

bool targetEnded() {
  if (gPid == 0) return false;
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, gPid);
  if (!process) return true;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

HWND requireMainWindow() {
  const HWND main = findMainWindow();
  if (!main) fail("the main window is not there");
  return main;
}

const ControlName& controlNamed(std::wstring_view name) {
  for (const ControlName& control : kControls) {
    if (name == control.name) return control;
  }
  fail("no control named " + utf8(name));
}

HWND control(HWND main, const ControlName& control) {
  const HWND hwnd = GetDlgItem(main, control.id);
  if (!hwnd) fail("the window has no control with id " + std::to_string(control.id));
  return hwnd;
}

HWND control(HWND main, std::wstring_view name) { return control(main, controlNamed(name)); }

std::wstring nameOf(HWND main, HWND hwnd) {
  if (!hwnd) return L"none";
  if (hwnd == main) return L"window";
  if (GetParent(hwnd) == main) {
    const int id = GetDlgCtrlID(hwnd);
    for (const ControlName& control : kControls) {
      if (control.id == id) return control.name;
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

// A text from the command line: TEXT | --repeat N CHAR | --file UTF8FILE | --units HEX,...
std::wstring textSource(const std::vector<std::wstring>& args, size_t at) {
  if (at >= args.size()) usage();
  const std::wstring& first = args[at];
  if (first == L"--repeat") {
    if (at + 2 >= args.size() || args[at + 2].empty()) usage();
    return std::wstring(std::wcstoul(args[at + 1].c_str(), nullptr, 10), args[at + 2][0]);
  }
  if (first == L"--file") {
    if (at + 1 >= args.size()) usage();
    FILE* file = _wfopen(args[at + 1].c_str(), L"rb");
    if (!file) fail("cannot open " + utf8(args[at + 1]));
    std::string bytes;
    char block[4096];
    for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
      bytes.append(block, got);
    std::fclose(file);
    return fromUtf8(bytes);
  }
  if (first == L"--units") {
    if (at + 1 >= args.size()) usage();
    std::wstring text;
    const wchar_t* p = args[at + 1].c_str();
    while (*p) {
      wchar_t* end = nullptr;
      text += static_cast<wchar_t>(std::wcstoul(p, &end, 16));
      if (end == p) usage();
      p = *end == L',' ? end + 1 : end;
    }
    return text;
  }
  return first;
}

std::wstring describeOutcome(DWORD outcome) {
  switch (outcome) {
    case 0:
      return L"done";
    case 1:
      return L"message-box";
    default:
      return L"exited";
  }
}

// Windows are found only on the thread's own desktop.
void useTargetDesktop() {
  if (gDesktop && !SetThreadDesktop(gDesktop)) fail("cannot switch to the desktop");
}

// Sends a message that may open a modal message box or end the program, and waits until one of
// these happened or the message was handled: 0 handled, 1 message box, 2 program ended.
DWORD sendAndSettle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
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
        useTargetDesktop();
        SendMessageW(s.hwnd, s.message, s.wParam, s.lParam);
        return 0;
      },
      new Send{hwnd, message, wParam, lParam}, 0, nullptr);
  if (!thread) fail("CreateThread failed");
  const DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(thread, kPollMs) == WAIT_OBJECT_0) {
      CloseHandle(thread);
      return targetEnded() ? 2 : 0;
    }
    if (findMessageBox()) return 1;
    if (targetEnded()) return 2;
    if (GetTickCount() - start > gTimeoutMs) fail("the program did not handle the message in time");
  }
}

void sendChecked(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, gTimeoutMs, &result)) {
    fail("the program did not handle message " + std::to_string(message) + " in time");
  }
}

std::wstring gLog;

void writeLog(const std::string& line, const wchar_t* mode) {
  FILE* file = _wfopen(gLog.c_str(), mode);
  if (!file) fail("cannot write " + utf8(gLog));
  std::fputs(line.c_str(), file);
  std::fclose(file);
}

// What a screen reader would be told to speak: the label and what it shows.
void CALLBACK logLiveRegion(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD,
                            DWORD) {
  if (!hwnd || !belongsToTarget(hwnd) || object != OBJID_CLIENT || child != CHILDID_SELF) return;
  const std::wstring line = L"live " + nameOf(GetParent(hwnd), hwnd) + L" visible=" +
                            (IsWindowVisible(hwnd) ? L"1" : L"0") + L" text=" +
                            escaped(windowText(hwnd)) + L"\n";
  writeLog(utf8(line), L"ab");
}

int commandStart(const std::vector<std::wstring>& args) {
  if (args.size() < 3) usage();
  gLog = args[1];
  std::wstring commandLine;
  for (size_t i = 2; i < args.size(); ++i) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += L'"' + args[i] + L'"';
  }
  // Set before the program starts, as it may announce as soon as its window shows.
  if (!SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, nullptr, logLiveRegion, 0, 0,
                       WINEVENT_OUTOFCONTEXT)) {
    fail("cannot watch for live-region events");
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(args[2].c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    writeLog("error " + std::to_string(GetLastError()) + "\n", L"wb");
    fail("cannot start " + utf8(args[2]));
  }
  CloseHandle(process.hThread);
  gPid = process.dwProcessId;
  writeLog("pid " + std::to_string(process.dwProcessId) + "\n", L"wb");
  // Events arrive as messages to this thread.
  while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT) ==
         WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  writeLog("exit " + std::to_string(code) + "\n", L"ab");
  return 0;
}

int commandWaitWindow() {
  const DWORD start = GetTickCount();
  for (;;) {
    const HWND main = findMainWindow();
    if (main && IsWindowVisible(main)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(main, &pid);
      print(L"pid " + std::to_wstring(pid) + L"\n");
      return 0;
    }
    if (const HWND box = findMessageBox()) {
      fail("a message box came instead of the window: " + utf8(escaped(windowText(box))));
    }
    if (targetEnded()) fail("the program ended before its window was shown");
    if (GetTickCount() - start > gTimeoutMs) fail("the window did not appear in time");
    Sleep(kPollMs);
  }
}

int commandState() {
  const HWND main = requireMainWindow();
  for (const ControlName& name : kControls) {
    const HWND hwnd = control(main, name);
    print(std::wstring(name.name) + L" visible=" + (IsWindowVisible(hwnd) ? L"1" : L"0") +
          L" enabled=" + (IsWindowEnabled(hwnd) ? L"1" : L"0") + L" text=" +
          escaped(windowText(hwnd)) + L"\n");
  }
  print(L"focus=" + nameOf(main, focusOf(main)) + L"\n");
  return 0;
}

int commandRects() {
  const HWND main = requireMainWindow();
  RECT client;
  GetClientRect(main, &client);
  print(L"client " + std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom) + L"\n");
  for (const ControlName& name : kControls) {
    RECT rect;
    GetWindowRect(control(main, name), &rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
    print(std::wstring(name.name) + L" " + std::to_wstring(rect.left) + L" " +
          std::to_wstring(rect.top) + L" " + std::to_wstring(rect.right - rect.left) + L" " +
          std::to_wstring(rect.bottom - rect.top) + L"\n");
  }
  return 0;
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
int commandAccessible() {
  const HWND main = requireMainWindow();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (const ControlName& name : kControls) {
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control(main, name), OBJID_CLIENT, __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&accessible)))) {
      fail("no accessible object for " + utf8(name.name));
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
    print(std::wstring(name.name) + L" name=" + (named ? escaped(accName) : L"(none)") + L" role=" +
          std::to_wstring(role.vt == VT_I4 ? role.lVal : -1) + L" state=" +
          accessibleStates(state.vt == VT_I4 ? state.lVal : 0) + L"\n");
    SysFreeString(accName);
    accessible->Release();
  }
  CoUninitialize();
  return 0;
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
int commandColour(std::wstring_view name) {
  const HWND hwnd = control(requireMainWindow(), name);
  RECT rect;
  GetClientRect(hwnd, &rect);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  if (rect.right <= rect.left || rect.bottom <= rect.top) fail("the control has no area");
  const DWORD start = GetTickCount();
  ColourCount found = commonestColour(rect);
  while (found.pixels == 0 && GetTickCount() - start < gTimeoutMs) {
    Sleep(kPollMs);
    found = commonestColour(rect);
  }
  // The screen's pixels are 0x00RRGGBB; Windows' colour values are 0x00BBGGRR.
  const auto bgr = [](DWORD rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); };
  wchar_t line[128];
  std::swprintf(line, 128, L"colour=%06lX pixels=%d background=%06lX contrast=%.2f\n",
                static_cast<unsigned long>(found.colour), found.pixels,
                static_cast<unsigned long>(found.background),
                window::contrastRatio(bgr(found.colour), bgr(found.background)));
  print(line);
  return 0;
}

int commandClick(std::wstring_view name) {
  const HWND hwnd = control(requireMainWindow(), name);
  // A person cannot press a button they cannot see or that is greyed out.
  if (!IsWindowVisible(hwnd)) fail(utf8(name) + " is hidden");
  if (!IsWindowEnabled(hwnd)) fail(utf8(name) + " is disabled");
  print(describeOutcome(sendAndSettle(hwnd, BM_CLICK, 0, 0)) + L"\n");
  return 0;
}

int commandSetText(const std::wstring& text) {
  sendChecked(control(requireMainWindow(), L"Text1"), WM_SETTEXT, 0,
              reinterpret_cast<LPARAM>(text.c_str()));
  return 0;
}

int commandType(const std::wstring& text) {
  const HWND text1 = control(requireMainWindow(), L"Text1");
  for (wchar_t unit : text) sendChecked(text1, WM_CHAR, unit, 1);
  return 0;
}

int commandPaste(const std::wstring& text) {
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
  return 0;
}

int commandKey(const std::vector<std::wstring>& args) {
  static const std::map<std::wstring, UINT> keys = {
      {L"tab", VK_TAB},     {L"return", VK_RETURN}, {L"escape", VK_ESCAPE},
      {L"space", VK_SPACE}, {L"back", VK_BACK},
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
    // Posted keys have no reply; an idle program has handled them by then.
    Sleep(kKeySettleMs);
  }
  return 0;
}

int commandClose(bool sysCommand) {
  const HWND main = requireMainWindow();
  const DWORD outcome = sysCommand ? sendAndSettle(main, WM_SYSCOMMAND, SC_CLOSE, 0)
                                   : sendAndSettle(main, WM_CLOSE, 0, 0);
  print(describeOutcome(outcome) + L"\n");
  return 0;
}

int commandMessageBox(bool leave) {
  const DWORD start = GetTickCount();
  HWND box = nullptr;
  while (!(box = findMessageBox())) {
    if (targetEnded()) fail("the program ended without a message box");
    if (GetTickCount() - start > gTimeoutMs) fail("no message box appeared in time");
    Sleep(kPollMs);
  }
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
  if (leave) return 0;
  const HWND ok = GetDlgItem(box, IDOK);
  if (!ok) fail("the message box has no OK button");
  PostMessageW(ok, BM_CLICK, 0, 0);
  while (IsWindow(box)) {
    if (GetTickCount() - start > gTimeoutMs) fail("the message box did not close");
    Sleep(kPollMs);
  }
  return 0;
}

int commandRegistry(const std::vector<std::wstring>& args) {
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
    return 0;
  }
  if (args.size() == 2 && args[1] == L"delete") {
    const LONG status = RegDeleteTreeW(HKEY_CURRENT_USER, kSubKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) fail("cannot delete the key");
    return 0;
  }
  usage();
}

// Another program reading the key file: it keeps the file open until the program ends.
int commandHold(const std::vector<std::wstring>& args) {
  if (args.size() != 3 || gPid == 0 || (args[1] != L"none" && args[1] != L"read,write")) usage();
  const DWORD sharing = args[1] == L"none" ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, gPid);
  if (!process) fail("the program is not running");
  if (CreateFileW(args[2].c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr) ==
      INVALID_HANDLE_VALUE) {
    fail("cannot open " + utf8(args[2]));
  }
  print(L"held\n");
  std::fflush(stdout);
  // The file closes as this process ends.
  WaitForSingleObject(process, INFINITE);
  return 0;
}

int commandKill() {
  const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, gPid);
  if (!process || !TerminateProcess(process, 255)) fail("cannot end the program");
  CloseHandle(process);
  return 0;
}

int run(const std::vector<std::wstring>& args) {
  if (args.empty() || args[0] == L"help") usage();
  const std::wstring& command = args[0];
  if (command == L"start") return commandStart(args);
  if (command == L"registry") return commandRegistry(args);
  if (command == L"wait-window") return commandWaitWindow();
  if (command == L"message-box") return commandMessageBox(args.size() > 1 && args[1] == L"--leave");
  if (command == L"state") return commandState();
  if (command == L"rects") return commandRects();
  if (command == L"accessible") return commandAccessible();
  if (command == L"kill") return commandKill();
  if (command == L"hold") return commandHold(args);
  if (command == L"key") return commandKey(args);
  if (command == L"close") return commandClose(args.size() > 1 && args[1] == L"--syscommand");
  if (args.size() < 2) usage();
  if (command == L"text") {
    print(windowText(control(requireMainWindow(), args[1])));
    return 0;
  }
  if (command == L"colour") return commandColour(args[1]);
  if (command == L"click") return commandClick(args[1]);
  if (command == L"set-text") return commandSetText(textSource(args, 1));
  if (command == L"type") return commandType(textSource(args, 1));
  if (command == L"paste") return commandPaste(textSource(args, 1));
  usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::wstring> args(argv + 1, argv + argc);
  while (!args.empty() && args[0].rfind(L"--", 0) == 0 && args.size() >= 2) {
    if (args[0] == L"--pid") {
      gPid = std::wcstoul(args[1].c_str(), nullptr, 10);
    } else if (args[0] == L"--desktop") {
      gDesktop = OpenDesktopW(args[1].c_str(), 0, FALSE, GENERIC_ALL);
      if (!gDesktop) fail("no desktop named " + utf8(args[1]));
    } else if (args[0] == L"--timeout") {
      gTimeoutMs = static_cast<DWORD>(std::wcstod(args[1].c_str(), nullptr) * 1000);
    } else {
      usage();
    }
    args.erase(args.begin(), args.begin() + 2);
  }
  useTargetDesktop();
  const int code = run(args);
  std::fflush(stdout);
  return code;
}
