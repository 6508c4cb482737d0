#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "storage/FileAccess.h"
#include "storage/KeyFile.h"
#include "storage/KeyStorage.h"
#include "storage/LongPath.h"
#include "storage/StorageError.h"
#include "storage/Utf8.h"
#include "tests/support/FailureOf.h"
#include "tests/support/FaultyFiles.h"

namespace {

namespace fs = std::filesystem;
using storage::findAccessKey;
using storage::StorageError;
using storage::StorageFailure;
using testsupport::failureOf;
using testsupport::FileCall;

TEST(KeyFileFormat, TheWriterMakesExactlyOneLine) {
  EXPECT_EQ(storage::keyFileLine("K-123"), "var accessKey = \"K-123\";\r\n");
  EXPECT_EQ(storage::keyFileLine(""), "var accessKey = \"\";\r\n");
  EXPECT_EQ(storage::keyFileLine("a,b\\c"), "var accessKey = \"a,b\\c\";\r\n");
}

TEST(KeyFileFormat, ThePathIsBuiltWithoutNormalising) {
  EXPECT_EQ(storage::keyFilePath(L"C:\\Q"), L"C:\\Q\\Firefox\\chrome\\content\\quorvantis.ini");
  EXPECT_EQ(storage::keyFilePath(L"C:\\Q\\"), L"C:\\Q\\\\Firefox\\chrome\\content\\quorvantis.ini");
}

TEST(KeyFileReader, FindsTheKeyBetweenTheFirstTwoDoubleQuotesOfTheFirstLine) {
  struct Case {
    const char* file;
    const char* key;
  };
  const Case cases[] = {
      {"var accessKey = \"K1\";\r\n", "K1"},
      {"var accessKey = \"K1\";\n", "K1"},                            // LF only
      {"var accessKey = \"K1\"", "K1"},                               // no line end, no ";"
      {"var accessKey = \"K1\"; // note\r\nsecond \"x\"\r\n", "K1"},  // another writer's lines
      {"   var accessKey = \"K1\";", "K1"},                           // leading blanks
      {"let key=\"K1\"", "K1"},                                       // another prefix
      {"var accessKey = \"a\"b\";", "a"},                             // three double quotes
      {"var accessKey = \"\";\r\n", ""},                              // adjacent double quotes
      {"var accessKey = \" spaced \";", " spaced "},
      {"var accessKey = \"a,b,c\";\r\n", "a,b,c"},  // a comma in the key
      {"var a, accessKey = \"K1\";", "K1"},
      {"\tvar x = \"K1\"", "K1"},
      {"\xEF\xBB\xBFvar accessKey = \"K1\";\r\n", "K1"},  // a UTF-8 byte order mark
  };
  for (const Case& c : cases) {
    EXPECT_EQ(findAccessKey(c.file), std::optional<std::string>(c.key)) << c.file;
  }
}

TEST(KeyFileReader, FindsNoKeyWhereTheFirstLineOpensWithAQuoteOrHoldsFewerThanTwo) {
  for (const char* file :
       {"", "var accessKey = 'K1';", "var accessKey = \"K1;\r\n\"", "\r\n\"K1\"", "\n\"K1\"",
        "\"K1\" is quoted first", "\"K1\" = \"K2\"", "   \"K1\"", "no quotes at all"}) {
    EXPECT_EQ(findAccessKey(file), std::nullopt) << file;
  }
}

TEST(KeyFileReader, AKeyOfAHundredThousandCharactersReadsWhole) {
  const std::string key(100000, 'k');
  EXPECT_EQ(findAccessKey(storage::keyFileLine(key)), key);
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

TEST(KeyFileReader, StopsOnceTheKeyIsKnown) {
  storage::AccessKeyScanner scanner;
  EXPECT_FALSE(scanner.take("var accessKey = \"ab"));
  EXPECT_TRUE(scanner.take("c\";"));
  EXPECT_TRUE(scanner.take(std::string(1000, 'x')));
  EXPECT_EQ(scanner.key(), "abc");
  storage::AccessKeyScanner noKey;
  EXPECT_TRUE(noKey.take("no key\n")) << "a first line without a key ends the search too";
}

constexpr char kOldLine[] = "var accessKey = \"OLD\";\r\n";
constexpr char kNewLine[] = "var accessKey = \"NEW\";\r\n";

// The key file on disk below a fresh installation folder.
class KeyFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    install = fs::temp_directory_path() /
              ("uak-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(install);
    content = install / "Firefox" / "chrome" / "content";
    fs::create_directories(content);
    file = content / "quorvantis.ini";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(file, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(install);
  }

  std::wstring installPath() const { return install.wstring(); }
  void save(std::wstring_view key = L"NEW") {
    storage::saveNewAccessKey(files, installPath(), key);
  }
  std::wstring read() { return storage::readCurrentAccessKey(files, installPath()); }
  void writeFile(const std::string& bytes) const { std::ofstream(file, std::ios::binary) << bytes; }
  std::string fileBytes() const {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t filesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(content), {}));
  }
  StorageFailure readFailure() {
    return failureOf([this] { read(); }).kind();
  }
  StorageError saveFailure(std::wstring_view key = L"NEW") {
    return failureOf([&] { save(key); });
  }

