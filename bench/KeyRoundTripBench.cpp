// The key round trip, saveNewAccessKey then readCurrentAccessKey, on the native file system.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "storage/KeyFile.h"

namespace {

namespace fs = std::filesystem;

void keyRoundTrip(benchmark::State& state) {
  const fs::path install = fs::temp_directory_path() / ("uak-bench-" + std::to_string(getpid()));
  fs::create_directories(install / "Firefox" / "chrome" / "content");
  const std::wstring installPath = install.wstring();
  const std::wstring key(static_cast<size_t>(state.range(0)), L'k');
  for (auto _ : state) {
    storage::saveNewAccessKey(storage::systemFileOperations(), installPath, key);
    benchmark::DoNotOptimize(
        storage::readCurrentAccessKey(storage::systemFileOperations(), installPath));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) * 2);
  fs::remove_all(install);
}

BENCHMARK(keyRoundTrip)
    ->Arg(16)
    ->Arg(1000)
    ->Arg(32000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
