#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "storage/FileAccess.h"
#include "storage/KeyFile.h"
#include "storage/LongPath.h"
#include "storage/StorageError.h"
#include "tests/support/FailureOf.h"
#include "tests/support/WriteFaults.h"

namespace {

namespace fs = std::filesystem;
using storage::findAccessKey;
using storage::StorageError;
using storage::StorageFailure;
using storage::WriteStep;
using testing_support::failSteps;
using testsupport::failureOf;

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
}

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
  void writeFile(const std::string& bytes) const { std::ofstream(file, std::ios::binary) << bytes; }
  std::string fileBytes() const {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t filesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(content), {}));
  }
  StorageFailure readFailure() const {
    return failureOf([this] { storage::readCurrentAccessKey(installPath()); }).kind();
  }
  StorageError saveFailure(std::wstring_view key = L"NEW") const {
    return failureOf([&] { storage::saveNewAccessKey(installPath(), key); });
  }

  fs::path install, content, file;
};

TEST_F(KeyFileOnDisk, KeysRoundTripThroughTheFile) {
  for (const std::wstring& key :
       std::vector<std::wstring>{L"PLAIN-KEY", L"  blanks at both ends  ", L"a,b,c", L"",
                                 L"caf\u00e9 \u20ac", std::wstring(40000, L'z')}) {
    storage::saveNewAccessKey(installPath(), key);
    EXPECT_EQ(storage::readCurrentAccessKey(installPath()), key);
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

TEST_F(KeyFileOnDisk, TheFileHoldsTheLineInTheAnsiCodePage) {
  storage::saveNewAccessKey(installPath(), L"caf\u00e9\u20ac\u00a0");
  EXPECT_EQ(fileBytes(), "var accessKey = \"caf\xe9\x80\xa0\";\r\n");
  EXPECT_EQ(storage::readCurrentAccessKey(installPath()), L"caf\u00e9\u20ac\u00a0");
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
  const StorageError e = failureOf([this] { storage::readCurrentAccessKey(installPath()); });
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
  storage::saveNewAccessKey(installPath(), L"FIRST");
  // What a save that was cut short a day ago left behind goes with the next save.
  const fs::path leftover = content / "quorvantis.ini.0badcafe.tmp";
  std::ofstream(leftover) << "var accessKey = \"CUT";
  fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(24));
  storage::saveNewAccessKey(installPath(), L"SECOND");
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

class WriterFaults : public KeyFileOnDisk {
 protected:
  void TearDown() override {
    storage::setWriteFaultHook(nullptr);
    KeyFileOnDisk::TearDown();
  }
};

TEST_F(WriterFaults, ACrashBeforeTheReplaceKeepsTheOldKeyAndTheNextRunTidiesUp) {
  ::testing::FLAGS_gtest_death_test_style = "fast";
  storage::saveNewAccessKey(installPath(), L"OLD");
  EXPECT_EXIT(
      {
        storage::setWriteFaultHook([](storage::WriteStep step) -> unsigned long {
          if (step == storage::WriteStep::ReplacingKeyFile) std::_Exit(9);
          return 0;
        });
        storage::saveNewAccessKey(installPath(), L"NEW");
      },
      ::testing::ExitedWithCode(9), "");
  EXPECT_EQ(fileBytes(), "var accessKey = \"OLD\";\r\n");
  ASSERT_EQ(filesInFolder(), 2u) << "the crash left its temporary file";

  std::ofstream(content / "quorvantis.ini.bak") << "not ours";
  EXPECT_EQ(storage::readCurrentAccessKey(installPath()), L"OLD");
  EXPECT_EQ(filesInFolder(), 3u) << "so fresh a temporary file may be another copy's, still saving";
  for (const auto& entry : fs::directory_iterator(content)) {
    fs::last_write_time(entry, fs::last_write_time(entry) - std::chrono::minutes(2));
  }
  EXPECT_EQ(storage::readCurrentAccessKey(installPath()), L"OLD");
  EXPECT_EQ(filesInFolder(), 2u) << "the leftover is gone, the other file stays";
  EXPECT_TRUE(fs::exists(content / "quorvantis.ini.bak"));
}

TEST(WriteMethod, OnlyAnExistingFileIsEverWrittenInPlace) {
  using storage::chooseWriteMethod;
  using storage::WriteMethod;
  EXPECT_EQ(chooseWriteMethod(true, 1, false, false), WriteMethod::Replace);
  EXPECT_EQ(chooseWriteMethod(true, 2, false, true), WriteMethod::InPlaceKeepingHardLinks);
  EXPECT_EQ(chooseWriteMethod(true, 1, true, false), WriteMethod::InPlaceInLockedFolder);
  EXPECT_EQ(chooseWriteMethod(true, 1, false, true), WriteMethod::InPlaceWhileHeld);
  EXPECT_EQ(chooseWriteMethod(false, 0, true, true), WriteMethod::Replace);
}

constexpr char kOldLine[] = "var accessKey = \"OLD\";\r\n";
constexpr char kNewLine[] = "var accessKey = \"NEW\";\r\n";

// What a save keeps besides the line: links, other names, permissions, and the file itself.
class WriterKeeps : public WriterFaults {
 protected:
  void SetUp() override {
    WriterFaults::SetUp();
    elsewhere = install / "elsewhere";
    fs::create_directories(elsewhere);
  }
  void save() { storage::saveNewAccessKey(installPath(), L"NEW"); }
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

TEST_F(WriterKeeps, AFolderThatRefusesNewFilesIsWrittenInPlaceOrLeftAsItWas) {
  const std::string oldBytes = kOldLine + std::string(100000, 'x');
  write(file, oldBytes);
  struct stat before {};
  ::stat(file.c_str(), &before);
  failSteps({{WriteStep::CreatingTemporary, EACCES}});
  save();
  EXPECT_EQ(bytesOf(file), kNewLine);
  struct stat after {};
  ::stat(file.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, written in place";
  EXPECT_EQ(testing_support::stepsTaken,
            (std::vector<WriteStep>{WriteStep::CreatingTemporary, WriteStep::WritingInPlace,
                                    WriteStep::EndingInPlace, WriteStep::FlushingInPlace}));

  for (const WriteStep step :
       {WriteStep::WritingInPlace, WriteStep::EndingInPlace, WriteStep::FlushingInPlace}) {
    write(file, oldBytes);
    failSteps({{WriteStep::CreatingTemporary, EACCES}, {step, ENOSPC}});
    EXPECT_EQ(saveFailure().reason(), L"No space left on device.");
    EXPECT_EQ(bytesOf(file), oldBytes) << "step " << static_cast<int>(step);
  }
  EXPECT_EQ(temporariesLeft(), 0u);
}

TEST_F(WriterKeeps, AnInPlaceWriteThatCannotBeUndoneSaysSoAndGivesTheOldKey) {
  write(file, kOldLine);
  failSteps({{WriteStep::CreatingTemporary, EACCES},
             {WriteStep::WritingInPlace, ENOSPC},
             {WriteStep::RestoringInPlace, EIO}});
  const StorageError e = saveFailure();
  EXPECT_EQ(e.kind(), StorageFailure::SystemError);
  EXPECT_EQ(e.path(), storage::keyFilePath(installPath()));
  EXPECT_EQ(e.reason(),
            L"No space left on device.\r\nThe key file may now be incomplete. The Access key it "
            L"held before was \"OLD\".");
}

// A replace may fail half-way, as ReplaceFileW does with ERROR_UNABLE_TO_MOVE_REPLACEMENT: the key
// file gone, and the new file under its own name.
fs::path keyFileToLose;
unsigned long replaceLosingTheKeyFile(storage::WriteStep step) {
  if (step != WriteStep::ReplacingKeyFile) return testing_support::failChosenSteps(step);
  fs::remove(keyFileToLose);
  return EIO;
}

TEST_F(WriterKeeps, AReplaceThatFailsHalfWayIsFinishedOrSaysWhereTheNewLineIs) {
  keyFileToLose = file;
  failSteps({});
  storage::setWriteFaultHook(replaceLosingTheKeyFile);
  write(file, kOldLine);
  save();
  EXPECT_EQ(bytesOf(file), kNewLine);
  EXPECT_EQ(temporariesLeft(), 0u);

  write(file, kOldLine);
  testing_support::failingSteps = {{WriteStep::MovingIntoPlace, EACCES}};
  const std::wstring reason = saveFailure().reason();
  ASSERT_EQ(filesInFolder(), 1u);
  const fs::path newFile = fs::directory_iterator(content)->path();
  EXPECT_EQ(reason,
            L"Input/output error.\r\nThe key file may now be missing. Its new line is in \"" +
                newFile.wstring() + L"\". The Access key it held before was \"OLD\".");
  EXPECT_EQ(bytesOf(newFile), kNewLine);

  // Not even an old one is a leftover while the key file is missing.
  storage::setWriteFaultHook(nullptr);
  fs::last_write_time(newFile, fs::last_write_time(newFile) - std::chrono::minutes(2));
  save();
  EXPECT_EQ(bytesOf(newFile), kNewLine);
}

// What the user is told when one step of a save fails, and that the old line then stays.
TEST_F(WriterKeeps, EachFailingStepReachesTheUserAsItsOwnError) {
  struct Case {
    WriteStep step;
    unsigned long error;
    StorageFailure kind;
    std::wstring reason;
  };
  for (const Case& c : std::vector<Case>{
           {WriteStep::CreatingTemporary, ENOSPC, StorageFailure::SystemError,
            L"No space left on device."},
           {WriteStep::WritingTemporary, ENOSPC, StorageFailure::SystemError,
            L"No space left on device."},
           {WriteStep::ReplacingKeyFile, EACCES, StorageFailure::AccessDenied,
            L"Permission denied."},
           {WriteStep::ReplacingKeyFile, ENOENT, StorageFailure::FileNotFound,
            L"No such file or directory."},
           {WriteStep::ReplacingKeyFile, EXDEV, StorageFailure::SystemError,
            L"Invalid cross-device link."},
       }) {
    write(file, kOldLine);
    failSteps({{c.step, c.error}});
    const StorageError e = saveFailure();
    EXPECT_EQ(e.kind(), c.kind) << c.error;
    EXPECT_EQ(e.reason(), c.reason);
    EXPECT_EQ(bytesOf(file), kOldLine) << c.error;
    EXPECT_EQ(temporariesLeft(), 0u) << c.error;
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
