"""The installers under Wine, in one fresh prefix: silent install of the per-user and of the
machine-wide package, the monitor started by it, the logon start, upgrade while the programs run,
refused downgrade, the two kinds refusing each other, uninstall. Wine's msiexec keeps a per-user
product's Add/Remove Programs entry under HKLM, so both hives are searched (HKLM in both views:
with 32-bit Wine installed a bare `reg` is the 32-bit one). msiexec runs on the session's desktop
through the driver, where the monitor it starts shows; read through a pipe from here, it would
hold the pipe until that monitor ended. Wine runs everything as one user with every right: it
cannot show elevation, an install as SYSTEM, nor that the monitor a machine-wide install starts
through the shell is unelevated; every process it runs is in the caller's session, on a window
station a user sees, so the monitor's refusal in session 0 or on a hidden station is shown by the
unit tests alone. What it shows: a silent machine-wide install starts no monitor, one with its full
user interface does, and a per-user copy beside the machine-wide package ends at once."""

import hashlib
import os
import re
import shutil
import time
import unittest
from pathlib import Path

import harness as H
from harness import wait_until

SHORTCUT = r"C:\users\{user}\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\PelluxMONITOR.lnk"
ALL_USERS_SHORTCUT = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\PelluxMONITOR.lnk"
UNINSTALL = r"\Software\Microsoft\Windows\CurrentVersion\Uninstall"
RUN = r"\Software\Microsoft\Windows\CurrentVersion\Run"
EVENT_SOURCE = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\PelluxMONITOR"
SETTING_NAMES = ("ControllerPath", "ControllerProcess", "BridgePath", "BridgeProcess", "ControlFile", "LogFile", "LogLimitKB",
                 "BridgeHungSeconds")

# Where each kind of package puts the program, its logon start and its settings: (folder, hive,
# settings key, registry view). The 32-bit machine-wide package writes HKLM's 32-bit view.
PER_USER = (r"C:\users\{user}\AppData\Local\Programs\PelluxMONITOR", "HKCU", r"HKCU\Software\PelluxMONITOR", "/reg:64")
MACHINE = (r"C:\Program Files\PelluxMONITOR", "HKLM", r"HKLM\SOFTWARE\PelluxMONITOR", "/reg:64")
MACHINE_X86 = (r"C:\Program Files (x86)\PelluxMONITOR", "HKLM", r"HKLM\SOFTWARE\PelluxMONITOR", "/reg:32")

X86_CONTROLLER = r"C:\Program Files (x86)\Pellux\Pellux.exe"
WM_QUERYENDSESSION, WM_ENDSESSION, ENDSESSION_CLOSEAPP = 0x0011, 0x0016, 0x1


def package(build_dir, x86=False, machine=False):
    """(msi, version, digest of the exe) of a mingw-w64 build's 64-bit or 32-bit installer, per
    user or machine-wide."""
    cache = Path(build_dir or "?", "CMakeCache.txt").read_text()
    field = lambda name: re.search(r"^%s:\w+=(.*)$" % name, cache, re.M).group(1)
    exe_dir = field("PELLUX_X86_DIR") if x86 else build_dir
    msi = field("PELLUX_MSI" + ("_MACHINE" if machine else "") + ("_X86" if x86 else ""))
    return msi, field("CMAKE_PROJECT_VERSION"), digest(Path(exe_dir, "PelluxMONITOR.exe"))


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


