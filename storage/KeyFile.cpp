#include "storage/KeyFile.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <thread>

#include "resources/Texts.h"
#include "storage/LongPath.h"

namespace storage {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kLargestWrite = 16 * kBlockSize;
constexpr int kTemporaryNameAttempts = 100;
// A virus scanner, a backup program or the browser may hold the key file for a moment.
constexpr int kAttempts = 20;
constexpr auto kRetryDelay = std::chrono::milliseconds(50);

int checkedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) throw std::length_error("text too long to convert");
  return static_cast<int>(size);
}

// The key file's text, in the system's ANSI code page.
std::wstring fromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = checkedLength(bytes.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), size);
  return text;
}

// The bytes only when the code page holds every character exactly, so that they convert back to
// the same text: no default character and no best-fit look-alike.
std::optional<std::string> toAnsiExactly(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int length = checkedLength(text.size());
  const UINT codePage = GetACP();
  // UTF-8 has no default character: it refuses lone surrogates instead, and takes no flag for it.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* const usedDefaultOut = utf8 ? nullptr : &usedDefault;
  const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr,
                                       usedDefaultOut);
  if (size == 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), size, nullptr,
                      usedDefaultOut);
  // A multi-byte code page can still map a character to bytes that read back as another one.
  if (usedDefault || fromAnsi(bytes) != text) return std::nullopt;
  return bytes;
}

bool isAmong(Error error, std::initializer_list<Error> codes) {
  return std::find(codes.begin(), codes.end(), error) != codes.end();
}

StorageError systemFailure(const wchar_t* whatFailed, const std::wstring& path, Error code) {
  return StorageError(whatFailed, path, systemErrorText(code));
}

enum class Existence { There, Gone, Unknown };

Existence existenceOf(FileOperations& files, const std::wstring& path) {
  FileFacts facts;
  if (files.inspect(path, facts)) return Existence::Unknown;
  return facts.exists ? Existence::There : Existence::Gone;
}

// The writer's policy: which failures pass if tried again, and which lead to the in-place write.

// Another program, a virus scanner, a backup program or the browser, holds the file for a moment.
bool isHeldForAMoment(Error error) {
  return isAmong(error, {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION});
}

// A replace meets more that passes: another copy's replace, which under Wine moves the key file
// aside for a moment, having put it back.
bool replaceMayPass(FileOperations& files, Error error, const std::wstring& target) {
  return isHeldForAMoment(error) ||
         isAmong(error, {ERROR_ACCESS_DENIED, ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_ALREADY_EXISTS,
                         ERROR_FILE_EXISTS}) ||
         (isAmong(error, {ERROR_FILE_NOT_FOUND, ERROR_UNABLE_TO_MOVE_REPLACEMENT,
                          ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}) &&
          existenceOf(files, target) == Existence::There);
}

// A replace, or the new file before it, refused with the key file as it was, where writing the
// key file itself may still be allowed: a folder that refuses new files or their deletion, as an
// installer that grants the right on the key file alone leaves it; another program that holds the
// key file without sharing its deletion; or a key file whose own access rules the program may not
// give to a new file, which makes the replace fail.
bool inPlaceMayFollow(Error error) {
  return isAmong(error,
                 {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_UNABLE_TO_REMOVE_REPLACED});
}

// Runs `step` again while its failure `passes`, for about a second.
template <typename Step, typename Passes>
Error retried(Step step, Passes passes) {
  Error error = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kRetryDelay);
    error = step();
    if (!error || !passes(error)) break;
  }
  return error;
}

std::pair<std::wstring, std::wstring> folderAndName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
  return {path.substr(0, nameStart), path.substr(nameStart)};
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

// The whole file's bytes, or none where they cannot be read.
std::string wholeFile(FileOperations& files, const std::wstring& path) {
  std::string bytes;
  if (File file; files.openForReading(path, file) == 0) readAll(files, file, bytes);
  return bytes;
}

