#include "storage/FileAccess.h"

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <thread>

#include "resources/Texts.h"
#include "storage/KeyLine.h"
#include "storage/LongPath.h"

namespace storage {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kLargestWrite = 16 * kBlockSize;
constexpr int kTemporaryNameAttempts = 100;
// A virus scanner or the browser may hold the key file for a moment.
constexpr int kReplaceAttempts = 20;
constexpr auto kReplaceRetryDelay = std::chrono::milliseconds(50);

bool isAmong(Error error, std::initializer_list<Error> codes) {
  return std::find(codes.begin(), codes.end(), error) != codes.end();
}

// A StorageError for a failed system call on `path`, its kind taken from the system's code.
StorageError systemFailure(const wchar_t* whatFailed, const std::wstring& path, Error code) {
  StorageFailure kind = StorageFailure::SystemError;
  if (code == ERROR_FILE_NOT_FOUND) kind = StorageFailure::FileNotFound;
  if (code == ERROR_PATH_NOT_FOUND) kind = StorageFailure::PathNotFound;
  if (code == ERROR_ACCESS_DENIED) kind = StorageFailure::AccessDenied;
  return StorageError(kind, whatFailed, path, systemErrorText(code));
}

// Writes all of `content` at `offset`.
Error writeAll(FileOperations& files, const File& file, std::uint64_t offset,
               std::string_view content) {
  while (!content.empty()) {
    std::size_t written = 0;
    if (const Error error = files.writeAt(file, offset, content.substr(0, kLargestWrite), written))
      return error;
    content.remove_prefix(written);
    offset += written;
  }
  return 0;
}

// Hands the open file's bytes to `take` a block at a time until it returns true or the file ends.
Error readBlocks(FileOperations& files, const File& file,
                 const std::function<bool(std::string_view)>& take) {
  std::string block(kBlockSize, '\0');
  for (;;) {
    std::size_t got = 0;
    if (const Error error = files.read(file, block.data(), block.size(), got)) return error;
    if (got == 0 || take(std::string_view(block.data(), got))) return 0;
  }
}

// Appends the rest of the open file to `bytes`.
Error readAll(FileOperations& files, const File& file, std::string& bytes) {
  return readBlocks(files, file, [&bytes](std::string_view block) {
    bytes.append(block);
    return false;
  });
}

// The file's bytes, or none where they cannot be read.
std::string bytesOf(FileOperations& files, const std::wstring& path) {
  std::string bytes;
  if (File file; files.openForReading(path, file) == 0) readAll(files, file, bytes);
  return bytes;
}

FileFacts resolveTarget(FileOperations& files, const std::wstring& path) {
  FileFacts target;
  if (const Error error = files.inspect(fullPath(path), target))
    throw systemFailure(texts::kWriteFailed, path, error);
  // Wine running as root, like root anywhere, lets a read-only file be overwritten, so refuse it
  // here.
  if (target.isFolder || target.readOnly) {
    throw StorageError(StorageFailure::AccessDenied, texts::kWriteFailed, path,
                       systemErrorText(ERROR_ACCESS_DENIED) +
                           (target.isFolder ? texts::kIsFolder : texts::kIsReadOnly));
  }
  return target;
}

bool isKnownToExist(FileOperations& files, const std::wstring& path) {
  FileFacts facts;
  return files.inspect(path, facts) == 0 && facts.exists;
}

// A new file beside the target, removed again unless it was put in the target's place or is kept
// as the one copy of the new content: through its own handle while it is open, which in some
// folders is the only way to remove it.
class TemporaryFile {
 public:
  TemporaryFile(FileOperations& files, const std::wstring& target) : files_(files) {
    // Only where to start looking: the exclusive create settles who has a name.
    const auto seed =
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      path_ = temporaryPathFor(target, seed + static_cast<std::uint32_t>(attempt) * 7919u);
      error_ = files_.createNew(path_, file_);
      if (error_ != ERROR_FILE_EXISTS) break;
    }
    if (error_) path_.clear();
  }
  ~TemporaryFile() {
    if (path_.empty()) return;
    if (file_) {
      files_.removeOpen(file_);
    } else {
      files_.remove(path_);
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Why the file could not be made, or 0.
  Error error() const { return error_; }
  const File& file() const { return file_; }
  const std::wstring& path() const { return path_; }
  void close() { file_.reset(); }
  void keep() { path_.clear(); }

 private:
  FileOperations& files_;
  Error error_ = 0;
  std::wstring path_;
  File file_;
};

// A failure that may pass: another program, a virus scanner or the browser, letting go of the
// file, or another copy's replace, which under Wine moves the key file aside for a moment, having
// put it back.
bool isPassing(FileOperations& files, Error error, const std::wstring& target) {
  return isAmong(error,
                 {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_ACCESS_DENIED,
                  ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS}) ||
         (isAmong(error, {ERROR_FILE_NOT_FOUND, ERROR_UNABLE_TO_MOVE_REPLACEMENT,
                          ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}) &&
          isKnownToExist(files, target));
}

Error putInPlace(FileOperations& files, const std::wstring& replacement,
                 const std::wstring& target) {
  Error error = 0;
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kReplaceRetryDelay);
    // Wine's ReplaceFileW leaves an empty file of its own beside a target that it cannot move
    // aside, so a target held without sharing its deletion is refused before it.
    error = files.mayDelete(target);
    if (!error || error == ERROR_FILE_NOT_FOUND) error = files.replace(replacement, target);
    if (!error || !isPassing(files, error, target)) break;
  }
  return error;
}

