// Every text that the program shows, in one place: the window's, the refusal of a key, and the
// words that the program adds to the system's reasons for a failure.
#pragma once

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

// A typed key that the key file's line cannot carry exactly.
inline constexpr wchar_t kUnsavableHeading[] =
    L"The Access key was not saved: the key file cannot hold it exactly as typed.";
inline constexpr wchar_t kUnsavableAdvice[] =
    L"Type the key without these characters, then press Update again.";
inline constexpr wchar_t kQuoteNamed[] = L"\" (double quote)";
inline constexpr wchar_t kBackslashNamed[] = L"\\ (backslash)";
inline constexpr wchar_t kAnd[] = L" and ";
inline constexpr wchar_t kPartOfScript[] =
    L": the extension would take it as part of its script, and read a different key or none at "
    L"all.";
inline constexpr wchar_t kLineBreak[] =
    L"A line break: the key file holds the key on one line, which it would split.";
// Before the code page's number, and after it.
inline constexpr wchar_t kNotInCodePage[] = L": this computer saves the key file in code page ";
inline constexpr wchar_t kNotInCodePageEnd[] =
    L", which has no such characters, so others would be saved in their place.";
// Before the code page's number, and after it, before kPartOfScript.
inline constexpr wchar_t kScriptByte[] = L": this computer saves the key file in code page ";
inline constexpr wchar_t kScriptByteEnd[] =
    L", in which these characters hold the byte of a double quote or a backslash";
// After the twelfth character named, before the number of the others.
inline constexpr wchar_t kMoreCharacters[] = L" more";

// Failures: what failed, then the file and the reason.
inline constexpr wchar_t kReadFailed[] = L"The Access key could not be read.";
inline constexpr wchar_t kWriteFailed[] = L"The Access key could not be saved.";
inline constexpr wchar_t kFileLabel[] = L"File: ";
inline constexpr wchar_t kReasonLabel[] = L"Reason: ";
inline constexpr wchar_t kEmptyFile[] = L"The file is empty.";
inline constexpr wchar_t kNoKeyInFile[] =
    L"Its first line holds no Access key between two double quotes.";
inline constexpr wchar_t kIsFolder[] = L" It is a folder.";
inline constexpr wchar_t kIsReadOnly[] = L" The file is read-only.";
inline constexpr wchar_t kMayBeIncomplete[] = L"The key file may now be incomplete.";
// Before and after the path of the file that holds the new line, where a save gave up the key
// file's name, or may have.
inline constexpr wchar_t kKeyFileGone[] = L"The key file is no longer there. Its new line is in \"";
inline constexpr wchar_t kKeyFileGoneEnd[] =
    L"\", which takes the key file's name when the program next starts.";
inline constexpr wchar_t kSaveUnfinished[] =
    L"The save could not be finished. Its new line is in \"";
inline constexpr wchar_t kSaveUnfinishedEnd[] = L"\", and the key file may still hold the old key.";
// Why a program running as administrator does not write the file behind the key file's path.
inline constexpr wchar_t kLinkedElsewhere[] =
    L" The key file, or a folder on its way from the installation folder, is a link to another "
    L"place, which the program does not follow while it runs as administrator. Put the real folder "
    L"or file in the link's place, or run the program without administrator rights.";
inline constexpr wchar_t kSecondName[] =
    L" The key file has a second name (a hard link), through which a save would change another "
    L"file, which the program does not do while it runs as administrator. Remove the other name, "
    L"or run the program without administrator rights.";
inline constexpr wchar_t kOldKeyWas[] = L" The Access key it held before was \"";
inline constexpr wchar_t kOldKeyWasEnd[] = L"\".";
// Before the system's number for an error that it has no words for.
inline constexpr wchar_t kSystemError[] = L"System error ";
inline constexpr wchar_t kUnexpectedError[] = L"An unexpected error occurred.";

}  // namespace texts
