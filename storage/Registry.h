// Reading one string value from the registry through its Unicode interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace storage {

enum class RegistryRoot { CurrentUser };

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr long kRegSuccess = 0;

// The two registry calls the lookup makes, in the shape of RegOpenKeyW and RegQueryValueExW,
// so that the lookup can run over a fake. A string value's data is UTF-16, little-endian.
class RegistryApi {
 public:
  using Key = std::uintptr_t;  // 0 means no key

  virtual ~RegistryApi() = default;
  virtual long openKey(RegistryRoot root, const std::wstring& subKey, Key* key) = 0;
  // `data` is null for the size query; `size` counts bytes.
  virtual long queryValue(Key key, const std::wstring& valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) = 0;
  virtual void closeKey(Key key) = 0;
};

// The REG_SZ value's text, or nothing when the key or value is missing, of another type, or
// cannot be read. Registry failures are never errors here.
std::optional<std::wstring> readRegistryString(RegistryApi& registry, RegistryRoot root,
                                               std::wstring_view subKey,
                                               std::wstring_view valueName);

}  // namespace storage
