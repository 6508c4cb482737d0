#include "storage/AnsiText.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace storage {

namespace {

int checkedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) throw std::length_error("text too long to convert");
  return static_cast<int>(size);
}

std::optional<std::string> toAnsiExactly(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int length = checkedLength(text.size());
  const UINT codePage = GetACP();
  // UTF-8 has no default character: it refuses lone surrogates instead, and takes no flag for it.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* const usedDefaultOut = utf8 ? nullptr : &usedDefault;
  const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr,
                                       usedDefaultOut);
  if (size == 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), size, nullptr,
                      usedDefaultOut);
  // A multi-byte code page can still map a character to bytes that read back as another one.
  if (usedDefault || fromAnsi(bytes) != text) return std::nullopt;
  return bytes;
}

}  // namespace

std::wstring fromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = checkedLength(bytes.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), size);
  return text;
}

CodePage systemCodePage() { return {GetACP(), toAnsiExactly}; }

}  // namespace storage
