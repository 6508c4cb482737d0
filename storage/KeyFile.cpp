#include "storage/KeyFile.h"

#include <algorithm>
#include <cwchar>
#include <set>

#include "storage/AnsiText.h"
#include "storage/FileAccess.h"
#include "storage/StorageError.h"
#include "storage/Utf8.h"

namespace storage {

namespace {

constexpr std::wstring_view kKeyFileBelowInstall = L"Firefox\\chrome\\content\\quorvantis.ini";
constexpr std::string_view kLinePrefix = "var accessKey = \"";
constexpr std::string_view kLineSuffix = "\";\r\n";

bool endsLine(char c) { return c == '\r' || c == '\n'; }

// A script's string ends at any of its line terminators, not only at CR and LF.
bool endsScriptLine(wchar_t c) { return c == L'\r' || c == L'\n' || c == 0x2028 || c == 0x2029; }

std::optional<Unsavable> syntaxReason(wchar_t c) {
  if (c == L'"') return Unsavable::DoubleQuote;
  if (c == L'\\') return Unsavable::Backslash;
  if (endsScriptLine(c)) return Unsavable::LineBreak;
  return std::nullopt;
}

std::wstring codePointOf(std::wstring_view character) {
  wchar_t digits[16];
  std::swprintf(digits, 16, L"U+%04X", static_cast<unsigned>(codePointAt(character, 0).value));
  return digits;
}

// Past this many, the explanation counts the rest of the characters the code page cannot hold.
constexpr size_t kNamedCharacters = 12;

std::wstring listNotInCodePage(const std::vector<UnsavableCharacter>& characters) {
  std::wstring list;
  size_t count = 0;
  for (const UnsavableCharacter& c : characters) {
    if (c.reason != Unsavable::NotInCodePage) continue;
    if (++count > kNamedCharacters) continue;
    if (count > 1) list += L", ";
    list += c.character + L" (" + codePointOf(c.character) + L")";
  }
  if (count > kNamedCharacters) {
    list += L" and " + std::to_wstring(count - kNamedCharacters) + L" more";
  }
  return list;
}

bool has(const std::vector<UnsavableCharacter>& characters, Unsavable reason) {
  return std::any_of(characters.begin(), characters.end(),
                     [reason](const UnsavableCharacter& c) { return c.reason == reason; });
}

}  // namespace

std::vector<UnsavableCharacter> unsavableCharacters(std::wstring_view key) {
  // Code pages convert character by character, so only a key that fails as a whole needs each
  // of its characters tried.
  const bool codePageHoldsKey = toAnsiExactly(key).has_value();
  std::vector<UnsavableCharacter> found;
  std::set<std::wstring_view> seen;
  for (size_t at = 0; at < key.size();) {
    const std::wstring_view character = key.substr(at, codePointAt(key, at).units);
    at += character.size();
    std::optional<Unsavable> reason = syntaxReason(character[0]);
    if (!reason && !codePageHoldsKey && !toAnsiExactly(character)) {
      reason = Unsavable::NotInCodePage;
    }
    if (reason && seen.insert(character).second) {
      found.push_back({std::wstring(character), *reason});
    }
  }
  return found;
}

std::wstring explainUnsavable(const std::vector<UnsavableCharacter>& characters) {
  std::vector<std::wstring> lines;
  const bool quote = has(characters, Unsavable::DoubleQuote);
  const bool backslash = has(characters, Unsavable::Backslash);
  if (quote || backslash) {
    std::wstring named = quote ? L"\" (double quote)" : L"";
    if (quote && backslash) named += L" and ";
    if (backslash) named += L"\\ (backslash)";
    lines.push_back(named +
                    L": the extension would take it as part of its script, and read a different "
                    L"key or none at all.");
  }
  if (has(characters, Unsavable::LineBreak)) {
    lines.push_back(L"A line break: the key file holds the key on one line, which it would split.");
  }
  if (has(characters, Unsavable::NotInCodePage)) {
    lines.push_back(listNotInCodePage(characters) +
                    L": this computer saves the key file in code "
                    L"page " +
                    std::to_wstring(ansiCodePage()) +
                    L", which has no such characters, so others would be saved in their place.");
  }
  std::wstring text;
  for (const std::wstring& line : lines) {
    if (!text.empty()) text += L"\r\n";
    text += line;
  }
  return text;
}

std::wstring keyFilePath(std::wstring_view installPath) {
  std::wstring path(installPath);
  path += L'\\';
  path += kKeyFileBelowInstall;
  return path;
}

std::string keyFileLine(std::string_view ansiKey) {
  std::string line;
  line.reserve(kLinePrefix.size() + ansiKey.size() + kLineSuffix.size());
  line += kLinePrefix;
  line += ansiKey;
  line += kLineSuffix;
  return line;
}

bool AccessKeyScanner::take(std::string_view bytes) {
  sawBytes_ = sawBytes_ || !bytes.empty();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    switch (state_) {
      case State::LeadingBlanks:
        if (c == ' ') break;
        // A line that opens with a double quote has always been refused: its quoted text is a
        // field of its own, not a key declaration.
        state_ = (c == '"' || endsLine(c)) ? State::NoKey : State::BeforeKey;
        break;
      case State::BeforeKey:
        if (c == '"') {
          state_ = State::InKey;
        } else if (endsLine(c)) {
          state_ = State::NoKey;
        }
        break;
      case State::InKey: {
        const size_t end = bytes.find_first_of("\"\r\n", i);
        key_.append(bytes.substr(i, end - i));
        if (end == std::string_view::npos) return false;
        state_ = bytes[end] == '"' ? State::Found : State::NoKey;
        return true;
      }
      case State::Found:
      case State::NoKey:
        return true;
    }
  }
  return state_ == State::Found || state_ == State::NoKey;
}

