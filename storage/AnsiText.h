// Conversion at the program's outside boundaries (registry and key file), which hold text in the
// system's ANSI code page: CP_ACP on Windows, Windows-1252 where the platform has none.
#pragma once

#include <string>
#include <string_view>

namespace storage {

std::string toAnsi(std::wstring_view text);
std::wstring fromAnsi(std::string_view bytes);

}  // namespace storage
