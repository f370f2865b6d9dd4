"""The supervision cycle and the control file of the real monitor under Wine, logging on."""

import os
import re
import time
import unittest

import harness as H
from e2e_case import MonitorTestCase
from harness import wait_until

STAMP = "#2020-06-07 17:03:28#,"
DARK_RED = 0x000099  # the holding tray picture's background, 0x00BBGGRR


def stamp_seconds(stamp):
    return time.mktime(time.strptime(stamp, "%Y-%m-%d %H:%M:%S"))


class SupervisionCase(MonitorTestCase):

    wine_debug = H.EVENT_DEBUG

    def wait_event(self, level, event_id, strings, timeout=5):
        """Waits for the event written with exactly these strings."""
        wait_until(lambda: (level, event_id, strings) in self.h.system_events(), timeout,
                   "event %d %r" % (event_id, strings))

    def kill_bridge_and_wait_new(self, bridge, within=4.0):
        """Terminates the bridge as an outsider would; returns the process the monitor starts in its place."""
        self.assertTrue(self.h.kill(bridge["pid"]), "the bridge did not end")
        ended = time.monotonic()
        new = self.h.wait_process_at(H.BRIDGE_EXE, within + 2, exclude={bridge["pid"]})
        self.assertLess(time.monotonic() - ended, within, "the bridge came back too late")
        return new

    def wait_tips(self, tips, timeout=5):
        wait_until(lambda: self.h.tray_tips() == tips, timeout, "tray tips %r" % tips)


