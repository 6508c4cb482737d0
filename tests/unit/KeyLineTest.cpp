// The key file's line and path, its reader, the registry value's text, the writer's temporary
// names, long paths and the error texts: the portable core, with no I/O.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "resources/Texts.h"
#include "storage/KeyLine.h"
#include "storage/LongPath.h"
#include "storage/StorageError.h"
#include "storage/Utf8.h"

namespace {

using namespace std::string_view_literals;
using storage::findAccessKey;

TEST(KeyFileFormat, TheWriterMakesOneLineAtAPathBuiltWithoutNormalising) {
  EXPECT_EQ(storage::keyFileLine("K-123"), "var accessKey = \"K-123\";\r\n");
  EXPECT_EQ(storage::keyFilePath(L"C:\\Q"), L"C:\\Q\\Firefox\\chrome\\content\\quorvantis.ini");
  EXPECT_EQ(storage::keyFilePath(L"C:\\Q\\"), L"C:\\Q\\\\Firefox\\chrome\\content\\quorvantis.ini");
}

TEST(KeyFileReader, FindsTheKeyBetweenTheFirstTwoDoubleQuotesOfTheFirstLine) {
  const struct {
    const char* file;
    const char* key;
  } cases[] = {
      {"var accessKey = \"K1\";\n", "K1"},                            // LF only
      {"var accessKey = \"K1\"", "K1"},                               // no line end, no ";"
      {"var accessKey = \"K1\"; // note\r\nsecond \"x\"\r\n", "K1"},  // another writer's lines
      {"   var accessKey = \"K1\";", "K1"},                           // leading blanks
      {"let key=\"K1\"", "K1"},                                       // another prefix
      {"var accessKey = \"a\"b\";", "a"},                             // three double quotes
      {"var accessKey = \"\";\r\n", ""},                              // adjacent double quotes
      {"var accessKey = \" spaced \";", " spaced "},
      {"var accessKey = \"a,b,c\";\r\n", "a,b,c"},        // a comma in the key
      {"\xEF\xBB\xBFvar accessKey = \"K1\";\r\n", "K1"},  // a UTF-8 byte order mark
  };
  for (const auto& c : cases) {
    EXPECT_EQ(findAccessKey(c.file), std::optional<std::string>(c.key)) << c.file;
  }
}

TEST(KeyFileReader, FindsNoKeyWhereTheFirstLineOpensWithAQuoteOrHoldsFewerThanTwo) {
  for (const char* file : {"", "var accessKey = 'K1';", "var accessKey = \"K1;\r\n\"",
                           "var accessKey = \"K1;\n\"", "\r\n\"K1\"", "key\n\"K1\"", "   \"K1\""}) {
    EXPECT_EQ(findAccessKey(file), std::nullopt) << file;
  }
}

TEST(KeyFileReader, GivesTheSameKeyHoweverTheBytesArrive) {
  const std::string file = "  var accessKey = \"K,1 2\";\r\nnext \"line\"";
  for (size_t cut = 0; cut <= file.size(); ++cut) {
    storage::AccessKeyScanner scanner;
    if (!scanner.take(std::string_view(file).substr(0, cut))) {
      scanner.take(std::string_view(file).substr(cut));
    }
    EXPECT_EQ(scanner.key(), std::optional<std::string>("K,1 2")) << "cut at " << cut;
  }
}

// A first line without a key ends the search as a key found does.
TEST(KeyFileReader, StopsAtTheEndOfAFirstLineWithoutAKey) {
  EXPECT_TRUE(storage::AccessKeyScanner().take("no key\n"));
}

TEST(RegistryText, IsTheLittleEndianTextBeforeTheFirstNul) {
  const struct {
    std::string_view bytes;
    const wchar_t* text;
  } cases[] = {
      {"C\0:\0\\\0Q\0\0\0C\0:\0"sv, L"C:\\Q"},  // a second string after the NUL
      {"C\0:\0R"sv, L"C:"},                     // half a character at the end
      {""sv, L""},
      {"\0\0C\0"sv, L""},
      {"A\0\0\x42\x41\x01\x71\x67\0\x01"sv, L"A\u4200\u0141\u6771\u0100"},  // NUL bytes, no NUL
  };
  for (const auto& c : cases) {
    EXPECT_EQ(storage::registryText(c.bytes), c.text) << storage::toUtf8(c.text);
  }
}

TEST(WriterTemporaries, OnlyTheWritersOwnNamesCountAsLeftovers) {
  EXPECT_EQ(storage::temporaryPathFor(L"C:\\q.ini", 0x1234abcdu), L"C:\\q.ini.1234abcd.tmp");
  EXPECT_EQ(storage::temporaryPathFor(L"q.ini", 0xfu), L"q.ini.0000000f.tmp");
  EXPECT_TRUE(storage::isTemporaryOf(L"quorvantis.ini.1234abcd.tmp", L"quorvantis.ini"));
  for (const wchar_t* other :
       {L"quorvantis.ini", L"quorvantis.ini.1234abc.tmp", L"quorvantis.ini.1234ABCD.tmp",
        L"quorvantis.ini.1234abcd.tmp.bak", L"quorvantis.old.1234abcd.tmp",
        L"quorvantis.ini_1234abcd.tmp", L"quorvantis.ini.1234abcd.txt"}) {
    EXPECT_FALSE(storage::isTemporaryOf(other, L"quorvantis.ini")) << storage::toUtf8(other);
  }
}

// Each path, its extended-length form, which stays as it is, and the path shown again without it.
TEST(LongPaths, TakeTheExtendedLengthFormFromMaxPathOn) {
  const std::wstring folders = L"\\" + std::wstring(250, L'q');  // 251 characters
  for (const auto& [path, extended] : std::vector<std::pair<std::wstring, std::wstring>>{
           {L"C:\\Quorvantis\\quorvantis.ini", L"C:\\Quorvantis\\quorvantis.ini"},
           {L"C:" + folders + L"\\a.ini", L"C:" + folders + L"\\a.ini"},  // 259: still taken
           {L"C:" + folders + L"\\ab.ini", L"\\\\?\\C:" + folders + L"\\ab.ini"},
           {L"\\\\server\\share" + folders, L"\\\\?\\UNC\\server\\share" + folders},
       }) {
    EXPECT_EQ(storage::extendedLengthPath(path), extended) << storage::toUtf8(path);
    EXPECT_EQ(storage::extendedLengthPath(extended), extended);
    EXPECT_EQ(storage::withoutExtendedLengthPrefix(extended), path);
  }
}

// An error's what() carries its text as UTF-8, and the window shows it as text again. On Windows
// the text is UTF-16, as char16_t is here; natively wchar_t holds whole characters.
TEST(ErrorText, Utf8ReadsBackAsTheTextItCameFrom) {
  const struct {
    std::string bytes;
    std::u16string utf16;
    const wchar_t* wide;  // none where UTF-16's surrogates stay apart
  } cases[] = {
      {"\x7f\xc2\x80", u"\u007f\u0080", L"\u007f\u0080"},
      {"\xdf\xbf\xe0\xa0\x80", u"\u07ff\u0800", L"\u07ff\u0800"},
      {"\xef\xbf\xbf\xf0\x90\x80\x80", u"\uffff\U00010000", L"\uffff\U00010000"},
      {"\xf0\x9f\x94\x91\xf4\x8f\xbf\xbf", u"\U0001F511\U0010FFFF", L"\U0001F511\U0010FFFF"},
      {"\xf4\x8f\xb0\x80", u"\xDBFF\xDC00", nullptr},
      {"\xed\xb0\x80\xed\xb0\x80", u"\xDC00\xDC00", nullptr},
      {"\xed\xa0\xbd\xee\x80\x80", u"\xD83D\xE000", nullptr},
      {"a\xed\xa0\x80", u"a\xD800", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(storage::utf16FromUtf8(c.bytes), c.utf16) << c.bytes;
    EXPECT_EQ(storage::toUtf8(c.utf16), c.bytes);
    if (!c.wide) continue;
    EXPECT_EQ(storage::fromUtf8(c.bytes), c.wide) << c.bytes;
    EXPECT_EQ(storage::toUtf8(c.wide), c.bytes);
  }
  EXPECT_EQ(storage::toUtf8(std::u16string_view(u"\xD800\xDC00", 1)), "\xed\xa0\x80")
      << "a pair cut at the end of the text";
  EXPECT_EQ(storage::fromUtf8("a\xff"
                              "b\xe2\x82"),
            L"a\uFFFDb\uFFFD\uFFFD");
  EXPECT_EQ(storage::fromUtf8("\xc3("), L"\uFFFD(") << "a lead byte without its continuation";
  EXPECT_EQ(storage::utf16FromUtf8("\xf4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD")
      << "beyond U+10FFFF";
}

TEST(ErrorText, TheMessageSaysWhatFailedOnWhichFileAndWhy) {
  const storage::StorageError full(storage::StorageFailure::AccessDenied, texts::kWriteFailed,
                                   L"C:\\\u0141\\q.ini", L"Access is denied.");
  EXPECT_STREQ(full.what(),
               "The Access key could not be saved.\r\n\r\nFile: C:\\\xc5\x81\\q.ini\r\nReason: "
               "Access is denied.");
  EXPECT_EQ(
      storage::StorageError(storage::StorageFailure::SystemError, L"Failed.", L"", L"").message(),
      L"Failed.");
}

}  // namespace
