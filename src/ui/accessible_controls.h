#pragma once
#include <string>

#include "platform/accessibility.h"
#include "platform/window_controls.h"

namespace pellux {

// The window's elements as a screen reader meets them: whatever sets a
// program button's colour also gives the button a name that carries the
// state ("Pellux - Detenido"), and each message shown on the strip is
// announced once. Everything else passes straight to the window.
class AccessibleControls final : public WindowControls {
 public:
  AccessibleControls(WindowControls& window, Accessibility& accessibility)
      : window_(window), accessibility_(accessibility) {}

  [[nodiscard]] bool Create() override;
  void SetOuterHeightTwips(int twips) override { window_.SetOuterHeightTwips(twips); }
  void SetPictureSizeTwips(int widthTwips, int heightTwips) override {
    window_.SetPictureSizeTwips(widthTwips, heightTwips);
  }
  void Show() override { window_.Show(); }
  void Hide() override { window_.Hide(); }
  [[nodiscard]] std::uintptr_t HookWindow() override { return window_.HookWindow(); }
  [[nodiscard]] Colour ButtonColour(ProgramButton button) override { return window_.ButtonColour(button); }
  void SetButtonColour(ProgramButton button, Colour colour) override;
  [[nodiscard]] std::string PortText() override { return window_.PortText(); }
  void SetPortText(const std::string& text) override { window_.SetPortText(text); }
  [[nodiscard]] bool PortVisible() override { return window_.PortVisible(); }
  void FocusPort() override { window_.FocusPort(); }
  void SetStripColours(Colour back, Colour fore) override { window_.SetStripColours(back, fore); }
  void SetStripText(const std::string& text) override;
  void SetStripVisible(bool visible) override;
  void SetPictureVisible(bool visible) override { window_.SetPictureVisible(visible); }

 private:
  WindowControls& window_;
  Accessibility& accessibility_;
  // The message set but not yet announced: it is announced once the strip
  // shows it, and only once.
  std::string unannounced_;
};

}  // namespace pellux
