// A function of a system library that the oldest supported Windows may lack.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// Null where the library or the function is missing.
template <typename Function>
Function systemFunction(HMODULE library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// A library of System32, loaded by its full path: LOAD_LIBRARY_SEARCH_SYSTEM32 would do the same,
// but Windows 7 without update KB2533623 refuses the flag. Null where it cannot be loaded.
inline HMODULE systemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryW((std::wstring(folder, length) + L'\\' + name).c_str());
}

}  // namespace win32
