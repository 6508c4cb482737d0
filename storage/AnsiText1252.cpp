// Windows-1252 stands in for the ANSI code page on platforms that have none.
#include <array>
#include <optional>

#include "storage/AnsiText.h"

namespace storage {

namespace {

// 0x80-0x9F; the five bytes that 1252 leaves unassigned map to the same C1 control code, as
// Windows maps them.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<char> byteFor(wchar_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == static_cast<char32_t>(c)) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

}  // namespace

// The table maps both ways, so every byte it gives converts back to its character.
std::optional<std::string> toAnsiExactly(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (wchar_t c : text) {
    const std::optional<char> byte = byteFor(c);
    if (!byte) return std::nullopt;
    bytes += *byte;
  }
  return bytes;
}

unsigned ansiCodePage() { return 1252; }

std::wstring fromAnsi(std::string_view bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  for (char b : bytes) {
    const auto u = static_cast<unsigned char>(b);
    text += (u >= 0x80 && u < 0xA0) ? static_cast<wchar_t>(kHighControls[u - 0x80])
                                    : static_cast<wchar_t>(u);
  }
  return text;
}

}  // namespace storage
