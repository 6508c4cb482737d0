// What the window needs from storage: the installation directory and the key file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "storage/FileOperations.h"
#include "storage/Registry.h"

namespace storage {

class KeyStorage {
 public:
  virtual ~KeyStorage() = default;
  virtual std::optional<std::wstring> readRegistryString(RegistryRoot root,
                                                         std::wstring_view subKey,
                                                         std::wstring_view valueName) = 0;
  virtual std::wstring readCurrentAccessKey(const std::wstring& installPath) = 0;
  virtual void saveNewAccessKey(const std::wstring& installPath,
                                const std::wstring& newAccessKey) = 0;
};

// The registry and the key file on disk.
class InstalledKeyStorage final : public KeyStorage {
 public:
  InstalledKeyStorage(RegistryApi& registry, FileOperations& files)
      : registry_(registry), files_(files) {}
  std::optional<std::wstring> readRegistryString(RegistryRoot root, std::wstring_view subKey,
                                                 std::wstring_view valueName) override;
  std::wstring readCurrentAccessKey(const std::wstring& installPath) override;
  void saveNewAccessKey(const std::wstring& installPath, const std::wstring& newAccessKey) override;

 private:
  RegistryApi& registry_;
  FileOperations& files_;
};

}  // namespace storage
