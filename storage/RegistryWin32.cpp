#include "storage/RegistryWin32.h"

#include <windows.h>

namespace storage {

namespace {

HKEY toHkey(RegistryApi::Key key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

long Win32Registry::openKey(RegistryRoot root, const std::wstring& subKey, Key* key) {
  HKEY rootKey = HKEY_CURRENT_USER;
  switch (root) {
    case RegistryRoot::CurrentUser:
      rootKey = HKEY_CURRENT_USER;
      break;
  }
  HKEY opened = nullptr;
  const LONG status = RegOpenKeyW(rootKey, subKey.c_str(), &opened);
  if (status == ERROR_SUCCESS) *key = reinterpret_cast<Key>(opened);
  return status;
}

long Win32Registry::queryValue(Key key, const std::wstring& valueName, std::uint32_t* type,
                               std::uint8_t* data, std::uint32_t* size) {
  DWORD valueType = *type;
  DWORD dataSize = *size;
  const LONG status =
      RegQueryValueExW(toHkey(key), valueName.c_str(), nullptr, &valueType, data, &dataSize);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    *type = valueType;
    *size = dataSize;
  }
  return status;
}

void Win32Registry::closeKey(Key key) { RegCloseKey(toHkey(key)); }

}  // namespace storage
