// A failure of the key file that a person can act on: what failed, on which file, and why.
#pragma once

#include <exception>
#include <string>

namespace storage {

class StorageError : public std::exception {
 public:
  // Whether the save refused the typed key before touching anything, so that the user may type
  // another; every other failure ends what the program was doing.
  enum class Kind { Failure, RefusedKey };

  StorageError(const wchar_t* whatFailed, std::wstring path, std::wstring reason,
               Kind kind = Kind::Failure);

  Kind kind() const { return kind_; }
  const std::wstring& path() const { return path_; }
  const std::wstring& reason() const { return reason_; }
  // The full text for the user, several lines.
  const std::wstring& message() const { return message_; }
  const char* what() const noexcept override { return "key file failure"; }

 private:
  Kind kind_;
  std::wstring path_;
  std::wstring reason_;
  std::wstring message_;
};

}  // namespace storage
