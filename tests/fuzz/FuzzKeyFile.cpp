// Any bytes as a key file: the reader gives the same key whatever blocks the bytes arrive in, and
// the key is exactly what stands between the first line's double quotes. The same bytes as a
// typed key: a key that the line can carry reads back exactly as typed, and a key that it cannot
// has each refused character in it. Any UTF-16 units read back from UTF-8.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/KeyFileFormat.h"
#include "storage/SavableKey.h"
#include "tests/support/TestCodePage.h"

namespace {

using testsupport::kCodePage1252;

void checkTypedKey(const std::wstring& key) {
  const std::vector<storage::UnsavableCharacter> refused =
      storage::unsavableCharacters(key, kCodePage1252);
  if (!refused.empty()) {
    for (const storage::UnsavableCharacter& c : refused) {
      if (key.find(c.character) == std::wstring::npos) std::abort();
    }
    if (storage::explainUnsavable(refused, kCodePage1252.number).empty()) std::abort();
    return;
  }
  const std::optional<std::string> bytes = kCodePage1252.encodeExactly(key);
  if (!bytes) std::abort();
  const std::optional<std::string> read = storage::findAccessKey(storage::keyFileLine(*bytes));
  if (!read || testsupport::decode1252(*read) != key) std::abort();
}

// What stands between the first line's first two double quotes, found without the reader: none
// where the line's first character after its blanks is the first double quote.
std::optional<std::string> keyOfFirstLine(std::string_view file) {
  const std::string_view line = file.substr(0, file.find_first_of("\r\n"));
  const size_t open = line.find('"');
  const size_t close = line.find('"', open + 1);
  if (close == std::string_view::npos || line.find_first_not_of(' ') == open) return std::nullopt;
  return std::string(line.substr(open + 1, close - open - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> whole = storage::findAccessKey(file);

  storage::AccessKeyScanner scanner;
  const size_t step = size > 0 ? 1 + data[0] % 17 : 1;
  for (size_t at = 0; at < size && !scanner.take(file.substr(at, step)); at += step) {
  }
  if (scanner.key() != whole || scanner.sawBytes() != (size > 0)) std::abort();

  if (whole != keyOfFirstLine(file)) std::abort();
  if (whole && storage::findAccessKey(storage::keyFileLine(*whole)) != whole) std::abort();

  checkTypedKey(testsupport::decode1252(file));
  // Two bytes to a UTF-16 unit: characters beyond the code page, and lone surrogates, occur.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, 2 * units.size());
  checkTypedKey(std::wstring(units.begin(), units.end()));
  return 0;
}