  testsupport::FaultyFiles files;
  fs::path install, content, file;
};

TEST_F(KeyFileOnDisk, KeysRoundTripThroughTheFile) {
  for (const std::wstring& key :
       std::vector<std::wstring>{L"PLAIN-KEY", L"  blanks at both ends  ", L"a,b,c", L"",
                                 L"caf\u00e9 \u20ac", std::wstring(40000, L'z')}) {
    save(key);
    EXPECT_EQ(read(), key);
  }
}

TEST_F(KeyFileOnDisk, AKeyTheLineCannotCarryIsRefusedBeforeAnythingIsTouched) {
  writeFile("var accessKey = \"KEEP\";\r\n");
  std::wstring reason;
  for (const wchar_t* key : {L"ab\\cd", L"abc\\", L"two\r\nlines", L"q\"uote",
                             L"\u0141\u00f3d\u017a", L"\\\"\n\u0141"}) {
    const StorageError e = saveFailure(key);
    EXPECT_EQ(e.kind(), StorageFailure::UnsavableKey);
    EXPECT_EQ(e.path(), storage::keyFilePath(installPath()));
    reason = e.reason();
    EXPECT_EQ(fileBytes(), "var accessKey = \"KEEP\";\r\n");
    EXPECT_EQ(filesInFolder(), 1u);
  }
  // The last key's: every rule's explanation, a line each.
  EXPECT_EQ(reason,
            L"\" (double quote) and \\ (backslash): the extension would take it as part of its "
            L"script, and read a different key or none at all.\r\nA line break: the key file holds "
            L"the key on one line, which it would split.\r\n\u0141 (U+0141): this computer saves "
            L"the key file in code page 1252, which has no such characters, so others would be "
            L"saved in their place.");
}

// What the window is given reads and writes the key file through the operations it was handed.
TEST_F(KeyFileOnDisk, TheInstalledStorageUsesTheFileOperationsItIsHanded) {
  struct NoRegistry final : storage::RegistryApi {
    long openKey(storage::RegistryRoot, const std::wstring&, Key*) override { return 2; }
    long queryValue(Key, const std::wstring&, std::uint32_t*, std::uint8_t*,
                    std::uint32_t*) override {
      return 2;
    }
    void closeKey(Key) override {}
  } registry;
  storage::InstalledKeyStorage storage(registry, files);
  storage.saveNewAccessKey(installPath(), L"HANDED");
  EXPECT_EQ(fileBytes(), "var accessKey = \"HANDED\";\r\n");
  files.fail(FileCall::OpenForReading, EIO);
  EXPECT_EQ(failureOf([&] { storage.readCurrentAccessKey(installPath()); }).reason(),
            L"Input/output error.");
}

TEST_F(KeyFileOnDisk, TheFileHoldsTheLineInTheAnsiCodePage) {
  save(L"caf\u00e9\u20ac\u00a0");
  EXPECT_EQ(fileBytes(), "var accessKey = \"caf\xe9\x80\xa0\";\r\n");
  EXPECT_EQ(read(), L"caf\u00e9\u20ac\u00a0");
}

TEST_F(KeyFileOnDisk, ReadFailuresSayWhatIsWrong) {
  EXPECT_EQ(readFailure(), StorageFailure::FileNotFound);
  writeFile("");
  EXPECT_EQ(readFailure(), StorageFailure::EmptyKeyFile);
  writeFile("accessKey = none\r\n");
  EXPECT_EQ(readFailure(), StorageFailure::NoKeyInFile);
  fs::remove_all(install / "Firefox");
  EXPECT_EQ(readFailure(), StorageFailure::PathNotFound);
}

