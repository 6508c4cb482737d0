#include "storage/KeyStorage.h"

#include "storage/KeyFile.h"

namespace storage {

std::optional<std::wstring> InstalledKeyStorage::readRegistryString(RegistryRoot root,
                                                                    std::wstring_view subKey,
                                                                    std::wstring_view valueName) {
  return storage::readRegistryString(registry_, root, subKey, valueName);
}

std::wstring InstalledKeyStorage::readCurrentAccessKey(const std::wstring& installPath) {
  return storage::readCurrentAccessKey(files_, installPath);
}

void InstalledKeyStorage::saveNewAccessKey(const std::wstring& installPath,
                                           const std::wstring& newAccessKey) {
  storage::saveNewAccessKey(files_, installPath, newAccessKey);
}

}  // namespace storage
