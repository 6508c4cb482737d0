#include "storage/FileAccess.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "storage/FileSystem.h"
#include "storage/StorageError.h"

namespace storage {

namespace {

using os::Error;
using os::File;
using os::FileFacts;
using os::NativePath;

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kLargestWrite = 16 * kBlockSize;
constexpr int kTemporaryNameAttempts = 100;
// A virus scanner or the browser may hold the key file for a moment.
constexpr int kReplaceAttempts = 20;
constexpr auto kReplaceRetryDelay = std::chrono::milliseconds(50);

WriteFaultHook faultHook = nullptr;

template <std::size_t N>
bool isAmong(Error error, const std::array<Error, N>& codes) {
  return error != 0 && std::find(codes.begin(), codes.end(), error) != codes.end();
}

Error faultAt(std::optional<WriteStep> step) { return step && faultHook ? faultHook(*step) : 0; }

// A StorageError for a failed system call on `path`, its kind taken from the system's code.
StorageError systemFailure(const wchar_t* whatFailed, const std::wstring& path, Error code) {
  StorageFailure kind = StorageFailure::SystemError;
  if (code == os::kErrorCodes.fileNotFound) kind = StorageFailure::FileNotFound;
  if (code == os::kErrorCodes.pathNotFound) kind = StorageFailure::PathNotFound;
  if (isAmong(code, os::kErrorCodes.accessDenied)) kind = StorageFailure::AccessDenied;
  return StorageError(kind, whatFailed, path, systemErrorText(code));
}

template <typename Char>
std::basic_string<Char> temporaryPath(const std::basic_string<Char>& target, std::uint32_t number) {
  std::basic_string<Char> path = target + Char('.');
  for (int shift = 28; shift >= 0; shift -= 4)
    path += Char("0123456789abcdef"[(number >> shift) & 0xF]);
  for (const char c : {'.', 't', 'm', 'p'}) path += Char(c);
  return path;
}

// Writes all of `content` at `offset`; `step`, if any, is where tests fail it.
Error writeAll(const File& file, std::uint64_t offset, std::string_view content,
               std::optional<WriteStep> step) {
  while (!content.empty()) {
    if (const Error fault = faultAt(step)) return fault;
    std::size_t written = 0;
    if (const Error error = os::writeAt(file, offset, content.substr(0, kLargestWrite), written))
      return error;
    content.remove_prefix(written);
    offset += written;
  }
  return 0;
}

// Hands the open file's bytes to `take` a block at a time until it returns true or the file ends.
Error readBlocks(const File& file, const std::function<bool(std::string_view)>& take) {
  std::string block(kBlockSize, '\0');
  for (;;) {
    std::size_t got = 0;
    if (const Error error = os::read(file, block.data(), block.size(), got)) return error;
    if (got == 0 || take(std::string_view(block.data(), got))) return 0;
  }
}

FileFacts resolveTarget(const std::wstring& path) {
  FileFacts target;
  if (const Error error = os::inspect(os::nativePath(path), target))
    throw systemFailure(kWriteFailed, path, error);
  // Wine running as root, like root anywhere, lets a read-only file be overwritten, so refuse it
  // here.
  if (target.isFolder || target.readOnly) {
    throw StorageError(StorageFailure::AccessDenied, kWriteFailed, path,
                       systemErrorText(os::kErrorCodes.accessDenied[0]) +
                           (target.isFolder ? L" It is a folder." : L" The file is read-only."));
  }
  return target;
}

// A new file beside the target that is removed again unless it was put in the target's place or
// is kept as the one copy of the new content.
class TemporaryFile {
 public:
  explicit TemporaryFile(const NativePath& target) {
    error_ = faultAt(WriteStep::CreatingTemporary);
    if (error_) return;
    // Only where to start looking: the exclusive create settles who has a name.
    const auto seed =
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      path_ = temporaryPathFor(target, seed + static_cast<std::uint32_t>(attempt) * 7919u);
      error_ = os::createNew(path_, file_);
      if (error_ != os::kErrorCodes.nameTaken) break;
    }
    if (error_) path_.clear();
  }
  ~TemporaryFile() {
    file_.reset();
    if (!path_.empty()) os::remove(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Why the file could not be made, or 0.
  Error error() const { return error_; }
  const File& file() const { return file_; }
  const NativePath& path() const { return path_; }
  void close() { file_.reset(); }
  void keep() { path_.clear(); }

 private:
  Error error_ = 0;
  NativePath path_;
  File file_;
};

Error putInPlace(const NativePath& replacement, const NativePath& target) {
  Error error = 0;
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kReplaceRetryDelay);
    error = os::replace(replacement, target);
    if (!error || !isAmong(error, os::kErrorCodes.transient)) break;
  }
  return error;
}

bool isKnownToExist(const NativePath& path) {
  FileFacts facts;
  return os::inspect(path, facts) == 0 && facts.exists;
}

// The file's bytes, or none where they cannot be read.
std::string bytesOf(const NativePath& path) {
  std::string bytes;
  File file;
  if (os::openForReading(path, file) == 0) {
    readBlocks(file, [&bytes](std::string_view block) {
      bytes.append(block);
      return false;
    });
  }
  return bytes;
}

// The temporary file could not be made, or the replace failed; the temporary file is gone.
struct ReplaceFailure {
  Error error = 0;
  bool atTemporary = false;
};

ReplaceFailure tryReplace(const FileFacts& target, const std::wstring& path,
                          std::string_view content) {
  TemporaryFile temporary(target.finalPath);
  if (temporary.error()) return {temporary.error(), true};
  // Read first: a replace that fails half-way leaves no old file to tell the user its key.
  const std::string oldBytes = target.exists ? bytesOf(target.finalPath) : std::string();
  Error error = writeAll(temporary.file(), 0, content, WriteStep::WritingTemporary);
  if (!error) error = os::flush(temporary.file());
  temporary.close();
  // Given to the new file before the replace, so that the key file never shows without them.
  if (!error && target.exists) error = os::keepState(temporary.path(), target);
  if (error) return {error, false};
  error = faultAt(WriteStep::ReplacingKeyFile);
  if (!error) error = putInPlace(temporary.path(), target.finalPath);
  if (error && !isKnownToExist(target.finalPath)) {
    // The replace gave up the key file's name half-way, or never had one to take: the new file,
    // whole and flushed, is now the only one with a line, and takes the name itself.
    Error moveError = faultAt(WriteStep::MovingIntoPlace);
    if (!moveError) moveError = putInPlace(temporary.path(), target.finalPath);
    if (moveError) {
      const std::wstring newFile = os::shownPath(temporary.path());
      temporary.keep();
      throw IncompleteWrite(systemFailure(kWriteFailed, path, error), oldBytes, newFile);
    }
    error = 0;
  }
  if (!error) temporary.keep();
  return {error, false};
}

// Makes `bytes` the whole of the open file; `stepsMayFail` lets tests fail its steps.
Error overwrite(const File& file, std::string_view bytes, bool stepsMayFail) {
  const auto step = [stepsMayFail](WriteStep s) {
    return stepsMayFail ? std::optional<WriteStep>(s) : std::nullopt;
  };
  if (const Error error = writeAll(file, 0, bytes, step(WriteStep::WritingInPlace))) return error;
  if (const Error fault = faultAt(step(WriteStep::EndingInPlace))) return fault;
  if (const Error error = os::setEnd(file, bytes.size())) return error;
  if (const Error fault = faultAt(step(WriteStep::FlushingInPlace))) return fault;
  return os::flush(file);
}

// Keeps the file itself, with its links, attributes and permissions, at the price of a line that
// a crash in the middle of the write may leave cut short.
void writeInPlace(const FileFacts& target, const std::wstring& path, std::string_view content) {
  File file;
  if (const Error error = os::openInPlace(target.finalPath, file))
    throw systemFailure(kWriteFailed, path, error);
  std::string oldBytes;
  const Error readError = readBlocks(file, [&oldBytes](std::string_view block) {
    oldBytes.append(block);
    return false;
  });
  if (readError) throw systemFailure(kWriteFailed, path, readError);
  const Error error = overwrite(file, content, true);
  if (!error) return;
  // Only the first failure of the old bytes' way back is the test's.
  Error restoreError = faultAt(WriteStep::RestoringInPlace);
  if (!restoreError) restoreError = overwrite(file, oldBytes, false);
  if (restoreError) throw IncompleteWrite(systemFailure(kWriteFailed, path, error), oldBytes);
  throw systemFailure(kWriteFailed, path, error);
}

}  // namespace

