#pragma once
#include "platform/workstation_claim.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// The claim as a named mutex in the Global\ namespace, seen from every
// session. Only its existence counts: it is never waited on. The system
// drops it with the last handle, so a monitor that crashes gives it up.
class Win32WorkstationClaim final : public WorkstationClaim {
 public:
  [[nodiscard]] bool Take() override;
  [[nodiscard]] bool TakenElsewhere() override;
  void Release() override;

 private:
  UniqueHandle held_;
};

}  // namespace pellux::win32
