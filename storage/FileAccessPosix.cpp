// The key file on POSIX systems, for native builds and tests. Windows separators in the key file's
// path are taken as the platform's own.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
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
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
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

// The file that the writer writes: the key file once every link on its way is followed.
struct WriteTarget {
  std::string path;  // as given while there is no file yet
  bool exists = false;
  unsigned long linkCount = 0;
  mode_t mode = 0;
};

// Fills `target` for `native`; a missing file is no error. Returns errno's code.
int inspectTarget(const std::string& native, WriteTarget& target) {
  target = WriteTarget{native};
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) return errno == ENOENT ? 0 : errno;
  target.exists = true;
  target.linkCount = info.st_nlink;
  target.mode = info.st_mode;
  char* real = ::realpath(native.c_str(), nullptr);
  if (!real) return errno;
  target.path = real;
  std::free(real);
  return 0;
}

WriteTarget resolveTarget(const std::wstring& path) {
  WriteTarget target;
  if (const int error = inspectTarget(nativePath(path), target)) {
    throw systemFailure(kWriteFailed, path, error);
  }
  // Root may write anything, so the file's own mode decides, as Windows' read-only flag would.
  if (target.exists && S_ISDIR(target.mode)) throw systemFailure(kWriteFailed, path, EISDIR);
  if (target.exists && (target.mode & S_IWUSR) == 0)
    throw systemFailure(kWriteFailed, path, EACCES);
  return target;
}

// A new file beside the target that is removed again unless it was put in the target's place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target) {
    error_ = static_cast<int>(injectedFault(WriteStep::CreatingTemporary));
    if (error_ != 0) return;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file_.get() < 0; ++attempt) {
      path_ = temporaryPathFor(target, random());
      file_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
      if (file_.get() < 0 && errno != EEXIST) break;
    }
    if (file_.get() < 0) {
      error_ = errno;
      path_.clear();
    }
  }
  ~TemporaryFile() {
    file_.reset();
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Why the file could not be made, or 0.
  int error() const { return error_; }
  int descriptor() const { return file_.get(); }
  const std::string& path() const { return path_; }
  void close() { file_.reset(); }
  void keep() { path_.clear(); }

 private:
  int error_ = 0;
  std::string path_;
  Descriptor file_{-1};
};

int faultAt(std::optional<WriteStep> step) {
  return step ? static_cast<int>(injectedFault(*step)) : 0;
}

// Writes all of `content` from the file's position; `step`, if any, is where tests fail it.
int writeAll(int file, std::string_view content, std::optional<WriteStep> step) {
  while (!content.empty()) {
    if (const int fault = faultAt(step)) return fault;
    const ssize_t written = ::write(file, content.data(), content.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    content.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

// Hands the open file's bytes to `take` a block at a time until it returns true or the file ends.
int readBlocks(int file, const std::function<bool(std::string_view)>& take) {
  std::string block(kBlockSize, '\0');
  for (;;) {
    const ssize_t got = ::read(file, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0 || take(std::string_view(block.data(), static_cast<size_t>(got)))) return 0;
  }
}

int replaceWith(TemporaryFile& temporary, const WriteTarget& target, std::string_view content) {
  int error = writeAll(temporary.descriptor(), content, WriteStep::WritingTemporary);
  // The key file's permissions, given to the new file before it takes the key file's place.
  if (error == 0 && target.exists && ::fchmod(temporary.descriptor(), target.mode & 07777) != 0) {
    error = errno;
  }
  if (error == 0 && ::fsync(temporary.descriptor()) != 0) error = errno;
  temporary.close();
  if (error == 0) error = static_cast<int>(injectedFault(WriteStep::ReplacingKeyFile));
  if (error == 0 && ::rename(temporary.path().c_str(), target.path.c_str()) != 0) error = errno;
  if (error == 0) temporary.keep();
  return error;
}

// Makes `bytes` the whole of the open file. The old bytes written back after a failure pass no
// fault steps: only the first failure is the test's.
int overwrite(int file, std::string_view bytes, bool stepsMayFail) {
  const auto step = [stepsMayFail](WriteStep s) {
    return stepsMayFail ? std::optional<WriteStep>(s) : std::nullopt;
  };
  if (::lseek(file, 0, SEEK_SET) != 0) return errno;
  if (const int error = writeAll(file, bytes, step(WriteStep::WritingInPlace))) return error;
  if (const int fault = faultAt(step(WriteStep::EndingInPlace))) return fault;
  if (::ftruncate(file, static_cast<off_t>(bytes.size())) != 0) return errno;
  if (const int fault = faultAt(step(WriteStep::FlushingInPlace))) return fault;
  return ::fsync(file) == 0 ? 0 : errno;
}

// Keeps the file itself, with its links and permissions, at the price of a line that a crash in
// the middle of the write may leave cut short.
void writeInPlace(const WriteTarget& target, const std::wstring& path, std::string_view content) {
  Descriptor file(::open(target.path.c_str(), O_RDWR | O_CLOEXEC));
  if (file.get() < 0) throw systemFailure(kWriteFailed, path, errno);
  std::string oldBytes;
  const int readError = readBlocks(file.get(), [&oldBytes](std::string_view block) {
    oldBytes.append(block);
    return false;
  });
  if (readError != 0) throw systemFailure(kWriteFailed, path, readError);
  if (const int error = overwrite(file.get(), content, true)) {
    overwrite(file.get(), oldBytes, false);
    throw systemFailure(kWriteFailed, path, error);
  }
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
  if (const int error = readBlocks(file.get(), take)) throw systemFailure(whatFailed, path, error);
}

void removeLeftoverTemporaries(const std::wstring& keyFile) {
  WriteTarget resolved;
  const std::string native = nativePath(keyFile);
  const std::string& target = inspectTarget(native, resolved) == 0 ? resolved.path : native;
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
  const std::string name = target.substr(slash + 1);
  DIR* directory = ::opendir(folder.c_str());
  if (!directory) return;
  while (const dirent* entry = ::readdir(directory)) {
    if (isTemporaryOf<char>(entry->d_name, name)) ::unlink((folder + entry->d_name).c_str());
  }
  ::closedir(directory);
}

void replaceFileContent(const std::wstring& path, std::string_view content) {
  const WriteTarget target = resolveTarget(path);
  WriteMethod method = chooseWriteMethod(target.exists, target.linkCount, false, false);
  if (method == WriteMethod::Replace) {
    TemporaryFile temporary(target.path);
    if (temporary.error() == 0) {
      if (const int error = replaceWith(temporary, target, content)) {
        throw systemFailure(kWriteFailed, path, error);
      }
      return;
    }
    const int error = temporary.error() == ENOENT ? ENOTDIR : temporary.error();
    // No other program can keep a rename from taking the file's name here.
    method = chooseWriteMethod(target.exists, target.linkCount, error == EACCES || error == EPERM,
                               false);
    if (method == WriteMethod::Replace) throw systemFailure(kWriteFailed, path, error);
  }
  writeInPlace(target, path, content);
}

}  // namespace storage
