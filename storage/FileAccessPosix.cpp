// The key file on POSIX systems, for native builds and tests. Windows separators in the key file's
// path are taken as the platform's own.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "storage/FileAccess.h"
#include "storage/StorageError.h"

namespace storage {

namespace {

constexpr size_t kBlockSize = 64 * 1024;

std::string nativePath(const std::wstring& path) {
  std::string native = toUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// ENOENT says "file not found" only when the folder it should be in exists.
unsigned long missingOrPathError(const std::string& native) {
  const std::string folder = native.substr(0, native.find_last_of('/') + 1);
  struct stat info {};
  return (folder.empty() || ::stat(folder.c_str(), &info) == 0) ? ENOENT : ENOTDIR;
}

}  // namespace

std::wstring systemErrorText(unsigned long code) {
  std::wstring text;
  for (const char* c = std::strerror(static_cast<int>(code)); *c; ++c)
    text += static_cast<wchar_t>(*c);
  return text + L'.';
}

StorageError systemFailure(const wchar_t* whatFailed, const std::wstring& path,
                           unsigned long code) {
  StorageFailure kind = StorageFailure::SystemError;
  if (code == ENOENT) kind = StorageFailure::FileNotFound;
  if (code == ENOTDIR) kind = StorageFailure::PathNotFound;
  if (code == EACCES || code == EPERM || code == EROFS || code == EISDIR) {
    kind = StorageFailure::AccessDenied;
  }
  return StorageError(kind, whatFailed, path, systemErrorText(code));
}

void readFileBlocks(const std::wstring& path, const wchar_t* whatFailed,
                    const std::function<bool(std::string_view)>& take) {
  const std::string native = nativePath(path);
  Descriptor file(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    const unsigned long error = errno == ENOENT ? missingOrPathError(native) : errno;
    throw systemFailure(whatFailed, path, error);
  }
  std::string block(kBlockSize, '\0');
  for (;;) {
    const ssize_t got = ::read(file.get(), block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw systemFailure(whatFailed, path, errno);
    if (got == 0 || take(std::string_view(block.data(), static_cast<size_t>(got)))) return;
  }
}

void removeLeftoverTemporaries(const std::wstring& target) {
  const std::string native = nativePath(target);
  const size_t slash = native.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "./" : native.substr(0, slash + 1);
  const std::string name = native.substr(slash + 1);
  DIR* directory = ::opendir(folder.c_str());
  if (!directory) return;
  while (const dirent* entry = ::readdir(directory)) {
    if (isTemporaryOf<char>(entry->d_name, name)) ::unlink((folder + entry->d_name).c_str());
  }
  ::closedir(directory);
}

void replaceFileContent(const std::wstring& path, std::string_view content) {
  const std::string target = nativePath(path);
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0) {
    // Root may write anything, so the file's own mode decides, as Windows' read-only flag would.
    if (S_ISDIR(info.st_mode)) throw systemFailure(kWriteFailed, path, EISDIR);
    if ((info.st_mode & S_IWUSR) == 0) throw systemFailure(kWriteFailed, path, EACCES);
  } else if (errno != ENOENT) {
    throw systemFailure(kWriteFailed, path, errno);
  }

  std::random_device random;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = nativePath(temporaryPathFor(path, random()));
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw systemFailure(kWriteFailed, path, errno == ENOENT ? ENOTDIR : errno);
  Descriptor file(fd);

  auto fail = [&](unsigned long error) {
    file.reset();
    ::unlink(temporary.c_str());
    throw systemFailure(kWriteFailed, path, error);
  };
  while (!content.empty()) {
    if (const unsigned long fault = injectedFault(WriteStep::WritingTemporary)) fail(fault);
    const ssize_t written = ::write(file.get(), content.data(), content.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) fail(errno);
    content.remove_prefix(static_cast<size_t>(written));
  }
  if (::fsync(file.get()) != 0) fail(errno);
  file.reset();
  if (const unsigned long fault = injectedFault(WriteStep::ReplacingKeyFile)) fail(fault);
  if (::rename(temporary.c_str(), target.c_str()) != 0) fail(errno);
}

}  // namespace storage
