// The annotation service's GUIDs are defined here rather than taken from the
// accessibility library's import library.
#include <initguid.h>

#include "win32/accessibility_win32.h"

#include <algorithm>

#include "win32/control_ids.h"
#include "win32/display_text.h"
#include "win32/utf_conversion.h"

namespace pellux::win32 {
namespace {

// The live-setting property of UI Automation, which the annotation service
// takes for a window: a polite live region is read once the reader is done.
// {C12BCD8E-2A8E-4950-8AE7-3625111D58EB}; not in every SDK's headers.
DEFINE_GUID(kLiveSettingProperty, 0xc12bcd8e, 0x2a8e, 0x4950, 0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb);
constexpr LONG kLivePolite = 1;
constexpr DWORD kEventLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED

const DWORD kClient = static_cast<DWORD>(OBJID_CLIENT);

}  // namespace

Win32Accessibility::~Win32Accessibility() {
  if (!services_) return;
  MSAAPROPID props[] = {PROPID_ACC_NAME, kLiveSettingProperty};
  for (HWND control : annotated_) {
    // Nothing to clear once the control has gone with its window.
    if (::IsWindow(control)) (void)services_.get()->ClearHwndProps(control, kClient, CHILDID_SELF, props, 2);
  }
}

IAccPropServices* Win32Accessibility::Services() {
  if (!servicesTried_) {
    servicesTried_ = true;
    IAccPropServices* made = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                     reinterpret_cast<void**>(&made)))) {
      services_.reset(made);
    }
  }
  return services_.get();
}

HWND Win32Accessibility::Control(int id) const {
  HWND window = mainWindow_ ? mainWindow_() : nullptr;
  return window != nullptr ? ::GetDlgItem(window, id) : nullptr;
}

bool Win32Accessibility::Name(HWND control, const std::wstring& name) {
  IAccPropServices* services = Services();
  if (control == nullptr || services == nullptr) return false;
  if (FAILED(services->SetHwndPropStr(control, kClient, CHILDID_SELF, PROPID_ACC_NAME, name.c_str()))) {
    return false;
  }
  if (std::find(annotated_.begin(), annotated_.end(), control) == annotated_.end()) {
    annotated_.push_back(control);
  }
  return true;
}

void Win32Accessibility::SetButtonName(ProgramButton button, const std::string& name) {
  HWND control = Control(button == ProgramButton::CBPellux ? kIdCBPellux : kIdCBLINTARO);
  if (!Name(control, Utf8ToWide(name))) return;
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

void Win32Accessibility::AnnounceMessage(const std::string& text) {
  HWND strip = Control(kIdLBLMSG);
  // The strip's own text holds the message as well; the name makes sure a
  // reader takes it whole, its lines joined as the strip shows them.
  if (!Name(strip, Utf8ToWide(LoneCrToCrLf(text)))) return;
  if (!liveRegion_) {
    VARIANT polite{};
    polite.vt = VT_I4;
    polite.lVal = kLivePolite;
    liveRegion_ = SUCCEEDED(services_.get()->SetHwndProp(strip, kClient, CHILDID_SELF, kLiveSettingProperty, polite));
  }
  // Without the live setting (an older system) the name change is what a
  // reader may pick up.
  ::NotifyWinEvent(liveRegion_ ? kEventLiveRegionChanged : EVENT_OBJECT_NAMECHANGE, strip, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace pellux::win32
