#pragma once
#include <windows.h>
#include <oleacc.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/accessibility.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// Names and announcements by dynamic annotation of the main window's
// controls. The annotation service is a COM object of the system's
// accessibility library, made through COM so that the exe does not import
// that library (it is not one of the KnownDLLs); where it cannot be made,
// the controls keep their window texts as their names.
class Win32Accessibility final : public Accessibility {
 public:
  explicit Win32Accessibility(std::function<HWND()> mainWindow) : mainWindow_(std::move(mainWindow)) {}
  // Clears the annotations while the controls still exist.
  ~Win32Accessibility() override;
  Win32Accessibility(const Win32Accessibility&) = delete;
  Win32Accessibility& operator=(const Win32Accessibility&) = delete;

  void SetButtonName(ProgramButton button, const std::string& name) override;
  void AnnounceMessage(const std::string& text) override;

 private:
  // Made on first use, once COM is up; null when the system has none.
  IAccPropServices* Services();
  [[nodiscard]] HWND Control(int id) const;
  // Annotates the control's name; false when it could not be annotated.
  bool Name(HWND control, const std::wstring& name);

  std::function<HWND()> mainWindow_;
  UniqueCom<IAccPropServices> services_;
  bool servicesTried_ = false;
  bool liveRegion_ = false;
  std::vector<HWND> annotated_;
};

}  // namespace pellux::win32
