"""Wine harness for the end-to-end tests and the demo (python3 standard library only).

One Wine prefix serves a whole run; every test case gets a fresh Wine session
in it (its own wineserver and an explorer desktop with a taskbar), and the
files a test changed are put back before the next one. The harness starts its
own Xvfb when there is no usable display, and always stops its own wineserver
and its own Xvfb again, by process id, also when a test fails.

Environment:
  PELLUX_WINDOWS_DIR  the mingw-w64 build tree (PelluxMONITOR.exe, standins/, e2e/)
  PELLUX_RIG_DIR      the tree of the stand-ins and the driver (standins/, e2e/) when
                      PELLUX_WINDOWS_DIR holds only a monitor (the 32-bit build);
                      default PELLUX_WINDOWS_DIR
  PELLUX_E2E_WORK     where prefixes, logs and screenshots go (default: a
                      folder "e2e-work" beside this file's build, see work_dir())
  PELLUX_E2E_PREFIX   the prefix to use (default: <work>/prefix-<pid>)
  PELLUX_E2E_KEEP     set to keep a prefix created by this process

Run by hand: python3 harness.py --create-prefix | --remove-prefix | --cleanup
"""


import atexit
import os
import re
import shutil
import signal
import subprocess
import sys

# The rig's pieces, gathered here so that a test or a tool imports one module.
from common import _copy, _end_pid, _remove, log, wait_until  # noqa: F401
from display import Xvfb, display_usable  # noqa: F401
from driver_client import Driver, DriverError, _free_port  # noqa: F401
from images import bmp_to_png, read_bmp  # noqa: F401
from names import *  # noqa: F401,F403 (the fixed names, for the tests and tools)
from prefix import Prefix, is_32bit_exe, why_no_32bit_programs, windows_dir, work_dir  # noqa: F401


def _debug_string(text):
    """Undoes Wine's escaping of a debug string: \\n, \\", \\\\ and \\XXXX (four hex digits)."""
    named = {"n": "\n", "r": "\r", "t": "\t"}
    return re.sub(r"\\([0-9a-f]{4}|.)",
                  lambda m: chr(int(m.group(1), 16)) if len(m.group(1)) == 4 else named.get(m.group(1), m.group(1)),
                  text)