// Removes the temporary files of `target` that an interrupted write left, telling their age by
// the time of `fresh`, the temporary file just written beside them, so that the folder's own
// clock, a file server's or the local time of a FAT volume, measures it. Best effort.
void removeLeftovers(FileOperations& files, const std::wstring& target, const std::wstring& fresh) {
  const std::size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  const std::wstring name = target.substr(folder.size());
  const std::wstring freshName = fresh.substr(folder.size());
  const std::vector<FolderEntry> entries = files.entriesIn(folder);
  const auto freshEntry = std::find_if(entries.begin(), entries.end(),
                                       [&](const FolderEntry& e) { return e.name == freshName; });
  if (freshEntry == entries.end()) return;
  for (const FolderEntry& entry : entries) {
    if (freshEntry->lastWritten - entry.lastWritten >= kLeftoverAgeSeconds &&
        isTemporaryOf(entry.name, name)) {
      files.remove(folder + entry.name);
    }
  }
}

// Why a replace was not made, with nothing of it left, and whether the key file may still be
// written in place instead.
struct ReplaceFailure {
  Error error = 0;
  bool inPlaceMayDo = false;
};

ReplaceFailure tryReplace(FileOperations& files, const FileFacts& target, const std::wstring& path,
                          std::string_view content) {
  TemporaryFile temporary(files, target.finalPath);
  // A folder that refuses new files may still let the key file itself be written, as an
  // installer that grants the right on that one file leaves it.
  if (const Error error = temporary.error()) return {error, error == ERROR_ACCESS_DENIED};
  // Read first: a replace that fails half-way leaves no old file to tell the user its key.
  const std::string oldBytes = target.exists ? bytesOf(files, target.finalPath) : std::string();
  Error error = writeAll(files, temporary.file(), 0, content);
  if (!error) error = files.flush(temporary.file());
  if (error) return {error, false};
  if (target.exists) {
    // Given to the new file before the replace, so that the key file never shows without them.
    error = files.setAttributes(temporary.file(), target.keptAttributes);
    // A folder that lets users make files but not delete them refuses the replace its own opening
    // of the new file for deletion; then only this handle can still remove it.
    if (!error) error = files.mayDelete(temporary.path());
    if (error) return {error, error == ERROR_ACCESS_DENIED};
  }
  // The replace opens the new file without sharing.
  temporary.close();
  // Not while the target is missing, as a temporary file may then hold the only copy of its line.
  if (target.exists) removeLeftovers(files, target.finalPath, temporary.path());
  error = putInPlace(files, temporary.path(), target.finalPath);
  if (error && !isKnownToExist(files, target.finalPath)) {
    // The replace gave up the key file's name half-way, or never had one to take: the new file,
    // whole and flushed, is now the only one with a line, and takes the name itself.
    if (putInPlace(files, temporary.path(), target.finalPath)) {
      const std::wstring newFile = withoutExtendedLengthPrefix(temporary.path());
      temporary.keep();
      throw IncompleteWrite(systemFailure(texts::kWriteFailed, path, error), oldBytes, newFile);
    }
    error = 0;
  }
  if (!error) temporary.keep();
  // Another program holds the key file without sharing its deletion, or the replace is refused:
  // the file itself may still be written.
  return {error, isAmong(error, {ERROR_SHARING_VIOLATION, ERROR_UNABLE_TO_REMOVE_REPLACED,
                                 ERROR_ACCESS_DENIED})};
}

// Makes `bytes` the whole of the open file.
Error overwrite(FileOperations& files, const File& file, std::string_view bytes) {
  if (const Error error = writeAll(files, file, 0, bytes)) return error;
  if (const Error error = files.setEnd(file, bytes.size())) return error;
  return files.flush(file);
}

// Keeps the file itself, with its links, attributes and permissions, at the price of a line that
// a crash in the middle of the write may leave cut short.
void writeInPlace(FileOperations& files, const FileFacts& target, const std::wstring& path,
                  std::string_view content) {
  File file;
  if (const Error error = files.openInPlace(target.finalPath, file))
    throw systemFailure(texts::kWriteFailed, path, error);
  std::string oldBytes;
  if (const Error error = readAll(files, file, oldBytes))
    throw systemFailure(texts::kWriteFailed, path, error);
  const Error error = overwrite(files, file, content);
  if (!error) return;
  if (overwrite(files, file, oldBytes))
    throw IncompleteWrite(systemFailure(texts::kWriteFailed, path, error), oldBytes);
  throw systemFailure(texts::kWriteFailed, path, error);
}

}  // namespace

IncompleteWrite::IncompleteWrite(const StorageError& failure, std::string oldBytes,
                                 std::wstring newFile)
    : StorageError(failure), oldBytes_(std::move(oldBytes)), newFile_(std::move(newFile)) {}

void readFileBlocks(FileOperations& files, const std::wstring& path, const wchar_t* whatFailed,
                    const std::function<bool(std::string_view)>& take) {
  File file;
  Error error = files.openForReading(fullPath(path), file);
  if (!error) error = readBlocks(files, file, take);
  if (error) throw systemFailure(whatFailed, path, error);
}

void replaceFileContent(FileOperations& files, const std::wstring& path, std::string_view content) {
  const FileFacts target = resolveTarget(files, path);
  // A replace would leave the file's other names holding the old key, or would be refused for want
  // of the right to delete the key file, as an installer that grants users the right to write it
  // alone leaves it: written in place before any temporary file is made.
  const bool inPlace = target.exists && (target.linkCount > 1 ||
                                         files.mayDelete(target.finalPath) == ERROR_ACCESS_DENIED);
  if (!inPlace) {
    const ReplaceFailure failure = tryReplace(files, target, path, content);
    if (!failure.error) return;
    if (!target.exists || !failure.inPlaceMayDo)
      throw systemFailure(texts::kWriteFailed, path, failure.error);
  }
  writeInPlace(files, target, path, content);
}

}  // namespace storage
