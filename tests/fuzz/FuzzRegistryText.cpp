// Any bytes as a REG_SZ value's data: the text is every whole UTF-16 unit before the first NUL,
// holds no NUL, and comes without reading past the data, which libFuzzer hands over in a heap
// block of exactly its size.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "storage/RegistryText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::wstring text =
      storage::registryText(std::string_view(reinterpret_cast<const char*>(data), size));

  std::wstring expected;
  for (size_t unit = 0; unit < size / 2; ++unit) {
    const unsigned low = data[2 * unit], high = data[2 * unit + 1];
    if (low == 0 && high == 0) break;
    expected.push_back(static_cast<wchar_t>(high * 256 + low));
  }
  if (text != expected || text.find(L'\0') != std::wstring::npos) std::abort();
  return 0;
}
