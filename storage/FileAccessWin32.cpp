#include <windows.h>

#include <optional>
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

// The attributes that a replace must carry over to the new file.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The file that the writer writes: the key file once every link on its way is followed.
struct WriteTarget {
  std::wstring path;  // as given while there is no file yet
  bool exists = false;
  DWORD linkCount = 0;
  DWORD attributes = 0;
};

std::wstring withoutLongPathPrefix(const std::wstring& path) {
  if (path.rfind(LR"(\\?\UNC\)", 0) == 0) return LR"(\\)" + path.substr(8);
  if (path.rfind(LR"(\\?\)", 0) == 0) return path.substr(4);
  return path;
}

// Sets `path` to the open file's name once every link is followed, where the system gives one.
void useFinalPathOf(HANDLE file, std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length == 0) return;
    if (length < buffer.size()) {
      buffer.resize(length);
      path = withoutLongPathPrefix(buffer);
      return;
    }
    buffer.resize(length);
  }
}

// Fills `target` for `path`; a missing file is no error. Returns the system's error code.
DWORD inspectTarget(const std::wstring& path, WriteTarget& target) {
  target = WriteTarget{path};
  // Only the file's attributes are asked for, which neither another program's sharing nor the
  // file's own permissions stand in the way of; a folder opens too, to be refused as such.
  win32::ScopedFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file.get(), &information)) return GetLastError();
  target.exists = true;
  target.linkCount = information.nNumberOfLinks;
  target.attributes = information.dwFileAttributes;
  // A volume without a drive letter has no such name; the path as given still reaches the file.
  useFinalPathOf(file.get(), target.path);
  return ERROR_SUCCESS;
}

WriteTarget resolveTarget(const std::wstring& path) {
  WriteTarget target;
  if (const DWORD error = inspectTarget(path, target))
    throw systemFailure(kWriteFailed, path, error);
  // Wine running as root lets a read-only file be overwritten, so refuse it here.
  if (target.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
    throw StorageError(
        StorageFailure::AccessDenied, kWriteFailed, path,
        systemErrorText(ERROR_ACCESS_DENIED) + ((target.attributes & FILE_ATTRIBUTE_DIRECTORY)
                                                    ? L" It is a folder."
                                                    : L" The file is read-only."));
  }
  return target;
}

// A new file beside the target that is removed again unless it was put in the target's place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& target) {
    error_ = injectedFault(WriteStep::CreatingTemporary);
    if (error_ != ERROR_SUCCESS) return;
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
      path_ = temporaryPathFor(target, seed + attempt * 7919u);
      file_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_ || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file_) {
      error_ = GetLastError();
      path_.clear();
    }
  }
  ~TemporaryFile() {
    file_.reset();
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Why the file could not be made, or ERROR_SUCCESS.
  DWORD error() const { return error_; }
  HANDLE handle() const { return file_.get(); }
  const std::wstring& path() const { return path_; }
  void close() { file_.reset(); }
  void keep() { path_.clear(); }

 private:
  DWORD error_ = ERROR_SUCCESS;
  std::wstring path_;
  win32::ScopedFile file_;
};

DWORD faultAt(std::optional<WriteStep> step) { return step ? injectedFault(*step) : 0; }

// Writes all of `content` from the file's position; `step`, if any, is where tests fail it.
DWORD writeAll(HANDLE file, std::string_view content, std::optional<WriteStep> step) {
  while (!content.empty()) {
    const DWORD chunk =
        content.size() > kBlockSize * 16 ? kBlockSize * 16 : static_cast<DWORD>(content.size());
    if (const DWORD fault = faultAt(step)) return fault;
    DWORD written = 0;
    if (!WriteFile(file, content.data(), chunk, &written, nullptr)) return GetLastError();
    content.remove_prefix(written);
  }
  return ERROR_SUCCESS;
}

// Hands the open file's bytes to `take` a block at a time until it returns true or the file ends.
DWORD readBlocks(HANDLE file, const std::function<bool(std::string_view)>& take) {
  std::string block(kBlockSize, '\0');
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, block.data(), kBlockSize, &got, nullptr)) return GetLastError();
    if (got == 0 || take(std::string_view(block.data(), got))) return ERROR_SUCCESS;
  }
}

