// Replacing and reading the key file on the Windows file system, and how both fail.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "storage/KeyFile.h"
#include "storage/StorageError.h"
#include "tests/support/ScopedWin32.h"
#include "tests/win32/InstallFolder.h"

namespace {

using storage::StorageError;
using storage::StorageFailure;
using testsupport::failureOf;
using testsupport::readBytes;
using testsupport::writeBytes;

const std::string kOldLine = "var accessKey = \"OLD\";\r\n";

// What a person reads: the file and the system's own words for what went wrong.
void expectPathAndReasonIn(const StorageError& error, const std::wstring& path) {
  EXPECT_EQ(error.path(), path);
  EXPECT_NE(error.message().find(path), std::wstring::npos) << error.what();
  EXPECT_NE(error.message().find(error.reason()), std::wstring::npos) << error.what();
  EXPECT_EQ(error.reason().find(L"System error"), std::wstring::npos) << error.what();
}

class KeyFileOnDisk : public ::testing::Test {
 protected:
  StorageError saveFailure(const std::wstring& installPath) {
    return failureOf(
        [&] { storage::saveNewAccessKey(storage::systemFileOperations(), installPath, L"NEW"); });
  }
  StorageError saveFailure() { return saveFailure(install.path()); }
  StorageError readFailure() {
    return failureOf(
        [&] { storage::readCurrentAccessKey(storage::systemFileOperations(), install.path()); });
  }

  // No temporary file stays beside the key file, whatever happened.
  void expectOnlyTheKeyFile() {
    EXPECT_EQ(testsupport::entriesIn(install.contentFolder()),
              std::vector<std::wstring>{L"quorvantis.ini"});
  }

  win32::ScopedFile holdWithoutSharing() {
    return win32::ScopedFile(CreateFileW(install.keyFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  }

  testsupport::InstallFolder install;
};

TEST_F(KeyFileOnDisk, SavingCreatesThenReplacesOnlyTheKeyFile) {
  storage::saveNewAccessKey(storage::systemFileOperations(), install.path(),
                            L"FIRST-KEY-0123456789");
  expectOnlyTheKeyFile();
  storage::saveNewAccessKey(storage::systemFileOperations(), install.path(), L"K2");
  EXPECT_EQ(readBytes(install.keyFile()), "var accessKey = \"K2\";\r\n");
  expectOnlyTheKeyFile();
}

// Past MAX_PATH, which Windows takes only in the extended-length form, and written with a "/",
// which that form does not take.
TEST_F(KeyFileOnDisk, AKeyFilePastMaxPathIsSavedAndRead) {
  const std::wstring name(90, L'd');
  const std::wstring installPath = install.path() + L"\\" + name + L"\\" + name + L"/" + name;
  const std::wstring keyFile = storage::keyFilePath(installPath);
  const size_t folderEnd = keyFile.rfind(L'\\');
  for (size_t end = install.path().size(); end < folderEnd;) {
    end = keyFile.find_first_of(L"\\/", end + 1);
    CreateDirectoryW(keyFile.substr(0, end).c_str(), nullptr);
  }
  storage::saveNewAccessKey(storage::systemFileOperations(), installPath, L"FIRST");
  storage::saveNewAccessKey(storage::systemFileOperations(), installPath, L"DEEP");
  EXPECT_EQ(storage::readCurrentAccessKey(storage::systemFileOperations(), installPath), L"DEEP");
  EXPECT_EQ(testsupport::entriesIn(keyFile.substr(0, folderEnd)),
            std::vector<std::wstring>{L"quorvantis.ini"});
}

TEST_F(KeyFileOnDisk, RefusesAReadOnlyKeyFileAndLeavesItAlone) {
  writeBytes(install.keyFile(), kOldLine);
  ASSERT_TRUE(SetFileAttributesW(install.keyFile().c_str(), FILE_ATTRIBUTE_READONLY));

  const ULONGLONG start = GetTickCount64();
  const StorageError error = saveFailure();
  EXPECT_LT(GetTickCount64() - start, 500u) << "refused at once, not retried";
  EXPECT_EQ(error.kind(), StorageFailure::AccessDenied);
  EXPECT_EQ(readBytes(install.keyFile()), kOldLine);
  expectOnlyTheKeyFile();
}

TEST_F(KeyFileOnDisk, AMissingFolderIsPathNotFoundAndStaysMissing) {
  const std::wstring missing = install.path() + L"\\Missing";
  const StorageError error = saveFailure(missing);
  EXPECT_EQ(error.kind(), StorageFailure::PathNotFound);
  EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(testsupport::entriesIn(install.path()), std::vector<std::wstring>{L"Firefox"});
}

TEST_F(KeyFileOnDisk, GivesUpOnAKeyFileHeldWithoutSharingAfterRetrying) {
  writeBytes(install.keyFile(), kOldLine);
  win32::ScopedFile holder = holdWithoutSharing();
  ASSERT_TRUE(holder);

  const ULONGLONG start = GetTickCount64();
  const StorageError error = saveFailure();
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 800u) << "it retries for about a second";
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(error.kind(), StorageFailure::SystemError) << error.what();
  expectPathAndReasonIn(error, install.keyFile());

  holder.reset();
  EXPECT_EQ(readBytes(install.keyFile()), kOldLine);
  expectOnlyTheKeyFile();
}

TEST_F(KeyFileOnDisk, SavesOnceTheHolderLetsGoDuringTheRetry) {
  writeBytes(install.keyFile(), kOldLine);
  win32::ScopedFile holder = holdWithoutSharing();
  ASSERT_TRUE(holder);

  std::thread release([&holder] {
    Sleep(200);
    holder.reset();
  });
  EXPECT_NO_THROW(
      storage::saveNewAccessKey(storage::systemFileOperations(), install.path(), L"NEW"));
  release.join();
  EXPECT_EQ(readBytes(install.keyFile()), "var accessKey = \"NEW\";\r\n");
  expectOnlyTheKeyFile();
}

TEST_F(KeyFileOnDisk, AMissingKeyFileIsFileNotFound) {
  const StorageError missing = readFailure();
  EXPECT_EQ(missing.kind(), StorageFailure::FileNotFound);
  expectPathAndReasonIn(missing, install.keyFile());
}

TEST_F(KeyFileOnDisk, AFolderInThePlaceOfTheKeyFileIsAnError) {
  ASSERT_TRUE(CreateDirectoryW(install.keyFile().c_str(), nullptr));
  EXPECT_EQ(readFailure().kind(), StorageFailure::AccessDenied);

  EXPECT_EQ(saveFailure().kind(), StorageFailure::AccessDenied);
  EXPECT_EQ(GetFileAttributesW(install.keyFile().c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  expectOnlyTheKeyFile();
}

}  // namespace
