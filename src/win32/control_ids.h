#pragma once
// Control ids of the main window's children. Other programs (the end-to-end
// driver among them) find the controls by these numbers.

namespace pellux {

inline constexpr int kIdTBPort = 101;
inline constexpr int kIdCBPellux = 102;
inline constexpr int kIdCBLINTARO = 103;
inline constexpr int kIdLabel1 = 104;
inline constexpr int kIdLBLMSG = 105;
inline constexpr int kIdImage1 = 106;
inline constexpr int kIdPichook = 107;

}  // namespace pellux
