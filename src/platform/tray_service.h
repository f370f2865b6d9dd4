#pragma once
#include <cstdint>

namespace pellux {

enum class TrayCommand : std::uint32_t { Add = 0, Modify = 1, Delete = 2 };

inline constexpr std::uint32_t kTrayIconId = 1;
inline constexpr std::uint32_t kTrayFlags = 7;  // message + icon + tip valid
inline constexpr std::uint32_t kTrayCallbackMessage = 513;
inline constexpr int kTrayPictureCount = 5;  // imgIcon(0) .. imgIcon(4)
inline constexpr int kTipChars = 64;

// The notification-icon record in its first, smallest form, field for field.
struct TrayIconData {
  std::uint32_t cbSize = 0;
  std::uintptr_t hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  std::uintptr_t hIcon = 0;
  char szTip[kTipChars] = {};
};

// The system's notification-icon service and the tray pictures.
class TrayService {
 public:
  virtual ~TrayService() = default;
  // The size of the record's first form on this platform.
  [[nodiscard]] virtual std::uint32_t RecordSize() = 0;
  // The picture handle of imgIcon(index), 0 for an index outside 0..4.
  [[nodiscard]] virtual std::uintptr_t Picture(int index) = 0;
  // One call of the service with the record, in 8-bit form. False on failure.
  virtual bool Notify(TrayCommand command, const TrayIconData& data) = 0;
};

}  // namespace pellux
