// Conversion at the key file, which holds its text in the system's ANSI code page: CP_ACP on
// Windows, Windows-1252 where the platform has none. The registry is read as Unicode.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace storage {

std::wstring fromAnsi(std::string_view bytes);

// The bytes only when the code page holds every character exactly, so that they convert back to
// the same text: no default character and no best-fit look-alike.
std::optional<std::string> toAnsiExactly(std::wstring_view text);

// The number of the ANSI code page, as Windows names it.
unsigned ansiCodePage();

}  // namespace storage
