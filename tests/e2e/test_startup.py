"""Start-up, the main window, the tray icon, the log and the close request of the real monitor under Wine."""

import os
import re
import shutil
import time
import unittest

import harness as H
from e2e_case import MonitorTestCase
from harness import wait_until

BANNER = "i==============================   MAIN   =============================="
STARTED = "PelluxMONITOR - STARTED!!!"
VERSION_TIP = "PelluxMONITOR - v1.0.0.0"
CR = "\r"
WM_QUERYENDSESSION, WM_ENDSESSION = 0x0011, 0x0016


class StartupCase(MonitorTestCase):

    def assertTrapNeverRan(self):
        self.assertFalse(os.path.exists(self.h.unix(H.TRAP_MARKER)), "C:\\Program.exe was run")

    def assertNoMainWindowYet(self):
        self.assertIsNone(self.h.main_window(), "the main window is shown")


class LoggingOn(StartupCase):

    def test_log_holds_banner_start_and_both_launches_with_the_started_ids(self):
        self.h.watch()
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        texts = self.wait_log(lambda t: len(t) >= 4 and t, 15, "the two launch lines")
        self.assertEqual(texts[0], BANNER)
        self.assertEqual(texts[1], STARTED)
        bridge = re.fullmatch(r"ARRANCA LINTARO\.exe - RetVal: ([1-9][0-9]*)", texts[2])
        controller = re.fullmatch(r"ARRANCA Pellux\.exe - RetVal: ([1-9][0-9]*)", texts[3])
        self.assertTrue(bridge, texts[2])
        self.assertTrue(controller, texts[3])

        seen = {p["pid"]: p for p in self.h.seen_processes()}
        bridge_pid, controller_pid = int(bridge.group(1)), int(controller.group(1))
        self.assertIn(bridge_pid, seen, "no process with the logged bridge id")
        self.assertEqual(seen[bridge_pid]["exe"].lower(), "lintaro.exe")
        self.assertEqual(seen[bridge_pid]["ppid"], self.h.monitor_pid)
        self.assertIn(controller_pid, seen, "no process with the logged controller id")
        self.assertEqual(seen[controller_pid]["exe"].lower(), "pellux.exe")
        self.assertEqual(seen[controller_pid]["ppid"], self.h.monitor_pid)
        for pid in (bridge_pid, controller_pid):
            if seen[pid]["path"]:
                self.assertIn(seen[pid]["path"].lower(), (H.BRIDGE_EXE.lower(), H.CONTROLLER_EXE.lower()))
        # The controller stand-in hands over to its javaw.exe, as a Java launcher does.
        javaw = self.h.wait_process_at(H.JAVAW_EXE, 15)
        self.assertEqual(javaw["ppid"], controller_pid)
        self.assertTrapNeverRan()

    def test_every_log_line_has_the_stamp_and_quoted_text_shape(self):
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        self.wait_log(lambda t: len(t) >= 4, 15, "the launch lines")
        text = self.h.log_text()
        entries = self.h.log_entries()
        rebuilt = "".join('#%s#,"%s"\r\n' % entry for entry in entries)
        self.assertEqual(text[:len(rebuilt)], rebuilt, "a line outside the two-field shape")
        for stamp, _ in entries:
            self.assertRegex(stamp, r"^\d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)?$")


class LoggingOff(StartupCase):
    logging = False

    def test_no_log_file_is_created(self):
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        self.wait_supervised_pair()
        time.sleep(4)  # at least one supervision cycle with its process walks
        self.assertFalse(os.path.exists(self.h.log_path()))
        self.assertEqual(os.listdir(self.h.unix(H.MONITOR_DIR)), ["PelluxMONITOR.exe"])


