"""Soak: the real monitor under Wine, disturbed all the time, its handles, memory and CPU sampled.

What it measures: whether PelluxMONITOR.exe holds its kernel handles and its
memory flat over thousands of supervision cycles, and what its cycle costs in
CPU, beside a minimal Win32 program (one window, one tray icon) that runs in
the same Wine session. How: the monitor runs with the stand-ins at their
install paths (tools/wine/harness.py); every few seconds the bridge is
terminated so that the cycle relaunches it, the control file moves between
HOLD, STOPPED and none, and now and then a port number is typed and both
program buttons are clicked (the controller is then started again by hand and
its red button re-checks it). Every 30 s the driver counts the monitor's
kernel handles through NtQuerySystemInformation's handle table, and the host
reads the resident memory (VmRSS) and the CPU time (utime + stime) of the
Linux process that Wine runs the monitor in. What the figures mean under
Wine: the handle count is the monitor's own; the memory includes Wine's
user-space libraries mapped into that process (hence the reference program),
and the CPU excludes the work the wineserver does on the monitor's behalf, so
only the counts, the growth and the ratio to the reference speak for Windows.

Exits 1 when the handles grow by more than 8, or the memory by more than
2 MiB, over the first sample (with --handles-only, the handles alone).
"""

import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "wine"))

import harness as H  # noqa: E402

HANDLE_GROWTH = 8
MEMORY_GROWTH_KB = 2048
REFERENCE_EXE = H.DRIVER_DIR + r"\tray_reference.exe"
CONTROL_STATES = ("HOLD", "STOPPED", None)
RELAUNCH = "ARRANCA LINTARO.exe"


def host_pid(prefix_path, exe_name):
    """The Linux process in which Wine runs exe_name inside this prefix, or None."""
    wanted = ("WINEPREFIX=" + prefix_path).encode()
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % name, "rb") as f:
                cmdline = f.read()
            if exe_name.lower().encode() not in cmdline.lower():
                continue
            with open("/proc/%s/environ" % name, "rb") as f:
                if wanted in f.read().split(b"\0"):
                    return int(name)
        except OSError:
            continue
    return None


def host_usage(pid):
    """(resident kB, private resident kB, CPU seconds) of a Linux process."""
    status = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            status[key] = value.split()[0] if value.split() else "0"
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime
    return int(status.get("VmRSS", 0)), int(status.get("RssAnon", 0)), ticks / os.sysconf("SC_CLK_TCK")


