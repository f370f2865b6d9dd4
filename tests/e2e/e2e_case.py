"""The base of every end-to-end test: a fresh Wine session and freshly installed programs for each case,
run once more when it fails, its first failure shown in full (screenshot, the monitor's log, Wine's errors)."""

import os
import unittest

from harness import (AFTER, BRIDGE_EXE, CBLINTARO, CBPELLUX, GREEN, JAVAW_EXE, is_32bit_exe, log, shared_harness,
                     wait_until, why_no_32bit_programs, windows_dir)


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
        self.h.prefix.forget_monitor_settings()
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


