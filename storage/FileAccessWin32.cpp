// The Windows file operations under the key file's reader and writer.
#include <windows.h>

#include <string>

#include "storage/FileSystem.h"
#include "storage/StorageError.h"
#include "win32/ScopedHandle.h"

namespace storage {

namespace os {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes that a replace must carry over to the new file.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE handleOf(const File& file) { return reinterpret_cast<HANDLE>(file.get()); }

Error open(const NativePath& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags,
           File& file) {
  const HANDLE handle =
      CreateFileW(path.c_str(), access, sharing, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  file.reset(reinterpret_cast<std::intptr_t>(handle));
  return ERROR_SUCCESS;
}

Error resultOf(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

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

// Wine's ReplaceFileW leaves an empty file of its own beside a target that it cannot move aside,
// so a target that another program holds without sharing its deletion is refused before it.
Error openForDeletion(const std::wstring& target) {
  File probe;
  return open(target, DELETE, kShareAll, OPEN_EXISTING, 0, probe);
}

}  // namespace

const ErrorCodes kErrorCodes{
    ERROR_FILE_NOT_FOUND,
    ERROR_PATH_NOT_FOUND,
    ERROR_FILE_EXISTS,
    {ERROR_ACCESS_DENIED},
    {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_ACCESS_DENIED,
     ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS},
    // How the replace fails while another program keeps the file open without sharing its
    // deletion: the check before ReplaceFileW, or ReplaceFileW itself.
    {ERROR_SHARING_VIOLATION, ERROR_UNABLE_TO_REMOVE_REPLACED},
};

NativePath nativePath(const std::wstring& path) { return path; }

void closeFile(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

Error inspect(const NativePath& path, FileFacts& facts) {
  facts = FileFacts{path};
  // Only the file's attributes are asked for, which neither another program's sharing nor the
  // file's own permissions stand in the way of; a folder opens too, to be refused as such.
  File file;
  if (const Error error = open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, file)) {
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handleOf(file), &information)) return GetLastError();
  facts.exists = true;
  facts.isFolder = information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  facts.readOnly = information.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
  facts.linkCount = information.nNumberOfLinks;
  facts.keptState = information.dwFileAttributes & kKeptAttributes;
  // A volume without a drive letter has no such name; the path as given still reaches the file.
  useFinalPathOf(handleOf(file), facts.finalPath);
  return ERROR_SUCCESS;
}

Error openForReading(const NativePath& path, File& file) {
  return open(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, file);
}

Error createNew(const NativePath& path, File& file) {
  return open(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, file);
}

Error openInPlace(const NativePath& path, File& file) {
  // A program that holds the file open for writing has to be allowed to keep it.
  return open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
              0, file);
}

Error read(const File& file, char* buffer, std::size_t size, std::size_t& got) {
  DWORD count = 0;
  const BOOL done = ReadFile(handleOf(file), buffer, static_cast<DWORD>(size), &count, nullptr);
  got = count;
  return resultOf(done);
}

Error writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
              std::size_t& written) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  const BOOL done =
      WriteFile(handleOf(file), bytes.data(), static_cast<DWORD>(bytes.size()), &count, &at);
  written = count;
  return resultOf(done);
}

Error flush(const File& file) { return resultOf(FlushFileBuffers(handleOf(file))); }

Error setEnd(const File& file, std::uint64_t size) {
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handleOf(file), end, nullptr, FILE_BEGIN)) return GetLastError();
  return resultOf(SetEndOfFile(handleOf(file)));
}

Error keepState(const NativePath& path, const FileFacts& replaced) {
  const DWORD kept = replaced.keptState;
  return resultOf(SetFileAttributesW(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL));
}

Error replace(const NativePath& replacement, const NativePath& target) {
  if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return resultOf(MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH));
  }
  if (const Error error = openForDeletion(target)) return error;
  return resultOf(ReplaceFileW(target.c_str(), replacement.c_str(), nullptr,
                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
}

Error remove(const NativePath& path) { return resultOf(DeleteFileW(path.c_str())); }

std::vector<NativePath> namesIn(const NativePath& folder) {
  std::vector<NativePath> names;
  WIN32_FIND_DATAW found;
  const win32::ScopedFind search(FindFirstFileW((folder + L"*").c_str(), &found));
  if (!search) return names;
  do {
    names.emplace_back(found.cFileName);
  } while (FindNextFileW(search.get(), &found));
  return names;
}

}  // namespace os

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

}  // namespace storage
