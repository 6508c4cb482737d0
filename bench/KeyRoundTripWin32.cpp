// The key round trip under Windows (or Wine): median of repeated saveNewAccessKey and
// readCurrentAccessKey for each key length.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "storage/KeyFile.h"

namespace {}  // namespace

int main() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring install =
      std::wstring(temp) + L"uak-bench-" + std::to_wstring(GetCurrentProcessId());
  for (const wchar_t* part :
       {L"", L"\\Firefox", L"\\Firefox\\chrome", L"\\Firefox\\chrome\\content"}) {
    CreateDirectoryW((install + part).c_str(), nullptr);
  }
  std::printf("key round trip under Win32 (median of 21)\n");
  for (size_t length : {16u, 1000u, 32000u, 1000000u}) {
    const std::wstring key(length, L'k');
    std::vector<double> times;
    for (int run = 0; run < 21; ++run) {
      const double start = nowMs();
      storage::saveNewAccessKey(storage::systemFileOperations(), install, key,
                                storage::Rights::User);
      if (storage::readCurrentAccessKey(storage::systemFileOperations(), install).size() != length)
        return 1;
      times.push_back(nowMs() - start);
    }
    std::nth_element(times.begin(), times.begin() + 10, times.end());
    std::printf("  %8zu characters: %8.3f ms\n", length, times[10]);
  }
  DeleteFileW(storage::keyFilePath(install).c_str());
  for (const wchar_t* part :
       {L"\\Firefox\\chrome\\content", L"\\Firefox\\chrome", L"\\Firefox", L""}) {
    RemoveDirectoryW((install + part).c_str());
  }
  return 0;
}
