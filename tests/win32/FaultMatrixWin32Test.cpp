// The key file on Windows under a huge line, failing writes and a crash: the reader finds the key,
// each failure says what Windows reported, and the old key is never lost.
#include <gtest/gtest.h>

#include "storage/FileAccess.h"
#include "storage/KeyFile.h"
#include "storage/StorageError.h"
#include "tests/support/FaultyFiles.h"
#include "tests/win32/InstallFolder.h"

namespace {

using storage::StorageError;
using storage::StorageFailure;
using testsupport::FileCall;
using testsupport::InstallFolder;

constexpr char kOldLine[] = "var accessKey = \"OLD-KEY\";\r\n";

class FaultMatrix : public ::testing::Test {
 protected:
  std::wstring readKey() {
    return storage::readCurrentAccessKey(storage::systemFileOperations(), folder.path());
  }
  StorageError saveFailure(const wchar_t* key) {
    return testsupport::failureOf([&] { storage::saveNewAccessKey(files, folder.path(), key); });
  }

  InstallFolder folder;
  testsupport::FaultyFiles files;
};

TEST_F(FaultMatrix, TheKeyIsFoundAtTheStartOfAHugeLine) {
  std::string huge = "var accessKey = \"HUGE-KEY\";";
  huge.resize(50 * 1024 * 1024, 'x');
  testsupport::writeBytes(folder.keyFile(), huge);
  EXPECT_EQ(readKey(), L"HUGE-KEY");
}

// Which kind of error each of Windows' codes is; the old line stays and no temporary file does.
TEST_F(FaultMatrix, WindowsCodesReachTheUserAsTheirKindInTheSystemsWords) {
  const struct {
    DWORD code;
    StorageFailure kind;
  } cases[] = {{ERROR_DISK_FULL, StorageFailure::SystemError},
               {ERROR_ACCESS_DENIED, StorageFailure::AccessDenied},
               {ERROR_FILE_NOT_FOUND, StorageFailure::FileNotFound},
               {ERROR_PATH_NOT_FOUND, StorageFailure::PathNotFound}};
  for (const auto& c : cases) {
    testsupport::writeBytes(folder.keyFile(), kOldLine);
    files = {};
    files.fail(FileCall::WriteAt, c.code, 1);
    const StorageError error = saveFailure(L"NEW-KEY");
    EXPECT_EQ(error.kind(), c.kind) << c.code;
    EXPECT_EQ(error.reason(), storage::systemErrorText(c.code));
    EXPECT_EQ(error.reason().find(L"System error"), std::wstring::npos) << error.what();
    EXPECT_NE(error.message().find(folder.keyFile()), std::wstring::npos);
    EXPECT_EQ(testsupport::readBytes(folder.keyFile()), kOldLine);
    EXPECT_EQ(testsupport::entriesIn(folder.contentFolder()).size(), 1u);
  }
}

// Runs this program again to save a key into `installPath` and crash just before the replace: the
// process ends where it stands, and no destructor removes the temporary file.
DWORD crashWhileSaving(const std::wstring& installPath) {
  SetEnvironmentVariableW(L"CRASH_INSTALL_PATH", installPath.c_str());
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --crash-while-saving";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError();
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST_F(FaultMatrix, ACrashBeforeTheReplaceKeepsTheOldKeyAndALaterSaveTidiesUp) {
  testsupport::writeBytes(folder.keyFile(), kOldLine);
  EXPECT_EQ(crashWhileSaving(folder.path()), 9u);
  EXPECT_EQ(testsupport::readBytes(folder.keyFile()), kOldLine);
  ASSERT_EQ(testsupport::entriesIn(folder.contentFolder()).size(), 2u);
  EXPECT_EQ(readKey(), L"OLD-KEY");

  const std::wstring notOurs = folder.contentFolder() + L"\\quorvantis.ini.backup.tmp";
  testsupport::writeBytes(notOurs, "kept");
  storage::saveNewAccessKey(files, folder.path(), L"NEXT-KEY");
  ASSERT_EQ(testsupport::entriesIn(folder.contentFolder()).size(), 3u)
      << "too fresh to be a leftover";
  for (const std::wstring& name : testsupport::entriesIn(folder.contentFolder())) {
    testsupport::makeOlder(folder.contentFolder() + L"\\" + name, 120);
  }
  storage::saveNewAccessKey(files, folder.path(), L"NEW-KEY");
  EXPECT_EQ(testsupport::entriesIn(folder.contentFolder()).size(), 2u);
  EXPECT_EQ(testsupport::readBytes(notOurs), "kept");
  EXPECT_EQ(readKey(), L"NEW-KEY");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--crash-while-saving") {
    wchar_t installPath[MAX_PATH];
    GetEnvironmentVariableW(L"CRASH_INSTALL_PATH", installPath, MAX_PATH);
    testsupport::FaultyFiles crashing;
    crashing.before = [](FileCall call) -> storage::os::Error {
      if (call == FileCall::Replace) ExitProcess(9);
      return 0;
    };
    storage::saveNewAccessKey(crashing, installPath, L"NEW-KEY");
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
