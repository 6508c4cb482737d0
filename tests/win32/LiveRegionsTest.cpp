// COM that the first announcement starts ends with the live regions; COM that the thread had
// before, in either model, stays the thread's.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <optional>
#include <thread>

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

}  // namespace
