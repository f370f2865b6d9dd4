"""How fast the log grows: the monitor under Wine with logging on, beside N idle programs.

For N in 0, 20 and 60 (ARGS: other counts) it installs the stand-ins, starts N copies of the idle
stand-in before the monitor (so they come first in Wine's process list), starts the monitor with an
empty log, waits two cycles, then times CYCLES more (the bytes the log gained and the wall time
between AFTER lines, polled every 0.1 s); then ends javaw.exe and does the same with the controller
gone. Prints the table of docs/integrator.md ("How fast it grows"). Measures only; passes or fails
nothing. Environment: as tools/wine/harness.py.
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "wine"))

import harness as H  # noqa: E402

CYCLES = int(os.environ.get("CYCLES", "5"))
IDLE = r"C:\Extra\idle.exe"


def afters(h):
    return h.log_texts().count(H.AFTER)


def measure(h):
    """Bytes a cycle, process lines a cycle and seconds a cycle over CYCLES cycles."""
    start_count = afters(h) + 1
    H.wait_until(lambda: afters(h) >= start_count, 15, "a cycle")
    t0, size0 = time.monotonic(), os.path.getsize(h.log_path())
    lines0 = len(h.log_texts())
    H.wait_until(lambda: afters(h) >= start_count + CYCLES, 6 * CYCLES, "%d cycles" % CYCLES, interval=0.1)
    seconds = (time.monotonic() - t0) / CYCLES
    size = os.path.getsize(h.log_path()) - size0
    lines = len(h.log_texts()) - lines0
    per_cycle = size / CYCLES
    return per_cycle, lines / CYCLES - 2, seconds, per_cycle * 86400 / seconds / 1e6


def main():
    counts = [int(a) for a in sys.argv[1:]] or [0, 20, 60]
    h = H.Harness()
    rows = []
    try:
        h.ensure_prefix()
        for n in counts:
            h.stop_session()
            h.install()
            H._copy(h.standin("javaw.exe"), h.unix(IDLE))
            h.set_logging(True)
            h.start_session("growth-%d" % n)
            for _ in range(n):
                h.start_program(IDLE, r"C:\Extra")
            h.start_monitor()
            H.wait_until(lambda: afters(h) >= 2, 60, "two cycles")
            listed = len(h.processes())
            running = measure(h)
            for p in h.processes_at(H.JAVAW_EXE):
                h.kill(p["pid"])
            H.wait_until(lambda: not h.processes_at(H.BRIDGE_EXE), 15, "the bridge ended")
            gone = measure(h)
            rows.append((listed, running, gone))
            h.stop_session()
    finally:
        h.close()
    print("| Processes listed | Both programs running | Controller gone |")
    print("|---|---|---|")
    for listed, running, gone in rows:
        cells = ["{:,.0f} bytes/cycle ({:.0f} process lines), {:.2f} s: {:.0f} MB a day".format(*r)
                 for r in (running, gone)]
        print("| %d | %s | %s |" % (listed, cells[0], cells[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
