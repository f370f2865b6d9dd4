#pragma once

namespace pellux {

// The workstation's one claim to launch the supervised programs, shared by
// the monitors of every logon session: two monitors that start together in
// two sessions must not both launch a controller and a bridge, which would
// drive one machine twice and fight for one serial port.
class WorkstationClaim {
 public:
  virtual ~WorkstationClaim() = default;
  // True when this monitor holds the claim (taken now, or held already);
  // false when a monitor of another session holds it.
  [[nodiscard]] virtual bool Take() = 0;
  // True when a monitor of another session holds the claim now (it is
  // launching); false when none does or this monitor holds it. Takes nothing.
  [[nodiscard]] virtual bool TakenElsewhere() = 0;
  // Gives the claim up once this monitor's launch has settled; nothing when
  // it holds none.
  virtual void Release() = 0;
};

}  // namespace pellux