std::optional<std::string> AccessKeyScanner::key() const {
  if (state_ != State::Found) return std::nullopt;
  return key_;
}

std::optional<std::string> findAccessKey(std::string_view fileBytes) {
  AccessKeyScanner scanner;
  scanner.take(fileBytes);
  return scanner.key();
}

std::wstring scannedAccessKey(const AccessKeyScanner& scanner, const std::wstring& path) {
  if (!scanner.sawBytes()) {
    throw StorageError(StorageFailure::EmptyKeyFile, kReadFailed, path, L"The file is empty.");
  }
  std::optional<std::string> key = scanner.key();
  if (!key) {
    throw StorageError(StorageFailure::NoKeyInFile, kReadFailed, path,
                       L"Its first line holds no Access key between two double quotes.");
  }
  return fromAnsi(*key);
}

std::wstring readCurrentAccessKey(FileOperations& files, std::wstring_view installPath) {
  const std::wstring path = keyFilePath(installPath);
  AccessKeyScanner scanner;
  readFileBlocks(files, path, kReadFailed,
                 [&scanner](std::string_view block) { return scanner.take(block); });
  return scannedAccessKey(scanner, path);
}

void saveNewAccessKey(FileOperations& files, std::wstring_view installPath,
                      std::wstring_view newAccessKey) {
  const std::wstring path = keyFilePath(installPath);
  const std::optional<std::string> ansiKey = toAnsiExactly(newAccessKey);
  const std::vector<UnsavableCharacter> unsavable = unsavableCharacters(newAccessKey);
  if (!ansiKey || !unsavable.empty()) {
    throw StorageError(StorageFailure::UnsavableKey, kWriteFailed, path,
                       explainUnsavable(unsavable));
  }
  try {
    replaceFileContent(files, path, keyFileLine(*ansiKey));
  } catch (const IncompleteWrite& e) {
    throw StorageError(e.kind(), kWriteFailed, path, incompleteWriteReason(e));
  }
}

std::wstring incompleteWriteReason(const IncompleteWrite& e) {
  // Where the key file's name was given up, the system's words for the failed replace may say
  // that it kept it.
  std::wstring reason =
      e.newFile().empty()
          ? e.reason() + L"\r\nThe key file may now be incomplete."
          : L"The key file is no longer there. Its new line is in \"" + e.newFile() + L"\".";
  // The user may have no other note of the key that the file held.
  if (const std::optional<std::string> oldKey = findAccessKey(e.oldBytes())) {
    reason += L" The Access key it held before was \"" + fromAnsi(*oldKey) + L"\".";
  }
  return reason;
}

}  // namespace storage
