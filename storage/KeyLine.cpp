#include "storage/KeyLine.h"

#include <algorithm>
#include <cwchar>
#include <set>

#include "resources/Texts.h"
#include "storage/Utf8.h"

namespace storage {

namespace {

constexpr std::wstring_view kKeyFileBelowInstall = L"Firefox\\chrome\\content\\quorvantis.ini";
constexpr std::string_view kLinePrefix = "var accessKey = \"";
constexpr std::string_view kLineSuffix = "\";\r\n";
constexpr std::wstring_view kTemporarySuffix = L".UpdateAccessKey.tmp";
constexpr wchar_t kHexDigits[] = L"0123456789abcdef";
constexpr size_t kTemporaryDigits = 8;

bool endsLine(char c) { return c == '\r' || c == '\n'; }

std::optional<Unsavable> syntaxReason(wchar_t c) {
  if (c == L'"') return Unsavable::DoubleQuote;
  if (c == L'\\') return Unsavable::Backslash;
  // A script's string ends at any of its line terminators, not only at CR and LF.
  if (c == L'\r' || c == L'\n' || c == 0x2028 || c == 0x2029) return Unsavable::LineBreak;
  return std::nullopt;
}

std::wstring codePointOf(std::wstring_view character) {
  wchar_t digits[16];
  std::swprintf(digits, 16, L"U+%04X", static_cast<unsigned>(codePointAt(character, 0).value));
  return digits;
}

// Past this many, the explanation counts the rest of the characters the code page cannot hold.
constexpr size_t kNamedCharacters = 12;

// Whether the code page's bytes for a text hold one that a script reads as more than a character.
bool holdsScriptByte(std::string_view bytes) {
  return bytes.find_first_of("\"\\\r\n") != std::string_view::npos;
}

std::wstring listOf(const std::vector<UnsavableCharacter>& characters, Unsavable reason) {
  std::wstring list;
  size_t count = 0;
  for (const UnsavableCharacter& c : characters) {
    if (c.reason != reason) continue;
    if (++count > kNamedCharacters) continue;
    if (count > 1) list += L", ";
    list += c.character + L" (" + codePointOf(c.character) + L")";
  }
  if (count > kNamedCharacters) {
    list += texts::kAnd + std::to_wstring(count - kNamedCharacters) + texts::kMoreCharacters;
  }
  return list;
}

bool has(const std::vector<UnsavableCharacter>& characters, Unsavable reason) {
  return std::any_of(characters.begin(), characters.end(),
                     [reason](const UnsavableCharacter& c) { return c.reason == reason; });
}

}  // namespace

std::wstring keyFilePath(std::wstring_view installPath) {
  return std::wstring(installPath) + L'\\' + std::wstring(kKeyFileBelowInstall);
}

std::string keyFileLine(std::string_view ansiKey) {
  return std::string(kLinePrefix) + std::string(ansiKey) + std::string(kLineSuffix);
}

bool AccessKeyScanner::take(std::string_view bytes) {
  sawBytes_ = sawBytes_ || !bytes.empty();
  for (size_t i = 0; i < bytes.size() && state_ < State::Found; ++i) {
    const char c = bytes[i];
    if (state_ == State::InKey) {
      const size_t end = bytes.find_first_of("\"\r\n", i);
      key_.append(bytes.substr(i, end - i));
      if (end == std::string_view::npos) return false;
      state_ = bytes[end] == '"' ? State::Found : State::NoKey;
    } else if (c == '"') {
      // A line that opens with a double quote has always been refused: its quoted text is a
      // field of its own, not a key declaration.
      state_ = state_ == State::LeadingBlanks ? State::NoKey : State::InKey;
    } else if (endsLine(c)) {
      state_ = State::NoKey;
    } else if (c != ' ') {
      state_ = State::BeforeKey;
    }
  }
  return state_ >= State::Found;
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

std::vector<UnsavableCharacter> unsavableCharacters(std::wstring_view key,
                                                    const CodePage& codePage) {
  // Code pages convert character by character, so only a key that fails as a whole, or whose
  // bytes hold one that the script reads, needs each of its characters tried.
  const std::optional<std::string> keyBytes = codePage.encodeExactly(key);
  const bool bytesAreCharacters = keyBytes && !holdsScriptByte(*keyBytes);
  std::vector<UnsavableCharacter> found;
  std::set<std::wstring_view> seen;
  for (size_t at = 0; at < key.size();) {
    const std::wstring_view character = key.substr(at, codePointAt(key, at).units);
    at += character.size();
    std::optional<Unsavable> reason = syntaxReason(character[0]);
    if (!reason && !bytesAreCharacters) {
      const std::optional<std::string> bytes = codePage.encodeExactly(character);
      if (!bytes)
        reason = Unsavable::NotInCodePage;
      else if (holdsScriptByte(*bytes))
        reason = Unsavable::ScriptByte;
    }
    if (reason && seen.insert(character).second) {
      found.push_back({std::wstring(character), *reason});
    }
  }
  return found;
}

std::wstring explainUnsavable(const std::vector<UnsavableCharacter>& characters,
                              unsigned codePage) {
  std::wstring text;
  const auto addLine = [&text](const std::wstring& line) {
    text += (text.empty() ? L"" : L"\r\n") + line;
  };
  const bool quote = has(characters, Unsavable::DoubleQuote);
  const bool backslash = has(characters, Unsavable::Backslash);
  if (quote || backslash) {
    std::wstring named = quote ? texts::kQuoteNamed : L"";
    if (quote && backslash) named += texts::kAnd;
    if (backslash) named += texts::kBackslashNamed;
    addLine(named + texts::kPartOfScript);
  }
  if (has(characters, Unsavable::LineBreak)) addLine(texts::kLineBreak);
  if (has(characters, Unsavable::NotInCodePage)) {
    addLine(listOf(characters, Unsavable::NotInCodePage) + texts::kNotInCodePage +
            std::to_wstring(codePage) + texts::kNotInCodePageEnd);
  }
  if (has(characters, Unsavable::ScriptByte)) {
    addLine(listOf(characters, Unsavable::ScriptByte) + texts::kScriptByte +
            std::to_wstring(codePage) + texts::kScriptByteEnd + texts::kPartOfScript);
  }
  return text;
}

std::wstring registryText(std::string_view bytes) {
  std::wstring text;
  for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const auto unit = static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                           static_cast<unsigned char>(bytes[at + 1]) << 8);
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

std::wstring temporaryPathFor(std::wstring_view target, std::uint32_t number) {
  std::wstring path(target);
  path += L'.';
  for (int shift = 28; shift >= 0; shift -= 4) path += kHexDigits[(number >> shift) & 0xF];
  path += kTemporarySuffix;
  return path;
}

bool isTemporaryOf(std::wstring_view fileName, std::wstring_view targetName) {
  const size_t dot = targetName.size();
  return fileName.size() == dot + 1 + kTemporaryDigits + kTemporarySuffix.size() &&
         fileName.starts_with(targetName) && fileName[dot] == L'.' &&
         fileName.ends_with(kTemporarySuffix) &&
         fileName.substr(dot + 1, kTemporaryDigits).find_first_not_of(kHexDigits) == fileName.npos;
}

}  // namespace storage
