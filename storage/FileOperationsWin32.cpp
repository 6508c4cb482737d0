// The Windows file operations under the key file's reader and writer.
#include <windows.h>

#include <string>

#include "storage/LongPath.h"
#include "storage/StorageError.h"
#include "storage/SystemFileOperations.h"
#include "win32/ScopedHandle.h"

namespace storage {

namespace os {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes that a replace must carry over to the new file.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Every path reaches the system through this, so that a long one is taken too.
std::wstring systemPath(const NativePath& path) { return extendedLengthPath(path); }

Error open(const NativePath& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags,
           File& file) {
  const HANDLE handle =
      CreateFileW(systemPath(path).c_str(), access, sharing, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  file.reset(handle);
  return ERROR_SUCCESS;
}

Error resultOf(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

// Sets `path` to the open file's name once every link is followed, where the system gives one.
void useFinalPathOf(HANDLE file, std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length == 0) return;
    if (length < buffer.size()) {
      buffer.resize(length);
      path = withoutExtendedLengthPrefix(buffer);
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
    {ERROR_FILE_NOT_FOUND, ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2},
};

NativePath nativePath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

std::wstring shownPath(const NativePath& path) { return withoutExtendedLengthPrefix(path); }

void FileTraits::close(Handle handle) { CloseHandle(handle); }

Error SystemFileOperations::inspect(const NativePath& path, FileFacts& facts) {
  facts = FileFacts{path};
  // Only the file's attributes are asked for, which neither another program's sharing nor the
  // file's own permissions stand in the way of; a folder opens too, to be refused as such.
  File file;
  if (const Error error = open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, file)) {
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file.get(), &information)) return GetLastError();
  facts.exists = true;
  facts.isFolder = information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  facts.readOnly = information.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
  facts.linkCount = information.nNumberOfLinks;
  facts.keptState = information.dwFileAttributes & kKeptAttributes;
  // A volume without a drive letter has no such name; the path as given still reaches the file.
  useFinalPathOf(file.get(), facts.finalPath);
  return ERROR_SUCCESS;
}

Error SystemFileOperations::openForReading(const NativePath& path, File& file) {
  return open(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, file);
}

Error SystemFileOperations::createNew(const NativePath& path, File& file) {
  return open(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, file);
}

Error SystemFileOperations::openInPlace(const NativePath& path, File& file) {
  // A program that holds the file open for writing has to be allowed to keep it.
  return open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
              0, file);
}

Error SystemFileOperations::read(const File& file, char* buffer, std::size_t size,
                                 std::size_t& got) {
  DWORD count = 0;
  const BOOL done = ReadFile(file.get(), buffer, static_cast<DWORD>(size), &count, nullptr);
  got = count;
  return resultOf(done);
}

Error SystemFileOperations::writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
                                    std::size_t& written) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  const BOOL done =
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, &at);
  written = count;
  return resultOf(done);
}

Error SystemFileOperations::flush(const File& file) {
  return resultOf(FlushFileBuffers(file.get()));
}

Error SystemFileOperations::setEnd(const File& file, std::uint64_t size) {
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) return GetLastError();
  return resultOf(SetEndOfFile(file.get()));
}

Error SystemFileOperations::keepState(const NativePath& path, const FileFacts& replaced) {
  const DWORD kept = replaced.keptState;
  return resultOf(
      SetFileAttributesW(systemPath(path).c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL));
}

// With no backup name, ReplaceFileW's ERROR_UNABLE_TO_MOVE_REPLACEMENT leaves the target gone and
// the replacement under its own name; ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves the same, the old
// file under a name of the system's choice. The writer finishes either by what it finds.
Error SystemFileOperations::replace(const NativePath& replacement, const NativePath& target) {
  const std::wstring from = systemPath(replacement);
  const std::wstring to = systemPath(target);
  if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return resultOf(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH));
  }
  if (const Error error = openForDeletion(target)) return error;
  return resultOf(ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                               nullptr, nullptr));
}

Error SystemFileOperations::remove(const NativePath& path) {
  return resultOf(DeleteFileW(systemPath(path).c_str()));
}

std::vector<FolderEntry> SystemFileOperations::entriesIn(const NativePath& folder) {
  std::vector<FolderEntry> entries;
  constexpr ULONGLONG kTicksPerSecond = 10'000'000;
  WIN32_FIND_DATAW found;
  const win32::ScopedFind search(FindFirstFileW(systemPath(folder + L"*").c_str(), &found));
  if (!search) return entries;
  do {
    const ULONGLONG ticks = (ULONGLONG{found.ftLastWriteTime.dwHighDateTime} << 32) |
                            found.ftLastWriteTime.dwLowDateTime;
    entries.push_back({found.cFileName, static_cast<std::int64_t>(ticks / kTicksPerSecond)});
  } while (FindNextFileW(search.get(), &found));
  return entries;
}

}  // namespace os

std::wstring systemErrorText(unsigned long code) {
  win32::ScopedLocal<wchar_t> buffer;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer.get(), length) : std::wstring();
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) text = L"System error " + std::to_wstring(code) + L".";
  return text;
}

}  // namespace storage
