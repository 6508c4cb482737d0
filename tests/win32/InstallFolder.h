// A private installation folder below the system's temporary folder, named in two scripts, and the
// raw file calls that the tests set the scene and check the key file with.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "storage/KeyFileFormat.h"
#include "win32/ScopedHandle.h"

namespace testsupport {

// Names of the files and folders in `folder`, in the order the system lists them.
inline std::vector<std::wstring> entriesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const win32::ScopedFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search.get(), &found));
  return names;
}

inline void removeTree(const std::wstring& path) {
  for (const std::wstring& name : entriesIn(path)) {
    const std::wstring child = path + L'\\' + name;
    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only and hidden files too
    if (!DeleteFileW(child.c_str())) removeTree(child);
  }
  RemoveDirectoryW(path.c_str());
}

inline std::string readBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file) throw std::runtime_error("cannot open the file to check it");
  return {std::istreambuf_iterator<char>(file), {}};
}

inline void writeBytes(const std::wstring& path, std::string_view bytes) {
  std::ofstream file(path.c_str(), std::ios::binary);
  if (!file.write(bytes.data(), bytes.size()).flush()) throw std::runtime_error("cannot write");
}

// Sets the last write of `path` to `seconds` before that of `reference`.
inline void writtenBefore(const std::wstring& path, const std::wstring& reference, int seconds) {
  using std::filesystem::last_write_time;
  last_write_time(path, last_write_time(reference) - std::chrono::seconds(seconds));
}

class InstallFolder {
 public:
  InstallFolder() {
    wchar_t temp[MAX_PATH + 1];
    const std::wstring base = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) +
                              L"UpdateAccessKeyTests \u0141\u00f3d\u017a \u6771\u4eac-" +
                              std::to_wstring(GetCurrentProcessId());
    for (int n = 0; path_.empty(); ++n) {
      const std::wstring candidate = base + L'-' + std::to_wstring(n);
      if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
      if (n > 1000) throw std::runtime_error("cannot make a temporary folder");
    }
    std::filesystem::create_directories(contentFolder());
  }
  ~InstallFolder() { removeTree(path_); }
  InstallFolder(const InstallFolder&) = delete;
  InstallFolder& operator=(const InstallFolder&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring contentFolder() const { return path_ + L"\\Firefox\\chrome\\content"; }
  std::wstring keyFile() const { return storage::keyFilePath(path_); }

 private:
  std::wstring path_;
};

}  // namespace testsupport
