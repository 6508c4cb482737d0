// The registry lookup's calls on the Windows registry.
#pragma once

#include "storage/Registry.h"

namespace storage {

class Win32Registry : public RegistryApi {
 public:
  long openKey(RegistryRoot root, const std::string& subKey, Key* key) override;
  long queryValue(Key key, const std::string& valueName, std::uint32_t* type, char* data,
                  std::uint32_t* size) override;
  void closeKey(Key key) override;
};

}  // namespace storage
