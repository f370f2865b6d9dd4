#include <gtest/gtest.h>

#include <tuple>

#include "fakes/fakes.h"
#include "ui/accessible_controls.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/state_marks.h"

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
  const std::vector<std::pair<TimerId, std::uint32_t>> arms{{TimerId::Timer3, 5000}, {TimerId::Timer3, 5000}};
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

// The window as the screen reader meets it: names that follow the buttons'
// colours, each strip message announced once.
class AccessibleWindowTest : public ::testing::Test {
 protected:
  fakes::FakePlatform fake;
  AccessibleControls controls{fake.controls, fake.accessibility};
  TrayIcon tray{fake.tray};
  MainWindow window{controls, fake.timers, tray};
};

TEST_F(AccessibleWindowTest, ButtonNamesFollowTheColourAndSayNoStateWhileGrey) {
  (void)window.Load(VersionTip("1.0.0.0"));
  EXPECT_EQ(fake.accessibility.names[ProgramButton::CBPellux], "Pellux");
  EXPECT_EQ(fake.accessibility.names[ProgramButton::CBLINTARO], "Lintaro");
  const struct {
    ProgramButton button;
    Colour colour;
    const char* name;
  } steps[] = {{ProgramButton::CBPellux, kGreen, "Pellux - Rodando"},
               {ProgramButton::CBLINTARO, kRed, "Lintaro - Detenido"},
               {ProgramButton::CBPellux, kAmber, "Pellux - En Otra Sesion"},
               {ProgramButton::CBLINTARO, kGreen, "Lintaro - Rodando"}};
  for (const auto& step : steps) {
    controls.SetButtonColour(step.button, step.colour);
    EXPECT_EQ(fake.controls.colours[step.button], step.colour);
    EXPECT_EQ(fake.accessibility.names[step.button], step.name);
  }
  // The cycle sets the bridge's colour on every run; a reader hears only changes.
  const int changes = fake.accessibility.nameChanges;
  controls.SetButtonColour(ProgramButton::CBLINTARO, kGreen);
  EXPECT_EQ(fake.accessibility.nameChanges, changes);
}

TEST_F(AccessibleWindowTest, EachMessageIsAnnouncedOnceWhenShownAndTheTimeoutSaysNothing) {
  window.ShowStatusMessage("El Programa 'LINTARO.exe' NO Arranco!!!", kRed, kWhite);
  window.ShowStatusMessage("El Programa 'LINTARO.exe' NO Arranco!!!", kRed, kWhite);
  window.Timer3();
  window.ShowStatusMessage("dos\rlineas", kMagenta, kBlack);
  EXPECT_EQ(fake.accessibility.announced,
            (std::vector<std::string>{"El Programa 'LINTARO.exe' NO Arranco!!!",
                                      "El Programa 'LINTARO.exe' NO Arranco!!!", "dos\rlineas"}));
  EXPECT_EQ(fake.controls.stripText, "dos\rlineas");  // the window's texts stay as they are
}

TEST(StateMarksTest, EachStateHasItsOwnMarkAndName) {
  const struct {
    Colour colour;
    StateMark mark;
    const char* pellux;
    const char* lintaro;
  } rows[] = {{kGreen, StateMark::Running, "Pellux - Rodando", "Lintaro - Rodando"},
              {kRed, StateMark::Stopped, "Pellux - Detenido", "Lintaro - Detenido"},
              {kAmber, StateMark::OtherSession, "Pellux - En Otra Sesion", "Lintaro - En Otra Sesion"},
              {kLightGrey, StateMark::None, "Pellux", "Lintaro"},
              {kGreen + 1, StateMark::None, "Pellux", "Lintaro"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pellux);
    EXPECT_EQ(MarkFor(row.colour), row.mark);
    EXPECT_EQ(AccessibleButtonName(ProgramButton::CBPellux, row.colour), row.pellux);
    EXPECT_EQ(AccessibleButtonName(ProgramButton::CBLINTARO, row.colour), row.lintaro);
  }
}

// Inside or on the edge of a convex polygon.
bool Covers(const std::vector<PixelPoint>& polygon, double x, double y) {
  int sign = 0;
  for (std::size_t i = 0; i < polygon.size(); ++i) {
    const PixelPoint& a = polygon[i];
    const PixelPoint& b = polygon[(i + 1) % polygon.size()];
    const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
    if (cross == 0) continue;
    const int side = cross > 0 ? 1 : -1;
    if (sign != 0 && side != sign) return false;
    sign = side;
  }
  return true;
}