class MissingPrograms(StartupCase):

    def test_missing_bridge_gives_its_boxes_and_ends_before_any_window(self):
        os.remove(self.h.unix(H.BRIDGE_EXE))
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        box = self.h.wait_box()
        self.assertBox(box, "Falta el Archivo 'LINTARO.exe'" + CR + "En la Carpeta 'C:\\Program Files\\Ferrowin\\LINTARO'")
        self.assertNoMainWindowYet()
        self.assertEqual(self.h.tray_icons(), [], "a tray icon before the main window exists")
        self.h.answer_box(box)
        farewell = self.h.wait_box()
        self.assertBox(farewell, "Chauuu..." + CR + ":(")
        self.assertNoMainWindowYet()
        self.h.answer_box(farewell)
        self.assertMonitorEnds()
        self.assertEqual(self.h.log_texts(), [
            BANNER, STARTED,
            "Falta el Archivo 'LINTARO.exe' en la Carpeta 'C:\\Program Files\\Ferrowin\\LINTARO'"])
        self.assertEqual(self.h.processes_at(H.JAVAW_EXE), [])
        self.assertEqual(self.h.processes_at(H.CONTROLLER_EXE), [])

    def test_missing_controller_gives_its_boxes_after_the_tray_icon_then_ends(self):
        os.remove(self.h.unix(H.CONTROLLER_EXE))
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        box = self.h.wait_box()
        self.assertBox(box, "Falta el Archivo 'Pellux.exe'" + CR + "En la Carpeta 'C:\\Program Files\\Pellux'")
        self.assertNoMainWindowYet()
        self.assertEqual(self.h.tray_tips(), [VERSION_TIP])
        self.h.answer_box(box)
        farewell = self.h.wait_box()
        self.assertBox(farewell, "Chauuu..." + CR + ":(")
        self.h.answer_box(farewell)
        self.assertMonitorEnds()
        self.assertEqual(self.h.log_texts(), [
            BANNER, STARTED, "Falta el Archivo 'Pellux.exe' en la Carpeta 'C:\\Program Files\\Pellux'"])
        # Nothing was launched: the launches come after the installation checks.
        self.assertEqual(self.h.processes_at(H.BRIDGE_EXE), [])
        self.assertEqual(self.h.processes_at(H.JAVAW_EXE), [])
        wait_until(lambda: self.h.tray_icons() == [], 10, "the tray icon to go")

    def test_directory_at_the_bridge_path_fails_its_launch_and_the_controller_still_starts(self):
        os.remove(self.h.unix(H.BRIDGE_EXE))
        os.mkdir(self.h.unix(H.BRIDGE_EXE))
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        box = self.h.wait_box()
        self.assertBox(box, "El Programa 'LINTARO.exe' NO Arranco!!!")
        main = self.h.wait_main_window(5)
        # The window is up behind the box, its buttons still grey.
        self.assertEqual(self.h.control_colour(self.h.control(main, H.CBLINTARO)), H.GREY)
        self.h.answer_box(box)
        lintaro = self.h.control(main, H.CBLINTARO)
        wait_until(lambda: self.h.control_colour(lintaro) == H.RED, 10, "CBLINTARO to turn red")
        self.wait_green(main, H.CBPELLUX)
        texts = self.wait_log(lambda t: len(t) >= 4 and t, 10, "the launch lines")
        self.assertEqual(texts[:3], [BANNER, STARTED, "LINTARO.exe NO ARRANCO - RetVal: 0"])
        controller = re.fullmatch(r"ARRANCA Pellux\.exe - RetVal: ([1-9][0-9]*)", texts[3])
        self.assertTrue(controller, texts[3])
        javaw = self.h.wait_process_at(H.JAVAW_EXE, 15)
        self.assertEqual(javaw["ppid"], int(controller.group(1)))
        self.assertTrapNeverRan()


