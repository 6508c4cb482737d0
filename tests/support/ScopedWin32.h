// The owner of the registry keys that only the tests open, to set up the values they read.
#pragma once

#include <windows.h>

#include "base/Unique.h"

namespace win32 {

struct KeyTraits {
  using Handle = HKEY;
  static HKEY invalid() { return nullptr; }
  static void close(HKEY h) { RegCloseKey(h); }
};

using ScopedKey = base::Unique<KeyTraits>;

}  // namespace win32
