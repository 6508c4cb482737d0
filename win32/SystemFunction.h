// A function of a system library that the oldest supported Windows may lack.
#pragma once

#include <windows.h>

#include <cwchar>

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
  wchar_t path[MAX_PATH];
  const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
  const size_t length = wcslen(name);
  if (folder == 0 || folder + 1 + length >= MAX_PATH) return nullptr;
  path[folder] = L'\\';
  wmemcpy(path + folder + 1, name, length + 1);
  return LoadLibraryW(path);
}

}  // namespace win32
