#include "storage/FileAccess.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "storage/StorageError.h"
#include "storage/SystemFileOperations.h"

namespace storage {

namespace {

using os::Error;
using os::File;
using os::FileFacts;
using os::NativePath;

constinit os::SystemFileOperations systemOperations;

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kLargestWrite = 16 * kBlockSize;
constexpr int kTemporaryNameAttempts = 100;
// A virus scanner or the browser may hold the key file for a moment.
constexpr int kReplaceAttempts = 20;
constexpr auto kReplaceRetryDelay = std::chrono::milliseconds(50);

template <std::size_t N>
bool isAmong(Error error, const std::array<Error, N>& codes) {
  return error != 0 && std::find(codes.begin(), codes.end(), error) != codes.end();
}

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

FileFacts resolveTarget(FileOperations& files, const std::wstring& path) {
  FileFacts target;
  if (const Error error = files.inspect(os::nativePath(path), target))
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
  TemporaryFile(FileOperations& files, const NativePath& target) : files_(files) {
    // Only where to start looking: the exclusive create settles who has a name.
    const auto seed =
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      path_ = temporaryPathFor(target, seed + static_cast<std::uint32_t>(attempt) * 7919u);
      error_ = files_.createNew(path_, file_);
      if (error_ != os::kErrorCodes.nameTaken) break;
    }
    if (error_) path_.clear();
  }
  ~TemporaryFile() {
    file_.reset();
    if (!path_.empty()) files_.remove(path_);
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
  FileOperations& files_;
  Error error_ = 0;
  NativePath path_;
  File file_;
};

bool isKnownToExist(FileOperations& files, const NativePath& path) {
  FileFacts facts;
  return files.inspect(path, facts) == 0 && facts.exists;
}

// A failure that may pass: another program letting go of the file, or another copy's replace,
// which under Wine moves the key file aside for a moment, having put it back.
bool isPassing(FileOperations& files, Error error, const NativePath& target) {
  return isAmong(error, os::kErrorCodes.transient) ||
         (isAmong(error, os::kErrorCodes.targetAway) && isKnownToExist(files, target));
}

Error putInPlace(FileOperations& files, const NativePath& replacement, const NativePath& target) {
  Error error = 0;
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kReplaceRetryDelay);
    error = files.replace(replacement, target);
    if (!error || !isPassing(files, error, target)) break;
  }
  return error;
}

// Appends the rest of the open file to `bytes`.
Error readAll(FileOperations& files, const File& file, std::string& bytes) {
  return readBlocks(files, file, [&bytes](std::string_view block) {
    bytes.append(block);
    return false;
  });
}

// The file's bytes, or none where they cannot be read.
std::string bytesOf(FileOperations& files, const NativePath& path) {
  std::string bytes;
  File file;
  if (files.openForReading(path, file) == 0) readAll(files, file, bytes);
  return bytes;
}

// Removes the temporary files of `target` that an interrupted write left, telling their age by
// the time of `fresh`, the temporary file just written beside them, so that the folder's own
// clock, a file server's or the local time of a FAT volume, measures it. Best effort.
void removeLeftovers(FileOperations& files, const NativePath& target, const NativePath& fresh) {
  constexpr os::NativeChar kSeparators[] = {'\\', '/', '\0'};
  const std::size_t slash = target.find_last_of(kSeparators);
  const NativePath folder = slash == NativePath::npos ? NativePath() : target.substr(0, slash + 1);
  const NativePath name = target.substr(folder.size());
  const NativePath freshName = fresh.substr(folder.size());
  const std::vector<os::FolderEntry> entries = files.entriesIn(folder);
  const auto freshEntry =
      std::find_if(entries.begin(), entries.end(),
                   [&](const os::FolderEntry& e) { return e.name == freshName; });
  if (freshEntry == entries.end()) return;
  for (const os::FolderEntry& entry : entries) {
    if (freshEntry->lastWritten - entry.lastWritten >= kLeftoverAgeSeconds &&
        isTemporaryOf<os::NativeChar>(entry.name, name)) {
      files.remove(folder + entry.name);
    }
  }
}

// Where a replace failed; the temporary file is gone.
struct ReplaceFailure {
  enum class Stage { MakingTemporary, WritingTemporary, Replacing };
  Error error = 0;
  Stage stage = Stage::Replacing;
};

