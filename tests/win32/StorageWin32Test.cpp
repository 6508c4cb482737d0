// The key file and the registry on Windows' own file system and registry, below a folder named in
// two scripts. The program is also the process that crashes while saving.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "storage/KeyFile.h"
#include "storage/Registry.h"
#include "storage/StorageError.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/InstallFolder.h"

namespace {

using namespace std::string_view_literals;
using storage::Error;
using storage::StorageError;
using namespace testsupport;

const std::string kOldLine = "var accessKey = \"OLD\";\r\n";
const std::string kNewLine = "var accessKey = \"NEW\";\r\n";
const std::vector<std::wstring> kOnlyTheKeyFile = {L"quorvantis.ini"};

struct Failure {
  FileCall call;
  Error code;
  int nth = 0;
};

template <typename Action>
StorageError failureOf(Action action) {
  try {
    action();
  } catch (const StorageError& error) {
    return error;
  }
  throw std::runtime_error("it did not fail");
}

// The file's identity on its volume: it stays the same only while the file is written in place.
ULONGLONG fileIndexOf(const std::wstring& path) {
  const storage::File file(
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file || !GetFileInformationByHandle(file.get(), &information)) return 0;
  return (ULONGLONG{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

class KeyFileOnDisk : public ::testing::Test {
 protected:
  void save(std::wstring_view key = L"NEW") {
    storage::saveNewAccessKey(files, install.path(), key, rights);
  }
  StorageError saveFailure(std::wstring_view key = L"NEW") {
    return failureOf([&] { save(key); });
  }
  std::wstring read() { return storage::readCurrentAccessKey(files, install.path()); }
  std::string keyBytes() const { return readBytes(install.keyFile()); }
  void writeKeyFile(std::string_view bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    SetFileAttributesW(install.keyFile().c_str(), FILE_ATTRIBUTE_NORMAL);
    writeBytes(install.keyFile(), bytes);
    SetFileAttributesW(install.keyFile().c_str(), attributes);
  }
  std::wstring inContent(const std::wstring& name) const {
    return install.contentFolder() + L'\\' + name;
  }
  std::vector<std::wstring> left() const { return entriesIn(install.contentFolder()); }

  InstallFolder install;
  FaultyFiles files;
  storage::Rights rights = storage::Rights::User;
};

struct CodePageSample {
  UINT number;
  // Its fourth character is one byte.
  std::wstring text;
  std::string bytes;
  // Characters that the code page has no place for, some of which a best fit would swap.
  std::wstring foreign;
};

const CodePageSample kSamples[] = {
    {1252, L"caf\u00e9\u20ac\u00e4", "caf\xE9\x80\xE4", L"\u041a\u043b\u0142\u017a"},
    {1251, L"\u041a\u043b\u044e\u0447", "\xCA\xEB\xFE\xF7", L"\u00e9\u00e4"},
    {932, L"key-\u30c6\u30b9\u30c8", "key-\x83\x65\x83\x58\x83\x67", L"\u0142\u017a"},
};

// In the system's code page; ctest runs these once in each that it sets up, and names it in
// EXPECTED_ACP.
class KeyFileInCodePage : public KeyFileOnDisk {
 protected:
  void SetUp() override {
    const wchar_t* expected = _wgetenv(L"EXPECTED_ACP");
    ASSERT_TRUE(!expected || GetACP() == std::stoul(expected)) << "the locale did not take";
    sample = std::find_if(std::begin(kSamples), std::end(kSamples),
                          [](const CodePageSample& s) { return s.number == GetACP(); });
    if (sample == std::end(kSamples)) GTEST_SKIP() << "no sample text for code page " << GetACP();
    std::cout << "The rows of code page " << GetACP() << ".\n";
  }

  const CodePageSample* sample;
};

// The first save makes the file, the second replaces it with a key longer than a read block.
TEST_F(KeyFileInCodePage, KeysRoundTripInTheCodePage) {
  const std::pair<std::wstring, std::string> cases[] = {
      {sample->text, sample->bytes},
      {std::wstring(100000, sample->text[3]), std::string(100000, sample->bytes[3])},
  };
  for (const auto& [key, bytes] : cases) {
    SCOPED_TRACE(key.size());
    save(key);
    EXPECT_EQ(keyBytes(), "var accessKey = \"" + bytes + "\";\r\n");
    EXPECT_EQ(read(), key);
    EXPECT_EQ(left(), kOnlyTheKeyFile);
  }
}

// Which characters are refused is the portable rule's, tested natively; here the system's own
// conversion decides, without a best fit.
TEST_F(KeyFileInCodePage, RefusedKeysLeaveTheFileAsItWas) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"\u0141", L"\u0141 (U+0141): this computer saves the key file in code page " +
                      std::to_wstring(sample->number) +
                      L", which has no such characters, so others would be saved in their place."},
      {sample->foreign, L""},
      {std::wstring(1, wchar_t(0xD800)) + L"lone surrogate", L""},
      // Its second byte in code page 932 is a backslash's; elsewhere it has no place.
      {L"\u30bd", sample->number == 932
                      ? L"\u30bd (U+30BD): this computer saves the key file in "
                        L"code page 932, in which these characters hold the byte "
                        L"of a double quote or a backslash: the extension would "
                        L"take it as part of its script, and read a different key "
                        L"or none at all."
                      : L""},
  };
  writeKeyFile(kOldLine);
  for (const auto& [key, reason] : cases) {
    SCOPED_TRACE(key);
    const StorageError e = saveFailure(key);
    EXPECT_EQ(e.kind(), StorageError::Kind::RefusedKey);
    if (!reason.empty()) {
      EXPECT_EQ(e.reason(), reason);
    }
    EXPECT_TRUE(files.counts.empty()) << "the file was touched";
    EXPECT_EQ(keyBytes(), kOldLine);
    EXPECT_EQ(left(), kOnlyTheKeyFile);
  }
}

// Where the text ends is the portable reading of the value's bytes, tested natively.
TEST(RegistryInEachCodePage, ReadsOnlyTheDefaultStringValue) {
  useScratchRegistry();
  const std::wstring tests = L"Software\\UpdateAccessKeyTests";
  constexpr DWORD kNoKey = MAXDWORD;
  const std::wstring large(64 * 1024, L'k');
  const struct {
    const wchar_t* name;
    DWORD type;
    std::wstring_view data;
    std::optional<std::wstring> expected;
    const wchar_t* valueName = L"";
  } cases[] = {
      {L"outside both code pages", REG_SZ, L"C:\\\u0141\u00f3d\u017a \u6771\u4eac\0"sv,
       L"C:\\\u0141\u00f3d\u017a \u6771\u4eac"},
      {L"no bytes", REG_SZ, L""sv, L""},
      {L"64 KB", REG_SZ, std::wstring_view(large.c_str(), large.size() + 1), large},
      {L"REG_EXPAND_SZ", REG_EXPAND_SZ, L"%ProgramFiles%\\Q\0"sv, std::nullopt},
      {L"REG_MULTI_SZ", REG_MULTI_SZ, L"C:\\Q\0C:\\R\0\0"sv, std::nullopt},
      {L"missing", kNoKey, L""sv, std::nullopt},
      {L"named value only", REG_SZ, L"C:\\Q\0"sv, std::nullopt, L"InstallDir"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring key = tests + L'\\' + c.name;
    if (c.type != kNoKey) {
      ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), c.valueName, c.type, c.data.data(),
                                static_cast<DWORD>(c.data.size() * sizeof(wchar_t))),
                ERROR_SUCCESS);
    }
    EXPECT_EQ(storage::readRegistryString(HKEY_CURRENT_USER, key, L""), c.expected);
  }
}