class OwnFolder(StartupCase):
    # The loader's trace names each library asked for and where it is looked for; the events' trace their strings.
    wine_debug = H.EVENT_DEBUG + ",+module"

    def test_any_folder_keeps_log_control_file_and_version_and_loads_only_system_libraries(self):
        self.h.monitor_dir = "C:\\Мониторинг Ωμέγα"
        exe = self.h.monitor_dir + "\\PelluxMONITOR.exe"
        shutil.rmtree(self.h.unix(self.h.monitor_dir), ignore_errors=True)  # left by an earlier run
        os.makedirs(self.h.unix(self.h.monitor_dir))
        os.rename(self.h.unix(H.MONITOR_EXE), self.h.unix(exe))
        self.h.set_logging(True)
        self.h.write_control_file('#2024-01-01 10:00:00#,"HOLD"', where=self.h.monitor_dir)
        self.h.start_monitor(exe)
        self.h.hold(self.h.monitor_pid)
        self.h.wait_main_window()
        # The start event names the folder exactly, not its bytes read in another code page.
        self.assertEqual(self.h.system_events()[0],
                         ("information", 1000, [STARTED, "1.0.0.0", self.h.monitor_dir, "on", "built-in"]))
        wait_until(lambda: self.h.tray_tips() == [H.HOLDING_TIP], 10, "the holding tip")
        texts = self.wait_log(lambda t: H.AFTER in t and t, 10, "a logged cycle")
        self.assertEqual(texts[:2], [BANNER, STARTED])
        # Back to normal, the tip shows the version read from the executable in that folder.
        self.h.remove_control_file(where=self.h.monitor_dir)
        wait_until(lambda: self.h.tray_tips() == [VERSION_TIP], 10, "the version tip")

        # version.dll was asked for by its full path, and only the system folder was searched
        # (Wine's user32 imports it by name, so that it is loaded at all tells nothing).
        with open(self.h.session_log, "rb") as f:
            trace = f.read().decode("utf-8", "replace")
        asked = re.findall(r'load_dll looking for (L"C:\\\\windows\\\\system32\\\\version\.dll" in .*)', trace)
        self.assertEqual(asked, [r'L"C:\\windows\\system32\\version.dll" in L"C:\\windows\\system32\\"'])


class MainWindow(StartupCase):

    # Place and size in pixels at 96 DPI within the client area.
    LAYOUT = {
        H.CBLINTARO: (40, 24, 67, 77),
        H.LABEL1: (130, 24, 51, 21),
        H.TBPORT: (130, 48, 51, 23),
        H.CBPELLUX: (206, 24, 67, 77),
        H.IMAGE1: (106, 100, 100, 126),
    }

    def test_window_frame_buttons_tray_and_taskbar(self):
        main = self.start_and_wait_window()
        self.assertEqual(main["text"], "PelluxMONITOR")
        self.assertEqual(main["client"], [0, 0, 312, 228])
        style, exstyle = main["style"], main["exstyle"]
        self.assertFalse(style & H.WS_MINIMIZEBOX, "minimise box")
        self.assertFalse(style & H.WS_MAXIMIZEBOX, "maximise box")
        self.assertFalse(style & H.WS_THICKFRAME, "resizable frame")
        self.assertTrue(style & H.WS_SYSMENU, "no close box")
        self.assertFalse(exstyle & H.WS_EX_APPWINDOW)
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)

        own = {w["hwnd"] for w in self.h.monitor_windows()}
        shown = [b for b in self.h.taskbar_buttons() if b["visible"] and b["window"] in own]
        self.assertEqual(shown, [], "the monitor has a taskbar button")

        wait_until(lambda: self.h.tray_icons(), 10, "the tray icon")
        self.assertEqual(self.h.tray_tips(), [VERSION_TIP])

    def test_elements_in_place_with_the_picture_shown_and_focus_in_the_port_field(self):
        main = self.start_and_wait_window()
        ox, oy = main["origin"]
        for control_id, (left, top, width, height) in self.LAYOUT.items():
            r = self.h.control(main, control_id)["rect"]
            self.assertEqual((r[0] - ox, r[1] - oy, r[2] - r[0], r[3] - r[1]), (left, top, width, height),
                             "control %d" % control_id)
        self.assertEqual(self.h.text(self.h.control(main, H.LABEL1)["hwnd"]), "Puerto")
        # Screen readers name a field after the label just before it in the window order.
        ids = [child["id"] for child in self.h.children(main["hwnd"])]
        self.assertEqual(ids[ids.index(H.TBPORT) - 1], H.LABEL1, "the label is not just before the field")
        self.assertEqual(self.h.text(self.h.control(main, H.TBPORT)["hwnd"]), "")
        self.assertTrue(self.h.control(main, H.IMAGE1)["visible"])
        self.assertFalse(self.h.control(main, H.LBLMSG)["visible"])
        self.assertEqual(self.h.focus(main["hwnd"])["focus_id"], H.TBPORT)

    def test_tab_runs_left_to_right_from_the_port_field_to_the_controller_then_round_to_the_bridge(self):
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        wait_until(lambda: self.h.focus(main["hwnd"])["focus_id"] == H.TBPORT, 5, "focus in TBPort")
        order = []
        for _ in range(3):
            before = self.h.focus(main["hwnd"])["focus"]
            self.h.keys(H.VK_TAB)
            order.append(wait_until(lambda: self.h.focus(main["hwnd"])["focus"] != before
                                    and self.h.focus(main["hwnd"])["focus_id"], 5, "the focus to move"))
        # Lintaro, the port field, Pellux, as on the screen.
        self.assertEqual(order, [H.CBPELLUX, H.CBLINTARO, H.TBPORT])


