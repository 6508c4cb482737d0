// Reading one string value from the registry through its Unicode interface.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace storage {

// The REG_SZ value's text up to its first NUL, or nothing when the key or value is missing, of
// another type, or cannot be read. Registry failures are never errors here.
std::optional<std::wstring> readRegistryString(HKEY root, const std::wstring& subKey,
                                               const std::wstring& valueName);

}  // namespace storage
