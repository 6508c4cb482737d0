#include "storage/KeyFile.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

#include "resources/Texts.h"
#include "storage/KeyLine.h"

namespace storage {

namespace {

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

// What the user is told of a write that could not be undone.
std::wstring incompleteWriteReason(const IncompleteWrite& e) {
  // Where the key file's name was given up, the system's words for the failed replace may say
  // that it kept it.
  std::wstring reason = e.newFile().empty()
                            ? e.reason() + L"\r\n" + texts::kMayBeIncomplete
                            : texts::kKeyFileGone + e.newFile() + texts::kKeyFileGoneEnd;
  // The user may have no other note of the key that the file held.
  if (const std::optional<std::string> oldKey = findAccessKey(e.oldBytes())) {
    reason += texts::kOldKeyWas + fromAnsi(*oldKey) + texts::kOldKeyWasEnd;
  }
  return reason;
}

}  // namespace

CodePage systemCodePage() { return {GetACP(), toAnsiExactly}; }

std::wstring readCurrentAccessKey(FileOperations& files, std::wstring_view installPath) {
  const std::wstring path = keyFilePath(installPath);
  AccessKeyScanner scanner;
  readFileBlocks(files, path, texts::kReadFailed,
                 [&scanner](std::string_view block) { return scanner.take(block); });
  if (!scanner.sawBytes()) {
    throw StorageError(StorageFailure::EmptyKeyFile, texts::kReadFailed, path, texts::kEmptyFile);
  }
  const std::optional<std::string> key = scanner.key();
  if (!key) {
    throw StorageError(StorageFailure::NoKeyInFile, texts::kReadFailed, path, texts::kNoKeyInFile);
  }
  return fromAnsi(*key);
}

void saveNewAccessKey(FileOperations& files, std::wstring_view installPath,
                      std::wstring_view newAccessKey) {
  const std::wstring path = keyFilePath(installPath);
  const CodePage codePage = systemCodePage();
  const std::optional<std::string> ansiKey = codePage.encodeExactly(newAccessKey);
  const std::vector<UnsavableCharacter> unsavable = unsavableCharacters(newAccessKey, codePage);
  if (!ansiKey || !unsavable.empty()) {
    throw StorageError(StorageFailure::UnsavableKey, texts::kWriteFailed, path,
                       explainUnsavable(unsavable, codePage.number));
  }
  try {
    replaceFileContent(files, path, keyFileLine(*ansiKey));
  } catch (const IncompleteWrite& e) {
    throw StorageError(e.kind(), texts::kWriteFailed, path, incompleteWriteReason(e));
  }
}

}  // namespace storage
