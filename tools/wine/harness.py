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
import glob
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

DESKTOP = "shell,1024x768"
SCREEN = "1024x768x24"
WINE_FONTS = "/usr/share/wine/fonts"  # fonts-wine

MONITOR_DIR = r"C:\Monitor"
MONITOR_EXE = MONITOR_DIR + r"\PelluxMONITOR.exe"
CONTROLLER_DIR = r"C:\Program Files\Pellux"
CONTROLLER_EXE = CONTROLLER_DIR + r"\Pellux.exe"
JAVAW_EXE = CONTROLLER_DIR + r"\jre\bin\javaw.exe"
BRIDGE_DIR = r"C:\Program Files\Ferrowin\LINTARO"
BRIDGE_EXE = BRIDGE_DIR + r"\LINTARO.exe"
TRAP_EXE = r"C:\Program.exe"
TRAP_MARKER = r"C:\trap-ran.txt"
DRIVER_DIR = r"C:\e2e"
DRIVER_EXE = DRIVER_DIR + r"\pellux_driver.exe"

# Control ids of the main window.
TBPORT, CBPELLUX, CBLINTARO, LABEL1, LBLMSG, IMAGE1, PICHOOK = 101, 102, 103, 104, 105, 106, 107

BEFORE = "Timer1 - BEFORE 'CALL Pellux_MONITOR'"
AFTER = "Timer1 - AFTER 'CALL Pellux_MONITOR'"
VERSION_TIP = "PelluxMONITOR - v1.0.0.0"
LAUNCH_CLAIM = r"Global\PelluxMONITOR.Launch"  # held by the monitor of the session that launches
HOLDING_TIP = "PelluxMONITOR - Holding"

GREEN, RED, WHITE, BLACK, MAGENTA, GREY = 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0xFF00FF, 0xE0E0E0
AMBER = 0x00BFFF  # a program of another session

WM_CLOSE, WM_COMMAND, WM_KEYDOWN, WM_KEYUP, BM_CLICK = 0x0010, 0x0111, 0x0100, 0x0101, 0x00F5
VK_TAB, VK_SPACE, VK_RETURN = 0x09, 0x20, 0x0D
IDOK = 1
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_SYSMENU, WS_THICKFRAME = 0x00020000, 0x00010000, 0x00080000, 0x00040000
WS_EX_APPWINDOW, WS_EX_TOOLWINDOW = 0x00040000, 0x00000080

# Wine keeps no event log, but with these channels it prints every
# ReportEventW call: a line with its type and event id, then one line per
# string at the event's level (trace = information, warn, err).
EVENT_DEBUG = "-all,err+all,+eventlog,fixme+advapi"  # Wine's own errors too, shown when a test fails
EVENT_LEVELS = {0x0001: "error", 0x0002: "warning", 0x0004: "information"}

HERE = os.path.dirname(os.path.abspath(__file__))

# With 32-bit Wine installed, Debian's `wine` is the 32-bit loader: it runs
# Wine's own programs (explorer, reg, msiexec) in their 32-bit builds, so the
# shell's tray records and HKLM's view are the 32-bit ones, and it starts a
# 64-bit exe through a 32-bit start.exe. A 64-bit Windows runs its shell and
# tools 64-bit: the rig calls the 64-bit loader itself when there is one.
WINE64 = "/usr/lib/wine/wine64"
WINE = WINE64 if os.access(WINE64, os.X_OK) else "wine"


def log(*parts):
    print("[e2e %s]" % time.strftime("%H:%M:%S"), *parts, file=sys.stderr, flush=True)


