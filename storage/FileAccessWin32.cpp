#include <windows.h>

#include <string>

#include "storage/FileAccess.h"
#include "storage/StorageError.h"
#include "win32/ScopedHandle.h"

namespace storage {

namespace {

constexpr DWORD kBlockSize = 64 * 1024;
// A virus scanner or the browser may hold the key file for a moment.
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceRetryDelayMs = 50;

bool isTransient(DWORD error) {
  switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return true;
    default:
      return false;
  }
}

// A new file beside the key file that is removed again unless it was put in the key file's place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& target) {
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
      path_ = temporaryPathFor(target, seed + attempt * 7919u);
      file_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_ || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file_) {
      const DWORD error = GetLastError();
      path_.clear();
      throw systemFailure(kWriteFailed, target, error);
    }
  }
  ~TemporaryFile() {
    file_.reset();
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  HANDLE handle() const { return file_.get(); }
  const std::wstring& path() const { return path_; }
  void close() { file_.reset(); }
  void keep() { path_.clear(); }

 private:
  std::wstring path_;
  win32::ScopedFile file_;
};

void writeAll(HANDLE file, std::string_view content, const std::wstring& target) {
  while (!content.empty()) {
    const DWORD chunk =
        content.size() > kBlockSize * 16 ? kBlockSize * 16 : static_cast<DWORD>(content.size());
    if (const DWORD fault = injectedFault(WriteStep::WritingTemporary)) {
      throw systemFailure(kWriteFailed, target, fault);
    }
    DWORD written = 0;
    if (!WriteFile(file, content.data(), chunk, &written, nullptr)) {
      throw systemFailure(kWriteFailed, target, GetLastError());
    }
    content.remove_prefix(written);
  }
  if (!FlushFileBuffers(file)) throw systemFailure(kWriteFailed, target, GetLastError());
}

void refuseUnwritableTarget(const std::wstring& target) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return;  // the writer creates it
    throw systemFailure(kWriteFailed, target, error);
  }
  // Wine running as root lets a read-only file be overwritten, so refuse it here.
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
    throw StorageError(StorageFailure::AccessDenied, kWriteFailed, target,
                       systemErrorText(ERROR_ACCESS_DENIED) +
                           ((attributes & FILE_ATTRIBUTE_DIRECTORY) ? L" It is a folder."
                                                                    : L" The file is read-only."));
  }
}

// Wine's ReplaceFileW leaves an empty file of its own beside a target that it cannot move aside,
// so a target that another program holds without sharing its deletion is waited for here.
DWORD openForDeletion(const std::wstring& target) {
  win32::ScopedFile probe(CreateFileW(target.c_str(), DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  return probe ? ERROR_SUCCESS : GetLastError();
}

DWORD putInPlace(const std::wstring& replacement, const std::wstring& target) {
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (attempt > 0) Sleep(kReplaceRetryDelayMs);
    const bool targetExists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    error = targetExists ? openForDeletion(target) : ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) {
      const BOOL done =
          targetExists ? ReplaceFileW(target.c_str(), replacement.c_str(), nullptr,
                                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                       : MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
      if (done) return ERROR_SUCCESS;
      error = GetLastError();
    }
    if (!isTransient(error)) break;
  }
  return error;
}

}  // namespace

std::wstring systemErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) text = L"System error " + std::to_wstring(code) + L".";
  return text;
}

StorageError systemFailure(const wchar_t* whatFailed, const std::wstring& path,
                           unsigned long code) {
  StorageFailure kind = StorageFailure::SystemError;
  if (code == ERROR_FILE_NOT_FOUND) kind = StorageFailure::FileNotFound;
  if (code == ERROR_PATH_NOT_FOUND) kind = StorageFailure::PathNotFound;
  if (code == ERROR_ACCESS_DENIED) kind = StorageFailure::AccessDenied;
  return StorageError(kind, whatFailed, path, systemErrorText(code));
}

void readFileBlocks(const std::wstring& path, const wchar_t* whatFailed,
                    const std::function<bool(std::string_view)>& take) {
  win32::ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) throw systemFailure(whatFailed, path, GetLastError());
  std::string block(kBlockSize, '\0');
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), block.data(), kBlockSize, &got, nullptr)) {
      throw systemFailure(whatFailed, path, GetLastError());
    }
    if (got == 0 || take(std::string_view(block.data(), got))) return;
  }
}

void removeLeftoverTemporaries(const std::wstring& target) {
  const size_t slash = target.find_last_of(L'\\');
  const std::wstring folder = target.substr(0, slash + 1);
  const std::wstring name = target.substr(slash + 1);
  WIN32_FIND_DATAW found;
  const win32::ScopedFind search(FindFirstFileW((target + L".*.tmp").c_str(), &found));
  if (!search) return;
  do {
    if (isTemporaryOf<wchar_t>(found.cFileName, name)) {
      DeleteFileW((folder + found.cFileName).c_str());
    }
  } while (FindNextFileW(search.get(), &found));
}

void replaceFileContent(const std::wstring& path, std::string_view content) {
  refuseUnwritableTarget(path);
  TemporaryFile temporary(path);
  writeAll(temporary.handle(), content, path);
  temporary.close();
  DWORD error = injectedFault(WriteStep::ReplacingKeyFile);
  if (error == ERROR_SUCCESS) error = putInPlace(temporary.path(), path);
  if (error != ERROR_SUCCESS) throw systemFailure(kWriteFailed, path, error);
  temporary.keep();
}

}  // namespace storage
