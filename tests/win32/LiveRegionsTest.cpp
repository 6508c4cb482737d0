// COM that the first announcement starts ends with the live regions; COM that the thread had
// before, in either model, stays the thread's.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <optional>
#include <string>
#include <thread>

#include "win32/SystemFunction.h"
#include "window/LiveRegions.h"

namespace {

TEST(LiveRegions, EndOnlyTheComThatTheyStarted) {
  const struct {
    const char* why;
    std::optional<DWORD> before;
    HRESULT startAfter;  // S_OK: the thread had no COM left
  } cases[] = {
      {"no COM before", std::nullopt, S_OK},
      {"single-threaded before, counted twice", COINIT_APARTMENTTHREADED, S_FALSE},
      {"multithreaded before, which they cannot join", COINIT_MULTITHREADED, S_FALSE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    std::thread([&c] {
      if (c.before) {
        ASSERT_EQ(CoInitializeEx(nullptr, *c.before), S_OK);
      }
      // No label is needed: COM starts at the first announcement, whatever it marks.
      window::LiveRegions().announce(nullptr, window::Announcement::Polite);
      EXPECT_EQ(CoInitializeEx(nullptr, c.before.value_or(COINIT_APARTMENTTHREADED)), c.startAfter);
      CoUninitialize();
      if (c.before) CoUninitialize();
    }).join();
  }
}

// COM's library by its full System32 path, as Windows 7 without update KB2533623 refuses the
// search flag that would keep other folders out.
TEST(LiveRegions, LoadComFromSystem32) {
  wchar_t system32[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system32, MAX_PATH);
  wchar_t loaded[MAX_PATH] = L"";
  GetModuleFileNameW(win32::systemLibrary(L"ole32.dll"), loaded, MAX_PATH);
  EXPECT_EQ(CompareStringOrdinal(
                loaded, -1, (std::wstring(system32, length) + L"\\ole32.dll").c_str(), -1, TRUE),
            CSTR_EQUAL);
  EXPECT_EQ(win32::systemLibrary(L"no-such-library.dll"), nullptr);
}

}  // namespace