TEST_F(KeyFileOnDisk, TheMessageNamesThePathAndTheReason) {
  const StorageError e = failureOf([this] { read(); });
  EXPECT_NE(e.message().find(storage::keyFilePath(installPath())), std::wstring::npos);
  EXPECT_NE(e.message().find(e.reason()), std::wstring::npos);
  EXPECT_FALSE(e.reason().empty());
}

TEST_F(KeyFileOnDisk, AReadOnlyFileIsRefusedAndLeftUntouched) {
  writeFile("var accessKey = \"KEEP\";\r\n");
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(saveFailure().kind(), StorageFailure::AccessDenied);
  EXPECT_EQ(fileBytes(), "var accessKey = \"KEEP\";\r\n");
  EXPECT_EQ(filesInFolder(), 1u) << "no temporary file is left";
}

TEST_F(KeyFileOnDisk, AMissingFolderFailsAsPathNotFound) {
  fs::remove_all(install / "Firefox");
  EXPECT_EQ(saveFailure().kind(), StorageFailure::PathNotFound);
  EXPECT_FALSE(fs::exists(install / "Firefox"));
}

TEST_F(KeyFileOnDisk, AWriteLeavesOnlyTheKeyFile) {
  save(L"FIRST");
  // What a save that was cut short a day ago left behind goes with the next save.
  const fs::path leftover = content / "quorvantis.ini.0badcafe.tmp";
  std::ofstream(leftover) << "var accessKey = \"CUT";
  fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(24));
  save(L"SECOND");
  EXPECT_EQ(filesInFolder(), 1u);
  EXPECT_EQ(fileBytes(), "var accessKey = \"SECOND\";\r\n");
}

