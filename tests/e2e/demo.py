"""Runs PelluxMONITOR.exe under Wine with the stand-in programs installed.

  python3 tests/e2e/demo.py --windows-dir <mingw build dir> [--screenshot FILE]

The demo keeps a Wine prefix of its own beside the build (<build>/demo/prefix,
created when missing), installs the stand-ins at their install paths and the
monitor in C:\\Monitor with logging switched on, and starts the monitor on an
explorer desktop with a taskbar. It uses your DISPLAY when there is one and
starts an Xvfb of its own otherwise. Ctrl+C stops the demo: its own wineserver
and its own Xvfb, nothing else.

With --screenshot FILE it waits until both program buttons are green and the
tray icon is shown, saves a PNG of the whole Wine desktop, stops and exits.
"""

import argparse
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as H  # noqa: E402


def parse():
    parser = argparse.ArgumentParser(description="Runs the monitor under Wine with the stand-ins.")
    parser.add_argument("--windows-dir", required=True, help="the mingw-w64 build directory")
    parser.add_argument("--screenshot", metavar="FILE", help="save a PNG of the desktop once all is green, then exit")
    parser.add_argument("--timeout", type=float, default=120, help="seconds to wait for the screenshot state")
    return parser.parse_args()


def start_on_desktop(harness, program, *args):
    """Starts a program on the demo's explorer desktop (the first call creates the desktop)."""
    return subprocess.Popen(["wine", "explorer", "/desktop=" + H.DESKTOP, program, *args],
                            env=harness.prefix.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)


def wait_all_green(harness, timeout):
    def ready():
        main = next((w for w in harness.windows() if w["visible"] and w["text"] == "PelluxMONITOR"
                     and w["class"] != "#32770"), None)
        if not main:
            return None
        colours = [harness.control_colour(harness.control(main, i)) for i in (H.CBLINTARO, H.CBPELLUX)]
        return colours == [H.GREEN, H.GREEN] and harness.tray_icons() and main
    return H.wait_until(ready, timeout, "both buttons green and the tray icon", interval=0.5)


def main():
    args = parse()
    os.environ["PELLUX_WINDOWS_DIR"] = os.path.abspath(args.windows_dir)
    demo_dir = os.path.join(os.path.dirname(os.path.abspath(args.windows_dir)), "demo")
    os.makedirs(demo_dir, exist_ok=True)
    os.environ["PELLUX_E2E_WORK"] = demo_dir

    own_display = not H.display_usable(os.environ.get("DISPLAY"))
    harness = H.Harness(prefix_path=os.path.join(demo_dir, "prefix"))
    if own_display:
        print("No usable DISPLAY: the demo runs on its own Xvfb at %s (nothing to see; use --screenshot)."
              % harness.display)
    # Ctrl+C must stop the demo even when started from a shell that ignores SIGINT.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    try:
        harness.ensure_prefix()
        harness.prefix.kill_server()
        harness.install()
        harness.set_logging(True)
        harness.explorer = start_on_desktop(harness, H.MONITOR_EXE)
        # The driver joins the same desktop; it only watches.
        port = H._free_port()
        start_on_desktop(harness, H.DRIVER_EXE, str(port))
        harness.driver = H.Driver(port)
        harness.driver.connect(timeout=90)

        if args.screenshot:
            wait_all_green(harness, args.timeout)
            time.sleep(1)  # let the last repaint land
            target = os.path.abspath(args.screenshot)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            harness.screenshot(target)
            print("Saved", target)
            return 0

        print("PelluxMONITOR runs on the Wine desktop (prefix %s)." % harness.prefix.path)
        print("Log: %s" % harness.log_path())
        print("Control file: put Pellux.stp in %s" % harness.unix(H.MONITOR_DIR))
        print("Press Ctrl+C to stop the demo (its wineserver%s)." % (" and Xvfb" if own_display else ""))
        seen = False
        while True:
            time.sleep(1)
            up = any(w["text"] == "PelluxMONITOR" for w in harness.windows())
            if seen and not up:
                print("The monitor has ended; the stand-ins go on running. Press Ctrl+C to stop the demo.")
            seen = up
    except KeyboardInterrupt:
        print("\nStopping.")
        return 0
    finally:
        harness.close()


if __name__ == "__main__":
    sys.exit(main())