bool AnyCovers(const std::vector<std::vector<PixelPoint>>& polygons, double x, double y) {
  for (const auto& polygon : polygons)
    if (Covers(polygon, x, y)) return true;
  return false;
}

TEST(StateMarksTest, MarksAreDistinctInShapeBoldAndEdgedAtEveryResolution) {
  // Where each mark's dark core lies, probed at fractions of the picture's side.
  const struct {
    StateMark mark;
    bool centre, topLeft, bottomRight, leftMiddle, checkElbow;
  } rows[] = {{StateMark::Stopped, true, true, true, false, false},
              {StateMark::OtherSession, true, false, false, true, false},
              {StateMark::Running, true, false, false, false, true},
              {StateMark::None, false, false, false, false, false}};
  // The sizes each resolution rounds to, where rounding decides a pixel: the clear band, the ring, and the
  // thickness of the horizontal bar's core and of its edge.
  const struct {
    int dpi, band, ring, core, edge;
  } resolutions[] = {{96, 9, 3, 8, 12}, {120, 11, 4, 10, 16}, {144, 14, 5, 12, 18}, {192, 18, 6, 16, 24}};
  for (const auto& [dpi, band, ring, coreThickness, edgeThickness] : resolutions) {
    const int picture = 32 * dpi / 96;
    const ButtonFaceLayout face = LayoutButtonFace(67 * dpi / 96, 77 * dpi / 96, picture, dpi);
    const PixelRect& area = face.mark;
    const MarkShape bar = StateMarkShape(StateMark::OtherSession, area, dpi);
    EXPECT_EQ(std::make_tuple(face.band, face.ringWidth, bar.core[0][2].y - bar.core[0][1].y,
                              bar.edge[0][2].y - bar.edge[0][1].y),
              std::make_tuple(band, ring, coreThickness, edgeThickness))
        << dpi << " dpi";
    const auto at = [&](double fx, double fy) {
      return std::pair<double, double>{area.left + fx * picture, area.top + fy * picture};
    };
    for (const auto& row : rows) {
      SCOPED_TRACE(testing::Message() << "dpi " << dpi << ", mark " << static_cast<int>(row.mark));
      const MarkShape shape = StateMarkShape(row.mark, area, dpi);
      const auto core = [&](double fx, double fy) {
        const auto [x, y] = at(fx, fy);
        return AnyCovers(shape.core, x, y);
      };
      EXPECT_EQ(core(0.5, 0.5), row.centre);
      EXPECT_EQ(core(0.06, 0.06), row.topLeft);
      EXPECT_EQ(core(0.94, 0.94), row.bottomRight);
      EXPECT_EQ(core(0.06, 0.5), row.leftMiddle);
      EXPECT_EQ(core(0.42, 0.66), row.checkElbow);
      // Bold: 8 px at 96 dpi across the stroke, wherever the core is probed.
      if (row.centre) {
        EXPECT_TRUE(core(0.5, 0.5 + 3.5 * dpi / 96 / picture));
      }
      // Every corner of the core lies within the light edge, and all within the picture.
      for (const auto& polygon : shape.core)
        for (const PixelPoint& p : polygon) EXPECT_TRUE(AnyCovers(shape.edge, p.x, p.y));
      for (const auto* polygons : {&shape.core, &shape.edge})
        for (const auto& polygon : *polygons)
          for (const PixelPoint& p : polygon) {
            EXPECT_TRUE(p.x >= area.left && p.x <= area.right && p.y >= area.top && p.y <= area.bottom);
          }
    }
  }
}

TEST(StateMarksTest, HighContrastDrawsInTheSystemColoursAndLeavesTheStateToTheMark) {
  const SystemColours system{0x101010, 0xF0F0F0, 0x202020, 0xE0E0E0};
  // Whatever the state, the faces look alike: the marks, drawn in the theme's
  // text colour on its face colour, are what differ.
  for (Colour state : {kGreen, kRed, kAmber}) {
    const ButtonInks high = InksFor(state, true, system);
    EXPECT_EQ(high.face, system.buttonFace);
    EXPECT_EQ(high.markCore, system.buttonText);
    EXPECT_EQ(high.markEdge, system.buttonFace);
    EXPECT_EQ(high.ring, system.buttonText);
    EXPECT_EQ(InksFor(state, false, system).face, state);
  }
  EXPECT_EQ(StripInksFor(kMagenta, kBlack, false, system).back, kMagenta);
  EXPECT_EQ(StripInksFor(kMagenta, kBlack, true, system).back, system.window);
  EXPECT_EQ(StripInksFor(kMagenta, kBlack, true, system).fore, system.windowText);
}

}  // namespace
}  // namespace pellux
