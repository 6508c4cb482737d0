// A function of a system library that the oldest supported Windows may lack.
#pragma once

#include <windows.h>

namespace win32 {

// Null where the library or the function is missing.
template <typename Function>
Function systemFunction(HMODULE library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace win32
