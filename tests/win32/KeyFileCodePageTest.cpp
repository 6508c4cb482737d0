// The key file's text in the system's ANSI code page. ctest runs this program once per code page
// it sets up and names that code page in EXPECTED_ACP.
#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>

#include "storage/AnsiText.h"
#include "storage/KeyFile.h"
#include "storage/StorageError.h"
#include "storage/Utf8.h"
#include "tests/win32/InstallFolder.h"

namespace {

using storage::Unsavable;
using testsupport::readBytes;
using testsupport::writeBytes;

struct CodePageSample {
  UINT codePage;
  std::wstring text;
  std::string bytes;
  // Characters the code page has no place for, and those of them a best fit would swap for a
  // look-alike.
  std::wstring foreign;
  std::wstring lookAlikes;
};

const CodePageSample kSamples[] = {
    {1252, L"caf\u00e9\u20ac\u00e4", "caf\xE9\x80\xE4", L"\u041a\u043b\u044e\u0447",
     L"\u0142\u017a"},
    {1251, L"\u041a\u043b\u044e\u0447", "\xCA\xEB\xFE\xF7", L"\u00e9\u00e4", L"\u00e9\u00e4"},
};

std::string line(const std::string& keyBytes) {
  return "var accessKey = \"" + keyBytes + "\";\r\n";
}

class KeyFileInCodePage : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t expected[16] = {};
    ASSERT_NE(GetEnvironmentVariableW(L"EXPECTED_ACP", expected, 16), 0u)
        << "run through ctest, which sets EXPECTED_ACP";
    ASSERT_EQ(GetACP(), std::wcstoul(expected, nullptr, 10)) << "the locale did not take";
    for (const CodePageSample& s : kSamples) {
      if (s.codePage == GetACP()) sample = &s;
    }
    ASSERT_NE(sample, nullptr) << "no sample text for code page " << GetACP();
  }

  std::wstring read() {
    return storage::readCurrentAccessKey(storage::systemFileOperations(), install.path());
  }
  void save(const std::wstring& key) {
    storage::saveNewAccessKey(storage::systemFileOperations(), install.path(), key);
  }

  testsupport::InstallFolder install;
  const CodePageSample* sample = nullptr;
};

TEST_F(KeyFileInCodePage, WritesTheKeyInTheCodePageAndReadsItBack) {
  save(sample->text);  // creates the file
  EXPECT_EQ(readBytes(install.keyFile()), line(sample->bytes));
  EXPECT_EQ(read(), sample->text);

  save(L"K-1,K-2");  // replaces it with a shorter line
  EXPECT_EQ(readBytes(install.keyFile()), line("K-1,K-2"));
  EXPECT_EQ(read(), L"K-1,K-2");

  writeBytes(install.keyFile(), line("Q-" + sample->bytes));
  EXPECT_EQ(read(), L"Q-" + sample->text);
}

// 40,000 characters fit in one read block, 100,000 do not.
TEST_F(KeyFileInCodePage, LongKeysSurviveTheRoundTrip) {
  for (size_t length : {40000u, 100000u}) {
    SCOPED_TRACE(length);
    std::wstring key;
    std::string bytes;
    while (key.size() < length) {
      key += sample->text + L"-0123456789,";
      bytes += sample->bytes + "-0123456789,";
    }
    key.resize(length);
    bytes.resize(length);
    save(key);
    EXPECT_EQ(readBytes(install.keyFile()), line(bytes));
    EXPECT_EQ(read(), key);
  }
}

// Every character of `text` that the rule names, as the code page would have to hold it.
std::wstring namedFor(const std::wstring& key, Unsavable reason) {
  std::wstring named;
  for (const storage::UnsavableCharacter& c : storage::unsavableCharacters(key)) {
    if (c.reason == reason) named += c.character;
  }
  return named;
}

TEST_F(KeyFileInCodePage, KeysTheLineCannotCarryAreRefusedAndTheFileKeepsItsBytes) {
  const std::string original = line("OLD-KEY");
  const std::wstring one = std::wstring(1, sample->foreign[0]);
  // The line's own characters are the portable rule's, tested natively.
  const std::wstring cases[] = {
      L"ab\\cd",
      sample->foreign,
      one + L"key",
      L"key" + one,
      sample->lookAlikes,
      L"\U0001F511",
      std::wstring(1, wchar_t(0xD800)) + L"lone surrogate",
  };
  for (const std::wstring& key : cases) {
    SCOPED_TRACE(storage::toUtf8(key));
    writeBytes(install.keyFile(), original);
    EXPECT_FALSE(storage::unsavableCharacters(key).empty());
    try {
      save(key);
      ADD_FAILURE() << "the key was saved";
    } catch (const storage::StorageError& e) {
      EXPECT_EQ(e.kind(), storage::StorageFailure::UnsavableKey);
    }
    EXPECT_EQ(readBytes(install.keyFile()), original);
    EXPECT_EQ(testsupport::entriesIn(install.contentFolder()),
              std::vector<std::wstring>{L"quorvantis.ini"});
  }
}

TEST_F(KeyFileInCodePage, TheRuleKnowsWhatTheCodePageHolds) {
  EXPECT_TRUE(storage::unsavableCharacters(sample->text).empty());
  EXPECT_EQ(namedFor(sample->foreign + sample->text, Unsavable::NotInCodePage), sample->foreign);
  // A best fit would write these as other letters without a default character to show for it.
  EXPECT_EQ(namedFor(sample->lookAlikes, Unsavable::NotInCodePage), sample->lookAlikes);
  EXPECT_EQ(namedFor(L"\U0001F511 \U0001F511", Unsavable::NotInCodePage), L"\U0001F511")
      << "a surrogate pair is one character";
  EXPECT_EQ(storage::ansiCodePage(), sample->codePage);
}

}  // namespace
