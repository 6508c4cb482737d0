// Explicit text colours that stay readable in any colour scheme: the design's colour where it can
// be read, the scheme's own text colour where it cannot.
#pragma once

#include <cstdint>

namespace window {

// What a label with the explicit colour `wanted` draws its text in on `background`: `wanted`,
// unless high contrast is on or `wanted` cannot be read there; then `schemeText`, the scheme's
// text colour for that background.
std::uint32_t readableTextColour(std::uint32_t wanted, std::uint32_t background,
                                 std::uint32_t schemeText, bool highContrast);

}  // namespace window
