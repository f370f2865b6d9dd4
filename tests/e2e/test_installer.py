"""The installer package under Wine, as an integrator deploys it: a silent per-user
install into a fresh prefix, the logon start, an upgrade, a refused downgrade and
the uninstall, in one sequence in one prefix. Wine's msiexec records a per-user
product under HKLM, so the Add/Remove Programs entry is looked for in both hives."""

import getpass
import hashlib
import os
import re
import unittest

import harness as H
from harness import wait_until

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEYS = (r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                  r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall")
INSTALL_DIR = r"C:\users\%s\AppData\Local\Programs\PelluxMONITOR" % os.environ.get("USER", getpass.getuser())
INSTALLED_EXE = INSTALL_DIR + r"\PelluxMONITOR.exe"
SHORTCUT = (r"C:\users\%s\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\PelluxMONITOR.lnk"
            % os.environ.get("USER", getpass.getuser()))


def _digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Package:
    """An MSI and the program in it, from a mingw-w64 build folder."""

    def __init__(self, build_dir):
        cache = os.path.join(build_dir or "", "CMakeCache.txt")
        if not build_dir or not os.path.isfile(cache):
            raise AssertionError("no build in %r (make installer installer-next)" % build_dir)
        with open(cache) as f:
            text = f.read()
        self.msi = re.search(r"^PELLUX_MSI:INTERNAL=(.*)$", text, re.M).group(1)
        self.version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", text, re.M).group(1)
        self.exe = os.path.join(build_dir, "PelluxMONITOR.exe")
        if not os.path.isfile(self.msi):
            raise AssertionError("missing build output %s (make installer)" % self.msi)

    def digest(self):
        return _digest(self.exe)


class InstallerSequence(unittest.TestCase):

    def setUp(self):
        self.old = Package(H.windows_dir())
        self.new = Package(os.environ.get("PELLUX_NEXT_WINDOWS_DIR"))
        self.assertNotEqual(self.old.version.split(".")[:3], self.new.version.split(".")[:3])
        self.h = H.Harness(fresh_prefix=True)
        self.addCleanup(self.h.close)
        self.h.ensure_prefix()
        self.h.install(monitor=False)  # the stand-ins and the driver only

    def msiexec(self, *args):
        return self.h.prefix.run("wine", "msiexec", *args, "/qn", timeout=180).returncode

    def install(self, package):
        return self.msiexec("/i", "Z:" + package.msi.replace("/", "\\"))

    def reg(self, key):
        """{subkey: {name: data}} under key, from Wine's reg.exe."""
        out = self.h.prefix.run("wine", "reg", "query", key, "/s", capture=True).stdout
        tree, current = {}, None
        for line in out.splitlines():
            if line.startswith("HKEY_"):
                current = tree.setdefault(line.strip(), {})
            elif current is not None and re.match(r"^\s+\S", line):
                parts = re.split(r"\s{4}", line.strip(), maxsplit=2)
                if len(parts) == 3:
                    current[parts[0]] = parts[2]
        return tree

    def entries(self):
        return [values for key in UNINSTALL_KEYS for values in self.reg(key).values()
                if values.get("DisplayName") == "PelluxMONITOR"]

    def run_values(self):
        return [values.get("PelluxMONITOR") for values in self.reg(RUN_KEY).values() if "PelluxMONITOR" in values]

    def assertInstalled(self, package):
        self.assertEqual(_digest(self.h.unix(INSTALLED_EXE)), package.digest(), "not the program of " + package.msi)
        self.assertTrue(os.path.isfile(self.h.unix(SHORTCUT)), "no Start-menu shortcut")
        self.assertEqual(self.run_values(), ['"%s"' % INSTALLED_EXE])
        entries = self.entries()
        self.assertEqual([e.get("DisplayVersion") for e in entries], [".".join(package.version.split(".")[:3])])

    def start_at_logon(self, package):
        """Runs the command the Run value holds, as the logon does; the monitor comes up and starts both programs."""
        self.h.start_session("installer")
        command = self.run_values()[0]
        self.h.monitor_pid = self.h.call("start", command.strip('"'), "", command)["pid"]
        self.h.hold(self.h.monitor_pid)
        self.h.wait_main_window()
        self.h.wait_process_at(H.BRIDGE_EXE, 20)
        self.h.wait_process_at(H.JAVAW_EXE, 20)
        wait_until(lambda: self.h.tray_tips() == ["PelluxMONITOR - v" + package.version], 10,
                   "the tray tip with version " + package.version)
        self.h.stop_session()

    def test_install_logon_start_upgrade_refused_downgrade_and_uninstall(self):
        self.assertEqual(self.install(self.old), 0)
        self.assertInstalled(self.old)
        log = self.h.unix(INSTALL_DIR + r"\PelluxMONITOR.anc")
        open(log, "wb").close()  # the log switched on beside the installed program
        self.start_at_logon(self.old)
        with open(log, "rb") as f:
            self.assertIn(b"PelluxMONITOR - STARTED!!!", f.read())

        self.assertEqual(self.install(self.new), 0)
        self.assertInstalled(self.new)
        self.assertNotEqual(self.install(self.old), 0, "an older package was installed over a newer one")
        self.assertInstalled(self.new)
        self.start_at_logon(self.new)

        with open(self.h.unix(INSTALL_DIR + r"\Pellux.stp"), "wb") as f:
            f.write(b"HOLD")
        uninstall = self.entries()[0]["UninstallString"]  # "MsiExec.exe /X{product code}"
        self.assertEqual(self.msiexec(*uninstall.split()[1:]), 0)
        self.assertEqual(sorted(os.listdir(self.h.unix(INSTALL_DIR))), ["Pellux.stp", "PelluxMONITOR.anc"])
        self.assertFalse(os.path.exists(self.h.unix(SHORTCUT)), "the shortcut is left")
        self.assertEqual(self.run_values(), [])
        self.assertEqual(self.entries(), [])


if __name__ == "__main__":
    unittest.main()
