// The system's file operations under the key file's reader and writer. Every path reaches the
// system in its extended-length form, so that a long one is taken too.
#include "storage/FileOperations.h"

#include "resources/Texts.h"
#include "storage/LongPath.h"
#include "win32/ScopedHandle.h"

namespace storage {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes that a replace must carry over to the new file.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

Error resultOf(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

Error open(const std::wstring& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags,
           File& file) {
  file.reset(CreateFileW(extendedLengthPath(path).c_str(), access, sharing, nullptr, disposition,
                         flags, nullptr));
  return file ? ERROR_SUCCESS : GetLastError();
}

// A call that fills a buffer of the size it is given and answers the size it needed.
template <typename Call>
std::wstring grownText(Call call) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) return {};
    const bool fits = length < text.size();
    text.resize(length);
    if (fits) return text;
  }
}

class SystemFileOperations final : public FileOperations {
 public:
  Error inspect(const std::wstring& path, FileFacts& facts) override {
    facts = FileFacts{path};
    // Only the file's attributes are asked for, which neither another program's sharing nor the
    // file's own permissions stand in the way of; a folder opens too, to be refused as such.
    File file;
    if (const Error error = open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, file)) {
      return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    if (const Error error = describe(file, facts)) return error;
    // A volume without a drive letter has no such name; the path as given still reaches the file.
    if (facts.finalPath.empty()) facts.finalPath = path;
    return ERROR_SUCCESS;
  }

  Error describe(const File& file, FileFacts& facts) override {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.get(), &information)) return GetLastError();
    facts.exists = true;
    facts.isFolder = information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    facts.readOnly = information.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    facts.linkCount = information.nNumberOfLinks;
    facts.keptAttributes = information.dwFileAttributes & kKeptAttributes;
    facts.finalPath = withoutExtendedLengthPrefix(grownText([&file](wchar_t* buffer, DWORD size) {
      return GetFinalPathNameByHandleW(file.get(), buffer, size, 0);
    }));
    return ERROR_SUCCESS;
  }

  Error openForReading(const std::wstring& path, File& file) override {
    return open(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, file);
  }

  Error createNew(const std::wstring& path, File& file) override {
    return open(path, GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                file);
  }

  Error openInPlace(const std::wstring& path, File& file) override {
    // A program that holds the file open for writing has to be allowed to keep it.
    return open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                OPEN_EXISTING, 0, file);
  }

  Error read(const File& file, char* buffer, std::size_t size, std::size_t& got) override {
    DWORD count = 0;
    const BOOL done = ReadFile(file.get(), buffer, static_cast<DWORD>(size), &count, nullptr);
    got = count;
    return resultOf(done);
  }

  Error writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
                std::size_t& written) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD count = 0;
    const BOOL done =
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, &at);
    written = count;
    return resultOf(done);
  }

  Error flush(const File& file) override { return resultOf(FlushFileBuffers(file.get())); }

  Error setEnd(const File& file, std::uint64_t size) override {
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) return GetLastError();
    return resultOf(SetEndOfFile(file.get()));
  }

  Error setAttributes(const File& file, DWORD attributes) override {
    FILE_BASIC_INFO information{};  // times of 0 stay as they are
    information.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return resultOf(
        SetFileInformationByHandle(file.get(), FileBasicInfo, &information, sizeof information));
  }

  Error mayDelete(const std::wstring& path) override {
    File probe;
    return open(path, DELETE, kShareAll, OPEN_EXISTING, 0, probe);
  }

  // With no backup name, ReplaceFileW's ERROR_UNABLE_TO_MOVE_REPLACEMENT leaves the target gone
  // and the replacement under its own name; ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves the same,
  // the old file under a name of the system's choice. The writer finishes either by what it finds.
  Error replace(const std::wstring& replacement, const std::wstring& target) override {
    const std::wstring from = extendedLengthPath(replacement);
    const std::wstring to = extendedLengthPath(target);
    if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES) {
      return resultOf(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH));
    }
    // Without REPLACEFILE_IGNORE_MERGE_ERRORS, which would let the key file lose its own access
    // rules where the program may not give them to the new file.
    return resultOf(ReplaceFileW(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr));
  }

  Error remove(const std::wstring& path) override {
    return resultOf(DeleteFileW(extendedLengthPath(path).c_str()));
  }

  Error removeOpen(const File& file) override {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return resultOf(SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                               sizeof disposition));
  }

  std::vector<FolderEntry> entriesIn(const std::wstring& folder) override {
    std::vector<FolderEntry> entries;
    constexpr ULONGLONG kTicksPerSecond = 10'000'000;
    WIN32_FIND_DATAW found;
    const win32::ScopedFind search(
        FindFirstFileW(extendedLengthPath(folder + L"*").c_str(), &found));
    if (!search) return entries;
    do {
      const ULONGLONG ticks = (ULONGLONG{found.ftLastWriteTime.dwHighDateTime} << 32) |
                              found.ftLastWriteTime.dwLowDateTime;
      entries.push_back({found.cFileName, static_cast<std::int64_t>(ticks / kTicksPerSecond)});
    } while (FindNextFileW(search.get(), &found));
    return entries;
  }
};

constinit SystemFileOperations systemOperations;

}  // namespace

FileOperations& systemFileOperations() { return systemOperations; }

std::wstring fullPath(const std::wstring& path) {
  const std::wstring full = grownText([&path](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
  });
  return full.empty() ? path : full;
}

std::wstring systemErrorText(Error code) {
  win32::ScopedLocal<wchar_t> buffer;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer.get(), length) : std::wstring();
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) text = texts::fill(texts::kSystemError, {std::to_wstring(code)});
  return text;
}

}  // namespace storage
