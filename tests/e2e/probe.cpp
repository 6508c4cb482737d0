// uak_probe: works UpdateAccessKey.exe from outside, as a user would, for the end-to-end tests and
// the screenshots. It reads one command a line on its standard input, fields separated by tabs,
// and answers each with its output and a last line "\x1fok" or "\x1ffail", the reason going to
// standard error. It says "\x1fok" first, once it runs. At the end of its input it ends the
// program, if that still runs. Commands:
//   start EXE             run EXE and wait until its window or a message box shows
//   wait-exit             wait until the program ends; prints its exit code
//   state                 each control: visible, enabled, text (CR, LF escaped); then the focus
//   drawn NAME            wait until the control shows more than one colour on the screen
//   click NAME            BM_CLICK a visible, enabled button
//   type TEXT             WM_CHAR to Text1, one per UTF-16 unit
//   close                 the window's close command (WM_SYSCOMMAND SC_CLOSE)
//   message-box           wait for the program's message box, print it, press OK
// start prints what showed, window, message-box or exited; click and close what followed, done,
// message-box or exited.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/Utf8.h"
#include "window/Form1Design.h"

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kTimeoutMs = 10000;

HANDLE gProcess = nullptr;
DWORD gPid = 0;
std::string gOutput;

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

std::string utf8(std::wstring_view text) { return testsupport::utf8Of(text); }

void print(std::wstring_view text) { gOutput += utf8(text); }

// One line per value: line breaks and tabs are shown as escapes.
std::wstring escaped(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    out += c == L'\r' ? L"\\r" : c == L'\n' ? L"\\n" : c == L'\t' ? L"\\t" : std::wstring(1, c);
  }
  return out;
}

// Asked of the control itself: only it knows what an edit box holds.
std::wstring windowText(HWND hwnd) {
  DWORD_PTR length = 0, copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &length)) {
    fail("the window does not answer WM_GETTEXTLENGTH");
  }
  std::wstring text(length + 1, L'\0');
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

// The program's first visible top-level window of this class, with this title unless null.
HWND findTopLevel(const wchar_t* windowClass, const wchar_t* title) {
  for (HWND hwnd = nullptr; (hwnd = FindWindowExW(nullptr, hwnd, windowClass, title));) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == gPid && IsWindowVisible(hwnd)) return hwnd;
  }
  return nullptr;
}

HWND findMainWindow() { return findTopLevel(window::kWindowClass, texts::kWindowTitle); }
HWND findMessageBox() { return findTopLevel(L"#32770", nullptr); }

bool signalled(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }
bool targetEnded() { return gProcess && signalled(gProcess); }

// Waits until `done` holds, or fails saying what did not happen in time.
template <typename Done>
void waitUntil(const char* what, Done done) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(kPollMs)) {
    if (GetTickCount() - start > kTimeoutMs) fail(std::string(what) + " in time");
  }
}

HWND requireMainWindow() {
  const HWND main = findMainWindow();
  if (!main) fail("the main window is not there");
  return main;
}

// Each control's name in the design, by which the scenarios call it.
std::wstring nameOf(window::Control control) {
  constexpr const wchar_t* kNames[] = {L"Label1",         L"Label2",       L"Label3",
                                       L"Label4",         L"Label5",       L"Text1",
                                       L"Command_Update", L"Command_Exit", L"Image1"};
  return kNames[static_cast<int>(control)];
}

HWND control(std::wstring_view name) {
  for (const window::ControlDesign& design : window::kControls) {
    if (name != nameOf(design.control)) continue;
    if (const HWND hwnd = GetDlgItem(requireMainWindow(), window::controlId(design.control))) {
      return hwnd;
    }
  }
  fail("the window has no control " + utf8(name));
}

// Prints whether the program ended or shows a message box, or else `otherwise`.
void printWhatShows(const wchar_t* otherwise) {
  print(targetEnded() ? L"exited\n" : findMessageBox() ? L"message-box\n" : otherwise);
}

// Sends a message that may open a modal message box or end the program, and waits until one of
// these happened or the message was handled; prints which: message-box, exited or done.
void sendAndSettle(HWND hwnd, UINT message, WPARAM wParam) {
  // The sending thread may outlive this call, blocked under a modal message box.
  const auto handled = std::make_shared<std::atomic<bool>>(false);
  std::thread([=] {
    SendMessageW(hwnd, message, wParam, 0);
    *handled = true;
  }).detach();
  waitUntil("the program did not handle the message",
            [&] { return *handled || findMessageBox() || targetEnded(); });
  printWhatShows(L"done\n");
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
  waitUntil("neither the window nor a message box appeared",
            [] { return findMainWindow() || findMessageBox() || targetEnded(); });
  printWhatShows(L"window\n");
}

