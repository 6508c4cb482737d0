#include "window/ReadableColour.h"

#include <cmath>

namespace window {

namespace {

double linearChannel(std::uint32_t colour, int shift) {
  const double c = static_cast<double>((colour >> shift) & 0xFF) / 255.0;
  return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Kept out of line: four inlined copies would add 2 KB to the program for no speed that matters.
[[gnu::noinline]] double relativeLuminance(std::uint32_t bgr) {
  return 0.2126 * linearChannel(bgr, 0) + 0.7152 * linearChannel(bgr, 8) +
         0.0722 * linearChannel(bgr, 16);
}

// The contrast ratio of two 0x00BBGGRR colours by WCAG 2's relative luminance: 1 to 21.
double contrastRatio(std::uint32_t first, std::uint32_t second) {
  const double a = relativeLuminance(first);
  const double b = relativeLuminance(second);
  return a > b ? (a + 0.05) / (b + 0.05) : (b + 0.05) / (a + 0.05);
}

}  // namespace

std::uint32_t readableTextColour(std::uint32_t wanted, std::uint32_t background,
                                 std::uint32_t schemeText, bool highContrast) {
  // Text needs 4.5 : 1 against its background to be read (WCAG 2, normal-size text).
  if (highContrast || contrastRatio(wanted, background) < 4.5) return schemeText;
  return wanted;
}

}  // namespace window
