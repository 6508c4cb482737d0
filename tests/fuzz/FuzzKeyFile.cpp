// Any bytes as a key file: the reader gives a key or one of its typed errors, whatever blocks the
// bytes arrive in, and the key is exactly what stands between the first line's double quotes.
// The same bytes as a typed key: a key that the writer accepts reads back exactly as typed, and
// a key that it refuses has each refused character in it. Any UTF-16 units read back from UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "storage/AnsiText.h"
#include "storage/KeyFile.h"
#include "storage/StorageError.h"
#include "storage/Utf8.h"

namespace {

constexpr wchar_t kKeyFilePath[] = L"C:\\fuzz\\quorvantis.ini";

void checkTypedKey(const std::wstring& key) {
  const std::vector<storage::UnsavableCharacter> refused = storage::unsavableCharacters(key);
  if (!refused.empty()) {
    for (const storage::UnsavableCharacter& c : refused) {
      if (key.find(c.character) == std::wstring::npos) std::abort();
    }
    if (storage::explainUnsavable(refused).empty()) std::abort();
    return;
  }
  const std::optional<std::string> bytes = storage::toAnsiExactly(key);
  if (!bytes) std::abort();
  const std::string line = storage::keyFileLine(*bytes);
  storage::AccessKeyScanner scanner;
  scanner.take(line);
  if (storage::scannedAccessKey(scanner, kKeyFilePath) != key) std::abort();
}

// Two bytes to a UTF-16 unit, so that characters beyond the code page, and lone surrogates, occur.
std::u16string utf16Units(std::string_view bytes) {
  std::u16string units;
  for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                          static_cast<unsigned char>(bytes[at + 1]) << 8));
  }
  return units;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> whole = storage::findAccessKey(file);

  storage::AccessKeyScanner scanner;
  const size_t step = size > 0 ? 1 + data[0] % 17 : 1;
  for (size_t at = 0; at < size && !scanner.take(file.substr(at, step)); at += step) {
  }
  if (scanner.key() != whole) std::abort();

  try {
    const std::wstring key = storage::scannedAccessKey(scanner, kKeyFilePath);
    // The stand-in code page maps every byte both ways.
    const std::string bytes = storage::toAnsiExactly(key).value();
    if (bytes != *whole) std::abort();
    if (bytes.find_first_of("\"\r\n") != std::string::npos) std::abort();
    const size_t open = file.find('"');
    if (file.compare(open + 1, bytes.size() + 1, bytes + '"') != 0) std::abort();
  } catch (const storage::StorageError& e) {
    const bool expected = e.kind() == storage::StorageFailure::EmptyKeyFile
                              ? size == 0
                              : e.kind() == storage::StorageFailure::NoKeyInFile && !whole;
    if (!expected) std::abort();
  }

  checkTypedKey(storage::fromAnsi(file));
  const std::u16string units = utf16Units(file);
  checkTypedKey(std::wstring(units.begin(), units.end()));
  // Any units, lone surrogates too, come back from UTF-8 as they were.
  if (storage::utf16FromUtf8(storage::toUtf8(units)) != units) std::abort();
  return 0;
}
