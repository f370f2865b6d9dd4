#pragma once
#include "platform/process_table.h"

namespace pellux {

// The workstation-wide mark of a monitor that supervises: it launched or
// adopted the programs and its session runs the controller or the bridge.
// Each session's mark is its own, so that a javaw.exe of session N is taken
// for the controller only while session N's monitor says it supervises
// there; without the mark it is somebody's Java program. No monitor runs in
// the services' session 0, so a Java service never holds one.
class SupervisionMark {
 public:
  virtual ~SupervisionMark() = default;
  // Holds this session's mark; true when it is held (now or already).
  [[nodiscard]] virtual bool Hold() = 0;
  // Gives this session's mark up; nothing when none is held.
  virtual void Drop() = 0;
  // True while a monitor holds session's mark; false when none does.
  [[nodiscard]] virtual bool HeldIn(SessionId session) = 0;
};

}  // namespace pellux