void commandWaitExit() {
  if (!gProcess) fail("no program was started");
  waitUntil("the program did not end", targetEnded);
  DWORD code = 0;
  GetExitCodeProcess(gProcess, &code);
  print(std::to_wstring(code) + L"\n");
}

void commandState() {
  const HWND main = requireMainWindow();
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &thread);
  std::wstring focus = L"none";
  for (const window::ControlDesign& design : window::kControls) {
    const HWND hwnd = GetDlgItem(main, window::controlId(design.control));
    if (hwnd == thread.hwndFocus) focus = nameOf(design.control);
    print(nameOf(design.control) + L" visible=" + (IsWindowVisible(hwnd) ? L"1" : L"0") +
          L" enabled=" + (IsWindowEnabled(hwnd) ? L"1" : L"0") + L" text=" +
          escaped(windowText(hwnd)) + L"\n");
  }
  print(L"focus=" + focus + L"\n");
}

// Another process's window DC reads back black under Wine; the screen holds what was drawn.
void commandDrawn(std::wstring_view name) {
  RECT rect;
  GetWindowRect(control(name), &rect);
  waitUntil("the control drew nothing", [&rect] {
    const HDC screen = GetDC(nullptr);
    const COLORREF first = GetPixel(screen, rect.left, rect.top);
    bool drawn = false;
    for (int y = rect.top; y < rect.bottom && !drawn; ++y) {
      for (int x = rect.left; x < rect.right && !drawn; ++x)
        drawn = GetPixel(screen, x, y) != first;
    }
    ReleaseDC(nullptr, screen);
    return drawn;
  });
}

void commandClick(std::wstring_view name) {
  const HWND hwnd = control(name);
  // A person cannot press a button they cannot see or that is greyed out.
  if (!IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) fail(utf8(name) + " cannot be pressed");
  sendAndSettle(hwnd, BM_CLICK, 0);
}

void commandMessageBox() {
  HWND box = nullptr;
  waitUntil("no message box appeared", [&] {
    if (targetEnded()) fail("the program ended without a message box");
    return (box = findMessageBox()) != nullptr;
  });
  std::wstring text, buttons;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[16] = {};
    GetClassNameW(child, kind, 16);
    if (_wcsicmp(kind, L"Static") == 0) text += windowText(child);
    if (_wcsicmp(kind, L"Button") == 0)
      buttons += (buttons.empty() ? L"" : L",") + windowText(child);
  }
  print(L"title=" + windowText(box) + L"\ntext=" + escaped(text) + L"\nbuttons=" + buttons +
        L"\nmain-window=" + (findMainWindow() ? L"visible" : L"none or hidden") + L"\n");
  if (!PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0)) fail("the box has no OK button");
  waitUntil("the message box did not close", [&] { return !IsWindow(box); });
}

void run(const std::vector<std::wstring>& args) {
  const std::wstring& command = args[0];
  if (command == L"wait-exit") return commandWaitExit();
  if (command == L"message-box") return commandMessageBox();
  if (command == L"state") return commandState();
  if (command == L"close") return sendAndSettle(requireMainWindow(), WM_SYSCOMMAND, SC_CLOSE);
  if (args.size() != 2) fail("no such command; see probe.cpp");
  if (command == L"start") return commandStart(args[1]);
  if (command == L"drawn") return commandDrawn(args[1]);
  if (command == L"click") return commandClick(args[1]);
  if (command != L"type") fail("no such command; see probe.cpp");
  for (wchar_t unit : args[1]) SendMessageW(control(L"Text1"), WM_CHAR, unit, 1);
}

}  // namespace

int wmain() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fputs("\x1fok\n", stdout);
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
    std::vector<std::wstring> args;
    for (size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
      tab = line.find('\t', start);
      args.push_back(testsupport::wideOfUtf8(std::string_view(line).substr(start, tab - start)));
    }
    try {
      run(args);
      gOutput += gOutput.empty() || gOutput.back() == '\n' ? "\x1fok\n" : "\n\x1fok\n";
    } catch (const std::exception& error) {
      std::fprintf(stderr, "uak_probe: %s\n", error.what());
      gOutput =
          "\x1f"
          "fail\n";
    }
    std::fwrite(gOutput.data(), 1, gOutput.size(), stdout);
    std::fflush(stdout);
    gOutput.clear();
  }
  // A program left running would keep the test's output open.
  if (gProcess && !targetEnded()) TerminateProcess(gProcess, 255);
  return 0;
}