IncompleteWrite::IncompleteWrite(const StorageError& failure, std::string oldBytes,
                                 std::wstring newFile)
    : StorageError(failure), oldBytes_(std::move(oldBytes)), newFile_(std::move(newFile)) {}

std::wstring temporaryPathFor(const std::wstring& target, std::uint32_t number) {
  return temporaryPath(target, number);
}

std::string temporaryPathFor(const std::string& target, std::uint32_t number) {
  return temporaryPath(target, number);
}

WriteMethod chooseWriteMethod(bool targetExists, unsigned long linkCount, bool temporaryDenied,
                              bool replaceHeldOff) {
  if (!targetExists) return WriteMethod::Replace;
  if (linkCount > 1) return WriteMethod::InPlaceKeepingHardLinks;
  if (temporaryDenied) return WriteMethod::InPlaceInLockedFolder;
  if (replaceHeldOff) return WriteMethod::InPlaceWhileHeld;
  return WriteMethod::Replace;
}

void setWriteFaultHook(WriteFaultHook hook) { faultHook = hook; }

void readFileBlocks(const std::wstring& path, const wchar_t* whatFailed,
                    const std::function<bool(std::string_view)>& take) {
  File file;
  Error error = os::openForReading(os::nativePath(path), file);
  if (!error) error = readBlocks(file, take);
  if (error) throw systemFailure(whatFailed, path, error);
}

