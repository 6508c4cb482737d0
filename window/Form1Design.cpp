#include "window/Form1Design.h"

#include <algorithm>

namespace window {

namespace {

int rescaled(int pixels, int dpi, int newDpi) { return (pixels * newDpi + dpi / 2) / dpi; }

Size designClientArea(int dpi) { return {scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)}; }

}  // namespace

int scaled(int designPixels, int dpi) { return rescaled(designPixels, kDesignDpi, dpi); }

Point centredIn(const Rect& workArea, Size size) {
  const int spareWidth = workArea.right - workArea.left - size.width;
  const int spareHeight = workArea.bottom - workArea.top - size.height;
  return {workArea.left + std::max(spareWidth, 0) / 2, workArea.top + std::max(spareHeight, 0) / 2};
}

Size clientAreaForDpi(Size client, int dpi, int newDpi) {
  if (client == designClientArea(dpi)) return designClientArea(newDpi);
  return {rescaled(client.width, dpi, newDpi), rescaled(client.height, dpi, newDpi)};
}

}  // namespace window
