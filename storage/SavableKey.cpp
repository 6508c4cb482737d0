#include "storage/SavableKey.h"

#include <algorithm>
#include <cwchar>
#include <set>

#include "resources/Texts.h"

namespace storage {

namespace {

// The character that starts at `at`, and how many units of `text` it takes: on Windows, where
// wchar_t is UTF-16, a surrogate pair is one character and a lone surrogate stands for itself.
struct CodePoint {
  char32_t value;
  size_t units;
};
CodePoint codePointAt(std::wstring_view text, size_t at) {
  const auto c = static_cast<char32_t>(text[at]);
  if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && at + 1 < text.size()) {
    const auto low = static_cast<char32_t>(text[at + 1]);
    if (low >= 0xDC00 && low < 0xE000) return {0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), 2};
  }
  return {c, 1};
}

std::optional<Unsavable> syntaxReason(wchar_t c) {
  if (c == L'"') return Unsavable::DoubleQuote;
  if (c == L'\\') return Unsavable::Backslash;
  // A script's string ends at any of its line terminators, not only at CR and LF.
  if (c == L'\r' || c == L'\n' || c == 0x2028 || c == 0x2029) return Unsavable::LineBreak;
  return std::nullopt;
}

std::wstring codePointOf(std::wstring_view character) {
  wchar_t digits[16];
  std::swprintf(digits, 16, L"%04X", static_cast<unsigned>(codePointAt(character, 0).value));
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
    list += texts::fill(texts::kNamed, {c.character, codePointOf(c.character)});
  }
  if (count > kNamedCharacters) {
    list = texts::fill(texts::kAndMore, {list, std::to_wstring(count - kNamedCharacters)});
  }
  return list;
}

bool has(const std::vector<UnsavableCharacter>& characters, Unsavable reason) {
  return std::any_of(characters.begin(), characters.end(),
                     [reason](const UnsavableCharacter& c) { return c.reason == reason; });
}

}  // namespace

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
    const std::wstring named =
        quote && backslash ? texts::fill(texts::kAnd, {texts::kQuoteNamed, texts::kBackslashNamed})
        : quote            ? texts::kQuoteNamed
                           : texts::kBackslashNamed;
    addLine(texts::fill(texts::kPartOfScript, {named}));
  }
  if (has(characters, Unsavable::LineBreak)) addLine(texts::kLineBreak);
  for (const auto& [reason, text] : {std::pair{Unsavable::NotInCodePage, texts::kNotInCodePage},
                                     std::pair{Unsavable::ScriptByte, texts::kScriptByte}}) {
    if (has(characters, reason)) {
      addLine(texts::fill(text, {listOf(characters, reason), std::to_wstring(codePage)}));
    }
  }
  return text;
}

}  // namespace storage
