"""Runs scan_bench_win32.exe under Wine in a prefix of its own (see the header of scan_bench_win32.cpp).

The idle program of the stand-ins is copied to C:\\bench\\idle.exe, the
benchmark starts as many of it as each row asks for and ends them again; this
script then stops the prefix's wineserver and its own Xvfb. The benchmark's
standard error comes through as it is written; when the benchmark fails, the
last words say which row it was measuring and why it stopped.

Then ends_bench.py times how soon the real monitor answers the end of the
bridge and of the controller, and the pace of a bridge that ends at once (its
header says how), in the same prefix.

Environment: as tools/wine/harness.py (PELLUX_WINDOWS_DIR, PELLUX_E2E_WORK,
PELLUX_E2E_PREFIX). Arguments: the number of interleaved rounds (default 30),
and the kills per row of the ends (default 20).
"""

import os
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "wine"))

import harness as H  # noqa: E402

BENCH_DIR = r"C:\bench"
TIMEOUT_S = 3600


def run(command, env):
    """Runs the benchmark: its output and its standard error pass through as they come, but for the
    "row: ..." lines, which name the row it is measuring. Returns the exit code (None after the time-out),
    the row it was measuring last, and its last word on standard error."""
    process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    state = {"row": "before the first row", "said": ""}

    def read_errors():
        for raw in process.stderr:
            line = raw.decode(errors="replace").rstrip("\r\n")
            if line.startswith("row: "):
                state["row"] = line[5:]
                continue
            state["said"] = line or state["said"]
            sys.stderr.write(line + "\n")
            sys.stderr.flush()

    errors = threading.Thread(target=read_errors, daemon=True)
    errors.start()
    timer = threading.Timer(TIMEOUT_S, process.kill)
    timer.start()
    for raw in process.stdout:
        sys.stdout.write(raw.decode(errors="replace").replace("\r\n", "\n"))
        sys.stdout.flush()
    code = process.wait()
    timed_out = not timer.is_alive()
    timer.cancel()
    errors.join(10)
    return (None if timed_out else code), state["row"], state["said"]


def why(code, said):
    if code is None:
        return "no result within %d s; the benchmark was ended" % TIMEOUT_S
    if code < 0:
        return "ended by signal %d" % -code
    return said or "exit code %d, and nothing on its standard error" % code


def main():
    rounds = sys.argv[1] if len(sys.argv) > 1 else "30"
    h = H.Harness()
    try:
        h.ensure_prefix()
        h.prefix.kill_server()
        H._remove(h.unix(BENCH_DIR))
        H._copy(h.standin("javaw.exe"), h.unix(BENCH_DIR + r"\idle.exe"))
        H._copy(h.binary("measure", "scan_bench_win32.exe"), h.unix(BENCH_DIR + r"\scan_bench_win32.exe"))
        code, row, said = run([H.WINE, h.unix(BENCH_DIR + r"\scan_bench_win32.exe"), BENCH_DIR + r"\idle.exe",
                               BENCH_DIR, rounds], h.prefix.env())
        if code != 0:
            sys.stderr.write("run_bench.py: the benchmark failed in the row '%s': %s\n"
                             % (row, why(code, said).replace("scan_bench_win32: ", "")))
            return 1
        h.prefix.kill_server()
        kills = sys.argv[2] if len(sys.argv) > 2 else "20"
        return subprocess.call([sys.executable, os.path.join(HERE, "ends_bench.py"), kills])
    finally:
        h.prefix.kill_server()
        if h.xvfb:
            h.xvfb.stop()


if __name__ == "__main__":
    sys.exit(main())
