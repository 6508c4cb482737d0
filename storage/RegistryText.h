// The registry value's text, with no I/O, so that it runs natively in the unit tests and fuzzers.
#pragma once

#include <string>
#include <string_view>

namespace storage {

// A REG_SZ value's data as the registry gives it, UTF-16 little-endian: the text before the first
// NUL, or all of it when it has none. Half a character at the end is no text.
inline std::wstring registryText(std::string_view bytes) {
  std::wstring text;
  for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const auto unit = static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                           static_cast<unsigned char>(bytes[at + 1]) << 8);
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

}  // namespace storage
