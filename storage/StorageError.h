// Typed failures of the registry lookup and the key file.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace storage {

enum class StorageFailure {
  FileNotFound,
  PathNotFound,
  EmptyKeyFile,
  NoKeyInFile,
  AccessDenied,
  UnsavableKey,
  SystemError,
};

// A failure that a person can act on: what failed, on which path, and why.
class StorageError : public std::runtime_error {
 public:
  StorageError(StorageFailure kind, std::wstring whatFailed, std::wstring path,
               std::wstring reason);

  StorageFailure kind() const { return kind_; }
  const std::wstring& path() const { return path_; }
  const std::wstring& reason() const { return reason_; }
  // The full text for the user, several lines.
  const std::wstring& message() const { return message_; }

 private:
  StorageFailure kind_;
  std::wstring path_;
  std::wstring reason_;
  std::wstring message_;
};

inline constexpr wchar_t kReadFailed[] = L"The Access key could not be read.";
inline constexpr wchar_t kWriteFailed[] = L"The Access key could not be saved.";

// The system's description of one of its error codes (GetLastError or errno).
std::wstring systemErrorText(unsigned long code);

// UTF-8 for logs and std::exception::what(), and back; a byte that starts no character becomes
// U+FFFD.
std::string toUtf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view bytes);

// The same over UTF-16 code units, which wchar_t text is on Windows: a surrogate pair is one
// character, a lone surrogate stands for itself.
std::string toUtf8(std::u16string_view text);
std::u16string utf16FromUtf8(std::string_view bytes);

// The character that starts at `at`, and how many units of `text` it takes.
struct CodePoint {
  char32_t value;
  size_t units;
};
CodePoint codePointAt(std::wstring_view text, size_t at);

}  // namespace storage
