// Conversion at the key file, which holds its text in the system's ANSI code page. The registry
// is read as Unicode.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "storage/KeyLine.h"

namespace storage {

std::wstring fromAnsi(std::string_view bytes);

// The ANSI code page of this process. Its encoder gives the bytes only when the code page holds
// every character exactly, so that they convert back to the same text: no default character and
// no best-fit look-alike.
CodePage systemCodePage();

}  // namespace storage
