// Reading one string value from the registry through its ANSI interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace storage {

enum class RegistryRoot { CurrentUser };

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr long kRegSuccess = 0;

// The two registry calls the lookup makes, in the shape of RegOpenKeyA and RegQueryValueExA,
// so that the lookup can run over a fake.
class RegistryApi {
 public:
  using Key = std::uintptr_t;  // 0 means no key

  virtual ~RegistryApi() = default;
  virtual long openKey(RegistryRoot root, const std::string& subKey, Key* key) = 0;
  // `data` is null for the size query.
  virtual long queryValue(Key key, const std::string& valueName, std::uint32_t* type, char* data,
                          std::uint32_t* size) = 0;
  virtual void closeKey(Key key) = 0;
};

// The REG_SZ value's text, or nothing when the key or value is missing, of another type, or
// cannot be read. Registry failures are never errors here.
std::optional<std::wstring> readRegistryString(RegistryApi& registry, RegistryRoot root,
                                               std::wstring_view subKey,
                                               std::wstring_view valueName);

// A string value's data as text: everything before the first NUL, or all of it when it has none.
std::wstring registryBufferText(std::string_view buffer);

}  // namespace storage
