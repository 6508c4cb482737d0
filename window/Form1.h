// The logic of the program's one window: what it shows at load, and what editing, "Update" and
// "Exit" do. It decides everything and leaves drawing to WindowOperations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "storage/KeyStorage.h"
#include "window/WindowOperations.h"

namespace window {

inline constexpr std::uint32_t kNotFoundColour = 0x002A00AC;
inline constexpr wchar_t kInstallSubKey[] = L"Software\\Quorvantis";
inline constexpr wchar_t kNotFoundMessage[] =
    L"Information about the current Access key can not be found.\r\n"
    L"Probably Quorvantis was not installed properly.\r\n"
    L"Please try to install program again.";
inline constexpr wchar_t kInstructions[] =
    L"If you have changed the Access key at your Quorvantis Account,\r\n"
    L"you should update it below as well.";
inline constexpr wchar_t kUnsavableKeyHeading[] =
    L"The Access key was not saved: the key file cannot hold it exactly as typed.";
inline constexpr wchar_t kUnsavableKeyAdvice[] =
    L"Type the key without these characters, then press Update again.";

class Form1 {
 public:
  Form1(WindowOperations& window, storage::KeyStorage& storage)
      : window_(window), storage_(storage) {}

  // Handlers. Errors from storage pass through them to the caller.
  void load();
  void text1Changed();
  void updateClicked();
  void exitClicked();

  // Writes the key file's line for `newAccessKey`.
  void saveNewAccessKey();

 private:
  std::wstring readCurrentAccessKey();

  WindowOperations& window_;
  storage::KeyStorage& storage_;
  std::wstring installPath_;
  std::optional<std::wstring> currentAccessKey_;
  std::wstring newAccessKey_;
};

}  // namespace window
