"""Runs scan_bench_win32.exe under Wine in a prefix of its own (see the header of scan_bench_win32.cpp).

The idle program of the stand-ins is copied to C:\\bench\\idle.exe, the
benchmark starts as many of it as each row asks for and ends them again; this
script then stops the prefix's wineserver and its own Xvfb.

Environment: as tools/wine/harness.py (PELLUX_WINDOWS_DIR, PELLUX_E2E_WORK,
PELLUX_E2E_PREFIX). Argument: the number of interleaved rounds (default 30).
"""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "wine"))

import harness as H  # noqa: E402

BENCH_DIR = r"C:\bench"


def main():
    rounds = sys.argv[1] if len(sys.argv) > 1 else "30"
    h = H.Harness()
    try:
        h.ensure_prefix()
        h.prefix.kill_server()
        H._remove(h.unix(BENCH_DIR))
        H._copy(h.standin("javaw.exe"), h.unix(BENCH_DIR + r"\idle.exe"))
        H._copy(h.binary("measure", "scan_bench_win32.exe"), h.unix(BENCH_DIR + r"\scan_bench_win32.exe"))
        result = subprocess.run([H.WINE, h.unix(BENCH_DIR + r"\scan_bench_win32.exe"), BENCH_DIR + r"\idle.exe",
                                 BENCH_DIR, rounds], env=h.prefix.env(), stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=3600)
        sys.stdout.write(result.stdout.decode(errors="replace").replace("\r\n", "\n"))
        return result.returncode
    finally:
        h.prefix.kill_server()
        if h.xvfb:
            h.xvfb.stop()


if __name__ == "__main__":
    sys.exit(main())
