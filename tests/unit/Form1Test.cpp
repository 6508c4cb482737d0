#include <gtest/gtest.h>

#include "storage/KeyFile.h"
#include "storage/StorageError.h"
#include "tests/support/RecordingWindow.h"
#include "window/Form1.h"

namespace {

using storage::StorageError;
using storage::StorageFailure;
using testing_support::RecordingWindow;
using window::Control;
using Calls = std::vector<std::string>;

// Storage that holds the key file's key in memory and records what the window asks of it.
class FakeStorage : public storage::KeyStorage {
 public:
  std::optional<std::wstring> installPath = L"C:\\Quorvantis";
  std::wstring fileKey = L"OLD-KEY";
  bool failRead = false;
  bool failWrite = false;
  std::vector<std::string> calls;
  // What the key file gives back for a written key, where not the key itself.
  std::function<std::wstring(const std::wstring&)> readBack;

  std::optional<std::wstring> readRegistryString(storage::RegistryRoot root,
                                                 std::wstring_view subKey,
                                                 std::wstring_view valueName) override {
    EXPECT_EQ(root, storage::RegistryRoot::CurrentUser);
    calls.push_back("registry " + testing_support::narrow(subKey) + "|" +
                    testing_support::narrow(valueName));
    return installPath;
  }
  std::wstring readCurrentAccessKey(const std::wstring& path) override {
    calls.push_back("read " + testing_support::narrow(path));
    if (failRead) throw StorageError(StorageFailure::FileNotFound, L"read", path, L"missing");
    return fileKey;
  }
  void saveNewAccessKey(const std::wstring& path, const std::wstring& key) override {
    calls.push_back("save " + testing_support::narrow(path) + "|" + testing_support::narrow(key));
    if (failWrite) throw StorageError(StorageFailure::AccessDenied, L"write", path, L"read-only");
    fileKey = readBack ? readBack(key) : key;
  }
};

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() { window.form = &form; }

  void loadFound() {
    form.load();
    storage.calls.clear();
  }

  RecordingWindow window;
  FakeStorage storage;
  window::Form1 form{window, storage};
};

TEST_F(Form1Test, LoadWithoutInstallationShowsTheNotFoundMessageAndExitAlone) {
  for (std::optional<std::wstring> registryValue :
       {std::optional<std::wstring>(), std::optional<std::wstring>(L"")}) {
    RecordingWindow window;
    FakeStorage storage;
    storage.installPath = registryValue;
    window::Form1 form(window, storage);
    form.load();

    EXPECT_EQ(storage.calls, Calls{"registry Software\\Quorvantis|"});
    EXPECT_EQ(window.visibleControls(), "Command_Exit Image1 Label4 ");
    EXPECT_EQ(window.controls[Control::Label4].colour, 0x002A00ACu);
    EXPECT_EQ(window.controls[Control::Label4].text,
              L"Information about the current Access key can not be found.\r\n"
              L"Probably Quorvantis was not installed properly.\r\n"
              L"Please try to install program again.");
    EXPECT_TRUE(window.shown && window.windowFocused);
    EXPECT_EQ(window.announced, Calls{"Label4 assertive"});
    form.saveNewAccessKey();
    EXPECT_EQ(storage.calls.back(), "save |") << "no installation folder";
  }
}

TEST_F(Form1Test, LoadWithInstallationShowsTheKeyAndWaitsForANewOne) {
  form.load();

  EXPECT_EQ(storage.calls, (Calls{"registry Software\\Quorvantis|", "read C:\\Quorvantis"}));
  EXPECT_EQ(window.controls[Control::Label2].text, L"OLD-KEY");
  EXPECT_EQ(window.controls[Control::Label4].text,
            L"If you have changed the Access key at your Quorvantis Account,\r\n"
            L"you should update it below as well.");
  EXPECT_EQ(window.controls[Control::Label4].colour, 0xFFFFFFFFu) << "keeps its design colour";
  EXPECT_FALSE(window.controls[Control::Command_Update].enabled);
  EXPECT_EQ(window.visibleControls(),
            "Command_Exit Label3 Text1 Command_Update Image1 Label4 Label2 Label1 ");
  EXPECT_TRUE(window.shown && window.windowFocused);
  EXPECT_TRUE(window.announced.empty());
}

TEST_F(Form1Test, LoadStopsAtAFailedReadAndNeverShowsTheWindow) {
  storage.failRead = true;

  EXPECT_THROW(form.load(), StorageError);
  EXPECT_FALSE(window.shown);
  EXPECT_EQ(window.controls, RecordingWindow().controls);
}

TEST_F(Form1Test, ChangesEnableUpdateExactlyWhileTheBoxHoldsText) {
  loadFound();

  window.type(L"a");
  EXPECT_TRUE(window.controls[Control::Command_Update].enabled);
  window.type(L"");
  EXPECT_FALSE(window.controls[Control::Command_Update].enabled);
  window.type(L"   ");
  EXPECT_TRUE(window.controls[Control::Command_Update].enabled) << "blanks count by length";
}

