// Typed failures of the key file: what failed, on which path, and why.
#pragma once

#include <stdexcept>
#include <string>

namespace storage {

enum class StorageFailure {
  FileNotFound,
  PathNotFound,
  EmptyKeyFile,
  NoKeyInFile,
  AccessDenied,
  // The key file's line cannot carry the typed key exactly; the reason names the characters.
  UnsavableKey,
  SystemError,
};

// A failure that a person can act on. what() is the message in UTF-8.
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

}  // namespace storage
