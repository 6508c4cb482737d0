#include "storage/LongPath.h"

namespace storage {

// Windows' MAX_PATH: the longest path it takes as it is has one character fewer, for the null.
constexpr std::size_t kMaxPath = 260;
constexpr std::wstring_view kPrefix = LR"(\\?\)";
constexpr std::wstring_view kSharePrefix = LR"(\\?\UNC\)";
constexpr std::wstring_view kShareStart = LR"(\\)";

std::wstring extendedLengthPath(std::wstring_view fullPath) {
  if (fullPath.size() < kMaxPath || fullPath.starts_with(kPrefix)) {
    return std::wstring(fullPath);
  }
  if (fullPath.starts_with(kShareStart)) {
    return std::wstring(kSharePrefix) + std::wstring(fullPath.substr(kShareStart.size()));
  }
  return std::wstring(kPrefix) + std::wstring(fullPath);
}

std::wstring withoutExtendedLengthPrefix(std::wstring_view path) {
  if (path.starts_with(kSharePrefix)) {
    return std::wstring(kShareStart) + std::wstring(path.substr(kSharePrefix.size()));
  }
  if (path.starts_with(kPrefix)) return std::wstring(path.substr(kPrefix.size()));
  return std::wstring(path);
}

}  // namespace storage
