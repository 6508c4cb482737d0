// A window that keeps what the logic leaves in it: each control's state, and what the user and
// screen readers were told. It delivers Text1's change notification synchronously, as the real
// window does.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "window/Form1.h"
#include "window/Form1Design.h"
#include "window/WindowOperations.h"

namespace testing_support {

using window::Control;

inline std::string narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

class RecordingWindow : public window::WindowOperations {
 public:
  struct ControlState {
    std::wstring text;
    bool visible = true;
    bool enabled = true;
    std::uint32_t colour = 0xFFFFFFFF;  // none set
    bool operator==(const ControlState&) const = default;
  };

  std::map<Control, ControlState> controls;
  window::Form1* form = nullptr;
  std::optional<Control> focused;
  bool shown = false;
  bool windowFocused = false;
  bool unloaded = false;
  std::vector<std::string> announced;  // "Label5 polite"
  std::vector<std::wstring> told;

  // The controls as the window creates them: the design's texts, and the confirmation hidden.
  RecordingWindow() {
    for (const window::ControlDesign& design : window::kControls) {
      controls[design.control].text = design.text;
    }
    controls[Control::Label5].visible = false;
  }

  void setText(Control c, std::wstring_view text) override {
    controls[c].text = text;
    if (c == Control::Text1 && form) form->text1Changed();
  }
  std::wstring text(Control c) const override { return controls.at(c).text; }
  void setTextColour(Control c, std::uint32_t colour) override { controls[c].colour = colour; }
  void setVisible(Control c, bool visible) override { controls[c].visible = visible; }
  void setEnabled(Control c, bool enabled) override { controls[c].enabled = enabled; }
  void focus(Control c) override { focused = c; }
  void showWindow() override { shown = true; }
  void focusWindow() override { windowFocused = true; }
  void unload() override { unloaded = true; }
  void announce(Control c, window::Announcement urgency) override {
    announced.push_back(window::controlName(c) + std::string(urgency == window::Announcement::Polite
                                                                 ? " polite"
                                                                 : " assertive"));
  }
  void tellUser(std::wstring_view message) override { told.emplace_back(message); }

  // The names of the controls shown, in the design's order.
  std::string visibleControls() const {
    std::string names;
    for (const window::ControlDesign& design : window::kControls) {
      if (controls.at(design.control).visible)
        names += window::controlName(design.control) + std::string(" ");
    }
    return names;
  }

  // The user typing: the box's text changes and the change handler runs.
  void type(std::wstring_view text) { setText(Control::Text1, text); }
};

}  // namespace testing_support
