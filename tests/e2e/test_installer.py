"""The installer under Wine, in one fresh prefix: silent per-user install, the monitor started
by it, the logon start, upgrade, refused downgrade, uninstall. Wine's msiexec keeps a per-user
product's Add/Remove Programs entry under HKLM, so both hives are searched (HKLM in its 64-bit
view: with 32-bit Wine installed a bare `reg` is the 32-bit one). msiexec runs on the session's
desktop through the driver, where the monitor it starts shows; read through a pipe from here, it
would hold the pipe until that monitor ended."""

import hashlib
import os
import re
import unittest
from pathlib import Path

import harness as H
from harness import wait_until

INSTALL_DIR = r"C:\users\{user}\AppData\Local\Programs\PelluxMONITOR"
SHORTCUT = r"C:\users\{user}\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\PelluxMONITOR.lnk"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL = r"\Software\Microsoft\Windows\CurrentVersion\Uninstall"


SETTINGS = r"HKCU\Software\PelluxMONITOR"
X86_CONTROLLER = r"C:\Program Files (x86)\Pellux\Pellux.exe"


def package(build_dir, x86=False):
    """(msi, version, digest of the exe) of a mingw-w64 build's 64-bit or 32-bit installer."""
    cache = Path(build_dir or "?", "CMakeCache.txt").read_text()
    field = lambda name: re.search(r"^%s:\w+=(.*)$" % name, cache, re.M).group(1)
    exe_dir = field("PELLUX_X86_DIR") if x86 else build_dir
    msi = field("PELLUX_MSI_X86" if x86 else "PELLUX_MSI")
    return msi, field("CMAKE_PROJECT_VERSION"), digest(Path(exe_dir, "PelluxMONITOR.exe"))


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