class Cycle(SupervisionCase):

    def test_bridge_ended_by_hand_is_started_again_within_four_seconds(self):
        started = time.monotonic()
        main, _, bridge = self.wait_steady()
        self.assertEqual(self.h.system_events()[0],
                         ("information", 1000, ["PelluxMONITOR - STARTED!!!", "1.0.0.0", H.MONITOR_DIR, "on", "built-in"]))
        # The bridge start-up launched is not bounced while the controller starts: 10 s on it
        # is still the one running, launched once, and nothing was ended.
        time.sleep(max(0.0, 10 - (time.monotonic() - started)))
        launches = [t for t in self.h.log_texts() if t.startswith("ARRANCA LINTARO.exe")]
        self.assertEqual(launches, ["ARRANCA LINTARO.exe - RetVal: %d" % bridge["pid"]])
        self.assertEqual([p["pid"] for p in self.h.processes_at(H.BRIDGE_EXE)], [bridge["pid"]])
        self.assertEqual([e for e in self.h.system_events() if e[1] == 1022], [])
        new = self.kill_bridge_and_wait_new(bridge)
        relaunched = "ARRANCA LINTARO.exe - RetVal: %d" % new["pid"]
        self.wait_log(lambda t: relaunched in t, 5, "the relaunch line with the new id")
        self.assertEqual(self.h.control_colour(self.h.control(main, H.CBLINTARO)), H.GREEN)
        self.wait_event("warning", 1020, [relaunched, "LINTARO.exe", str(new["pid"]), "1"])

    def test_a_bridge_killed_just_after_a_cycle_is_back_before_the_next_cycle_is_due(self):
        # The cycle that ended last had ended after the start of the last look at the log that did not
        # show its AFTER line yet; without its end seen at once the bridge could come back only with the
        # next cycle, 3 s after that one. Killed within 1.2 s of that look, it must be back within 2.5 s
        # of it: a time the 3-second cycle cannot meet, and several times what an end seen at once
        # takes (a few tenths) on a loaded machine. A kill that came late is tried again.
        self.wait_steady()
        for attempt in range(3):
            self.wait_cycles(2)  # the bridge has run for more than a cycle
            bridge = self.h.wait_process_at(H.BRIDGE_EXE, 5)
            started = last_miss = time.monotonic()
            done = self.cycles_done()
            while True:
                looked = time.monotonic()
                if self.cycles_done() > done:
                    break
                last_miss = looked
                self.assertLess(looked - started, 10, "no cycle ended")
                time.sleep(0.05)
            self.assertTrue(self.h.kill(bridge["pid"]), "the bridge did not end")
            if time.monotonic() - last_miss <= 1.2:
                break
            H.log("the kill came late after the cycle; again")
            self.h.wait_process_at(H.BRIDGE_EXE, 6, exclude={bridge["pid"]})
        new = self.h.wait_process_at(H.BRIDGE_EXE, 6, exclude={bridge["pid"]})
        self.assertLess(time.monotonic() - last_miss, 2.5, "the bridge came back only with the next cycle")
        self.wait_log(lambda t: "ARRANCA LINTARO.exe - RetVal: %d" % new["pid"] in t, 5, "the relaunch line")

    def restart_and_see_it_adopt(self, javaw, bridge):
        """Ends the monitor (as a crash does) and starts it again in the same session: nothing is
        launched, the very same processes run, and no other copy appears. Returns its window."""
        self.h.watch()
        running = {p["pid"] for p in self.h.processes()}
        self.assertTrue(self.h.kill(self.h.monitor_pid), "the monitor did not end")
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        self.wait_cycles(2)
        self.assertEqual([p["pid"] for p in self.h.processes_at(H.BRIDGE_EXE)], [bridge["pid"]])
        self.assertEqual([p["pid"] for p in self.h.processes_at(H.JAVAW_EXE)], [javaw["pid"]])
        started = [p["exe"].lower() for p in self.h.seen_processes() if p["pid"] not in running]
        for exe in ("lintaro.exe", "pellux.exe", "javaw.exe"):
            self.assertNotIn(exe, started, "a second copy was launched")
        return main

    def test_a_monitor_ended_and_started_again_adopts_both_programs_and_relaunches_a_killed_bridge(self):
        _, javaw, bridge = self.wait_steady()
        main = self.restart_and_see_it_adopt(javaw, bridge)
        texts = self.h.log_texts()
        second = len(texts) - 1 - texts[::-1].index("PelluxMONITOR - STARTED!!!")
        self.assertEqual(texts[second + 1:second + 4], [
            "El Programa 'LINTARO.exe' AUN Esta Rodando!!!", "El Programa 'Pellux.exe' AUN Esta Rodando!!!", H.BEFORE])
        adopted = [e for e in self.h.system_events() if e[1] == 1012]
        self.assertEqual(adopted, [
            ("information", 1012, ["El Programa 'LINTARO.exe' AUN Esta Rodando!!!", "LINTARO.exe", str(bridge["pid"])]),
            ("information", 1012, ["El Programa 'Pellux.exe' AUN Esta Rodando!!!", "Pellux.exe", str(javaw["pid"])])])
        # From then on the new monitor supervises them: a bridge killed is started again.
        new = self.kill_bridge_and_wait_new(bridge, within=8.0)
        self.wait_log(lambda t: "ARRANCA LINTARO.exe - RetVal: %d" % new["pid"] in t, 5, "the relaunch line")
        self.assertEqual(self.h.control_colour(self.h.control(main, H.CBLINTARO)), H.GREEN)

    def test_a_monitor_started_again_counts_the_controller_an_operator_started_and_launches_no_second(self):
        _, javaw, bridge = self.wait_steady()
        # The controller's javaw.exe ends; the cycle ends the bridge.
        self.assertTrue(self.h.kill(javaw["pid"]), "javaw.exe did not end")
        wait_until(lambda: not self.h.processes_at(H.BRIDGE_EXE), 8, "the bridge ended after the controller")
        # The operator starts the controller again from its launcher; the monitor relaunches the bridge.
        self.h.start_program(H.CONTROLLER_EXE, H.CONTROLLER_DIR)
        javaw = self.h.wait_process_at(H.JAVAW_EXE, 20, exclude={javaw["pid"]})
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 10, exclude={bridge["pid"]})
        # The monitor ends (a crash) and is started again: no second controller, the operator's
        # javaw.exe is the one, and the bridge is kept.
        self.restart_and_see_it_adopt(javaw, bridge)
        adopted = [e for e in self.h.system_events() if e[1] == 1012][-2:]
        self.assertEqual(adopted, [
            ("information", 1012, ["El Programa 'LINTARO.exe' AUN Esta Rodando!!!", "LINTARO.exe", str(bridge["pid"])]),
            ("information", 1012, ["El Programa 'Pellux.exe' AUN Esta Rodando!!!", "Pellux.exe", str(javaw["pid"])])])
        # The operator's controller is supervised: its end ends the bridge.
        self.assertTrue(self.h.kill(javaw["pid"]), "javaw.exe did not end")
        wait_until(lambda: not self.h.processes_at(H.BRIDGE_EXE), 8, "the bridge ended after the controller")

    def test_a_controller_whose_launcher_waits_35_s_keeps_the_bridge_launched_at_start(self):
        with open(self.h.unix(H.CONTROLLER_DIR + r"\Pellux.delay"), "w") as f:
            f.write("35000\r\n")
        started = time.monotonic()
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 10)
        javaw = self.h.wait_process_at(H.JAVAW_EXE, 45)
        self.assertGreater(time.monotonic() - started, 30, "the launcher did not wait")
        time.sleep(max(0.0, 40 - (time.monotonic() - started)))
        self.wait_cycles(1)
        # The bridge start-up launched still runs, launched once, and nothing was ended.
        self.assertEqual([p["pid"] for p in self.h.processes_at(H.BRIDGE_EXE)], [bridge["pid"]])
        launches = [t for t in self.h.log_texts() if t.startswith("ARRANCA LINTARO.exe")]
        self.assertEqual(launches, ["ARRANCA LINTARO.exe - RetVal: %d" % bridge["pid"]])
        self.assertEqual([e for e in self.h.system_events() if e[1] == 1022], [])
        self.assertEqual([p["pid"] for p in self.h.processes_at(H.JAVAW_EXE)], [javaw["pid"]])

    def test_controller_gone_ends_the_bridge_on_the_next_cycle_with_exit_code_1(self):
        main, javaw, bridge = self.wait_steady()
        self.h.hold(bridge["pid"])
        self.assertTrue(self.h.kill(javaw["pid"]))
        exited, code = self.h.wait_exit(bridge["pid"], 4.5)
        self.assertTrue(exited, "the bridge still runs")
        self.assertEqual(code, 1)
        self.wait_event("warning", 1022, ["LINTARO.exe ended by the monitor: the controller (javaw.exe) is not running",
                                          "LINTARO.exe", str(bridge["pid"]), "1"])
        # The cycle neither restarts the controller nor recolours either button.
        self.wait_cycles(1)
        self.assertEqual(self.h.processes_at(H.JAVAW_EXE), [])
        self.assertEqual(self.h.processes_at(H.BRIDGE_EXE), [])
        for control_id in (H.CBLINTARO, H.CBPELLUX):
            self.assertEqual(self.h.control_colour(self.h.control(main, control_id)), H.GREEN)

    def test_a_controller_told_apart_by_its_command_line_has_its_bridge_ended_while_another_java_runs_on(self):
        # One shared Java runs both; only the controller's command line names its jar. Wine answers
        # no command-line query, and the monitor reads it from the process's memory.
        java, key = r"C:\Java\bin\javaw.exe", r"HKCU\Software\PelluxMONITOR"
        self.addCleanup(H._remove, self.h.unix(r"C:\Java"))
        H._copy(self.h.standin("javaw.exe"), self.h.unix(java))
        with open(self.h.unix(H.CONTROLLER_DIR + r"\Pellux.runtime"), "w") as f:
            f.write(java + "\r\n")
        self.addCleanup(self.h.reg, "delete", key, "/f", "/reg:64")
        self.assertEqual(self.h.reg("add", key, "/v", "ControllerMatch", "/d", "pellux.JAR", "/f", "/reg:64"), 0)
        other = self.h.start_program(java, r"C:\Java")
        self.h.hold(other)
        self.wait_green(self.start_and_wait_window(), H.CBLINTARO, H.CBPELLUX)
        controller = self.h.wait_process_at(java, 20, exclude={other})
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 10)
        self.wait_cycles(2)
        self.h.hold(bridge["pid"])
        self.assertTrue(self.h.kill(controller["pid"]))
        if H.is_32bit_exe(self.h.unix(H.MONITOR_EXE)):
            # The 32-bit monitor reads a 64-bit process's command line through ntdll's
            # NtWow64QueryInformationProcess64, which Wine's 32-bit ntdll lacks: here it
            # cannot read it, and the other program, neither confirmed nor ruled out,
            # counts as the controller and keeps the bridge, and the log says why.
            self.wait_cycles(2)
            self.assertEqual(self.h.wait_exit(bridge["pid"], 0), (False, 259), "the bridge was ended")
            self.assertTrue([t for t in self.h.log_texts() if "Cuenta como Controlador, NO se Detiene" in t])
            return
        self.assertEqual(self.h.wait_exit(bridge["pid"], 4.5), (True, 1), "the bridge outlived its controller")
        self.wait_cycles(1)
        self.assertEqual(self.h.wait_exit(other, 0), (False, 259))
        self.assertEqual(self.h.processes_at(H.BRIDGE_EXE), [])
        self.assertEqual([t for t in self.h.log_texts() if "Linea de Comandos" in t], [])

    def test_cycles_start_three_seconds_apart_each_closed_by_its_after_line(self):
        self.wait_steady()
        self.wait_cycles(4)
        entries = self.h.log_entries()
        texts = [t for _, t in entries]
        launched = max(i for i, t in enumerate(texts) if t.startswith("ARRANCA Pellux.exe"))
        befores = [i for i, t in enumerate(texts) if t == H.BEFORE]
        self.assertGreater(befores[0], launched, "a cycle before start-up ended")
        # The first cycle follows start-up at once (10 ms).
        self.assertLessEqual(stamp_seconds(entries[befores[0]][0]) - stamp_seconds(entries[launched][0]), 1)
        for n, i in enumerate(befores):
            following = texts[i + 1:befores[n + 1]] if n + 1 < len(befores) else texts[i + 1:]
            if n + 1 < len(befores) or H.AFTER in following:
                self.assertEqual([t for t in following if t in (H.BEFORE, H.AFTER)], [H.AFTER])
        gaps = [stamp_seconds(entries[b][0]) - stamp_seconds(entries[a][0]) for a, b in zip(befores, befores[1:])]
        for gap in gaps[:4]:
            self.assertIn(gap, (3, 4), "cycle starts %s s apart" % gaps)

    def test_every_process_read_is_logged_with_path_and_handle(self):
        self.wait_steady()
        self.wait_cycles(1)
        texts = self.h.log_texts()
        last_before = max(i for i, t in enumerate(texts) if t == H.BEFORE)
        cycle = texts[last_before + 1:texts.index(H.AFTER, last_before)]
        self.assertTrue(cycle, "no process line in a cycle")
        # Each path with the handle it was read through; one kept from an earlier walk with when it was read.
        for line in cycle:
            self.assertRegex(line, r"^.* - [0-9]+$")
        self.assertTrue(any(" - DESDE " in line for line in cycle), "every path read anew")
        # Controller scan stops at javaw.exe; the bridge scan at the bridge.
        self.assertTrue(any(line.lower().startswith(H.JAVAW_EXE.lower() + " - ") for line in cycle))
        self.assertTrue(cycle[-1].lower().startswith(H.BRIDGE_EXE.lower() + " - "), cycle[-1])

    def test_a_monitor_kept_in_a_folder_named_like_the_bridge_ends_the_bridge_and_runs_on(self):
        folder = r"C:\Lintaro tools"
        exe = folder + r"\PelluxMONITOR.exe"
        self.addCleanup(H._remove, self.h.unix(folder))
        H._copy(self.h.binary("PelluxMONITOR.exe"), self.h.unix(exe))
        open(self.h.unix(folder + r"\PelluxMONITOR.anc"), "wb").close()
        self.h.log_path = lambda: self.h.unix(folder + r"\PelluxMONITOR.anc")  # the log lies beside the exe
        self.addCleanup(delattr, self.h, "log_path")
        monitor = self.h.start_monitor(exe)
        self.h.hold(monitor)
        javaw = self.h.wait_process_at(H.JAVAW_EXE, 20)
        self.wait_cycles(1, timeout=10)
        self.assertTrue(self.h.kill(javaw["pid"]))  # the controller, seen once, has gone
        wait_until(lambda: self.h.processes_at(H.BRIDGE_EXE) == [], 10, "the bridge to be ended")
        self.wait_cycles(1, timeout=10)
        texts = self.h.log_texts()
        own_line = lambda t: t.lower().startswith(exe.lower() + " - ")
        cycles = [texts[i + 1:texts.index(H.AFTER, i)] for i, t in enumerate(texts)
                  if t == H.BEFORE and H.AFTER in texts[i:]]
        # Listed before the bridge, the monitor is read by both walks; the stop
        # passes over it and ends at the bridge.
        no_javaw = lambda c: not any(t.lower().startswith(H.JAVAW_EXE.lower() + " - ") for t in c)
        cycle = next((c for c in cycles if no_javaw(c) and len([t for t in c if own_line(t)]) == 2), None)
        self.assertIsNotNone(cycle, "no cycle ended the bridge")
        self.assertTrue(cycle[-1].lower().startswith(H.BRIDGE_EXE.lower() + " - "), cycle[-1])
        self.assertEqual(self.h.processes_at(H.BRIDGE_EXE), [])
        self.assertEqual(self.h.wait_exit(monitor, 0), (False, 259))