// Where a save fails too, it says so and leaves the folder as it was.
TEST_F(KeyFileOnDisk, ReadFailuresSayWhatIsWrongAndWhere) {
  const struct {
    const char* scene;
    void (*setUp)(const InstallFolder&);
    std::wstring reason;
    std::wstring saveReason;  // none where a save succeeds
  } cases[] = {
      {"no key file", [](const auto&) {}, systemText(ERROR_FILE_NOT_FOUND), L""},
      {"empty", [](const auto& f) { writeBytes(f.keyFile(), ""); }, L"The file is empty.", L""},
      {"no key", [](const auto& f) { writeBytes(f.keyFile(), "accessKey = none\r\n"); },
       L"Its first line holds no Access key between two double quotes.", L""},
      {"no folder", [](const auto& f) { removeTree(f.contentFolder()); },
       systemText(ERROR_PATH_NOT_FOUND), systemText(ERROR_PATH_NOT_FOUND)},
      {"a folder in its place", [](const auto& f) { CreateDirectoryW(f.keyFile().c_str(), 0); },
       systemText(ERROR_ACCESS_DENIED), systemText(ERROR_ACCESS_DENIED) + L" It is a folder."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scene);
    const InstallFolder folder;
    c.setUp(folder);
    const StorageError e = failureOf([&] { storage::readCurrentAccessKey(files, folder.path()); });
    EXPECT_EQ(e.path(), folder.keyFile());
    EXPECT_EQ(e.reason(), c.reason);
    if (c.saveReason.empty()) continue;
    const std::vector<std::wstring> entries = entriesIn(folder.contentFolder());
    const StorageError saving =
        failureOf([&] { storage::saveNewAccessKey(files, folder.path(), L"NEW", rights); });
    EXPECT_EQ(saving.reason(), c.saveReason);
    EXPECT_EQ(entriesIn(folder.contentFolder()), entries);
  }
}