class Soak:
    def __init__(self, h, logging):
        self.h = h
        self.logging = logging
        self.kills = 0
        self.clicks = 0
        self.bridges_seen = set()
        self.log_offset = 0
        self.relaunch_lines = 0
        self.control = 0

    def start(self):
        h = self.h
        h.install()
        H._copy(h.binary("measure", "tray_reference.exe"), h.unix(REFERENCE_EXE))
        h.remove_control_file()
        h.set_logging(self.logging)
        h.start_session("soak")
        self.reference = h.start_program(REFERENCE_EXE, H.DRIVER_DIR)
        h.start_monitor()
        h.hold(h.monitor_pid)
        self.main = h.wait_main_window()
        self.port = h.control(self.main, H.TBPORT)
        self.ensure_controller()
        self.host = H.wait_until(lambda: host_pid(h.prefix.path, "PelluxMONITOR.exe"), 20, "the monitor's Wine process")
        self.host_reference = H.wait_until(lambda: host_pid(h.prefix.path, "tray_reference.exe"), 20,
                                           "the reference's Wine process")

    def ensure_controller(self):
        """The controller stand-in running, started by hand after a stop; the bridge relaunched by the cycle."""
        if not self.h.processes_at(H.JAVAW_EXE):
            self.h.start_program(H.CONTROLLER_EXE, H.CONTROLLER_DIR)
            self.h.wait_process_at(H.JAVAW_EXE, 20)
        self.h.wait_process_at(H.BRIDGE_EXE, 20)

    def answer_boxes(self):
        for box in self.h.boxes():
            self.h.answer_box(box)

    def kill_bridge(self):
        for bridge in self.h.processes_at(H.BRIDGE_EXE):
            self.bridges_seen.add(bridge["pid"])
            self.h.kill(bridge["pid"])
            self.kills += 1

    def next_control_state(self):
        self.control = (self.control + 1) % len(CONTROL_STATES)
        command = CONTROL_STATES[self.control]
        if command:
            self.h.write_control_file('#2026-01-01 00:00:01#,"%s"\r\n' % command)
        else:
            self.h.remove_control_file()

    def click(self, control_id):
        self.h.click(self.h.control(self.main, control_id))
        self.clicks += 1
        time.sleep(1.5)
        self.answer_boxes()

    def use_the_window(self, round_number):
        """A port number typed, both buttons clicked; the controller back by hand and re-checked."""
        self.h.set_text(self.port["hwnd"], "")
        self.h.set_focus(self.port["hwnd"])
        self.h.type_text(str(1 + round_number % 9))
        self.click(H.CBLINTARO)
        self.click(H.CBPELLUX)
        if not self.h.processes_at(H.JAVAW_EXE):
            self.h.start_program(H.CONTROLLER_EXE, H.CONTROLLER_DIR)
            self.h.wait_process_at(H.JAVAW_EXE, 20)
            self.click(H.CBPELLUX)  # red: re-checks and finds it
        self.ensure_controller()

    def relaunches(self):
        """Relaunch lines in the log so far, read from where the last call stopped."""
        path = self.h.log_path()
        try:
            with open(path, "rb") as f:
                f.seek(self.log_offset)
                data = f.read()
        except FileNotFoundError:
            return self.relaunch_lines, 0
        # A line cut at the end is counted at the next read.
        end = data.rfind(b"\n") + 1
        self.relaunch_lines += data[:end].count(RELAUNCH.encode())
        self.log_offset += end
        return self.relaunch_lines, os.path.getsize(path)

    def sample(self, started):
        rss, anon, cpu = host_usage(self.host)
        ref_rss, ref_anon, ref_cpu = host_usage(self.host_reference)
        relaunches, log_size = self.relaunches()
        return dict(minute=(time.monotonic() - started) / 60,
                    handles=self.h.call("handles", self.h.monitor_pid)["handles"],
                    rss=rss, anon=anon, cpu=cpu,
                    ref_handles=self.h.call("handles", self.reference)["handles"],
                    ref_rss=ref_rss, ref_anon=ref_anon, ref_cpu=ref_cpu,
                    kills=self.kills, bridges=len(self.bridges_seen), relaunches=relaunches,
                    log_kb=log_size // 1024, clicks=self.clicks)

    def run(self, minutes, calm=False, sample_every=30.0, kill_every=4.0, control_every=20.0, window_every=120.0):
        if calm:  # the cycle alone: nothing disturbed, so what it costs when all is well
            kill_every = control_every = window_every = float("inf")
        started = time.monotonic()
        end = started + minutes * 60
        samples = [self.sample(started)]
        print_header()
        print_row(samples[0])
        next_sample = started + sample_every
        next_kill = started + kill_every
        next_control = started + control_every
        next_window = started + window_every / 2
        rounds = 0
        while True:
            now = time.monotonic()
            if now >= next_sample:
                samples.append(self.sample(started))
                print_row(samples[-1])
                next_sample += sample_every
                if now >= end:
                    break
            if self.h.wait_exit(self.h.monitor_pid, 0)[0]:
                raise AssertionError("the monitor ended during the soak")
            if now >= next_window:
                self.use_the_window(rounds)
                rounds += 1
                next_window = time.monotonic() + window_every
            elif now >= next_kill:
                self.kill_bridge()
                next_kill = now + kill_every
            elif now >= next_control:
                self.next_control_state()
                next_control = now + control_every
            time.sleep(0.25)
        return samples


COLUMNS = [("minute", "min", "%.1f"), ("handles", "handles", "%d"), ("rss", "RSS kB", "%d"),
           ("anon", "anon kB", "%d"), ("cpu", "CPU s", "%.2f"), ("ref_handles", "ref handles", "%d"),
           ("ref_rss", "ref RSS kB", "%d"), ("ref_anon", "ref anon kB", "%d"),
           ("ref_cpu", "ref CPU s", "%.2f"), ("kills", "bridge kills", "%d"),
           ("relaunches", "launch lines", "%d"), ("log_kb", "log kB", "%d"), ("clicks", "clicks", "%d")]


def print_header():
    print("| " + " | ".join(title for _, title, _ in COLUMNS) + " |")
    print("|" + "---|" * len(COLUMNS), flush=True)


def print_row(s):
    print("| " + " | ".join(fmt % s[key] for key, _, fmt in COLUMNS) + " |", flush=True)


def summary(samples, logging):
    first, last = samples[0], samples[-1]
    hours = max(last["minute"] - first["minute"], 1e-9) / 60
    cpu = (last["cpu"] - first["cpu"]) / hours
    ref_cpu = (last["ref_cpu"] - first["ref_cpu"]) / hours
    lines = [
        "logging %s, %.1f minutes, %d samples" % ("on" if logging else "off", last["minute"], len(samples)),
        "handles: first %d, last %d, max %d (growth allowed: %d)" % (
            first["handles"], last["handles"], max(s["handles"] for s in samples), HANDLE_GROWTH),
        "memory: first %d kB, last %d kB, max %d kB (growth allowed: %d kB); reference %d kB" % (
            first["rss"], last["rss"], max(s["rss"] for s in samples), MEMORY_GROWTH_KB, last["ref_rss"]),
        "CPU per hour: monitor %.1f s (%.3f %% of a core), reference %.1f s (%.3f %%), ratio %s" % (
            cpu, cpu / 36, ref_cpu, ref_cpu / 36, "%.1f" % (cpu / ref_cpu) if ref_cpu > 0 else "n/a"),
        "memory ratio to the reference: %.2f (RSS), %.2f (private)" % (
            last["rss"] / max(last["ref_rss"], 1), last["anon"] / max(last["ref_anon"], 1)),
        "bridge kills %d, launch lines %d, clicks %d, log %d kB" % (
            last["kills"], last["relaunches"], last["clicks"], last["log_kb"]),
    ]
    return "\n".join(lines)


class Tee:
    def __init__(self, *streams):
        self.streams = streams

    def write(self, text):
        for stream in self.streams:
            stream.write(text)

    def flush(self):
        for stream in self.streams:
            stream.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--logging", choices=("on", "off"), default="on")
    parser.add_argument("--handles-only", action="store_true", help="check only the handle count")
    parser.add_argument("--calm", action="store_true", help="disturb nothing: the steady cycle's cost")
    parser.add_argument("--out", help="also write the table and the summary to this file")
    args = parser.parse_args()
    if args.out:
        sys.stdout = Tee(sys.stdout, open(args.out, "w"))
    logging = args.logging == "on"
    h = H.shared_harness()
    soak = Soak(h, logging)
    soak.start()
    samples = soak.run(args.minutes, calm=args.calm)
    print(summary(samples, logging), flush=True)
    first, last = samples[0], samples[-1]
    failures = []
    if max(s["handles"] for s in samples) - first["handles"] > HANDLE_GROWTH:
        failures.append("the monitor's handle count grew from %d to %d" % (
            first["handles"], max(s["handles"] for s in samples)))
    if not args.handles_only and last["rss"] - first["rss"] > MEMORY_GROWTH_KB:
        failures.append("the monitor's memory grew from %d kB to %d kB" % (first["rss"], last["rss"]))
    if not args.handles_only and not args.calm and logging and last["relaunches"] == 0:
        failures.append("the bridge was never relaunched")
    for failure in failures:
        print("FAIL:", failure, flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
