// The key file's one line, with no I/O: where the file lies, the line that the writer makes, the
// reader over the file's bytes, which typed keys the line carries exactly, and the registry
// value's text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace storage {

std::wstring keyFilePath(std::wstring_view installPath);

// The key file's whole content for a key already in the ANSI code page.
std::string keyFileLine(std::string_view ansiKey);

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
  enum class State { LeadingBlanks, BeforeKey, InKey, Found, NoKey };  // the last two are final
  State state_ = State::LeadingBlanks;
  bool sawBytes_ = false;
  std::string key_;
};

// The key in a whole key file's bytes.
std::optional<std::string> findAccessKey(std::string_view fileBytes);

// The system's ANSI code page, in which the key file holds its line.
struct CodePage {
  unsigned number;
  // The bytes only when the code page holds every character exactly, so that they convert back
  // to the same text: no default character and no best-fit look-alike.
  std::optional<std::string> (*encodeExactly)(std::wstring_view text);
};

// Why the key file's line cannot carry a character of a key exactly as typed.
enum class Unsavable {
  DoubleQuote,    // ends the script's string early
  Backslash,      // starts an escape sequence in the script's string
  LineBreak,      // splits the file's one line
  NotInCodePage,  // the ANSI code page has no such character
  // A byte of the character in the ANSI code page is that of a double quote, a backslash or a line
  // break, which a reader that takes the line byte by byte would end the string at or escape.
  ScriptByte,
};

struct UnsavableCharacter {
  std::wstring character;  // one character: two UTF-16 units beyond the Basic Multilingual Plane
  Unsavable reason;
  bool operator==(const UnsavableCharacter&) const = default;
};

// The characters of `key` that the key file's line cannot carry so that the extension reads
// exactly `key`: each once, in the order of their first appearance. None for a key that it can.
std::vector<UnsavableCharacter> unsavableCharacters(std::wstring_view key,
                                                    const CodePage& codePage);

// Names each of `characters` and says in plain words why it cannot be saved, a line per reason.
std::wstring explainUnsavable(const std::vector<UnsavableCharacter>& characters, unsigned codePage);

// A REG_SZ value's data as the registry gives it, UTF-16 little-endian: the text before the first
// NUL, or all of it when it has none. Half a character at the end is no text.
std::wstring registryText(std::string_view bytes);

// The writer's temporary file beside `target`: "<target>.<8 hex digits>.UpdateAccessKey.tmp", a
// name that no person and no other program gives a file.
std::wstring temporaryPathFor(std::wstring_view target, std::uint32_t number);

// True for a file name that the writer gives its temporary files for `targetName`, and for no
// other: only those are ever removed as leftovers.
bool isTemporaryOf(std::wstring_view fileName, std::wstring_view targetName);

}  // namespace storage
