// What a save keeps of the key file besides its line: other names of the same file, its
// attributes, and the file itself where its folder refuses new files or a reader holds it. Each
// case checks the bytes, the attributes and that no temporary file stays behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "storage/FileAccess.h"
#include "storage/KeyFile.h"
#include "storage/StorageError.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/ScopedWin32.h"
#include "tests/win32/InstallFolder.h"

namespace {

using storage::StorageError;
using storage::StorageFailure;
using testsupport::FileCall;
using testsupport::readBytes;
using testsupport::writeBytes;

const std::string kOldLine = "var accessKey = \"OLD-KEY\";\r\n";
const std::string kNewLine = "var accessKey = \"NEW-KEY\";\r\n";

// The file's identity on its volume: it stays the same only when the file is written in place.
ULONGLONG fileIndexOf(const std::wstring& path) {
  win32::ScopedFile file(
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file || !GetFileInformationByHandle(file.get(), &information)) return 0;
  return (ULONGLONG{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

class KeyFileKeeps : public ::testing::Test {
 protected:
  void save() { storage::saveNewAccessKey(files, install.path(), L"NEW-KEY"); }
  StorageError saveFailure() {
    return testsupport::failureOf([this] { save(); });
  }
  void expectOnly(const std::vector<std::wstring>& names) {
    EXPECT_EQ(testsupport::entriesIn(install.contentFolder()), names);
  }

  testsupport::InstallFolder install;
  testsupport::FaultyFiles files;
};

TEST_F(KeyFileKeeps, HiddenSystemAndNotIndexedStayOnTheReplacedFile) {
  for (const DWORD attributes :
       {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
        DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
        DWORD{FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}, DWORD{FILE_ATTRIBUTE_NORMAL}}) {
    writeBytes(install.keyFile(), kOldLine);
    ASSERT_TRUE(SetFileAttributesW(install.keyFile().c_str(), attributes));
    const DWORD before = attributesOf(install.keyFile());
    const ULONGLONG identity = fileIndexOf(install.keyFile());
    save();
    EXPECT_EQ(readBytes(install.keyFile()), kNewLine);
    EXPECT_NE(fileIndexOf(install.keyFile()), identity) << "nobody holds it: replaced";
    EXPECT_EQ(attributesOf(install.keyFile()), before) << "set to " << attributes;
    expectOnly({L"quorvantis.ini"});
    SetFileAttributesW(install.keyFile().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(KeyFileKeeps, BothNamesOfAHardLinkedFileShowTheNewLine) {
  writeBytes(install.keyFile(), kOldLine);
  const std::wstring otherName = install.path() + L"\\quorvantis-copy.ini";
  ASSERT_TRUE(CreateHardLinkW(otherName.c_str(), install.keyFile().c_str(), nullptr));
  const ULONGLONG identity = fileIndexOf(install.keyFile());

  save();
  EXPECT_EQ(readBytes(install.keyFile()), kNewLine);
  EXPECT_EQ(readBytes(otherName), kNewLine);
  EXPECT_EQ(fileIndexOf(otherName), identity);
  EXPECT_EQ(fileIndexOf(install.keyFile()), identity);
  expectOnly({L"quorvantis.ini"});
}

// The same file, hidden still, whether the line got in or the old bytes were written back over
// the shorter new line.
TEST_F(KeyFileKeeps, AFolderThatRefusesNewFilesIsWrittenInPlaceOrPutBack) {
  const std::string oldBytes = kOldLine + std::string(70000, 'x');
  for (const bool flushFails : {false, true}) {
    writeBytes(install.keyFile(), oldBytes);
    SetFileAttributesW(install.keyFile().c_str(), FILE_ATTRIBUTE_HIDDEN);
    const ULONGLONG identity = fileIndexOf(install.keyFile());
    files = {};
    files.fail(FileCall::CreateNew, ERROR_ACCESS_DENIED);
    if (flushFails) files.fail(FileCall::Flush, ERROR_DISK_FULL, 1);
    if (flushFails) {
      EXPECT_EQ(saveFailure().reason(), storage::systemErrorText(ERROR_DISK_FULL));
    } else {
      save();
    }
    EXPECT_EQ(readBytes(install.keyFile()), flushFails ? oldBytes : kNewLine);
    EXPECT_EQ(fileIndexOf(install.keyFile()), identity);
    EXPECT_TRUE(attributesOf(install.keyFile()) & FILE_ATTRIBUTE_HIDDEN);
    expectOnly({L"quorvantis.ini"});
  }
}

TEST_F(KeyFileKeeps, OnlyADeniedTemporaryFileLeadsToTheInPlaceWrite) {
  writeBytes(install.keyFile(), kOldLine);
  files.fail(FileCall::CreateNew, ERROR_DISK_FULL);
  EXPECT_EQ(saveFailure().reason(), storage::systemErrorText(ERROR_DISK_FULL));
  EXPECT_EQ(files.changes, std::vector<FileCall>{FileCall::CreateNew});
  EXPECT_EQ(readBytes(install.keyFile()), kOldLine);

  // A key file that is not there yet cannot be written in place either.
  DeleteFileW(install.keyFile().c_str());
  files.fail(FileCall::CreateNew, ERROR_ACCESS_DENIED);
  EXPECT_EQ(saveFailure().kind(), StorageFailure::AccessDenied);
  expectOnly({});
}

TEST_F(KeyFileKeeps, AReadOnlyKeyFileIsRefusedBeforeTheFolderIsTried) {
  writeBytes(install.keyFile(), kOldLine);
  ASSERT_TRUE(SetFileAttributesW(install.keyFile().c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(saveFailure().kind(), StorageFailure::AccessDenied);
  EXPECT_TRUE(files.changes.empty());
  EXPECT_EQ(readBytes(install.keyFile()), kOldLine);
}

// A reader that shares writing but not deletion keeps the replace from taking the file's name.
// Wine checks sharing within one process as Windows does, so this process can be that reader.
// Where no program holds it, the replace fails as ReplaceFileW reports such a hold, or as Windows
// refuses a user who may write the key file but not delete it, which Wine as root never does.
TEST_F(KeyFileKeeps, AKeyFileThatCannotBeReplacedIsWrittenInPlace) {
  struct Case {
    const char* holder;
    DWORD access;     // 0: none
    DWORD replacing;  // how the replace fails, or 0
  };
  const Case cases[] = {{"reading", GENERIC_READ, 0},
                        {"reading and writing", GENERIC_READ | GENERIC_WRITE, 0},
                        {"ERROR_UNABLE_TO_REMOVE_REPLACED", 0, ERROR_UNABLE_TO_REMOVE_REPLACED},
                        {"ERROR_ACCESS_DENIED", 0, ERROR_ACCESS_DENIED}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.holder);
    writeBytes(install.keyFile(), kOldLine + std::string(5000, 'x'));
    SetFileAttributesW(install.keyFile().c_str(), FILE_ATTRIBUTE_HIDDEN);
    const ULONGLONG identity = fileIndexOf(install.keyFile());
    files = {};
    files.fail(FileCall::Replace, c.replacing);
    win32::ScopedFile holder(c.access ? CreateFileW(install.keyFile().c_str(), c.access,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr)
                                      : INVALID_HANDLE_VALUE);
    save();
    holder.reset();
    EXPECT_EQ(readBytes(install.keyFile()), kNewLine);
    EXPECT_EQ(fileIndexOf(install.keyFile()), identity) << "written in place";
    EXPECT_TRUE(attributesOf(install.keyFile()) & FILE_ATTRIBUTE_HIDDEN);
    expectOnly({L"quorvantis.ini"});
    SetFileAttributesW(install.keyFile().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(KeyFileKeeps, AKeyFileHeldWithoutSharingIsNotWrittenInPlace) {
  writeBytes(install.keyFile(), kOldLine);
  win32::ScopedFile holder(CreateFileW(install.keyFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  files.fail(FileCall::CreateNew, ERROR_ACCESS_DENIED);
  EXPECT_EQ(saveFailure().reason(), storage::systemErrorText(ERROR_SHARING_VIOLATION));
  holder.reset();
  EXPECT_EQ(readBytes(install.keyFile()), kOldLine);
  expectOnly({L"quorvantis.ini"});
}

}  // namespace
