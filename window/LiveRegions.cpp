#include "window/LiveRegions.h"

#include <oleacc.h>

#include <algorithm>

#include "win32/SystemFunction.h"

namespace window {

namespace {

// Windows' fixed values, given here so that the program links none of COM's libraries; MinGW's
// headers lack the first.
constexpr GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
// UI Automation's LiveSetting values.
constexpr LONG kPolite = 1;
constexpr LONG kAssertive = 2;

using CoInitializeExFunction = HRESULT(WINAPI*)(void*, DWORD);
using CoCreateInstanceFunction = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
using CoUninitializeFunction = void(WINAPI*)();

HMODULE ole32() {
  // Loaded once, for the rest of the process, as COM expects of its own library.
  static const HMODULE library = win32::systemLibrary(L"ole32.dll");
  return library;
}

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
  const auto initialize = win32::systemFunction<CoInitializeExFunction>(ole32(), "CoInitializeEx");
  const auto create = win32::systemFunction<CoCreateInstanceFunction>(ole32(), "CoCreateInstance");
  if (!initialize || !create) return nullptr;
  // S_FALSE: this thread had COM already, and still owes the matching CoUninitialize.
  const HRESULT started = initialize(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(started)) {
    com_.reset(win32::systemFunction<CoUninitializeFunction>(ole32(), "CoUninitialize"));
  } else if (started != RPC_E_CHANGED_MODE) {
    return nullptr;
  }
  void* created = nullptr;
  if (SUCCEEDED(
          create(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIAccPropServices, &created))) {
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
