// Unicode text between the program's wide strings, UTF-16 and UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace storage {

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
