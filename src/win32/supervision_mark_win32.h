#pragma once
#include <string>

#include "platform/supervision_mark.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// Each session's mark as a named mutex in the Global\ namespace whose name
// carries the session's number, seen from every session. Only its existence
// counts: it is never waited on. The system drops it with the last handle,
// so a monitor that crashes gives it up.
class Win32SupervisionMark final : public SupervisionMark {
 public:
  explicit Win32SupervisionMark(SessionId ownSession) : ownSession_(ownSession) {}
  [[nodiscard]] bool Hold() override;
  void Drop() override;
  [[nodiscard]] bool HeldIn(SessionId session) override;

 private:
  SessionId ownSession_;
  UniqueHandle held_;
};

}  // namespace pellux::win32
