// Explicit text colours that stay readable in any colour scheme: the design's colour where it can
// be read, the scheme's own text colour where it cannot.
#pragma once

#include <cstdint>

namespace window {

// Text needs this contrast against its background to be read (WCAG 2, normal-size text).
inline constexpr double kMinimumTextContrast = 4.5;

// The contrast ratio of two 0x00BBGGRR colours by WCAG 2's relative luminance: 1 to 21.
double contrastRatio(std::uint32_t first, std::uint32_t second);

// What a label with the explicit colour `wanted` draws its text in on `background`: `wanted`,
// unless high contrast is on or `wanted` cannot be read there; then `schemeText`, the scheme's
// text colour for that background.
std::uint32_t readableTextColour(std::uint32_t wanted, std::uint32_t background,
                                 std::uint32_t schemeText, bool highContrast);

}  // namespace window
