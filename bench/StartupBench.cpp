// Start-up and memory from outside: the time from process creation until the main window is
// visible, shows what it is for and answers messages, and the process's peak working set at that
// moment, for the program, the floors and notepad, runs interleaved.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/Clock.h"
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

// Asked by message like the program, so the floor too counts as ready only once it has shown and
// painted its window and reached its message loop, not as soon as its window turns visible.
bool floorReady(HWND window, const std::wstring&) {
  HWND label2 = GetDlgItem(window, window::controlId(window::Control::Label2));
  return label2 && textOf(label2) == texts::kKeyPlaceholder;
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
  if (argc != 7) {
    std::fwprintf(stderr,
                  L"usage: startup_bench RUNS PROGRAM FLOOR FLOOR_WITH_MANIFEST KEY_FILE KEY\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  const std::wstring key = argv[6];
  const auto quoted = [](const wchar_t* path) { return std::wstring(L"\"") + path + L"\""; };
  std::vector<Subject> subjects = {
      {L"program", quoted(argv[2]), programReady, {}, {}},
      {L"floor", quoted(argv[3]), floorReady, {}, {}},
      {L"floor+registry", quoted(argv[3]) + L" --registry", floorReady, {}, {}},
      // What the program must do besides its own window: the manifest and the registry read.
      {L"floor+required", quoted(argv[4]) + L" --registry", floorReady, {}, {}},
      {L"notepad", L"notepad.exe " + quoted(argv[5]), notepadReady, {}, {}},
  };
  const Subject& program = subjects[0];
  const Subject& bareFloor = subjects[1];
  const Subject& required = subjects[3];
  measure(subjects[0], key);  // warms the file cache and Wine's own start-up
  subjects[0].startupMs.clear();
  subjects[0].peakKb.clear();
  for (int run = 0; run < runs; ++run) {
    for (Subject& subject : subjects) measure(subject, key);
  }
  std::wprintf(L"start-up to a ready window, %d interleaved runs each (median, min-max)\n", runs);
  for (const Subject& s : subjects) {
    const auto [low, high] = std::minmax_element(s.startupMs.begin(), s.startupMs.end());
    std::wprintf(L"  %-15ls %7.1f ms  (%.1f-%.1f)  %.2f x floor\n", s.name, median(s.startupMs),
                 *low, *high, median(s.startupMs) / median(bareFloor.startupMs));
  }
  std::wprintf(L"peak working set (median)\n");
  for (const Subject& s : subjects) {
    std::wprintf(L"  %-15ls %7.0f KB  %.2f x floor\n", s.name, median(s.peakKb),
                 median(s.peakKb) / median(bareFloor.peakKb));
  }
  std::wprintf(L"program against floor+required: start-up %.2f x, peak working set %.2f x\n",
               median(program.startupMs) / median(required.startupMs),
               median(program.peakKb) / median(required.peakKb));
  return 0;
}
