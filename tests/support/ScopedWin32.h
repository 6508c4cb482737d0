// Owners of the Win32 handles that only the tests open: files they check the key file with, and
// registry keys they set up.
#pragma once

#include <windows.h>

#include "base/Unique.h"

namespace win32 {

struct FileTraits {
  using Handle = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { CloseHandle(h); }
};
struct KeyTraits {
  using Handle = HKEY;
  static HKEY invalid() { return nullptr; }
  static void close(HKEY h) { RegCloseKey(h); }
};

using ScopedFile = base::Unique<FileTraits>;
using ScopedKey = base::Unique<KeyTraits>;

}  // namespace win32
