"""Ends seen at once: how soon the real monitor answers the end of a program it supervises, under Wine.

What it measures, on PelluxMONITOR.exe with the stand-ins at their install paths (tools/wine/harness.py),
logging on so that each cycle's end shows in the log:
- the bridge killed while the controller runs: from the kill (the driver's TerminateProcess has returned,
  the process has ended) to the new bridge listed;
- the controller ended: from its kill to the bridge's end (the driver waits on the bridge's handle), the
  controller then started again by hand and left for two cycles;
- a bridge that ends at once (killed the moment it is listed, as one whose port is missing): its starts
  per minute.
Each kill comes at an offset spread evenly over the 3 s after a cycle's end, so that the figures cover the
whole cycle. Beside each row stands what the 3-second cycle alone would give: the bridge back, or ended,
at the next cycle, 3 s after the last one ended (median 1.5 s, worst 3 s, plus the launch), and one start a
cycle (some 19 a minute). The times include the driver's look at the process list (a few tens of ms under
Wine); only the ratio to the cycle speaks for Windows.

Arguments: the number of kills per row (default 20), and the first row to measure (default 1). Environment: as tools/wine/harness.py.
"""

import statistics
import sys
import time
import os

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "wine"))

import harness as H  # noqa: E402

CYCLE_S = 3.0


class Ends:
    def __init__(self, h):
        self.h = h

    def start(self):
        h = self.h
        h.install()
        h.remove_control_file()
        h.set_logging(True)
        h.start_session("ends")
        h.start_monitor()
        h.wait_main_window()
        h.wait_process_at(H.JAVAW_EXE, 30)  # the one start-up launched, before any start by hand
        self.ensure_controller()

    def cycles(self):
        return self.h.log_texts().count(H.AFTER)

    def after_a_cycle(self, offset):
        """Waits for the next cycle's end, then offset seconds more."""
        done = self.cycles()
        H.wait_until(lambda: self.cycles() > done, 10, "a cycle's end", interval=0.02)
        time.sleep(offset)

    def ensure_controller(self):
        if not self.h.processes_at(H.JAVAW_EXE):
            self.h.start_program(H.CONTROLLER_EXE, H.CONTROLLER_DIR)
            self.h.wait_process_at(H.JAVAW_EXE, 20)
        self.h.wait_process_at(H.BRIDGE_EXE, 20)
        # A whole cycle: both are watched, and the bridge has run for more than a cycle.
        self.after_a_cycle(0)
        time.sleep(CYCLE_S + 0.1)

    def bridge_back(self, offset):
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 10)
        self.after_a_cycle(offset)
        self.h.kill(bridge["pid"])
        killed = time.monotonic()
        H.wait_until(lambda: [p for p in self.h.processes_at(H.BRIDGE_EXE) if p["pid"] != bridge["pid"]], 10,
                     "the new bridge", interval=0.01)
        back = time.monotonic() - killed
        time.sleep(CYCLE_S + 0.1)  # the new one runs for more than a cycle before the next kill
        return back

    def bridge_ended(self, offset):
        javaw = self.h.wait_process_at(H.JAVAW_EXE, 10)
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 10)
        self.h.hold(bridge["pid"])  # so that its end can be waited for
        self.after_a_cycle(offset)
        self.h.kill(javaw["pid"])
        killed = time.monotonic()
        exited, _ = self.h.wait_exit(bridge["pid"], 10)
        ended = time.monotonic() - killed
        if not exited:
            raise RuntimeError("the bridge outlived its controller by 10 s")
        self.ensure_controller()
        return ended

    def crash_loop(self, seconds=60.0):
        """Kills every bridge the moment it is listed; the starts a minute, from the mean time between the
        starts seen (the bridge that ran before is killed first and not counted)."""
        seen = {p["pid"] for p in self.h.processes_at(H.BRIDGE_EXE)}
        for pid in seen:
            self.h.kill(pid)
        starts = []
        until = time.monotonic() + seconds
        while time.monotonic() < until:
            for bridge in self.h.processes_at(H.BRIDGE_EXE):
                if bridge["pid"] not in seen:
                    seen.add(bridge["pid"])
                    starts.append(time.monotonic())
                    self.h.kill(bridge["pid"])
            time.sleep(0.01)
        return 60.0 * (len(starts) - 1) / (starts[-1] - starts[0])


def row(what, times, expected):
    print("| %s | %d | %.2f | %.2f | %.2f | %s |" % (what, len(times), statistics.median(times), max(times),
                                                     min(times), expected), flush=True)


def main():
    kills = int(sys.argv[1]) if len(sys.argv) > 1 else 20
    first = int(sys.argv[2]) if len(sys.argv) > 2 else 1  # the first row to measure
    h = H.shared_harness()
    ends = Ends(h)
    ends.start()
    offsets = [CYCLE_S * i / kills for i in range(kills)]
    print("\n| Ends seen at once | Kills | Median, s | Worst, s | Best, s | The 3-second cycle alone |")
    print("|---|---|---|---|---|---|")
    if first <= 1:
        sys.stderr.write("row: the bridge killed while the controller runs\n")
        row("bridge killed while the controller runs → new bridge listed", [ends.bridge_back(o) for o in offsets],
            "median 1.5 s, worst 3 s, plus the launch")
    if first <= 2:
        sys.stderr.write("row: the controller ended\n")
        row("controller ended → bridge ended", [ends.bridge_ended(o) for o in offsets], "median 1.5 s, worst 3 s")
    sys.stderr.write("row: a bridge that ends at once\n")
    per_minute = ends.crash_loop()
    expected = 60.0 / (CYCLE_S + 0.05)
    print("\n| A bridge that ends at once | Starts a minute | The 3-second cycle alone |")
    print("|---|---|---|")
    print("| killed the moment it is listed, for 60 s | %.1f | at most %.1f (one a cycle) |" % (per_minute, expected),
          flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
