"""Makes the pictures of docs/img/ from the real monitor under Wine, each checked before it is saved.

  python3 tools/screenshots.py --windows-dir <mingw build dir> [--out docs/img] [-k NAME]

Every state the operator can meet is brought about with the stand-ins, as the
end-to-end tests do, and checked by what the screen shows: the colour of each
program button and of the message strip read from the very screenshot that
becomes the picture, and the texts of the strip, the boxes and the tray tip read
from the controls. Only then is the screenshot cropped to the window, the box
or the tray and written as PNG; a failed check writes nothing and fails the run.
The prefix is kept in <build>/screenshots/prefix between runs.
"""

import argparse
import os
import sys
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine"))
# The check of the pictures in the tree reads each button's mark the same way.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "checks"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as H  # noqa: E402
from e2e_case import MonitorTestCase  # noqa: E402
from harness import wait_until  # noqa: E402
from test_state_cues import mark_of  # noqa: E402

CR = "\r"
# The mark each face colour must show over the button's picture.
MARKS = {H.GREEN: "running", H.RED: "stopped", H.AMBER: "other session"}
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "img")
DARK_RED = 0x000099  # the holding tray picture's background, (153, 0, 0)

STOPPED = "El Programa '%s' SE DETUVO CON EXITO!!!"
STILL = "El Programa '%s' AUN Esta Rodando!!!"
ATTENTION = "El Valor Colocado NO es Valido." + CR + "Verificar que sea un NUMERO"
NO_PORT = "Falta Colocar el Numero de Puerto!!!"
CLAIMED = "Otra Sesion Esta Arrancando los Programas!!!"


class Shot:
    """One screenshot of the desktop: its pixels for the checks, then cropped into docs/img."""

    def __init__(self, h):
        self.bmp = os.path.join(h.work, "shot-%d.bmp" % os.getpid())
        h.call("screenshot", "Z:" + self.bmp.replace("/", "\\"))
        _, _, self.pixel = H.read_bmp(self.bmp)

    def rgb(self, x, y):
        c = self.pixel(x, y)
        return c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF

    def colours(self, rect, inset=0):
        counts = {}
        for y in range(rect[1] + inset, rect[3] - inset):
            for x in range(rect[0] + inset, rect[2] - inset):
                c = self.pixel(x, y)
                counts[c] = counts.get(c, 0) + 1
        return counts

    def save(self, name, rect, margin=0):
        os.makedirs(OUT, exist_ok=True)
        target = os.path.join(OUT, name)
        H.bmp_to_png(self.bmp, target, [rect[0] - margin, rect[1] - margin, rect[2] + margin, rect[3] + margin])
        os.remove(self.bmp)
        H.log("saved", os.path.normpath(target))


