// Conversion at the program's outside boundaries (registry and key file), which hold text in the
// system's ANSI code page: CP_ACP on Windows, Windows-1252 where the platform has none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace storage {

// What the code page cannot hold becomes the system's default character or a look-alike.
std::string toAnsi(std::wstring_view text);
std::wstring fromAnsi(std::string_view bytes);

// The bytes only when the code page holds every character exactly, so that they convert back to
// the same text: no default character and no best-fit look-alike.
std::optional<std::string> toAnsiExactly(std::wstring_view text);

// The number of the ANSI code page, as Windows names it.
unsigned ansiCodePage();

}  // namespace storage
