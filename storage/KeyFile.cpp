#include "storage/KeyFile.h"

#include "resources/Texts.h"
#include "storage/AnsiText.h"
#include "storage/KeyLine.h"

namespace storage {

namespace {

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
