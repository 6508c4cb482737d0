// The key file: a one-line script below the installation directory that assigns the Access key
// to the extension's `accessKey` variable.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/FileAccess.h"
#include "storage/FileOperations.h"

namespace storage {

std::wstring keyFilePath(std::wstring_view installPath);

// The key file's whole content for a key already in the ANSI code page.
std::string keyFileLine(std::string_view ansiKey);

// Why the key file's line cannot carry a character of a key exactly as typed.
enum class Unsavable {
  DoubleQuote,    // ends the script's string early
  Backslash,      // starts an escape sequence in the script's string
  LineBreak,      // splits the file's one line
  NotInCodePage,  // the ANSI code page has no such character
};

struct UnsavableCharacter {
  std::wstring character;  // one character: two UTF-16 units beyond the Basic Multilingual Plane
  Unsavable reason;
  bool operator==(const UnsavableCharacter&) const = default;
};

// The characters of `key` that the key file's line cannot carry so that the extension reads
// exactly `key`: each once, in the order of their first appearance. None for a key that it can.
std::vector<UnsavableCharacter> unsavableCharacters(std::wstring_view key);

// Names each of `characters` and says in plain words why it cannot be saved, a line per reason.
std::wstring explainUnsavable(const std::vector<UnsavableCharacter>& characters);

// Finds the key in the key file's bytes as they arrive, so that a reader can stop as soon as the
// key is known: it is what stands between the first two double quotes of the first line.
class AccessKeyScanner {
 public:
  // Takes the next bytes of the file. True once the rest of the file cannot change the result.
  bool take(std::string_view bytes);
  // The key's bytes, or nothing when the first line holds no key. Valid after the last take().
  std::optional<std::string> key() const;
  bool sawBytes() const { return sawBytes_; }

 private:
  enum class State { LeadingBlanks, BeforeKey, InKey, Found, NoKey };
  State state_ = State::LeadingBlanks;
  bool sawBytes_ = false;
  std::string key_;
};

// The key that the scanner found in the file at `path`, as text, or the typed error for a file
// that holds none.
std::wstring scannedAccessKey(const AccessKeyScanner& scanner, const std::wstring& path);

// The key in a whole key file's bytes.
std::optional<std::string> findAccessKey(std::string_view fileBytes);

// Reads the key from the key file below `installPath`. Throws StorageError.
std::wstring readCurrentAccessKey(FileOperations& files, std::wstring_view installPath);

// Replaces the key file below `installPath` with the line for `newAccessKey`: in one step where
// the file can be replaced, so that the old line stays whole until the new one is on disk;
// otherwise in place, with the old bytes put back if that fails. Throws StorageError, and refuses
// a key that has unsavableCharacters() before it touches anything. Where a failed write could not
// be undone, the error says what it left, where the new line is, and the key the file held.
void saveNewAccessKey(FileOperations& files, std::wstring_view installPath,
                      std::wstring_view newAccessKey);

// What the user is told of a write that could not be undone: what it left, where the new line
// is, and the key the file held.
std::wstring incompleteWriteReason(const IncompleteWrite& failure);

}  // namespace storage
