// Which typed keys the key file's line carries exactly as typed, and why the others cannot be
// saved, in words for the user; with no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace storage {

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

}  // namespace storage
