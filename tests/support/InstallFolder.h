// A private installation folder below the system's temporary folder, named in two scripts, the
// raw file calls that the tests set the scene and check the key file with, and the test process's
// own registry. The one place that knows Wine: where Wine lacks what Windows has, the tests go
// round it here.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "storage/FileOperations.h"
#include "storage/KeyFileFormat.h"
#include "tests/support/Utf8.h"
#include "win32/ScopedHandle.h"

namespace testsupport {

// Only Wine's ntdll has it.
inline bool isWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version");
  return wine;
}

// The system's own words for `code`, in this Windows' language.
inline std::wstring systemText(DWORD code) {
  wchar_t text[512] = L"";
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 512, nullptr);
  return std::wstring(text).erase(std::wstring_view(text).find_last_not_of(L"\r\n ") + 1);
}

// From the first call, HKEY_CURRENT_USER is a scratch key of this process's own, removed as it
// ends: no test reads or writes the user's own keys.
inline void useScratchRegistry() {
  static const std::wstring name =
      L"Software\\UpdateAccessKeyTests " + std::to_wstring(GetCurrentProcessId());
  static HKEY scratch = nullptr;
  if (scratch) return;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &scratch, nullptr) ||
      RegOverridePredefKey(HKEY_CURRENT_USER, scratch))
    throw std::runtime_error("no scratch registry");
  std::atexit([] {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratch);
    RegDeleteTreeW(HKEY_CURRENT_USER, name.c_str());
  });
}

// Runs `undo` as its scope ends, however the test ends.
template <typename Undo>
struct Finally {
  Undo undo;
  ~Finally() { undo(); }
};

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

// In the extended-length form, which paths past MAX_PATH need. A link or junction goes itself, not
// what it leads to; but Wine shows links as what they lead to, so tests remove theirs first.
inline void removeTree(const std::wstring& path) {
  const std::wstring full = path.starts_with(L"\\\\?\\") ? path : L"\\\\?\\" + path;
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only and hidden files too
    for (const std::wstring& name : entriesIn(full)) removeTree(full + L'\\' + name);
  }
  if (!RemoveDirectoryW(full.c_str())) DeleteFileW(full.c_str());
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

// Wine's CreateSymbolicLinkW makes no link, and its DeleteFileW removes the file that a link leads
// to, so there links are made and removed on the Unix side; Windows programs see through them to
// what they lead to. Wine starts a Unix program with no handle to wait on: `path` is watched.
inline void onUnix(std::wstring command, const std::wstring& path, bool there) {
  STARTUPINFOW startup;
  GetStartupInfoW(&startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started))
    throw std::runtime_error("cannot start a Unix program");
  for (int i = 0; i < 500 && (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) != there;
       ++i)
    Sleep(10);
}
inline std::wstring unixPath(const std::wstring& path) {
  static const auto toUnix =
      reinterpret_cast<char* (*)(const wchar_t*)>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  char* const name = toUnix(path.c_str());
  const std::wstring text = wideOfUtf8(name);
  HeapFree(GetProcessHeap(), 0, name);
  return text;
}

// A junction: a folder whose mount point's tag and names' places come before its names, for the
// system and for people.
inline bool makeJunction(const std::wstring& target, const std::wstring& link) {
  const std::wstring nt = L"\\??\\" + target;
  const wchar_t ntSize = wchar_t(nt.size() * 2), size = wchar_t(target.size() * 2);
  std::wstring data{0x0003, 0xA000, wchar_t(12 + ntSize + size), 0, 0, ntSize};
  data += std::wstring{wchar_t(ntSize + 2), size} + nt + L'\0' + target + L'\0';
  const storage::File folder(CreateDirectoryW(link.c_str(), nullptr)
                                 ? CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                                 : INVALID_HANDLE_VALUE);
  DWORD done;
  return DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, data.data(), DWORD(data.size() * 2),
                         nullptr, 0, &done, nullptr);
}

// `link` made to lead to `target`, a full path: on Windows a symbolic link to a file, a junction
// to a folder. Empty, or why Windows refused.
inline std::string makeLink(const std::wstring& target, const std::wstring& link) {
  if (isWine()) {
    onUnix(L"Z:\\bin\\ln -s \"" + unixPath(target) + L"\" \"" + unixPath(link) + L'"', link, true);
    return {};
  }
  if (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY
          ? makeJunction(target, link)
          : CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
    return {};
  return "Windows refused the link: " + utf8Of(systemText(GetLastError())) +
         " (symbolic links need Developer Mode or the privilege to make them)";
}
inline void removeLink(const std::wstring& link) {
  if (!isWine()) return removeTree(link);
  onUnix(L"Z:\\bin\\rm \"" + unixPath(link) + L'"', link, false);
}

// `path`'s access list, in Windows' own notation.
inline std::wstring accessRulesOf(const std::wstring& path) {
  win32::ScopedLocal<void> descriptor;
  win32::ScopedLocal<wchar_t> rules;
  GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, descriptor.put());
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.get(), SDDL_REVISION_1,
                                                       DACL_SECURITY_INFORMATION, rules.put(), 0);
  return rules ? rules.get() : L"";
}

// `path` under the access list `rules` while this lives (none: as it was), then under one that
// lets everyone do anything, so that it can be removed.
struct AccessRules {
  AccessRules(const std::wstring& path, const wchar_t* rules) : path(rules ? path : L"") {
    if (!set(rules)) throw std::runtime_error("cannot set the access list");
  }
  ~AccessRules() { set(L"D:(A;;FA;;;WD)"); }
  bool set(const wchar_t* rules) const {
    win32::ScopedLocal<void> list;
    return path.empty() ||
           (ConvertStringSecurityDescriptorToSecurityDescriptorW(rules, 1, list.put(), nullptr) &&
            SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, list.get()));
  }
  const std::wstring path;
};

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