// Label2 shows the key as the file gives it back, which the reader may not return whole.
TEST_F(Form1Test, UpdateWritesReadsBackClearsAndConfirms) {
  loadFound();
  storage.readBack = [](const std::wstring& k) { return k.substr(0, 4); };
  window.type(L" NEW KEY ");

  form.updateClicked();

  EXPECT_EQ(storage.calls, (Calls{"save C:\\Quorvantis| NEW KEY ", "read C:\\Quorvantis"}));
  EXPECT_EQ(window.controls[Control::Label2].text, L" NEW");
  EXPECT_EQ(window.controls[Control::Text1].text, L"");
  // Clearing Text1 runs the change handler inside the update, before Label5 is shown.
  EXPECT_FALSE(window.controls[Control::Command_Update].enabled);
  EXPECT_TRUE(window.controls[Control::Label5].visible);
  EXPECT_EQ(window.focused, Control::Command_Exit);
  EXPECT_EQ(window.announced, Calls{"Label5 polite"});
  form.saveNewAccessKey();
  EXPECT_EQ(storage.calls.back(), "save C:\\Quorvantis|") << "the typed key is let go";
}

TEST_F(Form1Test, TypingAfterAnUpdateHidesTheConfirmationAndASecondUpdateRepeats) {
  loadFound();
  window.type(L"FIRST");
  form.updateClicked();
  window.type(L"S");
  EXPECT_FALSE(window.controls[Control::Label5].visible);
  EXPECT_TRUE(window.controls[Control::Command_Update].enabled);

  window.type(L"SECOND");
  form.updateClicked();
  EXPECT_EQ(storage.fileKey, L"SECOND");
  EXPECT_EQ(window.controls[Control::Label2].text, L"SECOND");
  EXPECT_TRUE(window.controls[Control::Label5].visible);
  EXPECT_EQ(window.focused, Control::Command_Exit);
}

TEST_F(Form1Test, AKeyTheFileCannotCarryIsRefusedWithEverythingLeftAsItWas) {
  loadFound();
  window.type(L"FIRST");
  form.updateClicked();
  const std::wstring script =
      L": the extension would take it as part of its script, and read a different key or none at "
      L"all.";
  const struct {
    const wchar_t* key;
    std::wstring explanation;
  } cases[] = {
      {L"ab\"cd", L"\" (double quote)" + script},
      {L"abc\\", L"\\ (backslash)" + script},
      {L"\u041a\u043b\u044e\u0447",
       L"\u041a (U+041A), \u043b (U+043B), \u044e (U+044E), \u0447 (U+0447): this computer saves "
       L"the key file in code page 1252, which has no such characters, so others would be saved in "
       L"their place."},
  };
  for (const auto& [key, explanation] : cases) {
    window.type(key);
    window.told.clear();
    storage.calls.clear();

    form.updateClicked();

    EXPECT_TRUE(storage.calls.empty()) << "nothing is written";
    EXPECT_EQ(window.told, std::vector<std::wstring>{
                               L"The Access key was not saved: the key file cannot hold it exactly "
                               L"as typed.\r\n\r\n" +
                               explanation +
                               L"\r\n\r\nType the key without these characters, then press "
                               L"Update again."});
    EXPECT_EQ(window.controls[Control::Text1].text, key);
    EXPECT_EQ(window.controls[Control::Label2].text, L"FIRST");
    EXPECT_FALSE(window.controls[Control::Label5].visible);
    EXPECT_EQ(window.focused, Control::Command_Exit) << "the focus stays where it was";
    form.saveNewAccessKey();
    EXPECT_EQ(storage.calls, Calls{"save C:\\Quorvantis|"}) << "the refused key is not kept";
  }
}

// The error goes to the caller, and the window shows what it showed before.
TEST_F(Form1Test, AFailedWriteOrReadBackStopsTheUpdateWithEverythingShownUnchanged) {
  const struct {
    bool failWrite, failRead;
    const wchar_t* fileKey;
  } cases[] = {{true, false, L"OLD-KEY"}, {false, true, L"NEW"}};
  for (const auto& c : cases) {
    loadFound();
    window.type(L"NEW");
    const auto before = window.controls;
    storage.failWrite = c.failWrite;
    storage.failRead = c.failRead;

    EXPECT_THROW(form.updateClicked(), StorageError);
    EXPECT_EQ(storage.fileKey, c.fileKey);
    EXPECT_EQ(window.controls, before) << "Text1 keeps the key, Label2 the old one";
    storage.failWrite = storage.failRead = false;
    form.saveNewAccessKey();
    EXPECT_EQ(storage.calls.back(), "save C:\\Quorvantis|NEW") << "the key to save stays";
  }
}

TEST_F(Form1Test, ExitUnloadsAndWritesNothing) {
  loadFound();
  window.type(L"typed but not submitted");

  form.exitClicked();

  EXPECT_TRUE(window.unloaded);
  EXPECT_TRUE(storage.calls.empty());
}

}  // namespace
