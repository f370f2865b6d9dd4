"""The installer under Wine, in one fresh prefix: silent per-user install, the logon start,
upgrade, refused downgrade, uninstall. Wine's msiexec keeps a per-user product's
Add/Remove Programs entry under HKLM, so both hives are searched."""

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

    def run_wine(self, *command):
        return self.h.prefix.run("wine", *command, timeout=180, capture=True)

    def msiexec(self, *args):
        return self.run_wine("msiexec", *args, "/qn").returncode

    def entries(self):
        """The Add/Remove Programs entries of PelluxMONITOR, as reg.exe prints them."""
        text = "".join(self.run_wine("reg", "query", hive + UNINSTALL, "/s").stdout for hive in ("HKCU", "HKLM"))
        return [e for e in re.split(r"\n(?=HKEY_)", text) if re.search(r"DisplayName\s+REG_SZ\s+PelluxMONITOR$", e, re.M)]

    def run_values(self):
        return re.findall(r"^\s+PelluxMONITOR\s+REG_SZ\s+(.*)$", self.run_wine("reg", "query", RUN_KEY).stdout, re.M)

    def assertInstalled(self, msi, version, exe):
        self.assertEqual(digest(self.h.unix(self.dir + r"\PelluxMONITOR.exe")), exe, "not the program of " + msi)
        self.assertTrue(os.path.isfile(self.h.unix(self.shortcut)), "no Start-menu shortcut")
        self.assertEqual(self.run_values(), ['"%s\\PelluxMONITOR.exe"' % self.dir])
        versions = [re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", e).group(1) for e in self.entries()]
        self.assertEqual(versions, [version.rsplit(".", 1)[0]])

    def start_at_logon(self, version):
        """Runs what the Run value holds: the monitor comes up and launches both programs."""
        self.h.start_session("installer")
        command = self.run_values()[0]
        self.h.monitor_pid = self.h.call("start", command.strip('"'), "", command)["pid"]
        self.h.hold(self.h.monitor_pid)
        self.h.wait_main_window()
        self.h.wait_process_at(H.BRIDGE_EXE, 20)
        self.h.wait_process_at(H.JAVAW_EXE, 20)
        wait_until(lambda: self.h.tray_tips() == ["PelluxMONITOR - v" + version], 10, "the version tip")
        self.h.stop_session()

    def test_install_logon_start_upgrade_refused_downgrade_and_uninstall(self):
        old, new = package(H.windows_dir()), package(os.environ.get("PELLUX_NEXT_WINDOWS_DIR"))
        install = lambda p: self.msiexec("/i", "Z:" + p[0].replace("/", "\\"))
        self.assertEqual(install(old), 0)
        self.assertInstalled(*old)
        log = Path(self.h.unix(self.dir + r"\PelluxMONITOR.anc"))
        log.touch()  # the log switched on beside the installed program
        self.start_at_logon(old[1])
        self.assertIn(b"PelluxMONITOR - STARTED!!!", log.read_bytes())

        self.assertEqual(install(new), 0)
        self.assertInstalled(*new)
        self.assertNotEqual(install(old), 0, "an older package went over a newer one")
        self.assertInstalled(*new)
        self.start_at_logon(new[1])

        Path(self.h.unix(self.dir + r"\Pellux.stp")).touch()
        uninstall = re.search(r"UninstallString\s+REG_EXPAND_SZ\s+\S+\s+(\S+)", self.entries()[0]).group(1)
        self.assertEqual(self.msiexec(uninstall), 0)
        self.assertEqual(sorted(os.listdir(self.h.unix(self.dir))), ["Pellux.stp", "PelluxMONITOR.anc"])
        self.assertFalse(os.path.exists(self.h.unix(self.shortcut)), "the shortcut is left")
        self.assertEqual((self.run_values(), self.entries()), ([], []))


if __name__ == "__main__":
    unittest.main()
