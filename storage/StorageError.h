// Typed failures of the registry lookup and the key file.
#pragma once

#include <stdexcept>
#include <string>

// what() is the message in UTF-8, which fromUtf8 reads back.
#include "storage/Utf8.h"

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

}  // namespace storage