ReplaceFailure tryReplace(FileOperations& files, const FileFacts& target, const std::wstring& path,
                          std::string_view content) {
  TemporaryFile temporary(files, target.finalPath);
  if (temporary.error()) return {temporary.error(), ReplaceFailure::Stage::MakingTemporary};
  // Read first: a replace that fails half-way leaves no old file to tell the user its key.
  const std::string oldBytes = target.exists ? bytesOf(files, target.finalPath) : std::string();
  Error error = writeAll(files, temporary.file(), 0, content);
  if (!error) error = files.flush(temporary.file());
  temporary.close();
  if (!error && target.exists) {
    // Not while the target is missing, as a temporary file may then hold the only copy of its
    // line.
    removeLeftovers(files, target.finalPath, temporary.path());
    // Given to the new file before the replace, so that the key file never shows without them.
    error = files.keepState(temporary.path(), target);
  }
  if (error) return {error, ReplaceFailure::Stage::WritingTemporary};
  error = putInPlace(files, temporary.path(), target.finalPath);
  if (error && !isKnownToExist(files, target.finalPath)) {
    // The replace gave up the key file's name half-way, or never had one to take: the new file,
    // whole and flushed, is now the only one with a line, and takes the name itself.
    if (putInPlace(files, temporary.path(), target.finalPath)) {
      const std::wstring newFile = os::shownPath(temporary.path());
      temporary.keep();
      throw IncompleteWrite(systemFailure(kWriteFailed, path, error), oldBytes, newFile);
    }
    error = 0;
  }
  if (!error) temporary.keep();
  return {error, ReplaceFailure::Stage::Replacing};
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
    throw systemFailure(kWriteFailed, path, error);
  std::string oldBytes;
  if (const Error error = readAll(files, file, oldBytes))
    throw systemFailure(kWriteFailed, path, error);
  const Error error = overwrite(files, file, content);
  if (!error) return;
  if (overwrite(files, file, oldBytes))
    throw IncompleteWrite(systemFailure(kWriteFailed, path, error), oldBytes);
  throw systemFailure(kWriteFailed, path, error);
}

ReplaceRefusal refusalOf(const ReplaceFailure& failure) {
  const bool denied = isAmong(failure.error, os::kErrorCodes.accessDenied);
  switch (failure.stage) {
    case ReplaceFailure::Stage::MakingTemporary:
      if (denied) return ReplaceRefusal::TemporaryDenied;
      break;
    case ReplaceFailure::Stage::WritingTemporary:
      break;
    case ReplaceFailure::Stage::Replacing:
      if (isAmong(failure.error, os::kErrorCodes.heldWithoutDeleteSharing))
        return ReplaceRefusal::HeldWithoutDeleteSharing;
      if (denied) return ReplaceRefusal::ReplaceDenied;
      break;
  }
  return ReplaceRefusal::None;
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

FileOperations& systemFileOperations() { return systemOperations; }

WriteMethod chooseWriteMethod(bool targetExists, unsigned long linkCount, ReplaceRefusal refusal) {
  if (!targetExists) return WriteMethod::Replace;
  if (linkCount > 1) return WriteMethod::InPlaceKeepingHardLinks;
  switch (refusal) {
    case ReplaceRefusal::TemporaryDenied:
      return WriteMethod::InPlaceInLockedFolder;
    case ReplaceRefusal::HeldWithoutDeleteSharing:
      return WriteMethod::InPlaceWhileHeld;
    case ReplaceRefusal::ReplaceDenied:
      return WriteMethod::InPlaceWithoutDeleteRight;
    case ReplaceRefusal::None:
      break;
  }
  return WriteMethod::Replace;
}

void readFileBlocks(FileOperations& files, const std::wstring& path, const wchar_t* whatFailed,
                    const std::function<bool(std::string_view)>& take) {
  File file;
  Error error = files.openForReading(os::nativePath(path), file);
  if (!error) error = readBlocks(files, file, take);
  if (error) throw systemFailure(whatFailed, path, error);
}

void replaceFileContent(FileOperations& files, const std::wstring& path, std::string_view content) {
  const FileFacts target = resolveTarget(files, path);
  WriteMethod method = chooseWriteMethod(target.exists, target.linkCount, ReplaceRefusal::None);
  if (method == WriteMethod::Replace) {
    const ReplaceFailure failure = tryReplace(files, target, path, content);
    if (!failure.error) return;
    method = chooseWriteMethod(target.exists, target.linkCount, refusalOf(failure));
    if (method == WriteMethod::Replace) throw systemFailure(kWriteFailed, path, failure.error);
  }
  writeInPlace(files, target, path, content);
}

}  // namespace storage