def wait_until(condition, timeout, what, interval=0.2):
    """Polls condition() until it returns a true value, which is returned; fails the test at the deadline."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except (DriverError, OSError) as error:
            last_error = error
        if time.monotonic() >= deadline:
            detail = " (last error: %s)" % last_error if last_error else ""
            raise AssertionError("timed out after %.0f s waiting for %s%s" % (timeout, what, detail))
        time.sleep(interval)


def windows_dir():
    path = os.environ.get("PELLUX_WINDOWS_DIR")
    if not path:
        raise unittest.SkipTest("PELLUX_WINDOWS_DIR is not set")
    return os.path.abspath(path)


def work_dir():
    path = os.environ.get("PELLUX_E2E_WORK") or os.path.join(windows_dir(), "e2e-work")
    os.makedirs(path, exist_ok=True)
    return path


def why_no_32bit_programs():
    """None when 32-bit Wine is installed and this kernel runs it; otherwise why not, in one line."""
    loader = "/usr/lib/wine/wine"
    if not os.path.isdir("/usr/lib/i386-linux-gnu/wine") or not os.access(loader, os.X_OK):
        return "32-bit Wine (wine32:i386) is not installed (the mirror could not serve it): the 32-bit monitor cannot run here"
    try:
        if subprocess.run([loader, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=30).returncode == 0:
            return None
    except OSError:
        pass
    return "this kernel runs no 32-bit program: the 32-bit monitor cannot run here"


def is_32bit_exe(path):
    """True when path is a PE image for the 32-bit x86 (machine 0x14c)."""
    if not os.path.isfile(path):
        return False
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    return head[pe:pe + 4] == b"PE\0\0" and int.from_bytes(head[pe + 4:pe + 6], "little") == 0x14C


def _alive(pid, name):
    """True when pid is a live process whose command line mentions name (guards against reused ids)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return name.encode() in f.read()
    except OSError:
        return False


def _end_pid(pid, name, grace=5.0):
    if not _alive(pid, name):
        return
    try:
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline and _alive(pid, name):
            time.sleep(0.05)
        if _alive(pid, name):
            os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


class Xvfb:
    """Our own X server on a display it picks itself (-displayfd), so parallel runs never collide."""

    def __init__(self, pid_dir):
        self.pid_dir = pid_dir
        self.process = None
        self.display = None

    def start(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        with open(os.path.join(self.pid_dir, "xvfb-%d.pid" % self.process.pid), "w") as f:
            f.write(str(self.process.pid))
        log("Xvfb", self.process.pid, "on", self.display)
        return self.display

    def stop(self):
        if self.process is None:
            return
        _end_pid(self.process.pid, "Xvfb")
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
        try:
            os.remove(os.path.join(self.pid_dir, "xvfb-%d.pid" % self.process.pid))
        except OSError:
            pass
        self.process = None


def display_usable(display):
    if not display:
        return False
    if shutil.which("xdpyinfo"):
        return subprocess.run(["xdpyinfo", "-display", display], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=10).returncode == 0
    match = re.match(r"^:(\d+)", display)
    return bool(match) and os.path.exists("/tmp/.X11-unix/X" + match.group(1))


class DriverError(Exception):
    pass


class Driver:
    """Client of pellux_driver.exe: one request line out, one JSON line back."""

    def __init__(self, port):
        self.port = port
        self.sock = None
        self.buffer = b""

    def connect(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=2)
                self.sock.settimeout(60)
                self.call("ping")
                return
            except (OSError, DriverError):
                if self.sock:
                    self.sock.close()
                    self.sock = None
                if time.monotonic() >= deadline:
                    raise DriverError("the driver did not answer on port %d" % self.port)
                time.sleep(0.3)

    @staticmethod
    def _escape(word):
        word = str(word)
        return word.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")

    def call(self, *words):
        if self.sock is None:
            raise DriverError("not connected")
        line = "\t".join(self._escape(w) for w in words) + "\n"
        self.sock.sendall(line.encode("utf-8"))
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise DriverError("the driver closed the connection")
            self.buffer += chunk
        answer, self.buffer = self.buffer.split(b"\n", 1)
        result = json.loads(answer.decode("utf-8"))
        if not result.get("ok"):
            raise DriverError("%s: %s" % (words[0], result.get("error")))
        return result

    def close(self):
        if self.sock:
            try:
                self.call("quit")
            except (OSError, DriverError):
                pass
            self.sock.close()
            self.sock = None


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Prefix:
    """A Wine prefix of our own, never ~/.wine."""

    def __init__(self, path, display):
        self.path = os.path.abspath(path)
        self.display = display

    def env(self):
        env = dict(os.environ)
        env.update(WINEPREFIX=self.path, WINEDLLOVERRIDES="mscoree,mshtml=", WINEDEBUG="-all",
                   DISPLAY=self.display, WINEARCH="win64", LC_ALL="C.UTF-8")
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def unix(self, windows_path):
        """The Unix path of a C:\\ or D:\\ path inside the prefix."""
        drive, rest = windows_path[0].lower(), windows_path[3:]
        root = os.path.join(self.path, "drive_c" if drive == "c" else "drive_" + drive)
        return os.path.join(root, *rest.split("\\")) if rest else root

    def run(self, *command, timeout=300, capture=False):
        """The finished command ("wine" is the 64-bit loader); with capture, its standard output as text."""
        command = [WINE if word == "wine" and i == 0 else word for i, word in enumerate(command)]
        return subprocess.run(command, env=self.env(), timeout=timeout, stderr=subprocess.DEVNULL,
                              stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                              text=capture or None, errors="replace" if capture else None)

    def exists(self):
        return os.path.isfile(os.path.join(self.path, "system.reg"))

    def create(self):
        log("creating Wine prefix", self.path)
        started = time.monotonic()
        # DISPLAY is set before the first wine command, or Wine's X driver never loads.
        # Through the 64-bit loader: Debian's wineboot script takes the 32-bit
        # one whenever it is installed, which fails where the kernel runs no
        # 32-bit program.
        self.run("wine", "wineboot", "-i")
        self.run("wineserver", "-w")
        reg = os.path.join(self.path, "e2e-settings.reg")
        with open(reg, "w", encoding="utf-16") as f:
            f.write("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"
                    "\"Arial\"=\"Liberation Sans\"\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"
                    "\"ShowCrashDialog\"=dword:00000000\r\n\r\n")
        self.run("wine", "regedit", "/S", reg)
        self.run("wineserver", "-w")
        # Debian's Wine does not find its own fonts (Marlett draws the caption
        # buttons, Tahoma the dialogs) unless they stand in the prefix's Fonts.
        fonts = os.path.join(self.path, "drive_c", "windows", "Fonts")
        for name in sorted(glob.glob(os.path.join(WINE_FONTS, "*.ttf"))):
            _copy(name, os.path.join(fonts, os.path.basename(name)))
        log("prefix ready in %.0f s" % (time.monotonic() - started))

    def kill_server(self):
        if os.path.isdir(self.path):
            self.run("wineserver", "-k", timeout=60)
            self.run("wineserver", "-w", timeout=60)


def _debug_string(text):
    """Undoes Wine's escaping of a debug string: \\n, \\", \\\\ and \\XXXX (four hex digits)."""
    named = {"n": "\n", "r": "\r", "t": "\t"}
    return re.sub(r"\\([0-9a-f]{4}|.)",
                  lambda m: chr(int(m.group(1), 16)) if len(m.group(1)) == 4 else named.get(m.group(1), m.group(1)),
                  text)


def _copy(source, target):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(source, target)


def _remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)


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


