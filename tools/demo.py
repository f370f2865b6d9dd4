"""Runs PelluxMONITOR.exe under Wine with the stand-in programs installed.

  python3 tools/demo.py --windows-dir <mingw build dir> [--screenshot FILE]

The demo keeps a Wine prefix of its own beside the build (<build>/demo/prefix,
created when missing), installs the stand-ins at their install paths and the
monitor in C:\\Monitor with logging switched on, and starts the monitor on an
explorer desktop with a taskbar. It uses your DISPLAY when there is one and
starts an Xvfb of its own otherwise. Ctrl+C stops the demo: its own wineserver
and its own Xvfb, nothing else.

With --screenshot FILE it waits until both program buttons are green and the
tray icon is shown, saves a PNG of the whole Wine desktop, stops and exits.

While it runs, the demo reads short commands from its terminal: "s [FILE]"
saves a PNG of its desktop (the only way to see an Xvfb of its own), "l"
switches the log file on or off for the next start, "m" starts the monitor
again on the same desktop, "h" lists them.
"""

import argparse
import os
import select
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine"))
import harness as H  # noqa: E402


def parse():
    parser = argparse.ArgumentParser(description="Runs the monitor under Wine with the stand-ins.")
    parser.add_argument("--windows-dir", required=True, help="the mingw-w64 build directory")
    parser.add_argument("--screenshot", metavar="FILE", help="save a PNG of the desktop once all is green, then exit")
    parser.add_argument("--timeout", type=float, default=120, help="seconds to wait for the screenshot state")
    return parser.parse_args()


def start_on_desktop(harness, program, *args):
    """Starts a program on the demo's explorer desktop (the first call creates the desktop)."""
    return subprocess.Popen([H.WINE, "explorer", "/desktop=" + H.DESKTOP, program, *args],
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


COMMANDS = """Commands (type one and press Enter):
  s [FILE]  save a PNG of the demo's desktop (default %s/screenshot-<time>.png)
  l         switch the log on or off for the next start (creates or deletes PelluxMONITOR.anc);
            logging is decided when the monitor starts, so close its window, type l, then m
  m         start the monitor again on this desktop; while one still runs, a second one starts
            and launches both programs again
  h         show this list
From another terminal the same start is:
  DISPLAY=%s WINEPREFIX=%s wine explorer /desktop=%s '%s'"""


def command(harness, demo_dir, words):
    if not words:
        return
    if words[0] == "s":
        target = os.path.abspath(words[1] if len(words) > 1 else
                                 os.path.join(demo_dir, "screenshot-%s.png" % time.strftime("%H%M%S")))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        print("Saved", harness.screenshot(target))
    elif words[0] == "l":
        on = not os.path.exists(harness.log_path())
        harness.set_logging(on)
        print("Logging is %s for the next start of the monitor (%s %s)."
              % ("on" if on else "off", "created" if on else "deleted", harness.log_path()))
    elif words[0] == "m":
        print("Started the monitor again, process %d." % harness.start_monitor())
    else:
        print(COMMANDS % (demo_dir, harness.display, harness.prefix.path, H.DESKTOP, H.MONITOR_EXE))


def main():
    args = parse()
    os.environ["PELLUX_WINDOWS_DIR"] = os.path.abspath(args.windows_dir)
    demo_dir = os.path.join(os.path.dirname(os.path.abspath(args.windows_dir)), "demo")
    os.makedirs(demo_dir, exist_ok=True)
    os.environ["PELLUX_E2E_WORK"] = demo_dir

    own_display = not H.display_usable(os.environ.get("DISPLAY"))
    harness = H.Harness(prefix_path=os.path.join(demo_dir, "prefix"))
    if own_display:
        print("No usable DISPLAY: the demo runs on its own Xvfb at %s; type s to see it as a picture."
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
        print(COMMANDS % (demo_dir, harness.display, harness.prefix.path, H.DESKTOP, H.MONITOR_EXE))
        print("Press Ctrl+C to stop the demo (its wineserver%s)." % (" and Xvfb" if own_display else ""))
        seen = False
        reading = True
        while True:
            if reading and select.select([sys.stdin], [], [], 1.0)[0]:
                line = sys.stdin.readline()
                reading = bool(line)  # end of input: no more commands, the demo goes on
                command(harness, demo_dir, line.split())
            else:
                time.sleep(0 if reading else 1)
            up = any(w["text"] == "PelluxMONITOR" for w in harness.windows())
            if seen and not up:
                print("The monitor has ended; the stand-ins go on running. Type m to start it again,"
                      " or press Ctrl+C to stop the demo.")
            seen = up
    except KeyboardInterrupt:
        print("\nStopping.")
        return 0
    finally:
        harness.close()


if __name__ == "__main__":
    sys.exit(main())
