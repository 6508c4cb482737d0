#include "window/Form1Design.h"

#include <algorithm>

namespace window {

namespace {

int rescaled(int pixels, int dpi, int newDpi) { return (pixels * newDpi + dpi / 2) / dpi; }

Size designClientArea(int dpi) { return {scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)}; }

// Where the room on a control's right ends: at the next column of controls, else the edge.
int roomEnd(const ControlDesign& control) {
  int end = kClientWidth;
  for (const ControlDesign& other : kControls) {
    if (other.left >= control.left + control.width) end = std::min(end, other.left);
  }
  return end;
}

}  // namespace

int scaled(int designPixels, int dpi) { return rescaled(designPixels, kDesignDpi, dpi); }

const ControlDesign& designOf(Control control) {
  return *std::find_if(kControls.begin(), kControls.end(), [control](const ControlDesign& design) {
    return design.control == control;
  });
}

Size labelSize(Control label, int dpi, int lineHeight, const std::function<int(int)>& heightAt) {
  const ControlDesign& design = designOf(label);
  const Size designed{scaled(design.width, dpi), scaled(design.height, dpi)};
  const int linesHeight = design.height / kDesignLineHeight * lineHeight;
  const auto fits = [&](int width) {
    return heightAt(width) <= std::max(designed.height, linesHeight);
  };
  int width = designed.width;
  if (!fits(width)) {
    // The least width that fits: text wraps at fewer places the wider it may be.
    int tooNarrow = width;
    width = scaled(roomEnd(design), dpi) - scaled(design.left, dpi);
    while (width - tooNarrow > 1) {
      const int middle = (tooNarrow + width) / 2;
      (fits(middle) ? width : tooNarrow) = middle;
    }
  }
  return {width, std::max(designed.height, std::min(heightAt(width), linesHeight))};
}

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
