// Every text that the program shows, in one place: the window's, the refusal of a key, and the
// words that the program adds to the system's reasons for a failure.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace texts {

// The window.
inline constexpr wchar_t kWindowTitle[] = L"Quorvantis - Update Access key";
inline constexpr wchar_t kCurrentKeyHeading[] = L"Your current Access key:";
inline constexpr wchar_t kKeyPlaceholder[] = L"Temp value";
inline constexpr wchar_t kNewKeyHeading[] = L"Enter a new Access key:";
inline constexpr wchar_t kUpdated[] = L"The Access key has been updated. Now you can exit.";
inline constexpr wchar_t kUpdate[] = L"Update";
inline constexpr wchar_t kExit[] = L"Exit";
// Never drawn: the logo's name for screen readers.
inline constexpr wchar_t kLogoName[] = L"Quorvantis";
inline constexpr wchar_t kNotFound[] =
    L"Information about the current Access key can not be found.\r\n"
    L"Probably Quorvantis was not installed properly.\r\n"
    L"Please try to install program again.";
inline constexpr wchar_t kInstructions[] =
    L"If you have changed the Access key at your Quorvantis Account,\r\n"
    L"you should update it below as well.";

// The text with each of %1 to %9 replaced by the value of that number, as a string table's
// messages are filled in.
inline std::wstring fill(std::wstring_view text, std::initializer_list<std::wstring_view> values) {
  std::wstring filled;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t n = text[i] == L'%' && i + 1 < text.size() ? text[i + 1] - L'1' : values.size();
    if (n < values.size()) {
      filled += values.begin()[n];
      ++i;
    } else {
      filled += text[i];
    }
  }
  return filled;
}

// A typed key that the key file's line cannot carry exactly: %1 is a line for each reason below.
inline constexpr wchar_t kUnsavable[] =
    L"The Access key was not saved: the key file cannot hold it exactly as typed.\r\n\r\n%1\r\n\r\n"
    L"Type the key without these characters, then press Update again.";
// %1 names the characters, as kNamed and kAnd make the list.
inline constexpr wchar_t kPartOfScript[] =
    L"%1: the extension would take it as part of its script, and read a different key or none at "
    L"all.";
inline constexpr wchar_t kLineBreak[] =
    L"A line break: the key file holds the key on one line, which it would split.";
// %2 is the code page's number.
inline constexpr wchar_t kNotInCodePage[] =
    L"%1: this computer saves the key file in code page %2, which has no such characters, so "
    L"others would be saved in their place.";
inline constexpr wchar_t kScriptByte[] =
    L"%1: this computer saves the key file in code page %2, in which these characters hold the "
    L"byte "
    L"of a double quote or a backslash: the extension would take it as part of its script, and "
    L"read a different key or none at all.";
inline constexpr wchar_t kQuoteNamed[] = L"\" (double quote)";
inline constexpr wchar_t kBackslashNamed[] = L"\\ (backslash)";
// A character and its code point, and how a list of them is joined and cut short.
inline constexpr wchar_t kNamed[] = L"%1 (U+%2)";
inline constexpr wchar_t kAnd[] = L"%1 and %2";
inline constexpr wchar_t kAndMore[] = L"%1 and %2 more";

// Failures: what failed (%1), the file (%2) and the reason (%3).
inline constexpr wchar_t kFailure[] = L"%1\r\n\r\nFile: %2\r\nReason: %3";
inline constexpr wchar_t kReadFailed[] = L"The Access key could not be read.";
inline constexpr wchar_t kWriteFailed[] = L"The Access key could not be saved.";
inline constexpr wchar_t kEmptyFile[] = L"The file is empty.";
inline constexpr wchar_t kNoKeyInFile[] =
    L"Its first line holds no Access key between two double quotes.";
// After the system's words for access denied.
inline constexpr wchar_t kIsFolder[] = L"%1 It is a folder.";
inline constexpr wchar_t kIsReadOnly[] = L"%1 The file is read-only.";
// Why a program running as administrator does not write the file behind the key file's path.
inline constexpr wchar_t kLinkedElsewhere[] =
    L"%1 The key file, or a folder on its way from the installation folder, is a link to another "
    L"place, which the program does not follow while it runs as administrator. Put the real folder "
    L"or file in the link's place, or run the program without administrator rights.";
inline constexpr wchar_t kSecondName[] =
    L"%1 The key file has a second name (a hard link), through which a save would change another "
    L"file, which the program does not do while it runs as administrator. Remove the other name, "
    L"or run the program without administrator rights.";
// A save that could not be undone or finished: %1 is the file that holds the new line, or the
// system's reason.
inline constexpr wchar_t kMayBeIncomplete[] = L"%1\r\nThe key file may now be incomplete.";
inline constexpr wchar_t kKeyFileGone[] =
    L"The key file is no longer there. Its new line is in \"%1\", which takes the key file's name "
    L"when the program next starts.";
inline constexpr wchar_t kSaveUnfinished[] =
    L"The save could not be finished. Its new line is in \"%1\", and the key file may still hold "
    L"the old key.";
// After any of the three: the key that the file held.
inline constexpr wchar_t kOldKeyWas[] = L"%1 The Access key it held before was \"%2\".";
// An error that the system has no words for, by its number.
inline constexpr wchar_t kSystemError[] = L"System error %1.";
inline constexpr wchar_t kUnexpectedError[] = L"An unexpected error occurred.";

}  // namespace texts
