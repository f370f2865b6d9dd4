#pragma once

namespace pellux {

class Lifetime {
 public:
  virtual ~Lifetime() = default;
  // Ends the whole program at once with exitCode; the supervised programs are
  // left as they are. The real one never returns; a fake records the call and
  // returns, and callers return straight after it.
  virtual void EndNow(int exitCode) = 0;
  // Gives up the logon session's mark, so that a monitor started from now on
  // runs instead of giving way to this one, which is ending.
  virtual void LeaveSession() = 0;
};

}  // namespace pellux
