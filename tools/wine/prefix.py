"""The Wine prefix of a run and where the rig finds its build and keeps its work: never ~/.wine."""

import glob
import os
import re
import subprocess
import time
import unittest

from common import _copy, log
from names import WINE, WINE_FONTS


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

    # The monitor's own keys and its policies, in either registry view, as
    # the prefix's registry files name them (relative to HKCU or HKLM).
    MONITOR_KEYS = re.compile(r"^\[Software\\\\(Wow6432Node\\\\)?(Policies\\\\)?PelluxMONITOR(\\\\[^\]]*)?\]",
                              re.IGNORECASE)

    def forget_monitor_settings(self):
        """Removes every setting of the monitor from the prefix's registry files; only while no wineserver runs.

        A case's cleanup deletes what it set through `wine reg`, which a loaded
        machine can leave undone (the call times out); a setting left behind
        would make every later monitor of the lane refuse it or miss a program.
        A cleanup's `wine reg` may have left its wineserver behind, which would
        write its registry back on its way out: it is ended first."""
        self.kill_server()
        for name in ("user.reg", "system.reg"):
            path = os.path.join(self.path, name)
            try:
                with open(path, encoding="utf-8", errors="surrogateescape") as f:
                    lines = f.read().split("\n")
            except OSError:
                continue
            kept, skipping = [], False
            for line in lines:
                if line.startswith("["):
                    skipping = bool(self.MONITOR_KEYS.match(line))
                if not skipping:
                    kept.append(line)
            if len(kept) != len(lines):
                with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
                    f.write("\n".join(kept))

    def kill_server(self):
        if os.path.isdir(self.path):
            self.run("wineserver", "-k", timeout=60)
            self.run("wineserver", "-w", timeout=60)
