#include "window/LiveRegions.h"

#include <oleacc.h>

#include <algorithm>

namespace window {

namespace {

// UI Automation's LiveSetting property, which MinGW's headers lack, and two of its values.
constexpr GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPolite = 1;
constexpr LONG kAssertive = 2;

}  // namespace

LiveRegions::LiveRegions() = default;
LiveRegions::~LiveRegions() = default;

void LiveRegions::unmarkAll() {
  MSAAPROPID property = kLiveSettingProperty;
  for (HWND label : marked_) {
    services_.get()->ClearHwndProps(label, OBJID_CLIENT, CHILDID_SELF, &property, 1);
  }
  marked_.clear();
}

IAccPropServices* LiveRegions::services() {
  if (comTried_) return services_.get();
  comTried_ = true;
  // S_FALSE: this thread had COM already, and still owes the matching CoUninitialize.
  const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(started)) {
    com_.reset(&CoUninitialize);
  } else if (started != RPC_E_CHANGED_MODE) {
    return nullptr;
  }
  void* created = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IAccPropServices, &created))) {
    services_.reset(static_cast<IAccPropServices*>(created));
  }
  return services_.get();
}

void LiveRegions::mark(HWND label, Announcement urgency) {
  if (std::find(marked_.begin(), marked_.end(), label) != marked_.end()) return;
  IAccPropServices* const annotation = services();
  if (!annotation) return;
  VARIANT setting;
  setting.vt = VT_I4;
  setting.lVal = urgency == Announcement::Assertive ? kAssertive : kPolite;
  if (SUCCEEDED(annotation->SetHwndProp(label, OBJID_CLIENT, CHILDID_SELF, kLiveSettingProperty,
                                        setting))) {
    marked_.push_back(label);
  }
}

void LiveRegions::announce(HWND label, Announcement urgency) {
  mark(label, urgency);
  NotifyWinEvent(kLiveRegionChanged, label, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace window