class Harness:
    """Xvfb and prefix for the run; a Wine session per test case."""

    def __init__(self, prefix_path=None, display=None, fresh_prefix=False):
        """fresh_prefix: a prefix of this process's own, whatever the environment names."""
        self.windows_dir = windows_dir()
        self.rig_dir = os.path.abspath(os.environ.get("PELLUX_RIG_DIR") or self.windows_dir)
        self.work = work_dir()
        self.xvfb = None
        if display is None:
            display = os.environ.get("DISPLAY")
            if not display_usable(display):
                self.xvfb = Xvfb(self.work)
                display = self.xvfb.start()
        self.display = display
        self.own_prefix = fresh_prefix or (prefix_path is None and not os.environ.get("PELLUX_E2E_PREFIX"))
        path = os.path.join(self.work, "prefix-%d" % os.getpid())
        if not fresh_prefix:
            path = prefix_path or os.environ.get("PELLUX_E2E_PREFIX") or path
        self.prefix = Prefix(path, display)
        self.explorer = None
        self.driver = None
        self.monitor_pid = None
        self.monitor_dir = MONITOR_DIR  # where a test put the monitor; its log and control file go there
        self.session_log = None
        self.closed = False

    # ---- files -------------------------------------------------------------

    def binary(self, *relative, tree=None):
        path = os.path.join(tree or self.windows_dir, *relative)
        if not os.path.isfile(path):
            raise AssertionError("missing build output %s" % path)
        return path

    def standin(self, name):
        folder = os.environ.get("PELLUX_STANDINS_DIR") or os.path.join(self.rig_dir, "standins")
        return self.binary(os.path.join(folder, name))

    def unix(self, windows_path):
        return self.prefix.unix(windows_path)

    def install(self, monitor=True):
        """Puts every program (the monitor too, unless told) at its install path and removes whatever a test left behind."""
        for folder in (CONTROLLER_DIR, r"C:\Program Files\Ferrowin", MONITOR_DIR, DRIVER_DIR, self.monitor_dir):
            _remove(self.unix(folder))
        self.monitor_dir = MONITOR_DIR
        _remove(self.unix(TRAP_MARKER))
        _remove(self.unix(TRAP_EXE))
        self.unmap_drive_d()
        _copy(self.standin("Pellux.exe"), self.unix(CONTROLLER_EXE))
        _copy(self.standin("javaw.exe"), self.unix(JAVAW_EXE))
        _copy(self.standin("LINTARO.exe"), self.unix(BRIDGE_EXE))
        if monitor:
            _copy(self.binary("PelluxMONITOR.exe"), self.unix(MONITOR_EXE))
        _copy(self.binary("e2e", "pellux_trap.exe", tree=self.rig_dir), self.unix(TRAP_EXE))
        _copy(self.binary("e2e", "pellux_driver.exe", tree=self.rig_dir), self.unix(DRIVER_EXE))

    def ensure_prefix(self):
        if not self.prefix.exists():
            self.prefix.create()

    def set_logging(self, on):
        path = self.log_path()
        _remove(path)
        if on:
            open(path, "wb").close()

    def log_path(self):
        return self.unix(self.monitor_dir + r"\PelluxMONITOR.anc")

    def log_text(self):
        try:
            with open(self.log_path(), "rb") as f:
                return f.read().decode("cp1252")
        except FileNotFoundError:
            return None

    def log_entries(self):
        """The log as (stamp, text) pairs; a text may hold CRs of its own."""
        text = self.log_text() or ""
        return re.findall(r'#([^#\r\n]*)#,"(.*?)"\r\n(?=#|\Z)', text, re.S)

    def log_texts(self):
        return [text for _, text in self.log_entries()]

    def write_control_file(self, content, where=MONITOR_DIR):
        path = self.unix(where + r"\Pellux.stp")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode("cp1252"))
        return path

    def remove_control_file(self, where=MONITOR_DIR):
        _remove(self.unix(where + r"\Pellux.stp"))

    def map_drive_d(self):
        """Drive D: of the prefix, an empty folder; takes effect at the next session."""
        target = os.path.join(self.prefix.path, "drive_d")
        os.makedirs(target, exist_ok=True)
        link = os.path.join(self.prefix.path, "dosdevices", "d:")
        _remove(link)
        os.symlink("../drive_d", link)
        return target

    def unmap_drive_d(self):
        _remove(os.path.join(self.prefix.path, "dosdevices", "d:"))
        _remove(os.path.join(self.prefix.path, "drive_d"))

    def map_drive(self, letter):
        """Drive letter: of the prefix, an empty folder; takes effect at the next session."""
        target = os.path.join(self.prefix.path, "drive_" + letter)
        os.makedirs(target, exist_ok=True)
        link = os.path.join(self.prefix.path, "dosdevices", letter + ":")
        _remove(link)
        os.symlink("../drive_" + letter, link)
        return target

    def unmap_drive(self, letter):
        _remove(os.path.join(self.prefix.path, "dosdevices", letter + ":"))
        _remove(os.path.join(self.prefix.path, "drive_" + letter))

    def reg(self, *words):
        """wine reg WORDS... in the prefix (the session's wineserver, when one runs); its exit code."""
        return self.prefix.run("wine", "reg", *words, timeout=120).returncode

    # ---- the Wine session ----------------------------------------------------

    def start_session(self, name="session", wine_debug=None):
        """A fresh wineserver with an explorer desktop (taskbar and tray) running the driver.

        wine_debug, when given, is the session's WINEDEBUG; the traces go to session_log."""
        # Now and then a fresh wineserver comes up without ever starting the
        # desktop's program; a second start of the whole session gets past it.
        for attempt in (1, 2):
            self.stop_session()
            # A session left behind (a run killed at its timeout) would capture the new desktop.
            self.prefix.kill_server()
            port = _free_port()
            self.session_log = os.path.join(self.work, "%s-%d.log" % (name, os.getpid()))
            out = open(self.session_log, "wb")
            driver_log = "Z:" + os.path.join(self.work, "driver-%d.log" % os.getpid()).replace("/", "\\")
            self.explorer = subprocess.Popen(
                [WINE, "explorer", "/desktop=" + DESKTOP, DRIVER_EXE, str(port), driver_log],
                env=dict(self.prefix.env(), **({"WINEDEBUG": wine_debug} if wine_debug else {})), stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                start_new_session=True)
            out.close()
            self.driver = Driver(port)
            try:
                self.driver.connect(timeout=60 if attempt == 1 else 90)
                break
            except DriverError:
                if attempt == 2:
                    raise
                log("the driver did not answer; starting the session again")
        wait_until(lambda: self.shell_tray_window(), 30, "the taskbar of the explorer desktop")

    def stop_session(self):
        if self.driver:
            self.driver.close()
            self.driver = None
        if self.explorer is not None:
            self.prefix.kill_server()
            try:
                self.explorer.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.explorer.kill()
                self.explorer.wait(timeout=5)
            self.explorer = None
        self.monitor_pid = None

    def close(self):
        if self.closed:
            return
        self.closed = True
        try:
            self.stop_session()
            self.prefix.kill_server()
        finally:
            if self.xvfb:
                self.xvfb.stop()
            if self.own_prefix and not os.environ.get("PELLUX_E2E_KEEP"):
                shutil.rmtree(self.prefix.path, ignore_errors=True)

    def call(self, *words):
        return self.driver.call(*words)

    # ---- acting and observing --------------------------------------------------

    def start_monitor(self, exe=MONITOR_EXE):
        """Starts the monitor (C:\\Monitor\\PelluxMONITOR.exe) on the session's desktop; returns its process id."""
        self.monitor_pid = self.call("start", exe, self.monitor_dir)["pid"]
        return self.monitor_pid

    def start_program(self, exe, folder=""):
        return self.call("start", exe, folder)["pid"]

    def windows(self):
        return self.call("windows")["windows"]

    def system_events(self):
        """The events written so far in this session, as (level, id, [strings]); needs wine_debug = EVENT_DEBUG."""
        events, by_thread = [], {}
        with open(self.session_log, "rb") as f:
            lines = f.read().decode("utf-8", "replace").splitlines()
        for line in lines:
            head = re.match(r"([0-9a-f]+):fixme:advapi:ReportEventW \(\w+,0x(\w+),0x\w+,0x(\w+),", line)
            if head:
                event = (EVENT_LEVELS.get(int(head.group(2), 16)), int(head.group(3), 16), [])
                events.append(event)
                by_thread[head.group(1)] = event
                continue
            string = re.match(r'([0-9a-f]+):\w+:eventlog:ReportEventW L"(.*)"$', line)
            if string and string.group(1) in by_thread:
                by_thread[string.group(1)][2].append(_debug_string(string.group(2)))
        return events

    def session_errors(self):
        """The lines of the session's output where Wine reports an error of its own."""
        try:
            with open(self.session_log, "rb") as f:
                lines = f.read().decode("utf-8", "replace").splitlines()
        except (OSError, TypeError):
            return []
        # Wine traces each error event of the monitor as an error of its own: those are not.
        return [line for line in lines
                if (":err:" in line and ":err:eventlog:" not in line) or line.startswith("wine:")]

    def shell_tray_window(self):
        return next((w for w in self.windows() if w["class"] == "Shell_TrayWnd"), None)

    def monitor_windows(self, pid=None):
        pid = pid or self.monitor_pid
        return [w for w in self.windows() if w["pid"] == pid]

    def main_window(self, pid=None):
        """The monitor's visible main window (not a message box), or None."""
        for w in self.monitor_windows(pid):
            if w["visible"] and w["text"] == "PelluxMONITOR" and w["class"] != "#32770":
                return w
        return None

    def wait_main_window(self, timeout=30):
        return wait_until(self.main_window, timeout, "the main window")

    def children(self, hwnd):
        return self.call("children", hwnd)["children"]

    def control(self, main, control_id):
        for child in self.children(main["hwnd"]):
            if child["id"] == control_id:
                return child
        raise AssertionError("control %d not found" % control_id)

    def text(self, hwnd):
        return self.call("text", hwnd)["text"]

    def set_text(self, hwnd, text):
        self.call("settext", hwnd, text)

    def boxes(self, pid=None):
        pid = pid or self.monitor_pid
        return [b for b in self.call("boxes")["boxes"] if pid is None or b["pid"] == pid]

    def wait_box(self, timeout=30, pid=None):
        return wait_until(lambda: (self.boxes(pid) or [None])[0], timeout, "a message box")

    def answer_box(self, box):
        """Presses OK: the box's own WM_COMMAND IDOK."""
        self.call("post", box["hwnd"], WM_COMMAND, IDOK, 0)
        wait_until(lambda: not any(b["hwnd"] == box["hwnd"] for b in self.call("boxes")["boxes"]), 15,
                   "the box to close")

    def processes(self):
        return self.call("processes")["processes"]

    def processes_at(self, windows_path):
        """The processes of that exe. A program started through start.exe may show the stub under
        its own path for a moment; the stub's image name (start.exe) gives it away."""
        name = windows_path.rsplit("\\", 1)[-1].lower()
        return [p for p in self.processes()
                if p["path"].lower() == windows_path.lower() and p["exe"].lower() == name]

    def wait_process_at(self, windows_path, timeout=20, exclude=()):
        return wait_until(lambda: next((p for p in self.processes_at(windows_path) if p["pid"] not in exclude), None),
                          timeout, "a process of %s" % windows_path)

    def watch(self, on=True):
        """Starts (or stops) the driver's recording of every process that appears, however briefly."""
        self.call("watch", "on" if on else "off")

    def seen_processes(self):
        return self.call("watch", "list")["processes"]

    def hold(self, pid):
        self.call("hold", pid)

    def wait_exit(self, pid, timeout):
        """(exited, exit code) of a process, waiting up to timeout seconds."""
        result = self.call("wait", pid, int(timeout * 1000))
        return result["exited"], result["code"]

    def kill(self, pid, code=1):
        return self.call("kill", pid, code)["exited"]

    def pixel(self, x, y):
        return self.call("pixels", x, y)["colours"][0]

    def control_colour(self, control, x=8, y=8):
        """The colour shown at (x, y) from the control's top-left corner, 0x00BBGGRR."""
        return self.pixel(control["rect"][0] + x, control["rect"][1] + y)

    def tray_icons(self):
        return [i for i in self.call("tray")["icons"] if i["visible"]]

    def tray_tips(self):
        return [icon["tip"] for icon in self.tray_icons()]

    def taskbar_buttons(self):
        return self.call("taskbar")["buttons"]

    def focus(self, hwnd):
        return self.call("focus", hwnd)

    def set_focus(self, hwnd):
        self.call("setfocus", hwnd)

    def keys(self, *vks):
        self.call("keys", *vks)

    def type_text(self, text):
        self.call("type", text)

    def click(self, control):
        self.call("click", control["hwnd"])

    def close_window(self, window):
        self.call("post", window["hwnd"], WM_CLOSE, 0, 0)

    def region_colours(self, rect):
        """How often each colour appears on screen inside rect [left, top, right, bottom]."""
        bmp = os.path.join(self.work, "region-%d.bmp" % os.getpid())
        self.call("screenshot", "Z:" + bmp.replace("/", "\\"))
        _, _, pixel = read_bmp(bmp)
        os.remove(bmp)
        counts = {}
        for y in range(rect[1], rect[3]):
            for x in range(rect[0], rect[2]):
                c = pixel(x, y)
                counts[c] = counts.get(c, 0) + 1
        return counts

    def screenshot(self, unix_path):
        """Saves the whole desktop as PNG (or BMP when the name ends in .bmp)."""
        bmp = unix_path if unix_path.endswith(".bmp") else unix_path + ".bmp"
        self.call("screenshot", "Z:" + bmp.replace("/", "\\"))
        if bmp != unix_path:
            bmp_to_png(bmp, unix_path)
            os.remove(bmp)
        return unix_path