class RenamedCopy(StartupCase):

    def test_a_copy_under_another_name_reads_the_version_of_that_file(self):
        other = H.MONITOR_DIR + r"\Vigia.exe"
        os.rename(self.h.unix(H.MONITOR_EXE), self.h.unix(other))
        self.h.start_monitor(other)
        self.h.hold(self.h.monitor_pid)
        self.h.wait_main_window()
        wait_until(lambda: self.h.tray_icons(), 10, "the tray icon")
        self.assertEqual(self.h.tray_tips(), [VERSION_TIP])
        self.assertEqual(self.h.log_texts()[:2], [BANNER, STARTED])


class CloseRequest(StartupCase):

    def steady_pair_held(self):
        """The window once a cycle has run with the controller up, and both programs, held by the test."""
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        self.wait_supervised_pair()
        # Let one cycle run with the controller up, so the bridge is the one it keeps.
        self.wait_cycles(1, 10)
        javaw, bridge = self.wait_supervised_pair()
        for p in (javaw, bridge):
            self.h.hold(p["pid"])
        return main, javaw, bridge

    def assertEndsLeavingBothRunning(self, programs):
        self.assertMonitorEnds(10)
        wait_until(lambda: self.h.tray_icons() == [], 10, "the tray icon to go")
        time.sleep(3.5)  # longer than a cycle: nothing ends them later either
        for p in programs:
            exited, _ = self.h.wait_exit(p["pid"], 0)
            self.assertFalse(exited, "%s ended with the monitor" % p["path"])

    def test_close_ends_the_monitor_and_leaves_both_programs_running(self):
        main, javaw, bridge = self.steady_pair_held()
        self.h.close_window(main)
        self.assertEndsLeavingBothRunning((javaw, bridge))

    def test_a_cancelled_session_end_goes_on_supervising_and_a_real_one_ends_it(self):
        main, javaw, bridge = self.steady_pair_held()
        # The system asks: until its answer nothing is started into a session that may be dying.
        self.assertEqual(self.h.call("send", main["hwnd"], WM_QUERYENDSESSION, 0, 0)["result"], 1)
        self.h.kill(bridge["pid"])
        time.sleep(4)
        self.assertEqual(self.h.processes_at(H.BRIDGE_EXE), [], "the bridge was started while the session ends")
        # Then it tells every window that the session goes on: supervision resumes.
        self.h.call("send", main["hwnd"], WM_ENDSESSION, 0, 0)
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 4, exclude=(bridge["pid"],))
        self.h.hold(bridge["pid"])
        exited, _ = self.h.wait_exit(self.h.monitor_pid, 0)
        self.assertFalse(exited, "the monitor ended on a cancelled session end")
        self.assertEqual(self.h.tray_tips(), [VERSION_TIP])
        # The session really ends (posted: the monitor is gone before it could answer).
        self.h.call("post", main["hwnd"], WM_ENDSESSION, 1, 0)
        self.assertEndsLeavingBothRunning((javaw, bridge))