// An error's what() carries its text as UTF-8, and the window shows it as text again. On Windows
// the text is UTF-16, as char16_t is here; natively wchar_t holds whole characters.
TEST(ErrorText, Utf8ReadsBackAsTheTextItCameFrom) {
  const struct {
    std::string bytes;
    std::u16string utf16;
    const wchar_t* wide;  // none where UTF-16's surrogates stay apart
  } cases[] = {
      {"Disk full.", u"Disk full.", L"Disk full."},
      {"C:\\\xc5\x81\xc3\xb3"
       "d\xc5\xba \xe6\x9d\xb1",
       u"C:\\\u0141\u00f3d\u017a \u6771", L"C:\\\u0141\u00f3d\u017a \u6771"},
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

TEST(WriterTemporaries, OnlyTheWritersOwnNamesCountAsLeftovers) {
  const std::string_view key = "quorvantis.ini";
  const std::wstring made = storage::temporaryPathFor(L"quorvantis.ini", 0x1234abcdu);
  EXPECT_EQ(made, L"quorvantis.ini.1234abcd.tmp");
  EXPECT_TRUE(storage::isTemporaryOf<wchar_t>(made, L"quorvantis.ini"));
  for (std::string_view other :
       {"quorvantis.ini", "quorvantis.ini.tmp", "quorvantis.ini.1234abc.tmp",
        "quorvantis.ini.1234ABCD.tmp", "quorvantis.ini.1234abcd.tmp.bak", "other.ini.1234abcd.tmp",
        "quorvantis.ini.1234abcg.tmp"}) {
    EXPECT_FALSE(storage::isTemporaryOf(other, key)) << other;
  }
}

TEST_F(KeyFileOnDisk, ACrashBeforeTheReplaceKeepsTheOldKeyAndALaterSaveTidiesUp) {
  ::testing::FLAGS_gtest_death_test_style = "fast";
  save(L"OLD");
  EXPECT_EXIT(
      {
        files.before = [](FileCall call) -> storage::os::Error {
          if (call == FileCall::Replace) std::_Exit(9);
          return 0;
        };
        save(L"NEW");
      },
      ::testing::ExitedWithCode(9), "");
  EXPECT_EQ(fileBytes(), "var accessKey = \"OLD\";\r\n");
  ASSERT_EQ(filesInFolder(), 2u) << "the crash left its temporary file";
  EXPECT_EQ(read(), L"OLD");

  std::ofstream(content / "quorvantis.ini.bak") << "not ours";
  save(L"NEXT");
  EXPECT_EQ(filesInFolder(), 3u) << "so fresh a temporary file may be another copy's, still saving";
  for (const auto& entry : fs::directory_iterator(content)) {
    fs::last_write_time(entry, fs::last_write_time(entry) - std::chrono::minutes(2));
  }
  save(L"LAST");
  EXPECT_EQ(filesInFolder(), 2u) << "the leftover is gone, the other file stays";
  EXPECT_TRUE(fs::exists(content / "quorvantis.ini.bak"));
  EXPECT_EQ(read(), L"LAST");
}

// Another copy's temporary file beside a save, this much older than the save's own: only one a
// minute older goes, however far the folder's clock is from this computer's.
TEST_F(KeyFileOnDisk, LeftoversAreAgedOnTheFoldersOwnClock) {
  const fs::path other = content / "quorvantis.ini.0badcafe.tmp";
  const struct {
    std::int64_t folderClockAhead;
    std::chrono::seconds age;
    bool stays;
  } cases[] = {
      {-300, std::chrono::seconds(0), true},   {300, std::chrono::seconds(0), true},
      {0, std::chrono::seconds(-600), true},   {0, std::chrono::seconds(59), true},
      {-300, std::chrono::seconds(60), false}, {300, std::chrono::seconds(120), false},
  };
  for (const auto& c : cases) {
    writeFile(kOldLine);
    std::ofstream(other) << "var accessKey = \"OTHER";
    files.folderClockAhead = c.folderClockAhead;
    files.before = [&](FileCall call) -> storage::os::Error {
      if (call != FileCall::EntriesIn) return 0;
      for (const auto& entry : fs::directory_iterator(content)) {
        if (entry.path().extension() == ".tmp" && entry.path() != other)
          fs::last_write_time(other, entry.last_write_time() - c.age);
      }
      return 0;
    };
    save();
    EXPECT_EQ(fs::exists(other), c.stays) << c.folderClockAhead << " s ahead, " << c.age.count();
    EXPECT_EQ(fileBytes(), kNewLine);
  }
}

TEST(WriteMethod, OnlyAnExistingFileIsEverWrittenInPlace) {
  using storage::chooseWriteMethod;
  using storage::ReplaceRefusal;
  using storage::WriteMethod;
  EXPECT_EQ(chooseWriteMethod(true, 1, ReplaceRefusal::None), WriteMethod::Replace);
  EXPECT_EQ(chooseWriteMethod(true, 2, ReplaceRefusal::HeldWithoutDeleteSharing),
            WriteMethod::InPlaceKeepingHardLinks);
  EXPECT_EQ(chooseWriteMethod(true, 1, ReplaceRefusal::TemporaryDenied),
            WriteMethod::InPlaceInLockedFolder);
  EXPECT_EQ(chooseWriteMethod(true, 1, ReplaceRefusal::HeldWithoutDeleteSharing),
            WriteMethod::InPlaceWhileHeld);
  EXPECT_EQ(chooseWriteMethod(true, 1, ReplaceRefusal::ReplaceDenied),
            WriteMethod::InPlaceWithoutDeleteRight);
  EXPECT_EQ(chooseWriteMethod(false, 0, ReplaceRefusal::ReplaceDenied), WriteMethod::Replace);
}

// What a save keeps besides the line: links, other names, permissions, and the file itself.
class WriterKeeps : public KeyFileOnDisk {
 protected:
  void SetUp() override {
    KeyFileOnDisk::SetUp();
    elsewhere = install / "elsewhere";
    fs::create_directories(elsewhere);
  }
  static std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  size_t temporariesLeft() const {
    size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(install)) {
      count += entry.path().extension() == ".tmp";
    }
    return count;
  }

  fs::path elsewhere;
};

TEST_F(WriterKeeps, ALinkedKeyFileOrFolderStaysALinkAndItsTargetGetsTheLine) {
  const fs::path real = elsewhere / "quorvantis.ini";
  write(real, kOldLine);
  fs::create_symlink(real, file);
  save();
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_EQ(bytesOf(real), kNewLine);

  fs::remove(file);
  fs::remove(content);
  fs::create_directory_symlink(elsewhere, content);
  write(real, kOldLine);
  save();
  EXPECT_TRUE(fs::is_symlink(content));
  EXPECT_FALSE(fs::is_symlink(real));
  EXPECT_EQ(bytesOf(real), kNewLine);
  EXPECT_EQ(temporariesLeft(), 0u);
}

TEST_F(WriterKeeps, BothNamesOfAHardLinkedFileShowTheNewLine) {
  write(file, kOldLine);
  fs::create_hard_link(file, elsewhere / "other-name.ini");
  save();
  EXPECT_EQ(fs::hard_link_count(file), 2u);
  EXPECT_EQ(bytesOf(elsewhere / "other-name.ini"), kNewLine);
  EXPECT_EQ(temporariesLeft(), 0u);
}

TEST_F(WriterKeeps, TheFilesPermissionsStay) {
  write(file, kOldLine);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  save();
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(bytesOf(file), kNewLine);
}

// A folder that refuses new files, or a key file that may be written but not deleted, which a
// replace does: the file is written in place, or left as it was where that fails.
TEST_F(WriterKeeps, AFileThatCannotBeReplacedIsWrittenInPlaceOrLeftAsItWas) {
  const std::string oldBytes = kOldLine + std::string(100000, 'x');
  const struct {
    FileCall refused;
    std::vector<FileCall> changes;
  } cases[] = {
      {FileCall::CreateNew,
       {FileCall::CreateNew, FileCall::OpenInPlace, FileCall::WriteAt, FileCall::SetEnd,
        FileCall::Flush}},
      {FileCall::Replace,
       {FileCall::CreateNew, FileCall::WriteAt, FileCall::Flush, FileCall::KeepState,
        FileCall::Replace, FileCall::Remove, FileCall::OpenInPlace, FileCall::WriteAt,
        FileCall::SetEnd, FileCall::Flush}},
  };
  for (const auto& c : cases) {
    write(file, oldBytes);
    struct stat before {};
    ::stat(file.c_str(), &before);
    files = {};
    files.fail(c.refused, EACCES);
    save();
    EXPECT_EQ(bytesOf(file), kNewLine);
    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, written in place";
    EXPECT_EQ(files.changes, c.changes);

    for (const FileCall failing : {FileCall::WriteAt, FileCall::SetEnd, FileCall::Flush}) {
      write(file, oldBytes);
      files = {};
      files.fail(c.refused, EACCES);
      // The in-place write's, after any made to the temporary file.
      files.fail(failing, ENOSPC,
                 c.refused == FileCall::Replace && failing != FileCall::SetEnd ? 2 : 1);
      EXPECT_EQ(saveFailure().reason(), L"No space left on device.");
      EXPECT_EQ(bytesOf(file), oldBytes) << static_cast<int>(failing);
    }
  }
  EXPECT_EQ(temporariesLeft(), 0u);
}

TEST_F(WriterKeeps, AnInPlaceWriteThatCannotBeUndoneSaysSoAndGivesTheOldKey) {
  write(file, kOldLine);
  files.fail(FileCall::CreateNew, EACCES);
  files.fail(FileCall::WriteAt, ENOSPC, 1);
  files.fail(FileCall::WriteAt, EIO, 2);  // the old bytes' way back
  const StorageError e = saveFailure();
  EXPECT_EQ(e.kind(), StorageFailure::SystemError);
  EXPECT_EQ(e.path(), storage::keyFilePath(installPath()));
  EXPECT_EQ(e.reason(),
            L"No space left on device.\r\nThe key file may now be incomplete. The Access key it "
            L"held before was \"OLD\".");
}

// A replace may fail half-way, as ReplaceFileW does with ERROR_UNABLE_TO_MOVE_REPLACEMENT: the key
// file gone, and the new file under its own name.
TEST_F(WriterKeeps, AReplaceThatFailsHalfWayIsFinishedOrSaysWhereTheNewLineIs) {
  int replaces = 0;
  files.before = [&](FileCall call) -> storage::os::Error {
    if (call != FileCall::Replace || ++replaces > 1) return 0;
    fs::remove(file);
    return EIO;
  };
  write(file, kOldLine);
  save();
  EXPECT_EQ(bytesOf(file), kNewLine);
  EXPECT_EQ(temporariesLeft(), 0u);

  write(file, kOldLine);
  replaces = 0;
  files.fail(FileCall::Replace, EACCES, 4);  // giving the new file the key file's name
  const std::wstring reason = saveFailure().reason();
  ASSERT_EQ(filesInFolder(), 1u);
  const fs::path newFile = fs::directory_iterator(content)->path();
  EXPECT_EQ(reason, L"The key file is no longer there. Its new line is in \"" + newFile.wstring() +
                        L"\". The Access key it held before was \"OLD\".");
  EXPECT_EQ(bytesOf(newFile), kNewLine);

  // Not even an old one is a leftover while the key file is missing.
  files = {};
  fs::last_write_time(newFile, fs::last_write_time(newFile) - std::chrono::minutes(2));
  save();
  EXPECT_EQ(bytesOf(newFile), kNewLine);
}

// Another copy's replace may move the key file aside for a moment, as Wine's does.
TEST_F(WriterKeeps, AReplaceThatMeetsTheKeyFileAwayForAMomentIsTriedAgain) {
  write(file, kOldLine);
  const fs::path aside = elsewhere / "moved-aside";
  int replaces = 0;
  files.before = [&](FileCall call) -> storage::os::Error {
    if (call != FileCall::Replace || ++replaces > 1) return 0;
    fs::rename(file, aside);
    fs::rename(aside, file);
    return ENOENT;
  };
  save();
  EXPECT_EQ(bytesOf(file), kNewLine);
  EXPECT_EQ(temporariesLeft(), 0u);
  EXPECT_EQ(replaces, 2);
}

// What the user is told when one call of a save fails, and that the old line then stays.
TEST_F(WriterKeeps, EachFailingCallReachesTheUserAsItsOwnError) {
  struct Case {
    std::vector<std::pair<FileCall, storage::os::Error>> failing;
    StorageFailure kind;
    std::wstring reason;
  };
  for (const Case& c : std::vector<Case>{
           {{{FileCall::CreateNew, ENOSPC}},
            StorageFailure::SystemError,
            L"No space left on device."},
           // Every name that a temporary file could take is taken: the writer stops looking.
           {{{FileCall::CreateNew, EEXIST}}, StorageFailure::SystemError, L"File exists."},
           {{{FileCall::WriteAt, ENOSPC}},
            StorageFailure::SystemError,
            L"No space left on device."},
           {{{FileCall::Flush, EIO}}, StorageFailure::SystemError, L"Input/output error."},
           {{{FileCall::KeepState, EACCES}}, StorageFailure::AccessDenied, L"Permission denied."},
           {{{FileCall::Replace, EACCES}, {FileCall::OpenInPlace, EACCES}},
            StorageFailure::AccessDenied,
            L"Permission denied."},
           {{{FileCall::Replace, ENOENT}},
            StorageFailure::FileNotFound,
            L"No such file or directory."},
           {{{FileCall::Replace, EXDEV}},
            StorageFailure::SystemError,
            L"Invalid cross-device link."},
       }) {
    write(file, kOldLine);
    files = {};
    for (const auto& [call, error] : c.failing) files.fail(call, error);
    const StorageError e = saveFailure();
    EXPECT_EQ(e.kind(), c.kind) << e.what();
    EXPECT_EQ(e.reason(), c.reason);
    EXPECT_EQ(bytesOf(file), kOldLine) << e.what();
    EXPECT_EQ(temporariesLeft(), 0u) << e.what();
  }
}

// Windows' own words for a replace that gave up the key file's name say that the file kept it:
// the report says what the program found instead.
TEST(IncompleteWriteReport, SaysTheKeyFileIsGoneAndWhereItsNewLineIs) {
  const std::wstring path = L"C:\\Q\\Firefox\\chrome\\content\\quorvantis.ini";
  const std::wstring newFile = path + L".0badcafe.tmp";
  for (const wchar_t* systemReason :
       {L"Unable to move the replacement file to the file to be replaced. The file to be replaced "
        L"has retained its original name.",
        L"Unable to move the replacement file to the file to be replaced. The file to be replaced "
        L"has been renamed using the backup name."}) {
    const storage::IncompleteWrite failure(
        StorageError(StorageFailure::SystemError, storage::kWriteFailed, path, systemReason),
        kOldLine, newFile);
    EXPECT_EQ(storage::incompleteWriteReason(failure),
              L"The key file is no longer there. Its new line is in "
              L"\"C:\\Q\\Firefox\\chrome\\content\\quorvantis.ini.0badcafe.tmp\". The Access key "
              L"it held before was \"OLD\".");
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

}  // namespace