// Reads the key file into a fresh `scanner` until the key is known.
Error scanKeyFile(FileOperations& files, const std::wstring& path, AccessKeyScanner& scanner) {
  return retried(
      [&] {
        scanner = AccessKeyScanner();
        File file;
        Error error = files.openForReading(fullPath(path), file);
        if (!error) {
          error =
              readBlocks(files, file, [&](std::string_view block) { return scanner.take(block); });
        }
        return error;
      },
      isHeldForAMoment);
}

// A save that could not give its new file the key file's name left the newest of the writer's
// temporary files beside it: that file takes the name. True where one did.
bool restoreUnfinishedSave(FileOperations& files, const std::wstring& path) {
  const auto [folder, name] = folderAndName(fullPath(path));
  const std::vector<FolderEntry> entries = files.entriesIn(folder);
  const FolderEntry* newest = nullptr;
  for (const FolderEntry& entry : entries) {
    if (isTemporaryOf(entry.name, name) && (!newest || entry.lastWritten > newest->lastWritten)) {
      newest = &entry;
    }
  }
  return newest && files.replace(folder + newest->name, folder + name) == 0;
}

// A save refused for `why`, a sentence after the system's words for access denied.
StorageError refused(const std::wstring& path, const wchar_t* why) {
  return StorageError(texts::kWriteFailed, path,
                      texts::fill(why, {systemErrorText(ERROR_ACCESS_DENIED)}));
}

// Why the key file's line may not be written to the file described, or null.
const wchar_t* refusalOf(const FileFacts& facts) {
  if (facts.isFolder) return texts::kIsFolder;
  // Wine running as root, like root anywhere, lets a read-only file be overwritten.
  if (facts.readOnly) return texts::kIsReadOnly;
  return nullptr;
}

