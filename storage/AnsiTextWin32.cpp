#include <windows.h>

#include <climits>
#include <stdexcept>

#include "storage/AnsiText.h"

namespace storage {

namespace {

int checkedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) throw std::length_error("text too long to convert");
  return static_cast<int>(size);
}

}  // namespace

std::string toAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = checkedLength(text.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::wstring fromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = checkedLength(bytes.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), size);
  return text;
}

}  // namespace storage
