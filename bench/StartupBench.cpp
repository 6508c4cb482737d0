// Start-up and memory from outside: the time from process creation until the main window is
// visible and ready, and the process's peak working set, for the program, the floor and notepad,
// runs interleaved.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "window/Form1Design.h"

namespace {

struct Subject {
  const wchar_t* name;
  std::wstring commandLine;
  // True once the process's visible top-level window shows what a person came for.
  bool (*ready)(HWND window, const std::wstring& key);
  std::vector<double> startupMs;
  std::vector<double> peakKb;
};

double nowMs() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HWND visibleWindowOf(DWORD processId) {
  struct Search {
    DWORD processId;
    HWND found;
  } search{processId, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner != s->processId || !IsWindowVisible(hwnd) || GetWindow(hwnd, GW_OWNER)) {
          return TRUE;
        }
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring textOf(HWND hwnd) {
  wchar_t text[256] = L"";
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 1000,
                      nullptr);
  return text;
}

bool programReady(HWND window, const std::wstring& key) {
  HWND label2 = GetDlgItem(window, window::controlId(window::Control::Label2));
  return label2 && textOf(label2) == key;
}

bool floorReady(HWND window, const std::wstring&) {
  return GetDlgItem(window, window::controlId(window::Control::Label2)) != nullptr;
}

bool notepadReady(HWND window, const std::wstring& key) {
  HWND edit = FindWindowExW(window, nullptr, L"Edit", nullptr);
  return edit && textOf(edit).find(key) != std::wstring::npos;
}

void measure(Subject& subject, const std::wstring& key) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring commandLine = subject.commandLine;
  const double start = nowMs();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fwprintf(stderr, L"cannot start %ls\n", subject.commandLine.c_str());
    std::exit(1);
  }
  HWND window = nullptr;
  for (;;) {
    window = visibleWindowOf(process.dwProcessId);
    if (window && subject.ready(window, key)) break;
    if (nowMs() - start > 20000) {
      std::fwprintf(stderr, L"%ls did not become ready\n", subject.name);
      std::exit(1);
    }
    Sleep(1);
  }
  subject.startupMs.push_back(nowMs() - start);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
  subject.peakKb.push_back(static_cast<double>(memory.PeakWorkingSetSize) / 1024.0);

  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) {
    std::fwprintf(stderr, L"usage: startup_bench RUNS PROGRAM FLOOR KEY_FILE KEY\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  const std::wstring key = argv[5];
  std::vector<Subject> subjects = {
      {L"program", std::wstring(L"\"") + argv[2] + L"\"", programReady, {}, {}},
      {L"floor", std::wstring(L"\"") + argv[3] + L"\"", floorReady, {}, {}},
      {L"notepad", std::wstring(L"notepad.exe \"") + argv[4] + L"\"", notepadReady, {}, {}},
  };
  measure(subjects[0], key);  // warms the file cache and Wine's own start-up
  subjects[0].startupMs.clear();
  subjects[0].peakKb.clear();
  for (int run = 0; run < runs; ++run) {
    for (Subject& subject : subjects) measure(subject, key);
  }
  const double floorMs = median(subjects[1].startupMs);
  const double floorKb = median(subjects[1].peakKb);
  std::wprintf(L"start-up to a ready window, %d interleaved runs each (median, min-max)\n", runs);
  for (const Subject& s : subjects) {
    const auto [low, high] = std::minmax_element(s.startupMs.begin(), s.startupMs.end());
    std::wprintf(L"  %-8ls %7.1f ms  (%.1f-%.1f)  %.2f x floor\n", s.name, median(s.startupMs),
                 *low, *high, median(s.startupMs) / floorMs);
  }
  std::wprintf(L"peak working set (median)\n");
  for (const Subject& s : subjects) {
    std::wprintf(L"  %-8ls %7.0f KB  %.2f x floor\n", s.name, median(s.peakKb),
                 median(s.peakKb) / floorKb);
  }
  return 0;
}