// Makes `bytes` the whole of the open file. The old bytes written back after a failure pass no
// fault steps: only the first failure is the test's.
DWORD overwrite(HANDLE file, std::string_view bytes, bool stepsMayFail) {
  const auto step = [stepsMayFail](WriteStep s) {
    return stepsMayFail ? std::optional<WriteStep>(s) : std::nullopt;
  };
  if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) return GetLastError();
  if (const DWORD error = writeAll(file, bytes, step(WriteStep::WritingInPlace))) return error;
  if (const DWORD fault = faultAt(step(WriteStep::EndingInPlace))) return fault;
  if (!SetEndOfFile(file)) return GetLastError();
  if (const DWORD fault = faultAt(step(WriteStep::FlushingInPlace))) return fault;
  return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

// Keeps the file itself, with its links, attributes and permissions, at the price of a line that
// a crash in the middle of the write may leave cut short.
void writeInPlace(const WriteTarget& target, const std::wstring& path, std::string_view content) {
  // A program that holds the file open for writing has to be allowed to keep it.
  win32::ScopedFile file(CreateFileW(target.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  if (!file) throw systemFailure(kWriteFailed, path, GetLastError());
  std::string oldBytes;
  const DWORD readError = readBlocks(file.get(), [&oldBytes](std::string_view block) {
    oldBytes.append(block);
    return false;
  });
  if (readError != ERROR_SUCCESS) throw systemFailure(kWriteFailed, path, readError);
  if (const DWORD error = overwrite(file.get(), content, true)) {
    overwrite(file.get(), oldBytes, false);
    throw systemFailure(kWriteFailed, path, error);
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

DWORD replaceWith(TemporaryFile& temporary, const WriteTarget& target, std::string_view content) {
  DWORD error = writeAll(temporary.handle(), content, WriteStep::WritingTemporary);
  if (error == ERROR_SUCCESS && !FlushFileBuffers(temporary.handle())) error = GetLastError();
  temporary.close();
  // Given to the new file before the replace, so that the key file never shows without them.
  const DWORD kept = target.attributes & kKeptAttributes;
  if (error == ERROR_SUCCESS && target.exists &&
      !SetFileAttributesW(temporary.path().c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL)) {
    error = GetLastError();
  }
  if (error == ERROR_SUCCESS) error = injectedFault(WriteStep::ReplacingKeyFile);
  if (error == ERROR_SUCCESS) error = putInPlace(temporary.path(), target.path);
  if (error == ERROR_SUCCESS) temporary.keep();
  return error;
}

// The temporary file could not be made, or the replace failed; the temporary file is gone.
struct ReplaceFailure {
  DWORD error = ERROR_SUCCESS;
  bool atTemporary = false;
};

ReplaceFailure tryReplace(const WriteTarget& target, std::string_view content) {
  TemporaryFile temporary(target.path);
  if (temporary.error() != ERROR_SUCCESS) return {temporary.error(), true};
  return {replaceWith(temporary, target, content), false};
}

// How the replace fails, after its retries, while another program keeps the file open without
// sharing its deletion: the check before ReplaceFileW, or ReplaceFileW itself.
bool isHeldWithoutDeleteSharing(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
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
  if (const DWORD error = readBlocks(file.get(), take))
    throw systemFailure(whatFailed, path, error);
}

void removeLeftoverTemporaries(const std::wstring& keyFile) {
  WriteTarget resolved;
  const std::wstring& target =
      inspectTarget(keyFile, resolved) == ERROR_SUCCESS ? resolved.path : keyFile;
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
  const WriteTarget target = resolveTarget(path);
  WriteMethod method = chooseWriteMethod(target.exists, target.linkCount, false, false);
  if (method == WriteMethod::Replace) {
    const ReplaceFailure failure = tryReplace(target, content);
    if (failure.error == ERROR_SUCCESS) return;
    method = chooseWriteMethod(target.exists, target.linkCount,
                               failure.atTemporary && failure.error == ERROR_ACCESS_DENIED,
                               !failure.atTemporary && isHeldWithoutDeleteSharing(failure.error));
    if (method == WriteMethod::Replace) throw systemFailure(kWriteFailed, path, failure.error);
  }
  writeInPlace(target, path, content);
}

}  // namespace storage
