// The key file's line and path, its reader, the registry value's text, the writer's temporary
// names, long paths and the error texts: the portable core, with no I/O.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "resources/Texts.h"
#include "storage/KeyFileFormat.h"
#include "storage/LongPath.h"
#include "storage/RegistryText.h"
#include "storage/StorageError.h"

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
    EXPECT_EQ(storage::registryText(c.bytes), c.text) << c.text;
  }
}

// A copy that a person dated, or an older version's leftover, is never taken for the writer's own.
TEST(WriterTemporaries, OnlyTheWritersOwnNamesCountAsLeftovers) {
  EXPECT_EQ(storage::temporaryPathFor(L"C:\\q.ini", 0x1234abcdu),
            L"C:\\q.ini.1234abcd.UpdateAccessKey.tmp");
  EXPECT_EQ(storage::temporaryPathFor(L"q.ini", 0xfu), L"q.ini.0000000f.UpdateAccessKey.tmp");
  EXPECT_TRUE(
      storage::isTemporaryOf(L"quorvantis.ini.1234abcd.UpdateAccessKey.tmp", L"quorvantis.ini"));
  for (const wchar_t* other :
       {L"quorvantis.ini", L"quorvantis.ini.20240115.tmp", L"quorvantis.ini.1234abcd.tmp",
        L"quorvantis.ini.1234abc.UpdateAccessKey.tmp",
        L"quorvantis.ini.1234ABCD.UpdateAccessKey.tmp",
        L"quorvantis.ini.1234abcd.UpdateAccessKey.tmp.bak",
        L"quorvantis.old.1234abcd.UpdateAccessKey.tmp",
        L"quorvantis.ini_1234abcd.UpdateAccessKey.tmp",
        L"quorvantis.ini.1234abcd.UpdateAccessKey.txt"}) {
    EXPECT_FALSE(storage::isTemporaryOf(other, L"quorvantis.ini")) << other;
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
    EXPECT_EQ(storage::extendedLengthPath(path), extended) << path;
    EXPECT_EQ(storage::extendedLengthPath(extended), extended);
    EXPECT_EQ(storage::withoutExtendedLengthPrefix(extended), path);
  }
}

TEST(ErrorText, TheMessageSaysWhatFailedOnWhichFileAndWhy) {
  const storage::StorageError full(texts::kWriteFailed, L"C:\\\u0141\\q.ini", L"Access is denied.");
  EXPECT_EQ(full.message(),
            L"The Access key could not be saved.\r\n\r\nFile: C:\\\u0141\\q.ini\r\nReason: "
            L"Access is denied.");
}

}  // namespace