class ControlFile(SupervisionCase):

    def test_end_beside_the_monitor_ends_it_within_a_cycle_leaving_both_programs(self):
        _, javaw, bridge = self.wait_steady()
        for p in (javaw, bridge):
            self.h.hold(p["pid"])
        self.h.write_control_file(STAMP + '"END"\r\n')
        self.assertMonitorEnds(4.5)
        wait_until(lambda: self.h.tray_icons() == [], 10, "the tray icon to go")
        self.assertEqual(self.h.system_events()[-2:],
                         [("information", 1032, ["END", H.MONITOR_DIR + r"\Pellux.stp"]),
                          ("information", 1001, ["PelluxMONITOR - ENDED", "control file END"])])
        for p in (javaw, bridge):
            self.assertEqual(self.h.wait_exit(p["pid"], 0), (False, 259), p["path"])

    def test_hold_in_lower_case_holds_the_tray_while_supervision_goes_on(self):
        _, _, bridge = self.wait_steady()
        self.wait_tips([H.VERSION_TIP])
        self.h.write_control_file(STAMP + '"hold"\r\n')
        self.wait_tips([H.HOLDING_TIP])
        self.assertEqual(self.tray_icon_corner(), DARK_RED)
        self.kill_bridge_and_wait_new(bridge)
        self.assertEqual(self.h.tray_tips(), [H.HOLDING_TIP])
        self.h.remove_control_file()
        done = self.cycles_done()
        self.wait_tips([H.VERSION_TIP])
        self.assertLessEqual(self.cycles_done(), done + 1, "the version tip came back late")
        self.assertNotEqual(self.tray_icon_corner(), DARK_RED)
        # Holding and back, each told once although every cycle read the file.
        self.wait_event("information", 1031, [H.VERSION_TIP])
        self.assertEqual([e for e in self.h.system_events() if e[1] in (1030, 1031)],
                         [("warning", 1030, [H.HOLDING_TIP, "HOLD", H.MONITOR_DIR + r"\Pellux.stp"]),
                          ("information", 1031, [H.VERSION_TIP])])

    def test_drive_d_saying_end_beats_the_program_folder_saying_hold(self):
        drive_d = self.h.map_drive_d()
        self.h.start_session("drive_d")
        self.h.write_control_file(STAMP + '"HOLD"\r\n')
        self.wait_steady()
        self.wait_tips([H.HOLDING_TIP])
        with open(os.path.join(drive_d, "Pellux.stp"), "wb") as f:
            f.write((STAMP + '"END"\r\n').encode())
        self.assertMonitorEnds(4.5)

    def test_control_file_on_a_share_is_read_off_the_window_thread_and_a_share_gone_counts_as_none(self):
        # Wine reaches \\srv\ctl through dosdevices/unc/srv/ctl; a share that is not there answers
        # at once, so no look ever waits for the network here (the unit tests hold that case).
        unc = os.path.join(self.h.prefix.path, "dosdevices", "unc")
        share = os.path.join(unc, "srv", "ctl")
        os.makedirs(share, exist_ok=True)
        self.addCleanup(H._remove, unc)
        key, control = r"HKCU\Software\PelluxMONITOR", r"\\srv\ctl\Pellux.stp"
        self.addCleanup(self.h.reg, "delete", key, "/f", "/reg:64")
        self.assertEqual(self.h.reg("add", key, "/v", "ControlFile", "/t", "REG_SZ", "/d", control, "/f", "/reg:64"), 0)
        with open(os.path.join(share, "Pellux.stp"), "wb") as f:
            f.write((STAMP + '"HOLD"\r\n').encode())
        self.wait_steady()
        self.wait_tips([H.HOLDING_TIP])
        self.wait_event("warning", 1030, [H.HOLDING_TIP, "HOLD", control])
        H._remove(share)  # the share has gone: no control file, supervision goes on
        self.wait_tips([H.VERSION_TIP])
        self.wait_cycles(2)
        self.assertEqual([e for e in self.h.system_events() if e[1] == 1033], [])

    def test_a_log_on_a_share_is_written_whole_and_in_order_by_its_worker(self):
        # Through dosdevices/unc, as the control file above; a share that answers at once (a
        # share that hangs is held by the unit tests).
        unc = os.path.join(self.h.prefix.path, "dosdevices", "unc")
        share = os.path.join(unc, "srv", "logs")
        os.makedirs(share, exist_ok=True)
        self.addCleanup(H._remove, unc)
        open(os.path.join(share, "PelluxMONITOR.anc"), "wb").close()
        key, log = r"HKCU\Software\PelluxMONITOR", r"\\srv\logs\PelluxMONITOR.anc"
        self.addCleanup(self.h.reg, "delete", key, "/f", "/reg:64")
        self.assertEqual(self.h.reg("add", key, "/v", "LogFile", "/t", "REG_SZ", "/d", log, "/f", "/reg:64"), 0)
        self.h.log_path = lambda: os.path.join(share, "PelluxMONITOR.anc")
        self.addCleanup(delattr, self.h, "log_path")
        self.wait_steady()
        self.wait_cycles(2)
        texts = self.h.log_texts()
        self.assertEqual(texts[:2], ["i" + "=" * 30 + "   MAIN   " + "=" * 30, "PelluxMONITOR - STARTED!!!"])
        befores = [i for i, t in enumerate(texts) if t == H.BEFORE]
        for a, b in zip(befores, befores[1:]):
            self.assertEqual([t for t in texts[a:b] if t in (H.BEFORE, H.AFTER)], [H.BEFORE, H.AFTER])
        self.assertFalse(os.path.exists(self.h.unix(H.MONITOR_DIR + r"\PelluxMONITOR.1.anc")))

    def test_a_log_past_a_small_limit_rolls_over_to_its_1_file_and_goes_on_in_a_new_one(self):
        key = r"HKCU\Software\PelluxMONITOR"
        self.addCleanup(self.h.reg, "delete", key, "/f", "/reg:64")
        self.assertEqual(self.h.reg("add", key, "/v", "LogLimitKB", "/t", "REG_DWORD", "/d", "64", "/f",
                                    "/reg:64"), 0)
        # A live file some 1 KB short of the limit: start-up and the first cycles fill it.
        line = (STAMP + '"' + "x" * 100 + '"\r\n').encode()
        filler = line * ((64 * 1024 - 1000) // len(line))
        with open(self.h.log_path(), "wb") as f:
            f.write(filler)
        self.start_and_wait_window()
        rolled = self.h.unix(H.MONITOR_DIR + r"\PelluxMONITOR.1.anc")
        wait_until(lambda: os.path.exists(rolled), 30, "the .1 file")
        self.wait_cycles(2)
        with open(rolled, "rb") as f:
            old = f.read()
        self.assertTrue(old.startswith(filler + b"#"), "the full file was not the one rolled over")
        self.assertLessEqual(len(old), 64 * 1024)
        with open(self.h.log_path(), "rb") as f:
            live = f.read()
        self.assertLessEqual(len(live), 64 * 1024)
        # The new file begins with an ordinary line of the log, and every line keeps the shape.
        self.assertRegex(live.decode("cp1252"), r'\A(#\d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)?#,"[^\r]*"\r\n)+\Z')

    def test_stopped_and_garbage_leave_the_normal_state_and_supervision_on(self):
        _, _, bridge = self.wait_steady()
        for content in (STAMP + '"STOPPED"\r\n', b'\x00\xff"\x01,,\r\n\x00STOP\x00' + bytes(range(256)) * 40):
            with self.subTest(content=content[:20]):
                self.h.write_control_file(content)
                self.wait_cycles(2)
                self.assertEqual(self.h.tray_tips(), [H.VERSION_TIP])
                bridge = self.kill_bridge_and_wait_new(bridge)
        exited, _ = self.h.wait_exit(self.h.monitor_pid, 0)
        self.assertFalse(exited)

    def tray_icon_corner(self):
        """The colour at the top-left corner of the one tray icon as the taskbar shows it."""
        icon = self.h.tray_icons()[0]
        tray = self.h.shell_tray_window()
        left, top, right, bottom = icon["tool_rect"]
        # The small icon (16 x 16) is centred in its cell.
        x = tray["origin"][0] + (left + right) // 2 - 8 + 1
        y = tray["origin"][1] + (top + bottom) // 2 - 8 + 1
        return self.h.pixel(x, y)


class HungBridge(SupervisionCase):

    def bridge_windows(self, pid):
        return [w for w in self.h.windows() if w["pid"] == pid and w["visible"]]

    def test_a_bridge_whose_window_stops_answering_is_left_alone_without_the_setting_and_ended_with_it_hidden_too(self):
        open(self.h.unix(H.BRIDGE_DIR + r"\LINTARO.window"), "w").close()
        hang = self.h.unix(H.BRIDGE_DIR + r"\LINTARO.hang")
        main, _, bridge = self.wait_steady()
        wait_until(lambda: self.bridge_windows(bridge["pid"]), 10, "the bridge's window")
        self.assertFalse(self.bridge_windows(bridge["pid"])[0]["hung"])
        # Without BridgeHungSeconds a bridge that stops answering is left alone.
        open(hang, "w").close()
        hung_at = time.monotonic()
        wait_until(lambda: self.bridge_windows(bridge["pid"])[0]["hung"], 15, "Windows to judge the window hung")
        time.sleep(max(0.0, 20 - (time.monotonic() - hung_at)))
        self.wait_cycles(1)
        self.assertEqual([p["pid"] for p in self.h.processes_at(H.BRIDGE_EXE)], [bridge["pid"]])
        self.assertEqual([e for e in self.h.system_events() if e[1] == 1025], [])
        # With BridgeHungSeconds=10 a monitor started again adopts it, ends it and starts another.
        key = r"HKCU\Software\PelluxMONITOR"
        self.addCleanup(self.h.reg, "delete", key, "/f", "/reg:64")
        self.assertEqual(self.h.reg("add", key, "/v", "BridgeHungSeconds", "/t", "REG_DWORD", "/d", "10", "/f",
                                    "/reg:64"), 0)
        self.h.hold(bridge["pid"])
        self.assertTrue(self.h.kill(self.h.monitor_pid), "the monitor did not end")
        started = time.monotonic()
        main = self.start_and_wait_window()
        exited, code = self.h.wait_exit(bridge["pid"], 25)
        self.assertTrue(exited, "the hung bridge still runs")
        self.assertEqual(code, 1)
        ended = time.monotonic() - started
        strip = self.h.control(main, H.LBLMSG)
        self.assertEqual(self.h.text(strip["hwnd"]), "El Programa 'LINTARO.exe' NO Responde!!!")
        os.remove(hang)
        self.assertGreaterEqual(ended, 10, "ended before its 10 s")
        new = self.h.wait_process_at(H.BRIDGE_EXE, 8, exclude={bridge["pid"]})
        line = [t for t in self.h.log_texts() if "NO Responde!!!" in t]
        self.assertEqual(len(line), 1, line)
        self.assertRegex(line[0], r"^El Programa 'LINTARO.exe' NO Responde!!! - TERMINADO - PID: %d - 1\d Segundos$"
                         % bridge["pid"])
        seconds = line[0].split(" - ")[-1].split()[0]
        self.wait_event("warning", 1025, [line[0], "LINTARO.exe", str(bridge["pid"]), seconds, "1"])
        self.wait_log(lambda t: "ARRANCA LINTARO.exe - RetVal: %d" % new["pid"] in t, 8, "the relaunch line")
        self.assertEqual(self.h.control_colour(self.h.control(main, H.CBLINTARO)), H.GREEN)
        # The new one stops answering and is hidden as Windows hides it behind a ghost: the monitor, which saw
        # its window shown, still ends it and starts another.
        wait_until(lambda: self.bridge_windows(new["pid"]), 10, "the new bridge's window")
        self.wait_cycles(2)
        open(self.h.unix(H.BRIDGE_DIR + r"\LINTARO.ghost"), "w").close()
        open(hang, "w").close()
        self.h.hold(new["pid"])
        wait_until(lambda: not self.bridge_windows(new["pid"]), 15, "the hung window hidden behind its ghost")
        exited, _ = self.h.wait_exit(new["pid"], 25)
        self.assertTrue(exited, "the bridge hidden behind its ghost still runs")
        os.remove(hang)
        self.h.wait_process_at(H.BRIDGE_EXE, 8, exclude={bridge["pid"], new["pid"]})
        self.assertEqual(len([t for t in self.h.log_texts() if "NO Responde!!!" in t]), 2)


class BridgePathIsADirectory(SupervisionCase):

    def test_each_cycle_shows_and_logs_the_failed_relaunch_while_the_controller_runs(self):
        os.remove(self.h.unix(H.BRIDGE_EXE))
        os.mkdir(self.h.unix(H.BRIDGE_EXE))
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        self.h.answer_box(self.h.wait_box())
        main = self.h.wait_main_window()
        self.h.wait_process_at(H.JAVAW_EXE, 20)
        self.wait_cycles(1)
        strip = self.h.control(main, H.LBLMSG)
        wait_until(lambda: self.h.control(main, H.LBLMSG)["visible"], 5, "the message strip")
        self.assertEqual(self.h.text(strip["hwnd"]), "El Programa 'LINTARO.exe' NO Arranco!!!")
        height = strip["rect"][3] - strip["rect"][1]
        self.assertEqual(self.h.control_colour(strip, 8, height - 8), H.RED)
        self.assertEqual(self.h.control_colour(self.h.control(main, H.CBLINTARO)), H.RED)
        start = len(self.h.log_texts())
        self.wait_cycles(3)
        texts = self.h.log_texts()[start:]
        befores = [i for i, t in enumerate(texts) if t == H.BEFORE]
        for a, b in zip(befores, befores[1:]):
            self.assertIn("LINTARO.exe NO ARRANCO - RetVal: 0", texts[a:b])
        self.assertFalse(os.path.exists(self.h.unix(H.TRAP_MARKER)))
        # Start-up's failure and the cycle's first are errors; the cycle's
        # later ones are held back (no flood).
        failed = ["LINTARO.exe NO ARRANCO - RetVal: 0", "LINTARO.exe", H.BRIDGE_EXE]
        self.assertEqual([e for e in self.h.system_events() if e[0] == "error"],
                         [("error", 1011, failed), ("error", 1021, failed + ["1"])])


if __name__ == "__main__":
    unittest.main()
