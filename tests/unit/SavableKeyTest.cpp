// Which typed keys the key file's line carries exactly as typed. Natively the code page is
// Windows-1252.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "storage/KeyFile.h"
#include "storage/Utf8.h"

namespace {

using storage::explainUnsavable;
using storage::Unsavable;
using storage::unsavableCharacters;
using Found = std::vector<storage::UnsavableCharacter>;

bool contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

TEST(SavableKeys, KeysTheScriptReadsAsTypedAreAccepted) {
  for (const std::wstring& key : std::vector<std::wstring>{
           L"",
           L"QV-7F3A-19C2",
           L"  blanks at both ends  ",
           L"tab\there",
           L"a,b,,c",
           L"R&D 'single' // not a comment </script> $1 $& ${x} `tick`",
           L"caf\u00e9 \u20ac \u00e4 \u00a0 \u0178 \u00ff",
           std::wstring(40000, L'k'),
       }) {
    EXPECT_EQ(unsavableCharacters(key), Found{}) << storage::toUtf8(key);
  }
}

TEST(SavableKeys, EachKindOfCharacterIsRefusedWhereverItStands) {
  struct Case {
    std::wstring character;
    Unsavable reason;
  };
  const Case cases[] = {
      {L"\"", Unsavable::DoubleQuote},
      {L"\\", Unsavable::Backslash},
      {L"\r", Unsavable::LineBreak},
      {L"\n", Unsavable::LineBreak},
      {L"\u2028", Unsavable::LineBreak},
      {L"\u2029", Unsavable::LineBreak},
      {L"\u0416", Unsavable::NotInCodePage},  // Cyrillic
      {L"\u0142", Unsavable::NotInCodePage},  // ł, which a best fit would turn into l
      {L"\u0080", Unsavable::NotInCodePage},  // a control, whose byte is the euro sign's
      {L"\u200b", Unsavable::NotInCodePage},  // zero-width space: invisible in the box
      {std::wstring(1, static_cast<wchar_t>(0x1F511)), Unsavable::NotInCodePage},
  };
  for (const Case& c : cases) {
    for (const std::wstring& key :
         {c.character + L"key", L"ke" + c.character + L"y", L"key" + c.character, c.character}) {
      EXPECT_EQ(unsavableCharacters(key), (Found{{c.character, c.reason}})) << storage::toUtf8(key);
    }
  }
}

TEST(SavableKeys, AMixedKeyNamesEachRefusedCharacterOnceInTheOrderTyped) {
  EXPECT_EQ(unsavableCharacters(L"a\\b\"c\u0416\r\nd\\e\u0416\"f\u00e9"),
            (Found{{L"\\", Unsavable::Backslash},
                   {L"\"", Unsavable::DoubleQuote},
                   {L"\u0416", Unsavable::NotInCodePage},
                   {L"\r", Unsavable::LineBreak},
                   {L"\n", Unsavable::LineBreak}}));
}

TEST(SavableKeys, TheExplanationNamesTheCharactersAndWhatWouldGoWrong) {
  const std::wstring syntax = explainUnsavable(unsavableCharacters(L"a\"b\\c"));
  EXPECT_TRUE(contains(syntax, L"\" (double quote) and \\ (backslash): the extension would"));
  EXPECT_FALSE(contains(syntax, L"line break")) << "only the reasons that apply";

  EXPECT_EQ(explainUnsavable(unsavableCharacters(L"x\\")),
            L"\\ (backslash): the extension would take it as part of its script, and read a "
            L"different key or none at all.");
  EXPECT_EQ(explainUnsavable(unsavableCharacters(L"two\r\nlines\u2028")),
            L"A line break: the key file holds the key on one line, which it would split.");

  const std::wstring codePage = explainUnsavable(unsavableCharacters(L"\u0141\u00f3d\u017a"));
  EXPECT_EQ(codePage,
            L"\u0141 (U+0141), \u017a (U+017A): this computer saves the key file in code page "
            L"1252, which has no such characters, so others would be saved in their place.");

  const std::wstring all = explainUnsavable(unsavableCharacters(L"\"\n\u0416"));
  EXPECT_EQ(std::count(all.begin(), all.end(), L'\n'), 2) << "a line per reason";
}

TEST(SavableKeys, AKeyOfManyForeignCharactersNamesTheFirstTwelveAndCountsTheRest) {
  const struct {
    wchar_t distinct;
    const wchar_t* listEnd;
  } cases[] = {
      {12, L"\u041a (U+041A), \u041b (U+041B): this computer"},
      {13, L"\u041b (U+041B) and 1 more: this computer"},
      {32, L"\u041b (U+041B) and 20 more: this computer"},
  };
  for (const auto& c : cases) {
    std::wstring key;
    for (wchar_t letter = 0x0410; letter < 0x0410 + c.distinct; ++letter) {
      key += std::wstring(1000, letter);
    }
    EXPECT_EQ(unsavableCharacters(key).size(), size_t(c.distinct));
    const std::wstring text = explainUnsavable(unsavableCharacters(key));
    EXPECT_TRUE(contains(text, c.listEnd)) << storage::toUtf8(text);
    EXPECT_FALSE(contains(text, L"\u041c"));
  }
}

}  // namespace
