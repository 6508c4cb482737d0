// The POSIX file operations under the key file's reader and writer, for native builds and tests.
// Windows separators in the key file's path are taken as the platform's own.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "storage/StorageError.h"
#include "storage/SystemFileOperations.h"
#include "storage/Utf8.h"

namespace storage {

namespace os {

namespace {

Error resultOf(int status) { return status == 0 ? 0 : errno; }

Error open(const NativePath& path, int flags, File& file) {
  const int descriptor = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (descriptor < 0) return errno;
  file.reset(descriptor);
  return 0;
}

struct FolderTraits {
  using Handle = DIR*;
  static Handle invalid() { return nullptr; }
  static void close(Handle directory) { ::closedir(directory); }
};

// ENOENT says "file not found" only when the folder it should be in exists.
Error missingOrPathError(const NativePath& path) {
  const NativePath folder = path.substr(0, path.find_last_of('/') + 1);
  struct stat info {};
  return (folder.empty() || ::stat(folder.c_str(), &info) == 0) ? ENOENT : ENOTDIR;
}

}  // namespace

// No other program can keep a rename from taking the file's name here.
const ErrorCodes kErrorCodes{ENOENT, ENOTDIR, EEXIST,  {EACCES, EPERM, EROFS, EISDIR},
                             {},     {},      {ENOENT}};

NativePath nativePath(const std::wstring& path) {
  NativePath native = toUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::wstring shownPath(const NativePath& path) { return fromUtf8(path); }

void FileTraits::close(Handle handle) { ::close(handle); }

Error SystemFileOperations::inspect(const NativePath& path, FileFacts& facts) {
  facts = FileFacts{path};
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? 0 : errno;
  facts.exists = true;
  facts.isFolder = S_ISDIR(info.st_mode);
  // Root may write anything, so the file's own mode decides, as Windows' read-only flag would.
  facts.readOnly = (info.st_mode & S_IWUSR) == 0;
  facts.linkCount = info.st_nlink;
  facts.keptState = info.st_mode & 07777;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return errno;
  facts.finalPath = real;
  std::free(real);
  return 0;
}

Error SystemFileOperations::openForReading(const NativePath& path, File& file) {
  const Error error = open(path, O_RDONLY, file);
  return error == ENOENT ? missingOrPathError(path) : error;
}

Error SystemFileOperations::createNew(const NativePath& path, File& file) {
  const Error error = open(path, O_WRONLY | O_CREAT | O_EXCL, file);
  // With O_CREAT, a missing name is a missing folder.
  return error == ENOENT ? ENOTDIR : error;
}

Error SystemFileOperations::openInPlace(const NativePath& path, File& file) {
  return open(path, O_RDWR, file);
}

Error SystemFileOperations::read(const File& file, char* buffer, std::size_t size,
                                 std::size_t& got) {
  ssize_t count;
  do {
    count = ::read(file.get(), buffer, size);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return errno;
  got = static_cast<std::size_t>(count);
  return 0;
}

Error SystemFileOperations::writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
                                    std::size_t& written) {
  ssize_t count;
  do {
    count = ::pwrite(file.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
  } while (count < 0 && errno == EINTR);
  if (count < 0) return errno;
  written = static_cast<std::size_t>(count);
  return 0;
}

Error SystemFileOperations::flush(const File& file) { return resultOf(::fsync(file.get())); }

Error SystemFileOperations::setEnd(const File& file, std::uint64_t size) {
  return resultOf(::ftruncate(file.get(), static_cast<off_t>(size)));
}

Error SystemFileOperations::keepState(const NativePath& path, const FileFacts& replaced) {
  return resultOf(::chmod(path.c_str(), static_cast<mode_t>(replaced.keptState)));
}

Error SystemFileOperations::replace(const NativePath& replacement, const NativePath& target) {
  return resultOf(::rename(replacement.c_str(), target.c_str()));
}

Error SystemFileOperations::remove(const NativePath& path) {
  return resultOf(::unlink(path.c_str()));
}

std::vector<FolderEntry> SystemFileOperations::entriesIn(const NativePath& folder) {
  std::vector<FolderEntry> entries;
  const base::Unique<FolderTraits> directory(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!directory) return entries;
  while (const dirent* entry = ::readdir(directory.get())) {
    struct stat info {};
    // An entry without a known time cannot be told old.
    if (::lstat((folder + entry->d_name).c_str(), &info) == 0)
      entries.push_back({entry->d_name, std::int64_t{info.st_mtime}});
  }
  return entries;
}

}  // namespace os

std::wstring systemErrorText(unsigned long code) {
  std::wstring text;
  for (const char* c = std::strerror(static_cast<int>(code)); *c; ++c)
    text += static_cast<wchar_t>(*c);
  return text + L'.';
}

}  // namespace storage