void removeLeftoverTemporaries(const std::wstring& keyFile) {
  FileFacts facts;
  if (os::inspect(os::nativePath(keyFile), facts) != 0 || !facts.exists) return;
  const NativePath& target = facts.finalPath;
  constexpr os::NativeChar kSeparators[] = {'\\', '/', '\0'};
  const std::size_t slash = target.find_last_of(kSeparators);
  const NativePath folder = slash == NativePath::npos ? NativePath() : target.substr(0, slash + 1);
  const NativePath name = target.substr(folder.size());
  for (const os::FolderEntry& entry : os::entriesIn(folder)) {
    if (entry.secondsSinceWritten >= kLeftoverAgeSeconds &&
        isTemporaryOf<os::NativeChar>(entry.name, name)) {
      os::remove(folder + entry.name);
    }
  }
}

void replaceFileContent(const std::wstring& path, std::string_view content) {
  const FileFacts target = resolveTarget(path);
  WriteMethod method = chooseWriteMethod(target.exists, target.linkCount, false, false);
  if (method == WriteMethod::Replace) {
    const ReplaceFailure failure = tryReplace(target, path, content);
    if (!failure.error) return;
    method = chooseWriteMethod(
        target.exists, target.linkCount,
        failure.atTemporary && isAmong(failure.error, os::kErrorCodes.accessDenied),
        !failure.atTemporary && isAmong(failure.error, os::kErrorCodes.heldWithoutDeleteSharing));
    if (method == WriteMethod::Replace) throw systemFailure(kWriteFailed, path, failure.error);
  }
  writeInPlace(target, path, content);
}

}  // namespace storage