FileFacts resolveTarget(FileOperations& files, const std::wstring& path) {
  FileFacts target;
  if (const Error error = files.inspect(fullPath(path), target))
    throw systemFailure(texts::kWriteFailed, path, error);
  if (const wchar_t* refusal = refusalOf(target)) throw refused(path, refusal);
  return target;
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

// A step for Wine alone, whose ReplaceFileW leaves an empty file of its own beside a target that
// it cannot move aside: a target held without sharing its deletion is found out before the
// replace, which on Windows fails as this does.
Error wineCheckTargetNotHeld(FileOperations& files, const std::wstring& target) {
  const Error error = files.mayDelete(target);
  return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

Error replaceRetrying(FileOperations& files, const std::wstring& replacement,
                      const std::wstring& target) {
  return retried(
      [&] {
        const Error error = wineCheckTargetNotHeld(files, target);
        return error ? error : files.replace(replacement, target);
      },
      [&](Error error) { return replaceMayPass(files, error, target); });
}

// Removes the temporary files of `target` that an interrupted write left, telling their age by
// the time of `fresh`, the temporary file just written beside them, so that the folder's own
// clock, a file server's or the local time of a FAT volume, measures it. Best effort.
void removeLeftovers(FileOperations& files, const std::wstring& target, const std::wstring& fresh) {
  const auto [folder, name] = folderAndName(target);
  const std::wstring freshName = folderAndName(fresh).second;
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

// A save that may have left the key file without its line: where the new line is, and the key
// that the file held, of which the user may have no other note.
StorageError unfinishedSave(const std::wstring& path, std::wstring reason,
                            std::string_view oldBytes) {
  if (const std::optional<std::string> oldKey = findAccessKey(oldBytes)) {
    reason = texts::fill(texts::kOldKeyWas, {reason, fromAnsi(*oldKey)});
  }
  return StorageError(texts::kWriteFailed, path, reason);
}

// Writes `content` to a new file beside the target and puts it in the target's place in one step.
// Returns why it could not, with the target as it was; throws where the replace may have given up
// the target's name half-way and the new file could not be given it.
Error tryReplace(FileOperations& files, const FileFacts& target, const std::wstring& path,
                 std::string_view content) {
  TemporaryFile temporary(files, target.finalPath);
  if (const Error error = temporary.error()) return error;
  // Read first: a replace that fails half-way leaves no old file to tell the user its key.
  const std::string oldBytes = target.exists ? wholeFile(files, target.finalPath) : std::string();
  Error error = writeAll(files, temporary.file(), 0, content);
  if (!error) error = files.flush(temporary.file());
  if (!error && target.exists) {
    // Given to the new file before the replace, so that the key file never shows without them.
    error = files.setAttributes(temporary.file(), target.keptAttributes);
    // A folder that lets users make files but not delete them refuses the replace its own opening
    // of the new file for deletion; then only this handle can still remove it.
    if (!error) error = files.mayDelete(temporary.path());
  }
  if (error) return error;
  // The replace opens the new file without sharing.
  temporary.close();
  // Not while the target is missing, as a temporary file may then hold the only copy of its line.
  if (target.exists) removeLeftovers(files, target.finalPath, temporary.path());
  error = replaceRetrying(files, temporary.path(), target.finalPath);
  if (error && target.exists) {
    const std::wstring newFile = withoutExtendedLengthPrefix(temporary.path());
    switch (existenceOf(files, target.finalPath)) {
      case Existence::There:
        break;
      case Existence::Gone:
        // The replace gave up the key file's name half-way: the new file, whole and flushed, is
        // now the only one with a line, and takes the name itself, now or at the next start.
        error = replaceRetrying(files, temporary.path(), target.finalPath);
        if (error) {
          temporary.keep();
          throw unfinishedSave(path, texts::fill(texts::kKeyFileGone, {newFile}), oldBytes);
        }
        break;
      case Existence::Unknown:
        temporary.keep();
        throw unfinishedSave(path, texts::fill(texts::kSaveUnfinished, {newFile}), oldBytes);
    }
  }
  if (!error) temporary.keep();
  return error;
}

// Makes `bytes` the whole of the open file.
Error overwrite(FileOperations& files, const File& file, std::string_view bytes) {
  if (const Error error = writeAll(files, file, 0, bytes)) return error;
  if (const Error error = files.setEnd(file, bytes.size())) return error;
  return files.flush(file);
}

// Keeps the file itself, with its links, attributes and permissions, at the price of a line that
// a crash in the middle of the write may leave cut short; a failed write puts the old bytes back.
void writeThrough(FileOperations& files, const File& file, const std::wstring& path,
                  std::string_view content) {
  std::string oldBytes;
  if (const Error error = readAll(files, file, oldBytes))
    throw systemFailure(texts::kWriteFailed, path, error);
  const Error error = overwrite(files, file, content);
  if (!error) return;
  if (overwrite(files, file, oldBytes)) {
    throw unfinishedSave(path, texts::fill(texts::kMayBeIncomplete, {systemErrorText(error)}),
                         oldBytes);
  }
  throw systemFailure(texts::kWriteFailed, path, error);
}

void writeInPlace(FileOperations& files, const FileFacts& target, const std::wstring& path,
                  std::string_view content) {
  File file;
  if (const Error error =
          retried([&] { return files.openInPlace(target.finalPath, file); }, isHeldForAMoment)) {
    throw systemFailure(texts::kWriteFailed, path, error);
  }
  writeThrough(files, file, path, content);
}

void replaceFileContent(FileOperations& files, const std::wstring& path, std::string_view content) {
  const FileFacts target = resolveTarget(files, path);
  // A replace would leave the file's other names holding the old key, or would be refused for want
  // of the right to delete the key file: written in place before any temporary file is made.
  if (target.exists &&
      (target.linkCount > 1 || files.mayDelete(target.finalPath) == ERROR_ACCESS_DENIED)) {
    return writeInPlace(files, target, path, content);
  }
  const Error error = tryReplace(files, target, path, content);
  if (!error) return;
  if (!target.exists || !inPlaceMayFollow(error))
    throw systemFailure(texts::kWriteFailed, path, error);
  writeInPlace(files, target, path, content);
}

bool isSamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), checkedLength(a.size()), b.c_str(),
                              checkedLength(b.size()), TRUE) == CSTR_EQUAL;
}

