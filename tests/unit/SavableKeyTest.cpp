// Which typed keys the key file's line carries exactly as typed, in Windows-1252 and in Shift-JIS.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "storage/SavableKey.h"
#include "tests/support/TestCodePage.h"

namespace {

using storage::Unsavable;
using testsupport::kCodePage1252;
using Found = std::vector<storage::UnsavableCharacter>;

Found unsavable(std::wstring_view key) { return storage::unsavableCharacters(key, kCodePage1252); }
std::wstring explained(std::wstring_view key) {
  return storage::explainUnsavable(unsavable(key), kCodePage1252.number);
}

// Code page 932, for the few characters below: ASCII, and katakana and kanji whose second byte
// is or is not that of a backslash.
std::optional<std::string> encode932(std::wstring_view text) {
  static const std::map<wchar_t, std::string> kBytes = {{L'\u30BD', "\x83\x5C"},
                                                        {L'\u8868', "\x95\x5C"},
                                                        {L'\u30C6', "\x83\x65"},
                                                        {L'\u30B9', "\x83\x58"},
                                                        {L'\u30C8', "\x83\x67"}};
  std::string bytes;
  for (const wchar_t c : text) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (const auto found = kBytes.find(c); found != kBytes.end()) {
      bytes += found->second;
    } else {
      return std::nullopt;
    }
  }
  return bytes;
}

// A reader that takes the line byte by byte sees the second byte of \u30BD (so) as a backslash.
TEST(SavableKeys, InShiftJisACharacterWithABackslashsByteIsRefused) {
  const storage::CodePage shiftJis{932, encode932};
  const struct {
    const wchar_t* key;
    const wchar_t* explanation;  // none where the key is saved
  } cases[] = {
      {L"\u30C6\u30B9\u30C8-1", nullptr},
      {L"\u30BD\u30C6\u8868\u30BD",
       L"\u30BD (U+30BD), \u8868 (U+8868): this computer saves the key file in code page 932, in "
       L"which these characters hold the byte of a double quote or a backslash: the extension "
       L"would take it as part of its script, and read a different key or none at all."},
  };
  for (const auto& c : cases) {
    const std::vector refused = storage::unsavableCharacters(c.key, shiftJis);
    EXPECT_EQ(storage::explainUnsavable(refused, 932), c.explanation ? c.explanation : L"")
        << (c.key);
  }
}

TEST(SavableKeys, KeysTheScriptReadsAsTypedAreAccepted) {
  for (const wchar_t* key : {L"", L"QV-7F3A-19C2", L"tab\there",
                             L"R&D 'single' // not a comment </script> $1 $& ${x} `tick`",
                             L"caf\u00e9 \u20ac \u00e4 \u00a0 \u0178 \u00ff"}) {
    EXPECT_EQ(unsavable(key), Found{}) << (key);
  }
}

TEST(SavableKeys, EachKindOfCharacterIsRefusedWhereverItStands) {
  const struct {
    std::wstring character;
    Unsavable reason;
  } cases[] = {
      {L"\"", Unsavable::DoubleQuote},
      {L"\\", Unsavable::Backslash},
      {L"\r", Unsavable::LineBreak},
      {L"\n", Unsavable::LineBreak},
      {L"\u2028", Unsavable::LineBreak},
      {L"\u2029", Unsavable::LineBreak},
      {L"\u0416", Unsavable::NotInCodePage},  // Cyrillic
      {L"\U0001F511", Unsavable::NotInCodePage},
  };
  for (const auto& c : cases) {
    for (const std::wstring& key : {c.character + L"key", L"key" + c.character}) {
      EXPECT_EQ(unsavable(key), (Found{{c.character, c.reason}})) << (key);
    }
  }
}

TEST(SavableKeys, AMixedKeyNamesEachRefusedCharacterOnceInTheOrderTyped) {
  EXPECT_EQ(unsavable(L"a\\b\"c\u0416\r\nd\\e\u0416\"f\u00e9"),
            (Found{{L"\\", Unsavable::Backslash},
                   {L"\"", Unsavable::DoubleQuote},
                   {L"\u0416", Unsavable::NotInCodePage},
                   {L"\r", Unsavable::LineBreak},
                   {L"\n", Unsavable::LineBreak}}));
}

TEST(SavableKeys, TheExplanationNamesTheCharactersAndWhatWouldGoWrong) {
  const struct {
    const wchar_t* key;
    const wchar_t* explanation;
  } cases[] = {
      {L"x\\",
       L"\\ (backslash): the extension would take it as part of its script, and read a "
       L"different key or none at all."},
      {L"x\"",
       L"\" (double quote): the extension would take it as part of its script, and read "
       L"a different key or none at all."},
      {L"\u0141\u00f3d\u017a\U0001F511",
       L"\u0141 (U+0141), \u017a (U+017A), \U0001F511 (U+1F511): this computer saves the key file "
       L"in code page 1252, which has no such characters, so others would be saved in their "
       L"place."},
      {L"\\\"\n\u0141",
       L"\" (double quote) and \\ (backslash): the extension would take it as part of its "
       L"script, and read a different key or none at all.\r\nA line break: the key file holds the "
       L"key on one line, which it would split.\r\n\u0141 (U+0141): this computer saves the key "
       L"file in code page 1252, which has no such characters, so others would be saved in their "
       L"place."},
  };
  for (const auto& c : cases) EXPECT_EQ(explained(c.key), c.explanation) << (c.key);
}

TEST(SavableKeys, AKeyOfManyForeignCharactersNamesTheFirstTwelveAndCountsTheRest) {
  for (const auto& [distinct, listEnd] :
       {std::pair<wchar_t, const wchar_t*>{12, L", \u041b (U+041B): this computer saves"},
        {13, L", \u041b (U+041B) and 1 more: this computer"}}) {
    std::wstring key;
    for (wchar_t letter = 0x0410; letter < 0x0410 + distinct; ++letter) key += letter;
    const std::wstring text = explained(key);
    EXPECT_TRUE(text.starts_with(L"\u0410 (U+0410), \u0411 (U+0411), ")) << (text);
    EXPECT_NE(text.find(listEnd), std::wstring::npos) << (text);
  }
}

}  // namespace
