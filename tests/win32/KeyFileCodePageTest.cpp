// The key file's text in the system's ANSI code page. ctest runs this program once per code page
// it sets up and names that code page in EXPECTED_ACP.
#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>

#include "storage/KeyFile.h"
#include "tests/win32/InstallFolder.h"

namespace {

using testsupport::readBytes;
using testsupport::writeBytes;

struct CodePageSample {
  UINT codePage;
  std::wstring text;
  std::string bytes;
};

const CodePageSample kSamples[] = {
    {1252, L"caf\u00e9", "caf\xE9"},
    {1251, L"\u041a\u043b\u044e\u0447", "\xCA\xEB\xFE\xF7"},
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

  std::wstring read() { return storage::readCurrentAccessKey(install.path()); }
  void save(const std::wstring& key) { storage::saveNewAccessKey(install.path(), key); }

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

TEST_F(KeyFileInCodePage, ReadsFilesOfOtherWriters) {
  const std::string key = sample->bytes;
  for (const std::string& file :
       {"var accessKey = \"" + key + "\";\n", "var accessKey = \"" + key + "\"",
        "var accessKey = \"" + key + "\";\r\n// more\r\nvar x = \"y\";\r\n"}) {
    SCOPED_TRACE(file);
    writeBytes(install.keyFile(), file);
    EXPECT_EQ(read(), sample->text);
  }
}

}  // namespace
