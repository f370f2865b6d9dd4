"""The X display a run draws on: our own Xvfb, or one that is already there and answers."""

import os
import re
import shutil
import subprocess
import time

from common import _end_pid, log
from names import SCREEN


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
