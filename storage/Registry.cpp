#include "storage/Registry.h"

#include "storage/RegistryText.h"
#include "win32/ScopedHandle.h"

namespace storage {

std::optional<std::wstring> readRegistryString(HKEY root, const std::wstring& subKey,
                                               const std::wstring& valueName) {
  // A failed open leaves no key, so the queries below fail and decide for it.
  win32::ScopedKey key;
  RegOpenKeyW(root, subKey.c_str(), key.put());
  DWORD type = 0;
  DWORD size = 0;
  RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
  if (type != REG_SZ) return std::nullopt;
  std::string data(size, '\0');
  if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(size);
  return registryText(data);
}

}  // namespace storage