// With an administrator's rights, over a folder that a program with the user's rights may have
// prepared: the one handle that is written is checked to be the key file itself, where a link or
// a second name could have led the write to any file on the system, and nothing else is touched.
void writeOnlyTheKeyFile(FileOperations& files, const std::wstring& installPath,
                         const std::wstring& path, std::string_view content) {
  FileFacts folder;
  Error error = files.inspect(fullPath(installPath), folder);
  if (!error && !folder.exists) error = ERROR_PATH_NOT_FOUND;
  if (error) throw systemFailure(texts::kWriteFailed, path, error);
  File file;
  error = retried([&] { return files.openInPlace(fullPath(path), file); }, isHeldForAMoment);
  const bool made =
      error == ERROR_FILE_NOT_FOUND && !(error = files.createNew(fullPath(path), file));
  FileFacts facts;
  if (!error) error = files.describe(file, facts);
  std::wstring folderPath = folder.finalPath;
  if (folderPath.ends_with(L'\\')) folderPath.pop_back();
  const wchar_t* refusal = refusalOf(facts);
  if (facts.linkCount > 1) refusal = texts::kSecondName;
  if (facts.finalPath.empty() || !isSamePath(facts.finalPath, keyFilePath(folderPath)))
    refusal = texts::kLinkedElsewhere;
  // A key file made here, wherever it came to lie, goes again.
  if ((error || refusal) && made) files.removeOpen(file);
  if (error) throw systemFailure(texts::kWriteFailed, path, error);
  if (refusal) throw refused(path, refusal);
  if (!made) return writeThrough(files, file, path, content);
  // A new key file has no old line to go back to: it goes where its line cannot be written.
  if (const Error failure = overwrite(files, file, content)) {
    files.removeOpen(file);
    throw systemFailure(texts::kWriteFailed, path, failure);
  }
}

}  // namespace

CodePage systemCodePage() { return {GetACP(), toAnsiExactly}; }

std::wstring readCurrentAccessKey(FileOperations& files, std::wstring_view installPath) {
  const std::wstring path = keyFilePath(installPath);
  AccessKeyScanner scanner;
  Error error = scanKeyFile(files, path, scanner);
  if (error == ERROR_FILE_NOT_FOUND && restoreUnfinishedSave(files, path)) {
    error = scanKeyFile(files, path, scanner);
  }
  if (error) throw systemFailure(texts::kReadFailed, path, error);
  if (!scanner.sawBytes()) throw StorageError(texts::kReadFailed, path, texts::kEmptyFile);
  const std::optional<std::string> key = scanner.key();
  if (!key) throw StorageError(texts::kReadFailed, path, texts::kNoKeyInFile);
  return fromAnsi(*key);
}

void saveNewAccessKey(FileOperations& files, std::wstring_view installPath,
                      std::wstring_view newAccessKey, Rights rights) {
  const std::wstring path = keyFilePath(installPath);
  const CodePage codePage = systemCodePage();
  const std::optional<std::string> ansiKey = codePage.encodeExactly(newAccessKey);
  const std::vector<UnsavableCharacter> unsavable = unsavableCharacters(newAccessKey, codePage);
  if (!ansiKey || !unsavable.empty()) {
    throw StorageError(texts::kWriteFailed, path, explainUnsavable(unsavable, codePage.number),
                       StorageError::Kind::RefusedKey);
  }
  const std::string line = keyFileLine(*ansiKey);
  if (rights == Rights::Administrator) {
    writeOnlyTheKeyFile(files, std::wstring(installPath), path, line);
  } else {
    replaceFileContent(files, path, line);
  }
}

}  // namespace storage
