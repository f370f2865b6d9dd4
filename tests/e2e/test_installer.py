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


def package(build_dir):
    """(msi, version, digest of the exe) of a mingw-w64 build with its installer."""
    cache = Path(build_dir or "?", "CMakeCache.txt").read_text()
    msi = re.search(r"^PELLUX_MSI:INTERNAL=(.*)$", cache, re.M).group(1)
    version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M).group(1)
    return msi, version, digest(Path(build_dir, "PelluxMONITOR.exe"))


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
        self.h.wait_process_at(H.JAVAW_EXE, 20)
        wait_until(lambda: self.h.tray_tips() == ["PelluxMONITOR - v" + version], 10, "the version tip")

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
        install = lambda p: self.msiexec("/i", "Z:" + p[0].replace("/", "\\"))
        log = Path(self.h.unix(self.dir + r"\PelluxMONITOR.anc"))
        log.parent.mkdir(parents=True)
        log.touch()  # the log switched on beside the program to be installed
        self.assertEqual(install(old), 0)
        self.assertInstalled(*old)
        self.assertRuns(old[1])  # started by the install
        self.assertIn(b"PelluxMONITOR - STARTED!!!", log.read_bytes())
        self.start_at_logon(old[1])

        # Wine has no Restart Manager to close the running monitor for the upgrade:
        # the monitor is closed first, as README asks.
        self.assertEqual(install(new), 0)
        self.assertInstalled(*new)
        self.assertRuns(new[1])
        self.new_session()
        self.assertNotEqual(install(old), 0, "an older package went over a newer one")
        self.assertInstalled(*new)
        self.assertEqual(self.h.processes_at(self.exe), [], "the refused package started a monitor")
        self.start_at_logon(new[1])

        Path(self.h.unix(self.dir + r"\Pellux.stp")).touch()
        uninstall = re.search(r"UninstallString\s+REG_EXPAND_SZ\s+\S+\s+(\S+)", self.entries()[0]).group(1)
        self.assertEqual(self.msiexec(uninstall), 0)
        self.assertEqual(sorted(os.listdir(self.h.unix(self.dir))), ["Pellux.stp", "PelluxMONITOR.anc"])
        self.assertEqual(self.h.processes_at(self.exe), [], "the uninstall started a monitor")
        self.assertFalse(os.path.exists(self.h.unix(self.shortcut)), "the shortcut is left")
        self.assertEqual((self.run_values(), self.entries()), ([], []))


if __name__ == "__main__":
    unittest.main()
