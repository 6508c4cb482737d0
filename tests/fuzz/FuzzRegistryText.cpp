// Any bytes as a registry value of any type: the lookup gives nothing or the UTF-16 text before
// the first NUL, and never reads or writes past the data it was given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "storage/Registry.h"

namespace {

// One value whose type is the input's first byte and whose data is the rest.
class OneValue : public storage::RegistryApi {
 public:
  OneValue(std::uint32_t type, std::string data) : type_(type), data_(std::move(data)) {}
  long openKey(storage::RegistryRoot, const std::wstring&, Key* key) override {
    *key = 1;
    return 0;
  }
  long queryValue(Key, const std::wstring&, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    *type = type_;
    if (data == nullptr) {
      *size = static_cast<std::uint32_t>(data_.size());
      return 0;
    }
    if (*size < data_.size()) return 234;
    std::memcpy(data, data_.data(), data_.size());
    *size = static_cast<std::uint32_t>(data_.size());
    return 0;
  }
  void closeKey(Key) override {}

 private:
  std::uint32_t type_;
  std::string data_;
};

// The whole UTF-16 units of `bytes`, read without the lookup's own code, up to the first NUL.
std::wstring unitsBeforeNul(const std::string& bytes) {
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<wchar_t>(static_cast<std::uint8_t>(bytes[i]) |
                                           static_cast<std::uint8_t>(bytes[i + 1]) << 8);
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string value(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::uint32_t type = data[0] % 8;

  OneValue registry(type, value);
  const auto result =
      storage::readRegistryString(registry, storage::RegistryRoot::CurrentUser, L"Software", L"");
  if (result.has_value() != (type == storage::kRegSz)) std::abort();
  if (result && *result != unitsBeforeNul(value)) std::abort();
  return 0;
}
