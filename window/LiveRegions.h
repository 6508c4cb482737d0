// Labels whose news screen readers speak wherever the focus is: each is marked as a live region
// through Dynamic Annotation, then the live-region event is raised for it. COM, which the marking
// needs, starts only at the first announcement, so a window that announces nothing never pays for
// it.
#pragma once

#include <windows.h>

#include <vector>

#include "win32/ScopedHandle.h"

struct IAccPropServices;

namespace window {

// How a screen reader speaks a label's news: after what it is saying, or at once.
enum class Announcement { Polite, Assertive };

inline constexpr DWORD kLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED, Windows 8 on

class LiveRegions {
 public:
  // Out of line, as the service's owner needs its complete type.
  LiveRegions();
  ~LiveRegions();
  LiveRegions(const LiveRegions&) = delete;
  LiveRegions& operator=(const LiveRegions&) = delete;

  // Without the annotation service the event is raised all the same: readers that follow the
  // event alone still speak the label.
  void announce(HWND label, Announcement urgency);
  // Takes the marks off the labels, which must still exist.
  void unmarkAll();

 private:
  IAccPropServices* services();
  void mark(HWND label, Announcement urgency);

  bool comTried_ = false;
  // In this order, so that the service is released before COM ends.
  win32::ScopedComStart com_;
  win32::ScopedCom<IAccPropServices> services_;
  std::vector<HWND> marked_;
};

}  // namespace window