class OneMonitorPerSession(StartupCase):

    def test_a_second_start_only_brings_the_first_forward_and_an_ended_monitor_blocks_no_start(self):
        main, _, _ = self.wait_steady()
        first, foreground = self.h.monitor_pid, lambda: self.h.focus(main["hwnd"])["foreground"]
        self.h.call("foreground", self.h.shell_tray_window()["hwnd"])
        wait_until(lambda: foreground() != main["hwnd"], 5, "another window in front")
        self.h.watch()
        running = {p["pid"] for p in self.h.processes()}
        second = self.h.start_program(H.MONITOR_EXE, H.MONITOR_DIR)
        self.assertEqual(self.h.wait_exit(second, 15), (True, 0))
        self.assertEqual(foreground(), main["hwnd"], "the monitor was not brought forward")
        self.wait_cycles(1)
        self.assertEqual([p["pid"] for p in self.h.processes_at(H.MONITOR_EXE)], [first])
        self.assertEqual((self.h.tray_tips(), self.h.boxes(None)), ([VERSION_TIP], []))
        self.assertEqual(self.h.log_texts().count(STARTED), 1, "the second start wrote to the log")
        self.assertEqual([p["exe"] for p in self.h.seen_processes() if p["pid"] not in running | {second}], [])
        # Killed, not closed, its programs still running: the next start is a monitor all the same.
        self.assertTrue(self.h.kill(first))
        self.start_and_wait_window()


class OneControllerPerWorkstation(StartupCase):
    wine_debug = H.EVENT_DEBUG
    CLAIMED = "Otra Sesion Esta Arrancando los Programas!!!"

    def test_a_claim_held_elsewhere_launches_nothing_and_keeps_both_amber_until_it_is_let_go(self):
        # Wine puts every process in this session: the driver holds the claim as a monitor
        # of another session holds it while it launches there.
        self.h.call("mutex", H.LAUNCH_CLAIM, "on")
        self.h.watch()
        main = self.start_and_wait_window()
        buttons = [self.h.control(main, control_id) for control_id in (H.CBLINTARO, H.CBPELLUX)]

        def colours():
            return [self.h.control_colour(button) for button in buttons]

        def events():
            return [e for e in self.h.system_events() if e[1] >= 1050]
        wait_until(lambda: colours() == [H.AMBER, H.AMBER], 10, "both buttons amber")
        strip = self.h.control(main, H.LBLMSG)
        self.assertEqual((strip["visible"], self.h.text(strip["hwnd"])), (True, self.CLAIMED))
        self.wait_cycles(2)
        self.assertEqual(colours(), [H.AMBER, H.AMBER], "the wait ended while the claim is held")
        self.assertEqual([p["exe"] for p in self.h.seen_processes() if p["ppid"] == self.h.monitor_pid], [])
        self.assertEqual(events(), [("warning", 1052, [self.CLAIMED])])

        # Let go with nothing of another session running: supervised as usual, nothing launched.
        self.h.call("mutex", H.LAUNCH_CLAIM, "off")
        wait_until(lambda: colours() == [H.RED, H.RED], 10, "both buttons red")
        self.assertEqual(events()[1:], [("information", 1053, [
            "PelluxMONITOR supervises this session's programs again", "no other session runs the programs"])])
        # The operator starts the controller from its launcher: the monitor launches the bridge for it.
        self.h.start_program(H.CONTROLLER_EXE, H.CONTROLLER_DIR)
        bridge = self.h.wait_process_at(H.BRIDGE_EXE, 15)
        self.assertEqual(bridge["ppid"], self.h.monitor_pid)
        wait_until(lambda: colours()[0] == H.GREEN, 5, "the bridge button green")
        self.assertEqual(len(self.h.processes_at(H.JAVAW_EXE)), 1)


