#include "storage/Utf8.h"

namespace storage {

namespace {

// wchar_t is UTF-16 on Windows, as char16_t is everywhere; natively it holds whole code points.
template <class Unit>
constexpr bool kUtf16 = sizeof(Unit) == 2;

template <class Unit>
CodePoint codePointIn(std::basic_string_view<Unit> text, size_t at) {
  const char32_t c = static_cast<char32_t>(text[at]);
  if (kUtf16<Unit> && c >= 0xD800 && c < 0xDC00 && at + 1 < text.size()) {
    const char32_t low = static_cast<char32_t>(text[at + 1]);
    if (low >= 0xDC00 && low < 0xE000) return {0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), 2};
  }
  return {c, 1};
}

template <class Unit>
std::string utf8Of(std::basic_string_view<Unit> text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto [c, units] = codePointIn(text, i);
    i += units;
    // The lead byte starts with a one for each byte of the character, each byte after it with 10.
    const int after = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(after == 0 ? c : (0xFF << (7 - after) | c >> 6 * after) & 0xFF);
    for (int k = after - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> 6 * k) & 0x3F));
  }
  return out;
}

template <class Text>
Text textOfUtf8(std::string_view bytes) {
  using Unit = typename Text::value_type;
  Text text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const size_t length = lead < 0x80    ? 1
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC0 ? 2
                                         : 0;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    bool whole = length > 0 && i + length <= bytes.size();
    for (size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      whole = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!whole || c > 0x10FFFF) {
      text += static_cast<Unit>(0xFFFD);
      ++i;
      continue;
    }
    i += length;
    if (kUtf16<Unit> && c >= 0x10000) {
      text += static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10));
      text += static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      text += static_cast<Unit>(c);
    }
  }
  return text;
}

}  // namespace

CodePoint codePointAt(std::wstring_view text, size_t at) { return codePointIn(text, at); }

std::string toUtf8(std::wstring_view text) { return utf8Of(text); }
std::string toUtf8(std::u16string_view text) { return utf8Of(text); }

std::wstring fromUtf8(std::string_view bytes) { return textOfUtf8<std::wstring>(bytes); }
std::u16string utf16FromUtf8(std::string_view bytes) { return textOfUtf8<std::u16string>(bytes); }

}  // namespace storage
