#include "window/Form1.h"

#include "storage/KeyFile.h"

namespace window {

void Form1::load() {
  installPath_ =
      storage_.readRegistryString(storage::RegistryRoot::CurrentUser, kInstallSubKey, L"")
          .value_or(std::wstring());
  if (installPath_.empty()) {
    window_.setVisible(Control::Label1, false);
    window_.setVisible(Control::Label2, false);
    window_.setVisible(Control::Label3, false);
    window_.setVisible(Control::Text1, false);
    window_.setVisible(Control::Command_Update, false);
    window_.setTextColour(Control::Label4, kNotFoundColour);
    window_.setText(Control::Label4, kNotFoundMessage);
  } else {
    window_.setText(Control::Label2, readCurrentAccessKey());
    window_.setEnabled(Control::Command_Update, false);
    window_.setText(Control::Label4, kInstructions);
  }
  window_.showWindow();
  window_.focusWindow();
  // The message is all that this window has to say, and nothing has the focus that would say it.
  if (installPath_.empty()) window_.announce(Control::Label4, Announcement::Assertive);
}

void Form1::text1Changed() {
  window_.setVisible(Control::Label5, false);
  window_.setEnabled(Control::Command_Update, !window_.text(Control::Text1).empty());
}

void Form1::updateClicked() {
  std::wstring typed = window_.text(Control::Text1);
  // A key that the extension would read otherwise than typed is refused before anything is
  // touched, so the user never sees a confirmation for a key that was not saved.
  const std::vector<storage::UnsavableCharacter> unsavable = storage::unsavableCharacters(typed);
  if (!unsavable.empty()) {
    window_.tellUser(std::wstring(kUnsavableKeyHeading) + L"\r\n\r\n" +
                     storage::explainUnsavable(unsavable) + L"\r\n\r\n" + kUnsavableKeyAdvice);
    return;
  }
  newAccessKey_ = std::move(typed);
  saveNewAccessKey();
  window_.setText(Control::Label2, readCurrentAccessKey());
  window_.setText(Control::Text1, L"");
  newAccessKey_.clear();
  window_.setVisible(Control::Label5, true);
  window_.focus(Control::Command_Exit);
  // The focus speaks for "Exit"; the confirmation follows it.
  window_.announce(Control::Label5, Announcement::Polite);
}

void Form1::exitClicked() { window_.unload(); }

void Form1::saveNewAccessKey() { storage_.saveNewAccessKey(installPath_, newAccessKey_); }

std::wstring Form1::readCurrentAccessKey() {
  currentAccessKey_ = storage_.readCurrentAccessKey(installPath_);
  return *currentAccessKey_;
}

}  // namespace window