def _bmp_rows(bmp_path):
    """(width, height, rows top-down as BGR bytes) of the driver's 24-bit BMP."""
    import struct
    with open(bmp_path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError("not a 24-bit BMP")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y  # bottom-up unless the height is negative
        rows.append(data[offset + source * stride: offset + source * stride + width * 3])
    return width, abs(height), rows


def read_bmp(bmp_path):
    """(width, height, pixel(x, y) -> 0x00BBGGRR) of the driver's 24-bit BMP."""
    width, height, rows = _bmp_rows(bmp_path)

    def pixel(x, y):
        b, g, r = rows[y][x * 3: x * 3 + 3]
        return r | (g << 8) | (b << 16)
    return width, height, pixel


def bmp_to_png(bmp_path, png_path, rect=None):
    """Converts the driver's 24-bit BMP, or its part rect [left, top, right, bottom], into a PNG,
    standard library only."""
    import struct
    import zlib
    width, height, bgr_rows = _bmp_rows(bmp_path)
    if rect:
        left, top = max(rect[0], 0), max(rect[1], 0)
        right, bottom = min(rect[2], width), min(rect[3], height)
        bgr_rows = [row[left * 3: right * 3] for row in bgr_rows[top:bottom]]
        width, height = right - left, bottom - top
    rows = []
    for bgr in bgr_rows:
        row = bytearray(bgr)
        row[0::3], row[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b"\0" + bytes(row))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    with open(png_path, "wb") as f:
        f.write(png)


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


class MonitorTestCase(unittest.TestCase):
    """Each test gets a fresh Wine session and freshly installed programs."""

    logging = True
    wine_debug = None  # WINEDEBUG of the test's session, when it reads Wine's traces

    @classmethod
    def setUpClass(cls):
        # Some kernels run no 32-bit program at all, and 32-bit Wine with them:
        # there the 32-bit monitor cannot be shown, only skipped, and says so.
        if is_32bit_exe(os.path.join(windows_dir(), "PelluxMONITOR.exe")):
            why = why_no_32bit_programs()
            if why:
                raise unittest.SkipTest(why)
        cls.h = shared_harness()

    def run(self, result=None):
        """Runs the test, and once more when it fails, its first failure printed in full.

        Wine on a loaded machine now and then loses a process start or a message
        that no code of the monitor takes part in; a fault of the monitor fails
        both times. PELLUX_E2E_ONCE=1 runs each test once."""
        if result is None or os.environ.get("PELLUX_E2E_ONCE") == "1":
            return super().run(result)
        first = unittest.TestResult()
        super().run(first)
        if not first.wasSuccessful():
            log("FAILED on the first run, running it once more:\n" +
                "\n".join(text for _, text in first.failures + first.errors))
            return super().run(result)
        result.startTest(self)
        for _, reason in first.skipped:
            result.addSkip(self, reason)
        if not first.skipped:
            result.addSuccess(self)
        result.stopTest(self)
        return result

    def setUp(self):
        self.h.stop_session()
        self.h.install()
        self.h.set_logging(self.logging)
        self.h.start_session(self.id().rsplit(".", 1)[-1], self.wine_debug)

    def tearDown(self):
        outcome = getattr(self, "_outcome", None)
        # Python 3.11 records a failure straight in the result and leaves
        # outcome.success as it was; older ones only set success.
        result = getattr(outcome, "result", None)
        recorded = [test for test, _ in getattr(result, "failures", []) + getattr(result, "errors", [])]
        failed = outcome is not None and (not getattr(outcome, "success", True) or self in recorded)
        if failed and self.h.driver:
            name = os.path.join(self.h.work, "failed-%s.png" % self.id().rsplit(".", 1)[-1])
            try:
                self.h.screenshot(name)
                log("screenshot of the failure:", name)
            except Exception as error:  # the screenshot is only a help
                log("no screenshot:", error)
            text = self.h.log_text()
            if text is not None:
                # Its start (the launch lines) and its end (the last cycles).
                shown = text if len(text) <= 4500 else text[:1500] + "\n[...]\n" + text[-3000:]
                log("monitor log:\n" + shown.replace("\r", "\\r\n"))
            errors = self.h.session_errors()
            if errors:
                log("Wine's errors in the session:\n" + "\n".join(errors[-20:]))
        self.h.stop_session()

    # helpers shared by the tests

    def start_and_wait_window(self):
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        return self.h.wait_main_window()

    def wait_log(self, predicate, timeout, what):
        return wait_until(lambda: predicate(self.h.log_texts()), timeout, what)

    def wait_green(self, main, *ids, timeout=20):
        for control_id in ids:
            control = self.h.control(main, control_id)
            wait_until(lambda: self.h.control_colour(control) == GREEN, timeout,
                       "control %d to turn green" % control_id)

    def wait_supervised_pair(self, timeout=20):
        """The controller's javaw.exe and the bridge both running."""
        javaw = self.h.wait_process_at(JAVAW_EXE, timeout)
        bridge = self.h.wait_process_at(BRIDGE_EXE, timeout)
        return javaw, bridge

    def cycles_done(self):
        return self.h.log_texts().count(AFTER)

    def wait_cycles(self, count, timeout=None):
        """Waits until count more supervision cycles have ended (logging on)."""
        target = self.cycles_done() + count
        self.wait_log(lambda t: t.count(AFTER) >= target, timeout or 4.5 * count + 2, "%d cycles" % count)

    def wait_steady(self):
        """Start-up done and a whole cycle run with the controller up: both programs run, the bridge kept."""
        main = self.start_and_wait_window()
        self.wait_green(main, CBLINTARO, CBPELLUX)
        self.h.wait_process_at(JAVAW_EXE, 20)
        self.wait_cycles(2)
        javaw, bridge = self.wait_supervised_pair(5)
        return main, javaw, bridge

    def assertBox(self, box, message, caption="PelluxMONITOR"):
        self.assertEqual(box["text"], caption)
        self.assertEqual(box["message"], message)
        self.assertFalse(box["icon"], "the box shows an icon")
        self.assertEqual([b["text"].replace("&", "") for b in box["buttons"]], ["OK"])

    def assertMonitorEnds(self, timeout=15):
        exited, _ = self.h.wait_exit(self.h.monitor_pid, timeout)
        self.assertTrue(exited, "the monitor is still running")


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