TEST_F(KeyFileOnDisk, TheKeyIsReadFromTheStartOfAHugeLine) {
  std::string huge = "var accessKey = \"HUGE-KEY\";";
  huge.resize(50 * 1024 * 1024, 'x');
  writeKeyFile(huge);
  EXPECT_EQ(read(), L"HUGE-KEY");
  EXPECT_EQ(files.counts[FileCall::Read], 1) << "it read on once the key was known";
}

// Itself, or the file that it links to.
TEST_F(KeyFileOnDisk, AReadOnlyKeyFileIsRefusedAtOnceAndLeftAlone) {
  using enum FileCall;
  writeKeyFile(kOldLine, FILE_ATTRIBUTE_READONLY);
  const std::wstring linked = install.path() + L"\\quorvantis.ini";
  for (const bool throughALink : {false, true}) {
    SCOPED_TRACE(throughALink ? "through a link" : "itself");
    if (throughALink) {
      MoveFileW(install.keyFile().c_str(), linked.c_str());
      if (const std::string refused = makeLink(linked, install.keyFile()); !refused.empty())
        GTEST_SKIP() << refused;
    }
    const ULONGLONG start = GetTickCount64();
    const StorageError e = saveFailure();
    EXPECT_LT(GetTickCount64() - start, 500u) << "refused at once, not retried";
    EXPECT_EQ(e.reason(), systemText(ERROR_ACCESS_DENIED) + L" The file is read-only.");
    for (const FileCall change :
         {CreateNew, OpenInPlace, WriteAt, SetEnd, SetAttributes, Replace, Remove, RemoveOpen}) {
      EXPECT_EQ(files.counts[change], 0) << static_cast<int>(change);
    }
    EXPECT_EQ(keyBytes(), kOldLine);
    EXPECT_EQ(left(), kOnlyTheKeyFile);
  }
  removeLink(install.keyFile());
}