class Pictures(MonitorTestCase):

    # ---- helpers ---------------------------------------------------------------

    def settled_shot(self, check, timeout=3):
        """A screenshot that passes check(shot); a control shown a moment ago may not be painted yet,
        so a failed check is tried on a new screenshot until the timeout, then fails."""
        deadline = time.monotonic() + timeout
        while True:
            shot = Shot(self.h)
            try:
                check(shot)
                return shot
            except AssertionError:
                if time.monotonic() >= deadline:
                    raise
            time.sleep(0.2)

    def control(self, control_id):
        return self.h.control(self.main, control_id)

    def strip_text(self):
        strip = self.control(H.LBLMSG)
        return strip["visible"] and self.h.text(strip["hwnd"])

    def click_controller_with_port(self, port="7"):
        """Port typed, then the green controller button clicked; the strip's text once it shows."""
        self.h.set_focus(self.control(H.TBPORT)["hwnd"])
        self.h.type_text(port)
        self.h.click(self.control(H.CBPELLUX))
        return wait_until(lambda: (self.strip_text() or "").endswith("Cerrado el Puerto " + port)
                          and self.strip_text(), 5, "the stop's message")

    def assertWindow(self, shot, lintaro, pellux, strip=None, text=None):
        """The buttons' colours in the picture, and the strip's back and text colours (None: no strip)."""
        self.assertEqual(shot.pixel(*self.at(H.CBLINTARO)), lintaro, "the bridge button's colour")
        self.assertEqual(shot.pixel(*self.at(H.CBPELLUX)), pellux, "the controller button's colour")
        for control_id, colour in ((H.CBLINTARO, lintaro), (H.CBPELLUX, pellux)):
            r = self.control(control_id)["rect"]
            self.assertEqual(mark_of(shot.rgb, r[0], r[1]), MARKS[colour], "the mark of button %d" % control_id)
        if strip is None:
            self.assertFalse(self.control(H.LBLMSG)["visible"], "the strip is shown")
            self.assertTrue(self.control(H.IMAGE1)["visible"], "the picture is hidden")
            return
        counts = shot.colours(self.control(H.LBLMSG)["rect"], inset=2)
        self.assertEqual(max(counts, key=counts.get), strip, "the strip's back colour")
        self.assertIn(text, counts, "the strip's text colour")

    def at(self, control_id):
        r = self.control(control_id)["rect"]
        return r[0] + 8, r[1] + 8

    def assertBoxShot(self, box, caption, message, icon):
        self.assertEqual(box["text"], caption)
        self.assertEqual(box["message"], message)
        self.assertEqual(box["icon"], icon, "the box's icon")
        self.assertEqual([b["text"].replace("&", "") for b in box["buttons"]], ["OK"])

        def drawn(shot):
            self.assertTrue(any(b["hwnd"] == box["hwnd"] for b in self.h.boxes()), "the box went")
            counts = shot.colours(box["rect"])
            self.assertIn(H.BLACK, counts, "no text drawn in the box")
            self.assertNotEqual(max(counts, key=counts.get), shot.pixel(1023, 400), "the box is not drawn")
        time.sleep(0.3)  # the box's first paint
        return self.settled_shot(drawn)

    def stop_until(self, wanted, prepare, check, attempts=3):
        """Clicks the controller's stop until the strip says wanted: the check comes right after the
        termination request, so Wine may still list a program; that try is made again in a new session."""
        for attempt in range(attempts):
            if attempt:
                self.setUp()
            prepare()
            text = self.click_controller_with_port()
            if text == wanted:
                shot = self.settled_shot(check)
                self.assertEqual(self.strip_text(), wanted, "the strip changed meanwhile")
                return shot
            H.log("the stop showed %r; again in a new session" % text)
        self.fail("the stop never showed %r" % wanted)

    def setUp(self):
        super().setUp()
        self.main = None

    # ---- the states --------------------------------------------------------------

    def test_running(self):
        self.main, _, _ = self.wait_steady()
        wait_until(lambda: self.h.tray_tips() == [H.VERSION_TIP], 10, "the version tip")
        shot = self.settled_shot(lambda shot: self.assertWindow(shot, H.GREEN, H.GREEN))
        self.assertEqual(self.h.text(self.control(H.LABEL1)["hwnd"]), "Puerto")
        shot.save("running.png", self.main["rect"])

    def test_keyboard_focus(self):
        # From the port field Tab goes right, to Pellux: a solid black ring inside its face.
        self.main, _, _ = self.wait_steady()
        self.h.keys(H.VK_TAB)
        wait_until(lambda: self.h.focus(self.main["hwnd"])["focus_id"] == H.CBPELLUX, 5, "the focus on Pellux")

        def ringed(shot):
            self.assertWindow(shot, H.GREEN, H.GREEN)
            r = self.control(H.CBPELLUX)["rect"]
            middle = r[1] + (r[3] - r[1]) // 2
            self.assertEqual([shot.pixel(r[0] + x, middle) for x in (9, 10, 11)], [H.BLACK] * 3, "the ring")
            self.assertEqual(shot.pixel(r[0] + 8, middle), H.GREEN, "the band outside the ring")
        self.settled_shot(ringed).save("focus.png", self.main["rect"])

    def test_bridge_not_started(self):
        os.remove(self.h.unix(H.BRIDGE_EXE))
        os.mkdir(self.h.unix(H.BRIDGE_EXE))  # a directory at the install path: every launch fails
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        box = self.h.wait_box()
        self.assertBoxShot(box, "PelluxMONITOR", "El Programa 'LINTARO.exe' NO Arranco!!!", False).save(
            "bridge-not-started-box.png", box["rect"])
        self.h.answer_box(box)
        self.main = self.h.wait_main_window()
        self.wait_green(self.main, H.CBPELLUX)
        wait_until(lambda: self.strip_text() == "El Programa 'LINTARO.exe' NO Arranco!!!", 10,
                   "the cycle's failed relaunch in the strip")
        shot = self.settled_shot(lambda shot: self.assertWindow(shot, H.RED, H.GREEN, H.RED, H.WHITE))
        self.assertEqual(self.strip_text(), "El Programa 'LINTARO.exe' NO Arranco!!!")
        shot.save("bridge-not-started.png", self.main["rect"])

    def steady(self):
        self.main, _, _ = self.wait_steady()

    def test_controller_stopped(self):
        wanted = STOPPED % "Pellux.exe" + CR + STOPPED % "LINTARO.exe" + CR + "Cerrado el Puerto 7"
        shot = self.stop_until(wanted, self.steady,
                               lambda shot: self.assertWindow(shot, H.RED, H.RED, H.RED, H.WHITE))
        shot.save("controller-stopped.png", self.main["rect"])

    def test_mixed_result(self):
        # A second javaw.exe besides the controller's: the stop ends one of them, the other
        # keeps the controller "still running" while the bridge stops.
        def second_javaw():
            self.steady()
            self.h.start_program(H.JAVAW_EXE, H.CONTROLLER_DIR + r"\jre\bin")
            wait_until(lambda: len(self.h.processes_at(H.JAVAW_EXE)) == 2, 10, "two javaw.exe")

        wanted = STILL % "Pellux.exe" + CR + STOPPED % "LINTARO.exe" + CR + "Cerrado el Puerto 7"
        # The next cycle starts the bridge again and turns its button green; the picture is
        # taken before, with the bridge button red.
        shot = self.stop_until(wanted, second_javaw,
                               lambda shot: self.assertWindow(shot, H.RED, H.GREEN, H.MAGENTA, H.BLACK), attempts=4)
        shot.save("mixed-result.png", self.main["rect"])

    def test_other_session(self):
        # Wine runs every program in this session: the state is brought about by the claim that
        # another session's monitor holds while it launches, held here by the driver.
        self.h.call("mutex", H.LAUNCH_CLAIM, "on")
        self.main = self.start_and_wait_window()
        wait_until(lambda: self.strip_text() == CLAIMED, 10, "the claim's message")
        shot = self.settled_shot(lambda shot: self.assertWindow(shot, H.AMBER, H.AMBER, H.AMBER, H.BLACK))
        self.assertEqual(self.strip_text(), CLAIMED, "the strip changed meanwhile")
        shot.save("other-session.png", self.main["rect"])

    def test_tray_normal_then_holding(self):
        self.main, _, _ = self.wait_steady()
        for tip, name in ((H.VERSION_TIP, "tray-normal.png"), (H.HOLDING_TIP, "tray-holding.png")):
            if tip == H.HOLDING_TIP:
                self.h.write_control_file('#2024-01-01 10:00:00#,"HOLD"')
            wait_until(lambda: self.h.tray_tips() == [tip], 10, "the tip %r" % tip)
            icon = self.h.tray_icons()[0]
            r = icon["tool_rect"]
            # The pointer over the icon brings up its tip, as for a user; the icon does
            # nothing on a click.
            self.h.call("click", icon["tool_hwnd"], (r[0] + r[2]) // 2, (r[1] + r[3]) // 2)
            tooltip = wait_until(lambda: next((w for w in self.h.windows() if w["hwnd"] == icon["tooltip"]
                                               and w["visible"] and w["text"] == tip
                                               and w["rect"][2] > w["rect"][0]), None), 10,
                                 "the tip %r on screen" % tip)
            taskbar = self.h.shell_tray_window()["rect"]
            icon_rect = [taskbar[0] + r[0], taskbar[1] + r[1], taskbar[0] + r[2], taskbar[1] + r[3]]

            def shown(shot):
                self.assertEqual(DARK_RED in shot.colours(icon_rect), tip == H.HOLDING_TIP,
                                 "the holding picture's dark red")
                self.assertIn(H.BLACK, shot.colours(tooltip["rect"], inset=2), "the tip's text")
            shot = self.settled_shot(shown)
            box = tooltip["rect"]
            shot.save(name, [min(box[0], icon_rect[0]) - 120, box[1] - 8, taskbar[2], taskbar[3]])
            self.h.call("click", self.main["hwnd"], 150, 10)  # away from the icon: the tip goes

    def test_port_boxes(self):
        self.main, _, _ = self.wait_steady()
        self.h.click(self.control(H.CBLINTARO))
        box = self.h.wait_box(5)
        self.assertBoxShot(box, "PelluxMONITOR", NO_PORT, False).save("port-missing-box.png", box["rect"])
        self.h.answer_box(box)
        self.h.set_focus(self.control(H.TBPORT)["hwnd"])
        self.h.type_text(" 3")
        self.h.keys(H.VK_TAB)
        box = self.h.wait_box(5)
        self.assertBoxShot(box, "ATENCION!!!", ATTENTION, True).save("port-attention-box.png", box["rect"])
        self.h.answer_box(box)

    def test_missing_program_and_farewell(self):
        os.remove(self.h.unix(H.BRIDGE_EXE))
        self.h.start_monitor()
        self.h.hold(self.h.monitor_pid)
        box = self.h.wait_box()
        missing = "Falta el Archivo 'LINTARO.exe'" + CR + "En la Carpeta 'C:\\Program Files\\Ferrowin\\LINTARO'"
        self.assertBoxShot(box, "PelluxMONITOR", missing, False).save("missing-box.png", box["rect"])
        self.h.answer_box(box)
        box = self.h.wait_box()
        self.assertBoxShot(box, "PelluxMONITOR", "Chauuu..." + CR + ":(", False).save("farewell-box.png",
                                                                                     box["rect"])
        self.h.answer_box(box)
        self.assertMonitorEnds()


def main():
    global OUT
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows-dir", required=True, help="the mingw-w64 build directory")
    parser.add_argument("--out", default=OUT, help="where the PNGs go (default docs/img)")
    parser.add_argument("-k", dest="only", action="append", help="only the states whose name holds this")
    args = parser.parse_args()
    OUT = os.path.abspath(args.out)
    windows = os.path.abspath(args.windows_dir)
    work = os.path.join(os.path.dirname(windows), "screenshots")
    os.environ.update(PELLUX_WINDOWS_DIR=windows, PELLUX_E2E_WORK=work,
                      PELLUX_E2E_PREFIX=os.path.join(work, "prefix"), PYTHONDONTWRITEBYTECODE="1")
    argv = [sys.argv[0], "-v"] + sum((["-k", k] for k in args.only or []), [])
    unittest.main(module=__name__, argv=argv)


if __name__ == "__main__":
    main()
