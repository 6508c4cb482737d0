// Windows-1252 exactly, as Windows converts it without best fit: the ANSI code page that the
// native tests and fuzzers save the key file in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "storage/SavableKey.h"

namespace testsupport {

// 0x80-0x9F; the five bytes that 1252 leaves unassigned map to the same C1 control code, as
// Windows maps them, so that every byte converts both ways. The other bytes are their own code.
inline constexpr std::wstring_view kHigh1252 =
    L"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160"
    L"\u2039\u0152\u008D\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022"
    L"\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";

inline std::optional<std::string> encode1252(std::wstring_view text) {
  std::string bytes;
  for (const wchar_t c : text) {
    const size_t high = kHigh1252.find(c);
    if (high == kHigh1252.npos && ((c >= 0x80 && c < 0xA0) || c > 0xFF)) return std::nullopt;
    bytes += static_cast<char>(high == kHigh1252.npos ? c : 0x80 + high);
  }
  return bytes;
}

inline std::wstring decode1252(std::string_view bytes) {
  std::wstring text;
  for (const unsigned char b : bytes) text += b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : b;
  return text;
}

inline constexpr storage::CodePage kCodePage1252{1252, encode1252};

}  // namespace testsupport