_shared = None


def shared_harness():
    """The run's harness, made on first use; closed at exit or on SIGTERM/SIGINT/SIGHUP."""
    global _shared
    if _shared is None:
        _shared = Harness()
        atexit.register(_shared.close)
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            signal.signal(sig, _on_signal)
        _shared.ensure_prefix()
    return _shared


def _on_signal(signum, _frame):
    # The test in progress may be inside a driver call: end the session without
    # talking to the driver, and leave at once (unittest would catch SystemExit
    # and go on with the next test).
    if _shared:
        if _shared.driver and _shared.driver.sock:
            _shared.driver.sock.close()
        _shared.driver = None
        _shared.close()
    os._exit(128 + signum)


def _cleanup(work):
    """Ends what earlier runs left behind: their Xvfb (by recorded id) and wineservers of their prefixes."""
    for name in os.listdir(work):
        if name.startswith("xvfb-") and name.endswith(".pid"):
            try:
                pid = int(open(os.path.join(work, name)).read().strip())
            except (OSError, ValueError):
                pid = None
            if pid:
                _end_pid(pid, "Xvfb")
            _remove(os.path.join(work, name))


def main(argv):
    if len(argv) < 2 or argv[1] not in ("--create-prefix", "--remove-prefix", "--cleanup"):
        print(__doc__)
        return 2
    work = work_dir()
    prefix_path = os.environ.get("PELLUX_E2E_PREFIX") or os.path.join(work, "prefix")
    if argv[1] == "--create-prefix":
        for name in os.listdir(work):
            if name.endswith(".log") or (name.startswith("failed-") and name.endswith(".png")):
                _remove(os.path.join(work, name))
        harness = Harness(prefix_path=prefix_path)
        try:
            harness.prefix.kill_server()
            shutil.rmtree(prefix_path, ignore_errors=True)
            harness.prefix.create()
        finally:
            harness.close()
        return 0
    if argv[1] in ("--remove-prefix", "--cleanup"):
        if os.path.isdir(prefix_path):
            Prefix(prefix_path, os.environ.get("DISPLAY", ":0")).kill_server()
        _cleanup(work)
        if argv[1] == "--remove-prefix" and not os.environ.get("PELLUX_E2E_KEEP"):
            shutil.rmtree(prefix_path, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
