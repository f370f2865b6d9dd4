#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "ui/layout.h"
#include "ui/main_window.h"

namespace pellux {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  fakes::FakePlatform fake;
  TrayIcon tray{fake.tray};
  MainWindow window{fake.controls, fake.timers, tray};
};

TEST_F(MainWindowTest, LoadCreatesSizesAddsTheIconAndStaysHidden) {
  (void)window.Load(VersionTip("1.0.0.0"));
  EXPECT_EQ(fake.controls.creates, 1);
  EXPECT_EQ(fake.controls.outerHeightTwips, 3870);
  EXPECT_EQ(fake.controls.pictureWidthTwips, 1500);
  EXPECT_EQ(fake.controls.pictureHeightTwips, 1890);
  EXPECT_FALSE(fake.controls.shown);
  EXPECT_EQ(fake.journal, (fakes::Journal{"window create", "tray add", "window hide"}));
  EXPECT_EQ(fake.tray.calls[0].data.hWnd, fake.controls.hookWindow);
}

TEST_F(MainWindowTest, MessageReplacesThePictureForFiveSeconds) {
  window.ShowStatusMessage("El Programa 'LINTARO.exe' NO Arranco!!!", kRed, kWhite);
  EXPECT_TRUE(fake.controls.stripVisible);
  EXPECT_FALSE(fake.controls.pictureVisible);
  EXPECT_EQ(fake.controls.stripText, "El Programa 'LINTARO.exe' NO Arranco!!!");
  EXPECT_EQ(fake.controls.stripBack, kRed);
  EXPECT_EQ(fake.controls.stripFore, kWhite);
  EXPECT_EQ(fake.timers.Interval(TimerId::Timer3), 5000u);

  window.Timer3();
  EXPECT_FALSE(fake.controls.stripVisible);
  EXPECT_TRUE(fake.controls.pictureVisible);
  EXPECT_EQ(fake.controls.stripText, "");
  EXPECT_EQ(fake.controls.stripBack, kRed);  // colours stay, unseen
  EXPECT_EQ(fake.timers.Interval(TimerId::Timer3), 0u);
}

TEST_F(MainWindowTest, LaterMessageReplacesAtOnceAndRestartsTheCountdown) {
  window.ShowStatusMessage("one", kRed, kWhite);
  window.ShowStatusMessage("two\rthree", kMagenta, kBlack);
  EXPECT_EQ(fake.controls.stripText, "two\rthree");
  EXPECT_EQ(fake.controls.stripBack, kMagenta);
  EXPECT_EQ(fake.controls.stripFore, kBlack);
  EXPECT_TRUE(fake.controls.stripVisible);
  // Each message arms the timer anew: the strip stays 5 s after the latest.
  const std::vector<std::pair<TimerId, std::uint32_t>> arms{{TimerId::Timer3, 5000},
                                                            {TimerId::Timer3, 5000}};
  EXPECT_EQ(fake.timers.history, arms);
}

TEST(LayoutTest, VisibleClientAreaIs312By228AtTheUsualDpi) {
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 96), 312);
  EXPECT_EQ(TwipsToPixels(kVisibleClientHeightTwips, 96), 228);
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 468);
  // Element rectangles land on the pixel positions operators know.
  EXPECT_EQ(TwipsToPixels(kCBLINTARORect.left, 96), 40);
  EXPECT_EQ(TwipsToPixels(kCBPelluxRect.left, 96), 206);
  EXPECT_EQ(TwipsToPixels(kLBLMSGRect.width, 96), 301);
  EXPECT_EQ(TwipsToPixels(kLBLMSGRect.height, 96), 97);
  EXPECT_EQ(TwipsToPixels(kImage1Rect.height, 96), 126);
}

}  // namespace
}  // namespace pellux
