#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "fakes/journal.h"
#include "platform/window_controls.h"

namespace pellux::fakes {

class FakeWindowControls final : public WindowControls {
 public:
  explicit FakeWindowControls(Journal& journal) : journal_(journal) {}
  bool Create() override {
    ++creates;
    journal_.push_back("window create");
    return createSucceeds;
  }
  void SetOuterHeightTwips(int twips) override { outerHeightTwips = twips; }
  void SetPictureSizeTwips(int w, int h) override {
    pictureWidthTwips = w;
    pictureHeightTwips = h;
  }
  void Show() override {
    shown = true;
    journal_.push_back("window show");
  }
  void Hide() override {
    shown = false;
    journal_.push_back("window hide");
  }
  std::uintptr_t HookWindow() override { return hookWindow; }
  Colour ButtonColour(ProgramButton b) override { return colours[b]; }
  void SetButtonColour(ProgramButton b, Colour c) override { colours[b] = c; }
  std::string PortText() override { return portText; }
  void SetPortText(const std::string& text) override {
    portText = text;
    ++portWrites;
  }
  bool PortVisible() override { return portVisible; }
  void FocusPort() override {
    ++portFocus;
    journal_.push_back("focus port");
  }
  void SetStripColours(Colour back, Colour fore) override {
    stripBack = back;
    stripFore = fore;
  }
  void SetStripText(const std::string& text) override { stripText = text; }
  void SetStripVisible(bool v) override {
    stripVisible = v;
    stripShows += v ? 1 : 0;
  }
  void SetPictureVisible(bool v) override { pictureVisible = v; }

  int creates = 0;
  bool createSucceeds = true;  // false: the desktop's heap is exhausted
  bool shown = false;
  int outerHeightTwips = 0;
  int pictureWidthTwips = 0;
  int pictureHeightTwips = 0;
  std::uintptr_t hookWindow = 0x7700;
  std::map<ProgramButton, Colour> colours{{ProgramButton::CBPellux, kLightGrey},
                                          {ProgramButton::CBLINTARO, kLightGrey}};
  std::string portText;
  int portWrites = 0;
  bool portVisible = true;
  int portFocus = 0;
  std::string stripText = "LBLMSG";
  Colour stripBack = kWhite;
  Colour stripFore = kBlack;
  bool stripVisible = false;
  int stripShows = 0;  // every message shown, the same one again too
  bool pictureVisible = true;

 private:
  Journal& journal_;
};

}  // namespace pellux::fakes
