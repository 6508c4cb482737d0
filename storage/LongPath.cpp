#include "storage/LongPath.h"

namespace storage {

namespace {

// Windows' MAX_PATH: the longest path it takes as it is has one character fewer, for the null.
constexpr std::size_t kMaxPath = 260;
constexpr std::wstring_view kPrefix = LR"(\\?\)";
constexpr std::wstring_view kSharePrefix = LR"(\\?\UNC\)";
constexpr std::wstring_view kShareStart = LR"(\\)";

bool startsWith(std::wstring_view text, std::wstring_view start) {
  return text.substr(0, start.size()) == start;
}

}  // namespace

std::wstring extendedLengthPath(std::wstring_view fullPath) {
  if (fullPath.size() < kMaxPath || startsWith(fullPath, kPrefix)) {
    return std::wstring(fullPath);
  }
  if (startsWith(fullPath, kShareStart)) {
    return std::wstring(kSharePrefix) + std::wstring(fullPath.substr(kShareStart.size()));
  }
  return std::wstring(kPrefix) + std::wstring(fullPath);
}

std::wstring withoutExtendedLengthPrefix(std::wstring_view path) {
  if (startsWith(path, kSharePrefix)) {
    return std::wstring(kShareStart) + std::wstring(path.substr(kSharePrefix.size()));
  }
  if (startsWith(path, kPrefix)) return std::wstring(path.substr(kPrefix.size()));
  return std::wstring(path);
}

}  // namespace storage
