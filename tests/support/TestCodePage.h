// Windows-1252 exactly, as Windows converts it without best fit: the ANSI code page that the
// native tests and fuzzers save the key file in.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "storage/KeyLine.h"

namespace testsupport {

// 0x80-0x9F; the five bytes that 1252 leaves unassigned map to the same C1 control code, as
// Windows maps them, so that every byte converts both ways.
inline constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

inline std::optional<std::string> encode1252(std::wstring_view text) {
  std::string bytes;
  for (const wchar_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      bytes += static_cast<char>(c);
      continue;
    }
    size_t i = 0;
    while (i < kHigh1252.size() && static_cast<wchar_t>(kHigh1252[i]) != c) ++i;
    if (i == kHigh1252.size()) return std::nullopt;
    bytes += static_cast<char>(0x80 + i);
  }
  return bytes;
}

inline std::wstring decode1252(std::string_view bytes) {
  std::wstring text;
  for (const char b : bytes) {
    const auto u = static_cast<unsigned char>(b);
    text += u >= 0x80 && u < 0xA0 ? static_cast<wchar_t>(kHigh1252[u - 0x80]) : wchar_t(u);
  }
  return text;
}

inline constexpr storage::CodePage kCodePage1252{1252, encode1252};

}  // namespace testsupport
