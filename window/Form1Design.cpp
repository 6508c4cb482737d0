#include "window/Form1Design.h"

#include <algorithm>

namespace window {

const ControlDesign& designOf(Control control) {
  return *std::find_if(kControls.begin(), kControls.end(),
                       [control](const ControlDesign& d) { return d.control == control; });
}

std::optional<Control> firstInTabOrder(const CanTakeFocus& canTakeFocus) {
  for (Control control : kTabOrder) {
    if (canTakeFocus(control)) return control;
  }
  return std::nullopt;
}

std::optional<Control> nextInTabOrder(std::optional<Control> current, bool forward,
                                      const CanTakeFocus& canTakeFocus) {
  const int count = static_cast<int>(kTabOrder.size());
  const auto found =
      current ? std::find(kTabOrder.begin(), kTabOrder.end(), *current) : kTabOrder.end();
  // From outside the tab order, Tab starts at the first control and Shift+Tab at the last.
  int index = found != kTabOrder.end() ? static_cast<int>(found - kTabOrder.begin())
                                       : (forward ? -1 : count);
  for (int step = 0; step < count; ++step) {
    index = (index + (forward ? 1 : count - 1)) % count;
    if (canTakeFocus(kTabOrder[index])) return kTabOrder[index];
  }
  return std::nullopt;
}

int scaled(int designPixels, int dpi) { return (designPixels * dpi + kDesignDpi / 2) / kDesignDpi; }

}  // namespace window
