// Any bytes as a registry value of any type: the lookup gives nothing or the text before the
// first NUL, and never reads past the data it was given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "storage/AnsiText.h"
#include "storage/Registry.h"

namespace {

// One value whose type is the input's first byte and whose data is the rest.
class OneValue : public storage::RegistryApi {
 public:
  OneValue(std::uint32_t type, std::string data) : type_(type), data_(std::move(data)) {}
  long openKey(storage::RegistryRoot, const std::string&, Key* key) override {
    *key = 1;
    return 0;
  }
  long queryValue(Key, const std::string&, std::uint32_t* type, char* data,
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string value(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::uint32_t type = data[0] % 8;

  const std::wstring text = storage::registryBufferText(value);
  if (storage::toAnsi(text) != value.substr(0, value.find('\0'))) std::abort();

  OneValue registry(type, value);
  const auto result =
      storage::readRegistryString(registry, storage::RegistryRoot::CurrentUser, L"Software", L"");
  if (result.has_value() != (type == storage::kRegSz)) std::abort();
  if (result && *result != text) std::abort();
  return 0;
}