// Its attributes stay; where a replace would split its names or cannot be made, it is written in
// place, the same file; no temporary file stays. A reader that shares writing but not deletion
// keeps a replace from taking the name: Wine checks sharing within one process as Windows does.
// Wine as root is never denied a replace or a deletion, so each denial is made here.
TEST_F(KeyFileOnDisk, TheKeyFileKeepsItsAttributesAndWhereItMustItself) {
  using enum FileCall;
  constexpr DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;
  constexpr Error kDenied = ERROR_ACCESS_DENIED;
  enum Scene { Replaced, WithASecondName, HeldByAReader, InPlace };
  const struct {
    const char* why;
    Scene scene;
    std::vector<Failure> failures = {};
    std::optional<std::pair<FileCall, int>> count = {};
    DWORD attributes = kHidden;
    const wchar_t* folderRules = nullptr;  // access lists in Windows' notation
    const wchar_t* keyFileRules = nullptr;
  } cases[] = {
      {"replaced", Replaced, {}, {}, kHidden | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
      {"replaced", Replaced, {}, {}, FILE_ATTRIBUTE_NORMAL},
      {"another name links to it", WithASecondName},
      {"a reader holds it", HeldByAReader},
      {"its folder refuses new files", InPlace, {{CreateNew, kDenied}}},
      {"a replace finds it held", InPlace, {{Replace, ERROR_UNABLE_TO_REMOVE_REPLACED}}},
      {"a replace is denied", InPlace, {{Replace, kDenied}}},
      {"it may not be deleted", InPlace, {{MayDelete, kDenied, 1}}, {{CreateNew, 0}}},
      // Then only the handle that made the temporary file can remove it.
      {"nor the temporary file by its path",
       InPlace,
       {{MayDelete, kDenied, 2}, {Remove, kDenied}},
       {{RemoveOpen, 1}}},
      {"no attributes for the new file", InPlace, {{SetAttributes, kDenied}, {Remove, kDenied}}},
      // Set by the test, on Windows alone. A file made there has no right to be deleted, nor does
      // the folder give one: the temporary file cannot go by its path.
      {.why = "its folder lets files be made, not deleted",
       .scene = InPlace,
       .folderRules = L"D:P(A;;0x1201bf;;;WD)(A;OIIO;FRFW;;;WD)"},
      {.why = "its folder lets it be written, but no file be made",
       .scene = InPlace,
       .folderRules = L"D:P(A;;0x1200a9;;;WD)"},
      {.why = "a rule of its own",
       .scene = Replaced,
       .keyFileRules = L"D:(A;;FA;;;WD)(A;;FR;;;BG)"},
  };
  const std::wstring otherName = install.path() + L"\\other-name.ini";
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.why << ", attributes " << c.attributes);
    if (isWine() && (c.folderRules || c.keyFileRules)) continue;
    writeKeyFile(kOldLine + std::string(5000, 'x'), c.attributes);
    const AccessRules folderRules(install.contentFolder(), c.folderRules),
        keyFileRules(install.keyFile(), c.keyFileRules);
    if (c.scene == WithASecondName) {
      CreateHardLinkW(otherName.c_str(), install.keyFile().c_str(), nullptr);
    }
    const DWORD attributes = attributesOf(install.keyFile());
    const ULONGLONG identity = fileIndexOf(install.keyFile());
    const std::wstring rules = accessRulesOf(install.keyFile());
    files = {};
    for (const Failure& f : c.failures) files.fail(f.call, f.code, f.nth);
    storage::File reader;
    if (c.scene == HeldByAReader) {
      reader.reset(CreateFileW(install.keyFile().c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    }
    save();
    reader.reset();
    EXPECT_EQ(keyBytes(), kNewLine);
    EXPECT_EQ(fileIndexOf(install.keyFile()) == identity, c.scene != Replaced) << "in place";
    EXPECT_EQ(attributesOf(install.keyFile()), attributes);
    EXPECT_EQ(accessRulesOf(install.keyFile()), rules);
    EXPECT_EQ(left(), kOnlyTheKeyFile);
    EXPECT_TRUE(!c.count || files.counts[c.count->first] == c.count->second) << "calls";
    if (c.scene != WithASecondName) continue;
    EXPECT_EQ(readBytes(otherName), kNewLine);
    EXPECT_EQ(fileIndexOf(otherName), identity);
    DeleteFileW(otherName.c_str());
  }
  if (isWine()) GTEST_SKIP() << "the rows of access lists, which Wine does not keep";
}

// The file that a link leads to is saved, and the link stays one: whether to the key file or to
// its folder; no temporary file stays on either side.
TEST_F(KeyFileOnDisk, ALinkToTheKeyFileOrItsFolderStaysALinkToTheFileSaved) {
  const std::wstring elsewhere = install.path() + L"\\elsewhere";
  const std::wstring linked = elsewhere + L"\\quorvantis.ini";
  CreateDirectoryW(elsewhere.c_str(), nullptr);
  const struct {
    const char* what;
    std::wstring link;
    std::wstring target;
    bool keyFileThere = true;
  } cases[] = {
      // On Windows a junction, then a symbolic link, which it may refuse.
      {"to its folder", install.contentFolder(), elsewhere},
      {"to its folder, no key file yet", install.contentFolder(), elsewhere, false},
      {"to the key file", install.keyFile(), linked},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(linked.c_str());
    if (c.keyFileThere) writeBytes(linked, kOldLine);
    CreateDirectoryW(install.contentFolder().c_str(), nullptr);  // after a link in its place
    RemoveDirectoryW(c.link.c_str());  // the content folder, empty, where it is to be a link
    if (const std::string refused = makeLink(c.target, c.link); !refused.empty())
      GTEST_SKIP() << refused;
    save();
    ASSERT_EQ(fileIndexOf(install.keyFile()), fileIndexOf(linked)) << "no longer a link to it";
    EXPECT_EQ(readBytes(linked), kNewLine);
    EXPECT_EQ(left(), kOnlyTheKeyFile);
    EXPECT_EQ(entriesIn(elsewhere), kOnlyTheKeyFile);
    removeLink(c.link);
  }
}

// With an administrator's rights only the key file itself is written, in place, through the one
// handle checked to be it: a link on its way or a second name is refused, and nothing is made
// beside it, replaced or removed.
TEST_F(KeyFileOnDisk, WithAnAdministratorsRightsOnlyTheKeyFileItselfIsWritten) {
  using enum FileCall;
  rights = storage::Rights::Administrator;
  const std::wstring elsewhere = install.path() + L"\\elsewhere";
  const std::wstring linked = elsewhere + L"\\quorvantis.ini";
  const std::wstring otherName = install.path() + L"\\other-name.ini";
  CreateDirectoryW(elsewhere.c_str(), nullptr);
  const std::wstring linkedAway =
      systemText(ERROR_ACCESS_DENIED) +
      L" The key file, or a folder on its way from the installation folder, is a "
      L"link to another place, which the program does not follow while it runs as administrator. "
      L"Put the real folder or file in the link's place, or run the program without administrator "
      L"rights.";
  const std::wstring secondName =
      systemText(ERROR_ACCESS_DENIED) +
      L" The key file has a second name (a hard link), through which a save would "
      L"change another file, which the program does not do while it runs as administrator. Remove "
      L"the other name, or run the program without administrator rights.";
  enum Scene { Itself, Missing, LinkToIt, LinkToItsFolder, WithASecondName };
  const struct {
    const char* what;
    Scene scene;
    const std::wstring* refusal = nullptr;
  } cases[] = {
      {"the key file itself", Itself},
      {"no key file yet", Missing},
      {"a second name", WithASecondName, &secondName},
      // On Windows a junction, then a symbolic link, which it may refuse.
      {"a link to its folder", LinkToItsFolder, &linkedAway},
      {"a link to the key file", LinkToIt, &linkedAway},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(install.keyFile().c_str());
    writeBytes(linked, kOldLine);
    if (c.scene == Itself || c.scene == WithASecondName) writeKeyFile(kOldLine);
    if (c.scene == WithASecondName) {
      CreateHardLinkW(otherName.c_str(), install.keyFile().c_str(), nullptr);
    }
    if (c.scene == LinkToItsFolder) RemoveDirectoryW(install.contentFolder().c_str());
    if (c.scene == LinkToIt || c.scene == LinkToItsFolder) {
      const bool toTheFile = c.scene == LinkToIt;
      const std::string refused = makeLink(toTheFile ? linked : elsewhere,
                                           toTheFile ? install.keyFile() : install.contentFolder());
      if (!refused.empty()) GTEST_SKIP() << refused;
    }
    const ULONGLONG identity = fileIndexOf(install.keyFile());
    files = {};
    if (c.refusal) {
      EXPECT_EQ(saveFailure().reason(), *c.refusal);
      EXPECT_EQ(readBytes(c.scene == WithASecondName ? otherName : linked), kOldLine);
    } else {
      save();
      EXPECT_EQ(keyBytes(), kNewLine);
      EXPECT_TRUE(c.scene == Missing || fileIndexOf(install.keyFile()) == identity) << "in place";
    }
    EXPECT_EQ(files.counts[CreateNew], c.scene == Missing);
    EXPECT_EQ(files.counts[Replace] + files.counts[Remove] + files.counts[EntriesIn], 0);
    if (c.scene == LinkToIt || c.scene == LinkToItsFolder) {
      removeLink(c.scene == LinkToIt ? install.keyFile() : install.contentFolder());
      CreateDirectoryW(install.contentFolder().c_str(), nullptr);
    }
    DeleteFileW(otherName.c_str());
  }
}

// Retried for about a second, and saved where the holder lets go in that time.
TEST_F(KeyFileOnDisk, AKeyFileHeldWithoutSharingIsTriedForAboutASecond) {
  writeKeyFile(kOldLine);
  storage::File holder(CreateFileW(install.keyFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  const ULONGLONG start = GetTickCount64();
  const StorageError e = saveFailure();
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 800u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(e.reason(), systemText(ERROR_SHARING_VIOLATION));
  std::thread release([&holder] {
    Sleep(200);
    holder.reset();
  });
  EXPECT_NO_THROW(save());
  release.join();
  EXPECT_EQ(keyBytes(), kNewLine);
  EXPECT_EQ(left(), kOnlyTheKeyFile);
  // A read waits as long, at the start as after a save.
  holder.reset(
      CreateFileW(install.keyFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  std::thread releaseAgain([&holder] {
    Sleep(200);
    holder.reset();
  });
  EXPECT_EQ(read(), L"NEW");
  releaseAgain.join();
}

// Its kind is taken from Windows' code, its reason is the system's words; the old bytes stay, put
// back where an in-place write had begun, and no temporary file does.
TEST_F(KeyFileOnDisk, EachFailingCallReachesTheUserAsItsOwnError) {
  using enum FileCall;
  const Failure kInPlace = {CreateNew, ERROR_ACCESS_DENIED};
  const struct {
    std::vector<Failure> failures;
    std::wstring reason;
    bool keyFileThere = true;
  } cases[] = {
      {{{CreateNew, ERROR_DISK_FULL}}, systemText(ERROR_DISK_FULL)},
      // Every name that a temporary file could take is taken: the writer stops looking.
      {{{CreateNew, ERROR_FILE_EXISTS}}, systemText(ERROR_FILE_EXISTS)},
      {{{WriteAt, ERROR_DISK_FULL}}, systemText(ERROR_DISK_FULL)},
      {{{Flush, ERROR_WRITE_FAULT}}, systemText(ERROR_WRITE_FAULT)},
      {{{Replace, ERROR_NOT_SAME_DEVICE}}, systemText(ERROR_NOT_SAME_DEVICE)},
      // A key file that is not there cannot be written in place either.
      {{kInPlace}, systemText(ERROR_ACCESS_DENIED), false},
      {{kInPlace, {Flush, ERROR_DISK_FULL, 1}}, systemText(ERROR_DISK_FULL)},
      // The old bytes' way back fails too.
      {{kInPlace, {WriteAt, ERROR_DISK_FULL, 1}, {WriteAt, ERROR_WRITE_FAULT, 2}},
       systemText(ERROR_DISK_FULL) +
           L"\r\nThe key file may now be incomplete. The Access key it held before was "
           L"\"OLD\"."},
  };
  // Longer than the new line, which an in-place write cuts it to.
  const std::string oldBytes = kOldLine + std::string(70000, 'x');
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << static_cast<int>(c.failures.back().call) << ", " << c.reason);
    DeleteFileW(install.keyFile().c_str());
    if (c.keyFileThere) writeKeyFile(oldBytes);
    files = {};
    for (const Failure& f : c.failures) files.fail(f.call, f.code, f.nth);
    const StorageError e = saveFailure();
    EXPECT_EQ(e.path(), install.keyFile());
    EXPECT_EQ(e.reason(), c.reason);
    EXPECT_EQ(left(), c.keyFileThere ? kOnlyTheKeyFile : std::vector<std::wstring>{});
    EXPECT_TRUE(!c.keyFileThere || keyBytes() == oldBytes) << "the old bytes, as they were";
  }
}

// ReplaceFileW may fail half-way: the key file gone (1176), or under a name of the system's choice
// (1177), and the new file under its own name. Another copy's replace, under Wine, moves the key
// file aside for a moment. The new line takes the key file's name then, or at the next start; where
// the key file cannot be looked at, it may still be there, and the message says no more.
TEST_F(KeyFileOnDisk, AReplaceThatFailsHalfWayIsFinishedThenOrAtTheNextStart) {
  enum Outcome { Saved, SavedAtTheNextStart, MayBeOld };
  const std::wstring movedAside = inContent(L"moved aside by the system");
  const struct {
    const char* what;
    Error code;
    bool keyFileGone;
    Outcome outcome;
    std::vector<Failure> failures = {};
  } cases[] = {
      {"1176", ERROR_UNABLE_TO_MOVE_REPLACEMENT, true, Saved},
      {"away for a moment", ERROR_FILE_NOT_FOUND, false, Saved},
      {"1176, the move failing",
       ERROR_UNABLE_TO_MOVE_REPLACEMENT,
       true,
       SavedAtTheNextStart,
       {{FileCall::Replace, ERROR_WRITE_PROTECT, 2}}},
      {"1177, the move failing",
       ERROR_UNABLE_TO_MOVE_REPLACEMENT_2,
       true,
       SavedAtTheNextStart,
       {{FileCall::Replace, ERROR_WRITE_PROTECT, 2}}},
      {"the key file not to be looked at",
       ERROR_WRITE_PROTECT,
       false,
       MayBeOld,
       {{FileCall::Inspect, ERROR_NETNAME_DELETED, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeKeyFile(kOldLine);
    files = {};
    for (const Failure& f : c.failures) files.fail(f.call, f.code, f.nth);
    files.before = [&](FileCall call) -> Error {
      if (call != FileCall::Replace || files.counts[call] > 1) return 0;
      if (c.keyFileGone) MoveFileW(install.keyFile().c_str(), movedAside.c_str());
      return c.code;
    };
    if (c.outcome == Saved) {
      save();
      EXPECT_EQ(keyBytes(), kNewLine);
      EXPECT_EQ(files.counts[FileCall::Replace], 2);
    } else {
      const StorageError e = saveFailure();
      std::wstring newFile;
      for (const std::wstring& name : left()) {
        if (name.ends_with(L".tmp")) newFile = inContent(name);
      }
      EXPECT_EQ(readBytes(newFile), kNewLine);
      EXPECT_EQ(
          e.reason(),
          c.outcome == MayBeOld
              ? L"The save could not be finished. Its new line is in \"" + newFile +
                    L"\", and the key file may still hold the old key. The Access key it held "
                    L"before was \"OLD\"."
              : L"The key file is no longer there. Its new line is in \"" + newFile +
                    L"\", which takes the key file's name when the program next starts. The "
                    L"Access key it held before was \"OLD\".");
      files = {};
      EXPECT_EQ(read(), c.outcome == MayBeOld ? L"OLD" : L"NEW") << "at the next start";
      DeleteFileW(newFile.c_str());
    }
    DeleteFileW(movedAside.c_str());
    EXPECT_EQ(left(), kOnlyTheKeyFile);
  }
}

// This program again, saving and ending where it stands just before the replace, as a crash would:
// no destructor removes the temporary file.
TEST_F(KeyFileOnDisk, ACrashBeforeTheReplaceKeepsTheOldKeyAndLeavesItsTemporaryFile) {
  writeKeyFile(kOldLine);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring installPath = L'"' + install.path() + L'"';
  EXPECT_EQ(_wspawnl(_P_WAIT, self, L"self", L"--crash-while-saving", installPath.c_str(), nullptr),
            9);
  EXPECT_EQ(keyBytes(), kOldLine);
  EXPECT_EQ(left().size(), 2u) << "the crash left its temporary file";
  EXPECT_EQ(read(), L"OLD");
}

// Another copy's file, older or newer than a save's own temporary file: only one named as the
// writer names them, and a minute older, goes, however far the folder's clock is from the system's.
// A copy that a person dated stays.
TEST_F(KeyFileOnDisk, LeftoversAreAgedOnTheFoldersOwnClock) {
  const wchar_t* const ours = L"quorvantis.ini.0badcafe.UpdateAccessKey.tmp";
  const struct {
    const wchar_t* name;
    std::int64_t folderClockAhead;
    int age;
    bool stays;
  } cases[] = {
      {ours, -300, 0, true},   {ours, 0, -300, true},
      {ours, 0, 59, true},     {ours, -300, 60, false},
      {ours, 300, 120, false}, {L"quorvantis.ini.20240115.tmp", 0, 3 * 3600, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.folderClockAhead << " s ahead, " << c.age << " s older");
    writeKeyFile(kOldLine);
    writeBytes(inContent(c.name), "var accessKey = \"OTHER");
    files = {};
    files.folderClockAhead = c.folderClockAhead;
    // As the writer lists the folder, its own temporary file is the one other name there.
    files.before = [&](FileCall call) -> Error {
      for (const std::wstring& name : entriesIn(install.contentFolder())) {
        if (call == FileCall::EntriesIn && name != c.name && name != L"quorvantis.ini") {
          writtenBefore(inContent(c.name), inContent(name), c.age);
        }
      }
      return 0;
    };
    save();
    EXPECT_EQ(attributesOf(inContent(c.name)) != INVALID_FILE_ATTRIBUTES, c.stays);
    EXPECT_EQ(keyBytes(), kNewLine);
    DeleteFileW(inContent(c.name).c_str());
  }
}

// Past MAX_PATH, which Windows takes only in the extended-length form, and written with a "/",
// which that form does not take.
TEST_F(KeyFileOnDisk, AKeyFilePastMaxPathIsSavedAndRead) {
  const std::wstring name(90, L'd');
  const std::wstring installPath = install.path() + L"\\" + name + L"\\" + name + L"/" + name;
  const std::wstring keyFile = storage::keyFilePath(installPath);
  const size_t folderEnd = keyFile.rfind(L'\\');
  const auto extended = [&keyFile](size_t end) {  // which takes no "/"
    std::wstring path = L"\\\\?\\" + keyFile.substr(0, end);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
  };
  for (size_t end = install.path().size(); end < folderEnd;) {
    end = keyFile.find_first_of(L"\\/", end + 1);
    CreateDirectoryW(extended(end).c_str(), nullptr);
  }
  storage::saveNewAccessKey(files, installPath, L"FIRST", rights);
  storage::saveNewAccessKey(files, installPath, L"DEEP", rights);
  EXPECT_EQ(storage::readCurrentAccessKey(files, installPath), L"DEEP");
  EXPECT_EQ(entriesIn(extended(folderEnd)), kOnlyTheKeyFile);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && argv[1] == L"--crash-while-saving"sv) {
    FaultyFiles crashing;
    crashing.before = [](FileCall call) -> Error {
      if (call == FileCall::Replace) ExitProcess(9);
      return 0;
    };
    storage::saveNewAccessKey(crashing, argv[2], L"NEW", storage::Rights::User);
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
