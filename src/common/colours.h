#pragma once
#include <cstdint>

namespace pellux {

// 24-bit colour values with red in the low byte. A program button's back
// colour is the only record of that program's believed state.
using Colour = std::uint32_t;

inline constexpr Colour kGreen = 65280;  // running
inline constexpr Colour kRed = 255;      // stopped or failed
inline constexpr Colour kWhite = 16777215;
inline constexpr Colour kBlack = 0;
inline constexpr Colour kMagenta = 16711935;    // mixed result of a stop
inline constexpr Colour kLightGrey = 14737632;  // buttons before start-up colours them
// The program runs in another logon session of the workstation: neither
// running here nor stopped, and this monitor leaves it alone.
inline constexpr Colour kAmber = 49151;

}  // namespace pellux