class InstallerSequence(unittest.TestCase):

    def setUp(self):
        self.h = H.Harness(fresh_prefix=True)
        self.addCleanup(self.h.close)
        self.h.ensure_prefix()
        self.h.install(monitor=False)
        user = next(u for u in os.listdir(self.h.unix(r"C:\users")) if u != "Public")  # Wine's name for us
        self.dir, self.shortcut = INSTALL_DIR.format(user=user), SHORTCUT.format(user=user)
        self.exe = self.dir + r"\PelluxMONITOR.exe"
        self.h.start_session("installer")

    def run_wine(self, *command):
        return self.h.prefix.run("wine", *command, timeout=180, capture=True)

    def msiexec(self, *args):
        """msiexec's exit code."""
        command = " ".join(['msiexec'] + ['"%s"' % a if " " in a else a for a in args] + ["/qn"])
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

    def settings(self):
        """The programs' settings the package wrote, {name: value}."""
        text = self.run_wine("reg", "query", SETTINGS).stdout
        found = dict(re.findall(r"^\s+(\w+)\s+REG_SZ\s+(.*)$", text, re.M))
        return {k: v for k, v in found.items() if k in ("ControllerPath", "ControllerProcess", "BridgePath",
                                                       "BridgeProcess", "ControlFile")}

    def run_values(self):
        return re.findall(r"^\s+PelluxMONITOR\s+REG_SZ\s+(.*)$", self.run_wine("reg", "query", RUN_KEY).stdout, re.M)

    def assertInstalled(self, msi, version, exe):
        self.assertEqual(digest(self.h.unix(self.dir + r"\PelluxMONITOR.exe")), exe, "not the program of " + msi)
        self.assertTrue(os.path.isfile(self.h.unix(self.shortcut)), "no Start-menu shortcut")
        self.assertEqual(self.run_values(), ['"%s\\PelluxMONITOR.exe"' % self.dir])
        versions = [re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", e).group(1) for e in self.entries()]
        self.assertEqual(versions, [version.rsplit(".", 1)[0]])

    def assertRuns(self, version):
        """The installed monitor of that version runs, with its window, and has launched both programs."""
        monitor = self.h.wait_process_at(self.exe, 20)
        self.h.monitor_pid = monitor["pid"]
        self.h.wait_main_window()
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 20)
        self.assertEqual(bridge["ppid"], monitor["pid"], "the bridge was not launched by the monitor")
        # The controller's runtime, below the built-in path or the one a setting names.
        wait_until(lambda: [p for p in self.h.processes() if p["path"].lower().endswith(r"\jre\bin\javaw.exe")],
                   20, "the controller's javaw.exe")
        wait_until(lambda: self.h.tray_tips() == ["PelluxMONITOR - v" + version], 10, "the version tip")

    def uninstall(self):
        """Runs the command the Add/Remove Programs entry holds."""
        command = re.search(r"UninstallString\s+REG_EXPAND_SZ\s+\S+\s+(\S+)", self.entries()[0]).group(1)
        self.assertEqual(self.msiexec(command), 0)

    def new_session(self):
        """Everything of the last session ended (as a logoff would), a new one started."""
        self.h.start_session("installer")

    def start_at_logon(self, version):
        """Runs what the Run value holds: the monitor comes up and launches both programs."""
        self.new_session()
        command = self.run_values()[0]
        self.h.call("start", command.strip('"'), "", command)
        self.assertRuns(version)
        self.new_session()

    def test_install_logon_start_upgrade_refused_downgrade_and_uninstall(self):
        old, new = package(H.windows_dir()), package(os.environ.get("PELLUX_NEXT_WINDOWS_DIR"))
        # A controller where a 32-bit installer puts it; whether the monitor takes it from
        # the settings or not, it finds a controller to launch.
        H._copy(self.h.standin("Pellux.exe"), self.h.unix(X86_CONTROLLER))
        H._copy(self.h.standin("javaw.exe"), self.h.unix(r"C:\Program Files (x86)\Pellux\jre\bin\javaw.exe"))
        install = lambda p, *settings: self.msiexec("/i", "Z:" + p[0].replace("/", "\\"), *settings)
        log = Path(self.h.unix(self.dir + r"\PelluxMONITOR.anc"))
        log.parent.mkdir(parents=True)
        log.touch()  # the log switched on beside the program to be installed
        first = {"ControllerPath": X86_CONTROLLER, "ControllerProcess": "javaw.exe",
                 "ControlFile": r"C:\Planta\Pellux.stp"}
        self.assertEqual(install(old, "CONTROLLER_PATH=" + X86_CONTROLLER, "CONTROLLER_PROCESS=javaw.exe",
                                 r"CONTROL_FILE=C:\Planta\Pellux.stp"), 0)
        self.assertInstalled(*old)
        self.assertEqual(self.settings(), first, "not exactly the properties given")
        self.assertRuns(old[1])  # started by the install
        self.assertIn(b"PelluxMONITOR - STARTED!!!", log.read_bytes())
        self.start_at_logon(old[1])

        # Wine has no Restart Manager to close the running monitor for the upgrade: the
        # logon start's session ended it. The upgrade keeps the values given before, takes a new one given now and adds the others.
        self.assertEqual(install(new, "BRIDGE_PATH=" + H.BRIDGE_EXE, "BRIDGE_PROCESS=Lintaro.exe",
                                 r"CONTROL_FILE=C:\Planta\Control\Pellux.stp"), 0)
        self.assertInstalled(*new)
        self.assertEqual(self.settings(), dict(first, BridgePath=H.BRIDGE_EXE, BridgeProcess="Lintaro.exe",
                                               ControlFile=r"C:\Planta\Control\Pellux.stp"))
        self.assertRuns(new[1])
        self.new_session()
        self.assertNotEqual(install(old), 0, "an older package went over a newer one")
        self.assertInstalled(*new)
        self.start_at_logon(new[1])

        Path(self.h.unix(self.dir + r"\Pellux.stp")).touch()
        self.uninstall()
        self.assertEqual(sorted(os.listdir(self.h.unix(self.dir))), ["Pellux.stp", "PelluxMONITOR.anc"])
        self.assertFalse(os.path.exists(self.h.unix(self.shortcut)), "the shortcut is left")
        self.assertEqual((self.run_values(), self.entries(), self.settings()), ([], [], {}))

    def test_the_32_bit_package_installs_runs_is_upgraded_by_the_64_bit_one_and_uninstalls(self):
        x86, new = package(H.windows_dir(), x86=True), package(os.environ.get("PELLUX_NEXT_WINDOWS_DIR"))
        install = lambda p: self.msiexec("/i", "Z:" + p[0].replace("/", "\\"))
        self.assertEqual(install(x86), 0)
        self.assertInstalled(*x86)
        self.assertRuns(x86[1])
        self.new_session()
        self.assertEqual(install(new), 0)  # one entry, one Run value: the 64-bit package replaced the 32-bit one
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
