"""Small pieces every part of the rig uses: the log line, the poll with a deadline, files put in
place or taken away, and the end of a process of ours by its id."""

import os
import shutil
import signal
import sys
import time

from driver_client import DriverError


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


def _copy(source, target):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(source, target)


def _remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)
