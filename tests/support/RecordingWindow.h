// A window that records what the logic does to it and keeps the controls' state, delivering
// Text1's change notification synchronously as the real window does.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "window/Form1.h"
#include "window/Form1Design.h"
#include "window/WindowOperations.h"

namespace testing_support {

using window::Control;

inline std::string nameOf(Control control) { return window::controlName(control); }

inline std::string narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

class RecordingWindow : public window::WindowOperations {
 public:
  struct ControlState {
    std::wstring text;
    bool visible = true;
    bool enabled = true;
    std::uint32_t colour = 0xFFFFFFFF;  // none set
  };

  std::vector<std::string> calls;
  std::map<Control, ControlState> controls;
  window::Form1* form = nullptr;
  std::optional<Control> focused;
  bool shown = false;
  bool unloaded = false;

  RecordingWindow() {
    controls[Control::Label1].text = L"Your current Access key:";
    controls[Control::Label2].text = L"Temp value";
    controls[Control::Label3].text = L"Enter a new Access key:";
    controls[Control::Label5].visible = false;
  }

  void setText(Control c, std::wstring_view text) override {
    calls.push_back("text " + nameOf(c) + "=" + narrow(text));
    controls[c].text = text;
    if (c == Control::Text1 && form) form->text1Changed();
  }
  std::wstring text(Control c) const override { return controls.at(c).text; }
  void setTextColour(Control c, std::uint32_t colour) override {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", colour);
    calls.push_back("colour " + nameOf(c) + "=" + hex);
    controls[c].colour = colour;
  }
  void setVisible(Control c, bool visible) override {
    calls.push_back((visible ? "show " : "hide ") + nameOf(c));
    controls[c].visible = visible;
  }
  void setEnabled(Control c, bool enabled) override {
    calls.push_back((enabled ? "enable " : "disable ") + nameOf(c));
    controls[c].enabled = enabled;
  }
  void focus(Control c) override {
    calls.push_back("focus " + nameOf(c));
    focused = c;
  }
  void showWindow() override {
    calls.push_back("show Form1");
    shown = true;
  }
  void focusWindow() override { calls.push_back("focus Form1"); }
  void unload() override {
    calls.push_back("unload Form1");
    unloaded = true;
  }
  void announce(Control c, window::Announcement urgency) override {
    calls.push_back("announce " + nameOf(c) +
                    (urgency == window::Announcement::Polite ? " polite" : " assertive"));
  }
  void tellUser(std::wstring_view message) override { calls.push_back("tell " + narrow(message)); }

  // The user typing: the box's text changes and the change handler runs.
  void type(std::wstring_view text) {
    controls[Control::Text1].text = text;
    if (form) form->text1Changed();
  }
};

}  // namespace testing_support
