// Any bytes as a key file: the reader gives a key or one of its typed errors, whatever blocks the
// bytes arrive in, and the key is exactly what stands between the first line's double quotes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "storage/AnsiText.h"
#include "storage/KeyFile.h"
#include "storage/StorageError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> whole = storage::findAccessKey(file);

  storage::AccessKeyScanner scanner;
  const size_t step = size > 0 ? 1 + data[0] % 17 : 1;
  for (size_t at = 0; at < size && !scanner.take(file.substr(at, step)); at += step) {
  }
  if (scanner.key() != whole) std::abort();

  try {
    const std::wstring key = storage::scannedAccessKey(scanner, L"C:\\fuzz\\quorvantis.ini");
    const std::string bytes = storage::toAnsi(key);
    if (bytes != *whole) std::abort();  // the stand-in code page maps every byte both ways
    if (bytes.find_first_of("\"\r\n") != std::string::npos) std::abort();
    const size_t open = file.find('"');
    if (file.compare(open + 1, bytes.size() + 1, bytes + '"') != 0) std::abort();
  } catch (const storage::StorageError& e) {
    const bool expected = e.kind() == storage::StorageFailure::EmptyKeyFile
                              ? size == 0
                              : e.kind() == storage::StorageFailure::NoKeyInFile && !whole;
    if (!expected) std::abort();
  }
  return 0;
}