class Settings(StartupCase):

    CONTROLLER, JAVAW, BRIDGE = r"C:\Planta\Control\Ctl.exe", r"C:\Planta\Java\bin\javaw.exe", r"E:\Puente\Puente.exe"
    USER_KEY, USER_POLICY = r"HKCU\Software\PelluxMONITOR", r"HKCU\Software\Policies\PelluxMONITOR"
    MACHINE_POLICY = r"HKLM\Software\Policies\PelluxMONITOR"
    wine_debug = H.EVENT_DEBUG  # a bad diagnosis value is told by its event alone

    def set_value(self, key, name, value, kind="REG_SZ"):
        self.assertEqual(self.h.reg("add", key, "/v", name, "/t", kind, "/d", value, "/f", "/reg:64"), 0)

    def refused_and_ended(self, key):
        box = self.h.wait_box()
        self.assertBox(box, "El Valor 'ControllerPath' NO es Valido!!!" + CR + "En la Clave '%s'" % key + CR
                       + "La Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')")
        self.assertNoMainWindowYet()
        self.h.answer_box(box)
        self.h.answer_box(self.h.wait_box())  # the farewell
        self.assertMonitorEnds()

    def test_programs_at_other_paths_start_from_there_and_a_relative_path_starts_nothing(self):
        # Only at other paths, the bridge on E:, the controller's runtime named beside it.
        for folder in (H.CONTROLLER_DIR, r"C:\Program Files\Ferrowin"):
            H._remove(self.h.unix(folder))
        self.h.map_drive("e")
        self.addCleanup(self.h.unmap_drive, "e")
        self.addCleanup(H._remove, self.h.unix(r"C:\Planta"))
        for standin, path in (("Pellux.exe", self.CONTROLLER), ("javaw.exe", self.JAVAW), ("LINTARO.exe", self.BRIDGE)):
            H._copy(self.h.standin(standin), self.h.unix(path))
        with open(self.h.unix(r"C:\Planta\Control\Ctl.runtime"), "w") as f:
            f.write(self.JAVAW + "\r\n")
        for key in (self.USER_KEY, self.USER_POLICY, self.MACHINE_POLICY):
            self.addCleanup(self.h.reg, "delete", key, "/f", "/reg:64")
        os.environ["PUENTE"] = "Puente.exe"  # reaches the programs of the next session, as drive E: does
        self.addCleanup(os.environ.pop, "PUENTE", None)
        self.h.start_session("settings")
        self.set_value(self.USER_KEY, "ControllerPath", self.CONTROLLER)
        self.set_value(self.MACHINE_POLICY, "BridgePath", self.BRIDGE)
        self.set_value(self.USER_POLICY, "BridgeProcess", "%PUENTE%", "REG_EXPAND_SZ")
        self.set_value(self.USER_KEY, "BridgeProcess", "LINTARO.exe")  # under the policy: not read

        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        self.h.wait_process_at(self.JAVAW, 20)
        bridge = self.h.wait_process_at(self.BRIDGE, 20)
        texts = self.wait_log(lambda t: len(t) >= 7 and t, 15, "the settings and launch lines")
        self.assertEqual(texts[1:5], [
            STARTED, "ControllerPath = 'C:\\Planta\\Control\\Ctl.exe' (HKCU\\SOFTWARE\\PelluxMONITOR)",
            "BridgePath = 'E:\\Puente\\Puente.exe' (HKLM\\SOFTWARE\\Policies\\PelluxMONITOR)",
            "BridgeProcess = 'Puente.exe' (HKCU\\SOFTWARE\\Policies\\PelluxMONITOR)"])
        self.assertRegex(texts[5], r"^ARRANCA Puente\.exe - RetVal: [1-9][0-9]*$")
        self.assertRegex(texts[6], r"^ARRANCA Ctl\.exe - RetVal: [1-9][0-9]*$")
        # The cycle knows the running bridge by its name and starts it again at its path.
        self.wait_cycles(1)
        self.assertEqual([p["pid"] for p in self.h.processes_at(self.BRIDGE)], [bridge["pid"]])
        self.assertTrue(self.h.kill(bridge["pid"]))
        self.h.wait_process_at(self.BRIDGE, 15, exclude=(bridge["pid"],))
        self.h.close_window(main)
        self.assertMonitorEnds()

        for p in self.h.processes_at(self.BRIDGE) + self.h.processes_at(self.JAVAW):
            self.h.kill(p["pid"])
        self.set_value(self.USER_KEY, "ControllerPath", r"Planta\Control\Ctl.exe")
        self.h.set_logging(True)
        self.h.start_monitor()
        self.refused_and_ended("HKCU\\SOFTWARE\\PelluxMONITOR")
        self.assertRegex(self.h.log_texts()[-1], r"^El Valor 'ControllerPath' NO es Valido!!! En la Clave .*: La Ruta")
        self.assertEqual(self.h.processes_at(self.BRIDGE) + self.h.processes_at(self.JAVAW), [])

        # The 32-bit exe reads the machine policy written in the 64-bit view.
        x86 = os.path.join(self.h.windows_dir, os.pardir, "windows-x86", "PelluxMONITOR.exe")
        if not (os.path.isfile(x86) and H.why_no_32bit_programs() is None):
            H.log("no 32-bit exe or no 32-bit Wine: the 32-bit monitor's view is left to the unit test")
            return
        H._copy(x86, self.h.unix(H.MONITOR_EXE))
        self.set_value(self.MACHINE_POLICY, "ControllerPath", r"Planta\Control\Ctl.exe")
        self.h.start_monitor()
        self.refused_and_ended("HKLM\\SOFTWARE\\Policies\\PelluxMONITOR")

    def test_machine_policy_names_the_bridge_under_program_files_and_a_log_file_elsewhere(self):
        # %ProgramFiles% names the 64-bit folder in the 32-bit monitor too (this module also runs
        # on the 32-bit exe); the log goes only to the file the policy names; the workstation's
        # key is read in the 32-bit view, where a 32-bit package writes it.
        workstation = r"HKLM\Software\PelluxMONITOR"
        named_log = r"C:\Registro\PelluxMONITOR.anc"
        self.addCleanup(H._remove, self.h.unix(r"C:\Registro"))
        for key, view in ((self.MACHINE_POLICY, "/reg:64"), (workstation, "/reg:64"), (workstation, "/reg:32")):
            self.addCleanup(self.h.reg, "delete", key, "/f", view)
        self.h.set_logging(False)
        os.makedirs(self.h.unix(r"C:\Registro"))
        open(self.h.unix(named_log), "wb").close()
        self.set_value(self.MACHINE_POLICY, "BridgePath", r"%ProgramFiles%\Ferrowin\LINTARO\LINTARO.exe", "REG_EXPAND_SZ")
        self.set_value(self.MACHINE_POLICY, "LogFile", named_log)
        self.assertEqual(self.h.reg("add", workstation, "/v", "ControllerProcess", "/t", "REG_SZ", "/d", "javaw.exe",
                                    "/f", "/reg:32"), 0)

        def named_texts():
            try:
                with open(self.h.unix(named_log), "rb") as f:
                    text = f.read().decode("cp1252")
            except FileNotFoundError:
                return []
            return [t for _, t in re.findall(r'#([^#\r\n]*)#,"(.*?)"\r\n(?=#|\Z)', text, re.S)]

        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        texts = wait_until(lambda: len(named_texts()) >= 5 and named_texts(), 20, "the settings lines in the named log")
        self.assertEqual(texts[:5], [
            BANNER, STARTED,
            "ControllerProcess = 'javaw.exe' (HKLM\\SOFTWARE\\WOW6432Node\\PelluxMONITOR)",
            "BridgePath = '%s' (HKLM\\SOFTWARE\\Policies\\PelluxMONITOR)" % H.BRIDGE_EXE,
            "LogFile = '%s' (HKLM\\SOFTWARE\\Policies\\PelluxMONITOR)" % named_log])
        main = self.h.wait_main_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        self.wait_supervised_pair()
        texts = wait_until(lambda: named_texts().count(H.AFTER) >= 2 and named_texts(), 15, "two cycles in the named log")
        self.assertRegex(texts[5], r"^ARRANCA LINTARO\.exe - RetVal: [1-9][0-9]*$")
        self.assertRegex(texts[6], r"^ARRANCA Pellux\.exe - RetVal: [1-9][0-9]*$")
        self.assertEqual(texts[7], H.BEFORE)
        self.assertEqual(os.listdir(self.h.unix(H.MONITOR_DIR)), ["PelluxMONITOR.exe"])
        self.h.close_window(main)
        self.assertMonitorEnds()

        # A LogFile policy that is not absolute turns only the log off (not even the one beside
        # the monitor takes its place): no box, both programs launched and supervised, one event.
        for p in self.h.processes_at(H.BRIDGE_EXE) + self.h.processes_at(H.JAVAW_EXE):
            self.h.kill(p["pid"])
        self.set_value(self.MACHINE_POLICY, "LogFile", r"Registro\PelluxMONITOR.anc")
        self.h.set_logging(True)
        named_before = named_texts()
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        main = self.h.wait_main_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        _, bridge = self.wait_supervised_pair()
        self.assertTrue(self.h.kill(bridge["pid"]))
        self.h.wait_process_at(H.BRIDGE_EXE, 15, exclude=(bridge["pid"],))
        self.assertEqual(self.h.boxes(), [])
        key, reason = "HKLM\\SOFTWARE\\Policies\\PelluxMONITOR", "La Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')"
        line = "El Valor 'LogFile' NO es Valido!!! En la Clave '%s': %s" % (key, reason)
        self.assertEqual([e for e in self.h.system_events() if e[1] in (1004, 1007)],
                         [("error", 1007, [line, "LogFile", key, reason])])
        self.assertEqual((self.h.log_text(), named_texts()), ("", named_before))
        self.h.close_window(main)
        self.assertMonitorEnds()

    def test_folders_and_names_with_accents_are_shown_found_and_logged_in_the_code_page(self):
        # The rig runs Wine with LC_ALL=C.UTF-8, which gives the session the ANSI code page 1252:
        # the log's readers get Windows-1252 bytes, as on a Spanish or Western European Windows.
        self.assertEqual(self.h.call("codepages")["acp"], 1252)
        controller = "C:\\Planta\\Control Numérico\\Ctl.exe"
        bridge = "C:\\Planta\\Señal\\Señal.exe"
        self.addCleanup(H._remove, self.h.unix(r"C:\Planta"))
        self.addCleanup(self.h.reg, "delete", self.USER_KEY, "/f", "/reg:64")
        self.set_value(self.USER_KEY, "ControllerPath", controller)
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        box = self.h.wait_box()
        self.assertBox(box, "Falta el Archivo 'Ctl.exe'" + CR + "En la Carpeta 'C:\\Planta\\Control Numérico'")
        self.h.answer_box(box)
        self.h.answer_box(self.h.wait_box())  # the farewell
        self.assertMonitorEnds()
        with open(self.h.log_path(), "rb") as f:
            raw = f.read()
        self.assertIn(b",\"Falta el Archivo 'Ctl.exe' en la Carpeta 'C:\\Planta\\Control Num\xe9rico'\"\r\n", raw)
        self.assertIn(b",\"ControllerPath = 'C:\\Planta\\Control Num\xe9rico\\Ctl.exe' (", raw)

        # The bridge in a folder and under a name with an eñe: launched once, then found by every cycle.
        self.assertEqual(self.h.reg("delete", self.USER_KEY, "/v", "ControllerPath", "/f", "/reg:64"), 0)
        H._copy(self.h.standin("LINTARO.exe"), self.h.unix(bridge))
        self.set_value(self.USER_KEY, "BridgePath", bridge)
        self.set_value(self.USER_KEY, "BridgeProcess", "Señal.exe")
        self.h.set_logging(True)
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        running = self.h.wait_process_at(bridge, 20)
        self.h.wait_process_at(H.JAVAW_EXE, 20)
        self.wait_cycles(4, 20)  # more than 10 s with the controller up
        self.assertEqual([p["pid"] for p in self.h.processes_at(bridge)], [running["pid"]])
        launches = [t for t in self.h.log_texts() if t.startswith("ARRANCA")]
        self.assertEqual(launches[0], "ARRANCA Señal.exe - RetVal: %d" % running["pid"])
        self.assertEqual(len(launches), 2, launches)  # the bridge and the controller, nothing since
        with open(self.h.log_path(), "rb") as f:
            raw = f.read()
        self.assertRegex(raw, rb',"C:\\Planta\\Se\xf1al\\Se\xf1al\.exe - [0-9]+"\r\n')


class TrapProgram(StartupCase):

    def test_trap_program_at_the_drive_root_never_runs(self):
        self.h.watch()
        main = self.start_and_wait_window()
        self.wait_green(main, H.CBLINTARO, H.CBPELLUX)
        self.wait_supervised_pair()
        time.sleep(4)  # a cycle or two, with their relaunches
        self.assertTrapNeverRan()
        self.assertFalse([p for p in self.h.seen_processes() if p["exe"].lower() == "program.exe"])


if __name__ == "__main__":
    unittest.main()
