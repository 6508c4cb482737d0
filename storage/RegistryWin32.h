// The registry lookup's calls on the Windows registry.
#pragma once

#include "storage/Registry.h"

namespace storage {

class Win32Registry : public RegistryApi {
 public:
  long openKey(RegistryRoot root, const std::wstring& subKey, Key* key) override;
  long queryValue(Key key, const std::wstring& valueName, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override;
  void closeKey(Key key) override;
};

}  // namespace storage