class InstallerSequence(unittest.TestCase):

    def setUp(self):
        self.h = H.Harness(fresh_prefix=True)
        self.addCleanup(self.h.close)
        self.h.ensure_prefix()
        self.h.install(monitor=False)
        self.user = next(u for u in os.listdir(self.h.unix(r"C:\users")) if u != "Public")  # Wine's name for us
        self.kind(PER_USER)
        self.h.start_session("installer", H.EVENT_DEBUG)

    def kind(self, where):
        """Looks from now on where that kind of package installs (PER_USER, MACHINE, MACHINE_X86)."""
        folder, self.hive, self.settings_key, self.view = where
        self.dir = folder.format(user=self.user)
        self.exe = self.dir + r"\PelluxMONITOR.exe"
        # Wine keeps a machine-wide install's shortcut in the user's Start menu too.
        self.shortcuts = [SHORTCUT.format(user=self.user)] + ([ALL_USERS_SHORTCUT] if self.hive == "HKLM" else [])

    def run_wine(self, *command):
        return self.h.prefix.run("wine", *command, timeout=180, capture=True)

    def msiexec(self, *args, ui=False):
        """msiexec's exit code; silent (/qn) unless ui, its full user interface."""
        command = " ".join(['msiexec'] + ['"%s"' % a if " " in a else a for a in args] + ([] if ui else ["/qn"]))
        pid = self.h.call("start", r"C:\windows\system32\msiexec.exe", "", command)["pid"]
        for _ in range(9):
            exited, code = self.h.wait_exit(pid, 20)
            if exited:
                return code
        self.fail("msiexec did not end: " + command)

    def entries(self):
        """The Add/Remove Programs entries of PelluxMONITOR, as reg.exe prints them."""
        text = "".join(self.run_wine("reg", "query", hive + UNINSTALL, "/s", *view).stdout
                       for hive, view in (("HKCU", ()), ("HKLM", ("/reg:64",)), ("HKLM", ("/reg:32",))))
        return [e for e in re.split(r"\n(?=HKEY_)", text) if re.search(r"DisplayName\s+REG_SZ\s+PelluxMONITOR$", e, re.M)]

    def settings(self, key=None, view=None):
        """The programs' settings the package wrote under the kind's key, {name: value}: the
        texts as REG_EXPAND_SZ (unexpanded), the limit as REG_DWORD; one of another type is left out."""
        text = self.run_wine("reg", "query", key or self.settings_key, view or self.view).stdout
        found = dict(re.findall(r"^\s+(\w+)\s+REG_EXPAND_SZ\s+(.*)$", text, re.M))
        found.update(re.findall(r"^\s+(LogLimitKB|BridgeHungSeconds)\s+REG_DWORD\s+(.*)$", text, re.M))
        return {k: v for k, v in found.items() if k in SETTING_NAMES}

    def run_values(self, hive=None, view=None):
        text = self.run_wine("reg", "query", (hive or self.hive) + RUN, view or self.view).stdout
        return re.findall(r"^\s+PelluxMONITOR\s+REG_SZ\s+(.*)$", text, re.M)

    def machine_values(self):
        """{value: (type, data)} of the machine-wide package's own marks in HKLM\\SOFTWARE\\PelluxMONITOR."""
        text = self.run_wine("reg", "query", MACHINE[2], self.view).stdout
        return {name: (kind, data) for name, kind, data in re.findall(r"^\s+(\w+)\s+(REG_\w+)\s+(.*)$", text, re.M)
                if name in ("Installed", "Program")}

    def event_source(self):
        """{value: (type, data)} of the event source's key, empty when it is not registered."""
        text = self.run_wine("reg", "query", EVENT_SOURCE, "/reg:64").stdout
        return {name: (kind, data) for name, kind, data in re.findall(r"^\s+(\w+)\s+(REG_\w+)\s+(.*)$", text, re.M)}

    def assertInstalled(self, msi, version, exe):
        self.assertEqual(digest(self.h.unix(self.dir + r"\PelluxMONITOR.exe")), exe, "not the program of " + msi)
        self.assertTrue(any(os.path.isfile(self.h.unix(s)) for s in self.shortcuts), "no Start-menu shortcut")
        self.assertEqual(self.run_values(), ['"%s\\PelluxMONITOR.exe"' % self.dir])
        versions = [re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", e).group(1) for e in self.entries()]
        self.assertEqual(versions, [version.rsplit(".", 1)[0]])

    def assertRuns(self, version, bridge_exe=H.BRIDGE_EXE):
        """The installed monitor of that version runs, with its window, and has launched both
        programs; (javaw, bridge)."""
        monitor = self.h.wait_process_at(self.exe, 20)
        self.h.monitor_pid = monitor["pid"]
        self.h.wait_main_window()
        bridge = self.h.wait_process_at(bridge_exe, 20)
        self.assertEqual(bridge["ppid"], monitor["pid"], "the bridge was not launched by the monitor")
        # The controller's runtime, below the built-in path or the one a setting names.
        javaw = wait_until(lambda: self.javaws(), 20, "the controller's javaw.exe")[0]
        wait_until(lambda: self.h.tray_tips() == ["PelluxMONITOR - v" + version], 10, "the version tip")
        return javaw, bridge

    def javaws(self):
        return [p for p in self.h.processes() if p["path"].lower().endswith(r"\jre\bin\javaw.exe")]

    def close_for_update(self):
        """Closes the running monitor as Restart Manager does before it replaces the exe; both
        programs go on running."""
        main = self.h.main_window()
        self.assertEqual(self.h.call("send", main["hwnd"], WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP)["result"], 1)
        self.h.call("post", main["hwnd"], WM_ENDSESSION, 1, ENDSESSION_CLOSEAPP)
        self.assertTrue(self.h.wait_exit(self.h.monitor_pid, 15)[0], "the monitor did not end for the update")
        self.h.watch(False)
        self.h.watch()  # from here on, every process that appears
        self.running = {p["pid"] for p in self.h.processes()}

    def assertAdopts(self, version, javaw, bridge):
        """The monitor of that version, started by the upgrade, launched neither program again and
        supervises the ones that ran: a bridge ended afterwards comes back, launched by it."""
        monitor = self.h.wait_process_at(self.exe, 20)
        self.h.monitor_pid = monitor["pid"]
        self.h.wait_main_window()
        wait_until(lambda: self.h.tray_tips() == ["PelluxMONITOR - v" + version], 10, "the version tip")
        time.sleep(4)  # past the first cycles
        launched = [p["path"] for p in self.h.seen_processes() if p["pid"] not in self.running
                    and p["exe"].lower() in ("lintaro.exe", "pellux.exe", "javaw.exe")]
        self.assertEqual(launched, [], "a program was launched again")
        self.assertEqual([p["pid"] for p in self.h.processes_at(bridge["path"])], [bridge["pid"]])
        self.assertEqual([p["pid"] for p in self.javaws()], [javaw["pid"]])
        self.h.kill(bridge["pid"])
        again = self.h.wait_process_at(bridge["path"], 10, exclude=(bridge["pid"],))
        self.assertEqual(again["ppid"], monitor["pid"], "the bridge was not started again by the newer monitor")

    def uninstall(self):
        """Runs the command the Add/Remove Programs entry holds."""
        command = re.search(r"UninstallString\s+REG_EXPAND_SZ\s+\S+\s+(\S+)", self.entries()[0]).group(1)
        self.assertEqual(self.msiexec(command), 0)

    def new_session(self):
        """Everything of the last session ended (as a logoff would), a new one started."""
        self.h.start_session("installer", H.EVENT_DEBUG)

    def start_at_logon(self, version, bridge_exe=H.BRIDGE_EXE):
        """Runs what the Run value holds in a new session: the monitor comes up and launches both
        programs; (javaw, bridge)."""
        self.new_session()
        command = self.run_values()[0]
        self.h.call("start", command.strip('"'), "", command)
        return self.assertRuns(version, bridge_exe)

    def install(self, package, *properties, ui=False):
        return self.msiexec("/i", "Z:" + package[0].replace("/", "\\"), *properties, ui=ui)

    def test_install_logon_start_upgrade_refused_downgrade_and_uninstall(self):
        old, new = package(H.windows_dir()), package(os.environ.get("PELLUX_NEXT_WINDOWS_DIR"))
        # A controller where a 32-bit installer puts it; whether the monitor takes it from
        # the settings or not, it finds a controller to launch.
        H._copy(self.h.standin("Pellux.exe"), self.h.unix(X86_CONTROLLER))
        H._copy(self.h.standin("javaw.exe"), self.h.unix(r"C:\Program Files (x86)\Pellux\jre\bin\javaw.exe"))
        log = Path(self.h.unix(self.dir + r"\PelluxMONITOR.anc"))
        log.parent.mkdir(parents=True)
        log.touch()  # the log switched on beside the program to be installed
        first = {"ControllerPath": X86_CONTROLLER, "ControllerProcess": "javaw.exe",
                 "ControlFile": r"C:\Planta\Pellux.stp"}
        self.assertEqual(self.install(old, "CONTROLLER_PATH=" + X86_CONTROLLER, "CONTROLLER_PROCESS=javaw.exe",
                                      r"CONTROL_FILE=C:\Planta\Pellux.stp"), 0)
        self.assertInstalled(*old)
        self.assertEqual(self.settings(), first, "not exactly the properties given")
        self.assertRuns(old[1])  # started by the install
        self.assertIn(b"PelluxMONITOR - STARTED!!!", log.read_bytes())
        # The machine-wide package is refused beside this user's own: nothing of it is installed.
        self.assertNotEqual(self.install(package(H.windows_dir(), machine=True)), 0)
        self.assertEqual((len(self.entries()), self.run_values("HKLM"), self.event_source()), (1, [], {}))
        self.assertFalse(os.path.exists(self.h.unix(MACHINE[0])), "the machine-wide program is installed")
        javaw, bridge = self.start_at_logon(old[1])

        # The upgrade while both programs run keeps the values given before, takes a new one
        # given now and adds the others; the newer monitor takes the programs over.
        self.close_for_update()
        self.assertEqual(self.install(new, "BRIDGE_PATH=" + H.BRIDGE_EXE, "BRIDGE_PROCESS=Lintaro.exe",
                                      r"CONTROL_FILE=C:\Planta\Control\Pellux.stp", r"LOG_FILE=C:\Planta\Pellux.anc"), 0)
        self.assertInstalled(*new)
        self.assertEqual(self.settings(), dict(first, BridgePath=H.BRIDGE_EXE, BridgeProcess="Lintaro.exe",
                                               ControlFile=r"C:\Planta\Control\Pellux.stp",
                                               LogFile=r"C:\Planta\Pellux.anc"))
        self.assertAdopts(new[1], javaw, bridge)
        self.new_session()
        self.assertNotEqual(self.install(old), 0, "an older package went over a newer one")
        self.assertInstalled(*new)
        self.start_at_logon(new[1])
        self.new_session()

        Path(self.h.unix(self.dir + r"\Pellux.stp")).touch()
        self.uninstall()
        self.assertEqual(sorted(os.listdir(self.h.unix(self.dir))), ["Pellux.stp", "PelluxMONITOR.anc"])
        self.assertFalse(any(os.path.exists(self.h.unix(s)) for s in self.shortcuts), "the shortcut is left")
        self.assertEqual((self.run_values(), self.entries(), self.settings()), ([], [], {}))

    def test_machine_wide_install_for_every_user_upgrade_while_running_and_uninstall(self):
        self.kind(MACHINE)
        old, new = (package(d, machine=True) for d in (H.windows_dir(), os.environ.get("PELLUX_NEXT_WINDOWS_DIR")))
        # The log as a deployment tool passes it, unexpanded: written so, expanded by the monitor.
        bridge_exe, log = r"C:\Planta\Puente\LINTARO.exe", r"%ProgramData%\PelluxMONITOR\PelluxMONITOR.anc"
        H._copy(self.h.standin("LINTARO.exe"), self.h.unix(bridge_exe))
        expanded = Path(self.h.unix(log.replace("%ProgramData%", r"C:\ProgramData")))
        expanded.parent.mkdir(parents=True)
        expanded.touch()  # a log where a user may write, switched on
        given = {"BridgePath": bridge_exe, "LogFile": log, "LogLimitKB": "0x400", "BridgeHungSeconds": "0x3c"}
        self.h.watch()
        # Silent, as a deployment tool runs it: no monitor starts, each user's next logon starts it.
        self.assertEqual(self.install(old, "BRIDGE_PATH=" + bridge_exe, "LOG_FILE=" + log, "LOG_LIMIT_KB=1024",
                                      "BRIDGE_HUNG_SECONDS=60"), 0)
        self.assertInstalled(*old)
        self.assertEqual(self.event_source(), {"EventMessageFile": ("REG_EXPAND_SZ", self.exe),
                                               "TypesSupported": ("REG_DWORD", "0x7")})
        self.assertEqual((self.settings(), self.settings(PER_USER[2])), (given, {}))
        self.assertEqual(self.machine_values(), {"Installed": ("REG_DWORD", "0x1"), "Program": ("REG_SZ", self.exe)})
        time.sleep(5)  # the install's start, had there been one, runs as msiexec ends
        self.assertEqual([p["path"] for p in self.h.seen_processes() if p["exe"].lower() in
                          ("pelluxmonitor.exe", "lintaro.exe", "pellux.exe", "javaw.exe")], [],
                         "a silent install started the monitor")
        javaw, bridge = self.start_at_logon(old[1], bridge_exe)  # with the workstation's values
        self.assertIn(b"PelluxMONITOR - STARTED!!!", expanded.read_bytes())
        # The per-user package is refused beside the machine-wide one.
        per_user = PER_USER[0].format(user=self.user)
        self.assertNotEqual(self.install(package(H.windows_dir())), 0)
        self.assertEqual((len(self.entries()), self.run_values("HKCU")), (1, []))
        self.assertFalse(os.path.exists(self.h.unix(per_user)), "the per-user program is installed")
        # A per-user monitor left in place (installed before the machine-wide package came) ends at
        # once with its warning, beside the running machine-wide one, launching nothing.
        H._copy(self.h.unix(self.exe), self.h.unix(per_user + r"\PelluxMONITOR.exe"))
        self.h.watch(False)
        self.h.watch()
        running = {p["pid"] for p in self.h.processes()}
        copy = self.h.start_program(per_user + r"\PelluxMONITOR.exe", per_user)
        self.assertEqual(self.h.wait_exit(copy, 20), (True, 3))
        self.assertEqual([p["path"] for p in self.h.seen_processes() if p["pid"] not in running and p["exe"].lower()
                          in ("lintaro.exe", "pellux.exe", "javaw.exe")], [], "the per-user copy launched a program")
        self.assertEqual([e for e in self.h.system_events() if e[1] in (1005, 1006)],
                         [("warning", 1006, ["PelluxMONITOR is installed for every user of this computer: this "
                                             "per-user copy starts nothing. Uninstall the per-user package.",
                                             per_user, self.exe])])
        self.assertEqual([w for w in self.h.windows() if w["pid"] == copy], [])
        shutil.rmtree(self.h.unix(per_user))

        # With its user interface the upgrade starts the newer monitor, which takes the programs over.
        self.close_for_update()
        self.assertEqual(self.install(new, ui=True), 0)
        self.assertInstalled(*new)
        self.assertEqual(self.settings(), given, "the values given before are lost")
        self.assertAdopts(new[1], javaw, bridge)
        self.new_session()

        self.uninstall()
        self.assertFalse(os.path.exists(self.h.unix(self.dir)), "the program's folder is left")
        self.assertFalse(any(os.path.exists(self.h.unix(s)) for s in self.shortcuts), "the shortcut is left")
        self.assertEqual((self.run_values(), self.entries(), self.settings(), self.event_source()), ([], [], {}, {}))

    def test_the_32_bit_machine_wide_package_writes_the_32_bit_view_and_is_upgraded_by_the_64_bit_one(self):
        self.kind(MACHINE_X86)
        x86, new = package(H.windows_dir(), x86=True, machine=True), package(os.environ.get("PELLUX_NEXT_WINDOWS_DIR"), machine=True)
        self.assertEqual(self.install(x86, r"CONTROL_FILE=C:\Planta\Pellux.stp"), 0)
        self.assertInstalled(*x86)
        self.assertEqual(self.event_source()["EventMessageFile"], ("REG_EXPAND_SZ", self.exe))
        self.assertEqual(self.settings(), {"ControlFile": r"C:\Planta\Pellux.stp"})
        self.new_session()
        # One entry, one Run value: the 64-bit package replaced the 32-bit one and carried its value over.
        self.kind(MACHINE)
        self.assertEqual(self.install(new), 0)
        self.assertInstalled(*new)
        self.assertEqual((self.run_values(view="/reg:32"), self.settings(view="/reg:32")), ([], {}))
        self.assertEqual(self.settings(), {"ControlFile": r"C:\Planta\Pellux.stp"})
        self.assertEqual(self.event_source()["EventMessageFile"], ("REG_EXPAND_SZ", self.exe))
        self.assertFalse(os.path.exists(self.h.unix(MACHINE_X86[0])), "the 32-bit program's folder is left")
        self.new_session()
        self.uninstall()
        self.assertEqual((self.run_values(), self.entries(), self.event_source()), ([], [], {}))

    def test_the_32_bit_package_installs_runs_is_upgraded_by_the_64_bit_one_and_uninstalls(self):
        x86, new = package(H.windows_dir(), x86=True), package(os.environ.get("PELLUX_NEXT_WINDOWS_DIR"))
        self.assertEqual(self.install(x86), 0)
        self.assertInstalled(*x86)
        if H.why_no_32bit_programs() is None:
            self.assertRuns(x86[1])
        self.new_session()
        self.assertEqual(self.install(new), 0)  # one entry, one Run value: the 64-bit package replaced the 32-bit one
        self.assertInstalled(*new)
        self.assertRuns(new[1])
        self.new_session()
        self.uninstall()
        # With nothing of the user's in them, the uninstall leaves neither the program's folder nor
        # %LOCALAPPDATA%\Programs. (Wine's msiexec removes the empty folders it made even without
        # the package's RemoveFolder entries, so this shows no missing one.)
        self.assertFalse(os.path.exists(self.h.unix(self.dir.rsplit("\\", 1)[0])), "the Programs folder is left")
        self.assertEqual((self.run_values(), self.entries()), ([], []))


if __name__ == "__main__":
    unittest.main()
