#pragma once

namespace pellux {

// Positions and sizes of the main window's elements in twips (1440 to the
// inch; 15 twips to a pixel at 96 dots per inch), within the client area.
struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

inline constexpr int kClientWidthTwips = 4680;
inline constexpr int kClientHeightCreatedTwips = 4605;
// Load sets the outer height to 3870; the window was laid out for a frame of
// 405 above the client area and 45 below, which leaves 3420 visible.
inline constexpr int kOuterHeightTwips = 3870;
inline constexpr int kFrameTopTwips = 405;
inline constexpr int kFrameBottomTwips = 45;
inline constexpr int kVisibleClientHeightTwips = kOuterHeightTwips - kFrameTopTwips - kFrameBottomTwips;

inline constexpr TwipsRect kTBPortRect = {1950, 720, 765, 345};
inline constexpr TwipsRect kCBPelluxRect = {3090, 360, 1005, 1155};
inline constexpr TwipsRect kCBLINTARORect = {600, 360, 1005, 1155};
inline constexpr TwipsRect kLabel1Rect = {1950, 360, 765, 315};
inline constexpr TwipsRect kImage1Rect = {1590, 1500, 1500, 1890};
inline constexpr TwipsRect kLBLMSGRect = {90, 1890, 4515, 1455};

inline constexpr char kWindowTitle[] = "PelluxMONITOR";
inline constexpr char kLabel1Text[] = "Puerto";
inline constexpr char kCBPelluxCaption[] = "Pellux";
inline constexpr char kCBLINTAROCaption[] = "Lintaro";
inline constexpr char kWindowFontFace[] = "Arial";
inline constexpr int kWindowFontPoints = 12;  // bold

inline constexpr unsigned kStatusMessageMs = 5000;

// Twips to pixels at dpi dots per inch, rounded to the nearest pixel.
[[nodiscard]] constexpr int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

}  // namespace pellux
