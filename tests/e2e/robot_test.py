"""The test robot itself: its output parser, and robot.exe against the
fixture application (tests/robot/fixture_app.cpp) under Wine."""
import itertools
import os
import time
import unittest

import harness
from robot import Robot, RobotError, op, parse_records

FIXTURE = os.path.join(harness.BIN, "robot_fixture.exe")
_tags = itertools.count()


def unique_tag():
    """Appended to the fixture's titles: a test must not find the windows
    of an instance that another test left behind."""
    return " #%d.%d" % (os.getpid(), next(_tags))


class ParseRecordsTest(unittest.TestCase):
    def test_lines(self):
        cases = [
            ('window hwnd=0x1a title="Setup" pid=12 visible=1',
             {"kind": "window", "hwnd": 0x1a, "title": "Setup", "pid": 12, "visible": 1}),
            ('control text="a \\"b\\" \\\\ c"', {"kind": "control", "text": 'a "b" \\ c'}),
            ('control text="1\\r\\n2\\t3\\x01"', {"kind": "control", "text": "1\r\n2\t3\x01"}),
            ('control items="Fran\\xc3\\xa7ais\\n\\xe6\\x97\\xa5"',
             {"kind": "control", "items": "Fran\u00e7ais\n\u65e5"}),
            ('control x=-5 style=0x50010000', {"kind": "control", "x": -5, "style": 0x50010000}),
            ('msgbox icon=error buttons="OK,Cancel"',
             {"kind": "msgbox", "icon": "error", "buttons": "OK,Cancel"}),
            ('control text="12" selected=""', {"kind": "control", "text": "12", "selected": ""}),
            ('control text="a=b c  d" id=3', {"kind": "control", "text": "a=b c  d", "id": 3}),
            ("error: no control", {"kind": "error", "message": "no control"}),
            ("focus", {"kind": "focus"}),
        ]
        for line, want in cases:
            with self.subTest(line=line):
                self.assertEqual(parse_records(line + "\r\n"), [want])

    def test_several_lines_keep_their_order(self):
        got = parse_records('window hwnd=0x1\n\ncontrol id=1\ncontrol id=2\n')
        self.assertEqual([(r["kind"], r.get("id")) for r in got],
                         [("window", None), ("control", 1), ("control", 2)])

    def test_malformed_lines_are_rejected(self):
        for line in ['control text="open', 'control text="\\q"', "control novalue",
                     'control text="\\x4"', 'control text="\\xg0"']:
            with self.subTest(line=line):
                with self.assertRaises(ValueError):
                    parse_records(line)

    def test_op_spells_keys_and_values(self):
        self.assertEqual(op("wait", title_contains="Set up", visible=True, index=None, class_="#32770"),
                         ["wait", "title~=Set up", "visible=1", "class=#32770"])


@unittest.skipUnless(os.path.exists(FIXTURE) and os.path.exists(harness.ROBOT),
                     "robot.exe and robot_fixture.exe are not built")
class FixtureTest(harness.WineTestCase):
    def setUp(self):
        super().setUp()
        self.r = Robot(lambda args, timeout: harness.run_robot(self.env, args, timeout))

    def start_main(self):
        self.tag = unique_tag()
        self.app = self.start(FIXTURE, ["main", self.tag])
        self.win = self.r.wait(title="Robot Fixture" + self.tag, class_="#32770", visible=1)
        return self.win

    def status_becomes(self, text):
        self.r.control(self.win["hwnd"], id=190, text=text, timeout=5000)

    def controls(self):
        window, controls = self.r.dump(self.win["hwnd"])
        return window, {c["id"]: c for c in controls if c["parent"] == window["hwnd"]}

    def test_dump_describes_every_kind_of_control(self):
        self.start_main()
        window, by_id = self.controls()
        self.assertEqual((window["exe"], window["font"], window["fontheight"]),
                         ("robot_fixture.exe", "MS Shell Dlg", -11))
        expected = {
            1: {"class": "Button", "text": "&OK", "default": 1, "enabled": 1},
            103: {"enabled": 0},
            105: {"visible": 0},
            110: {"checked": 0},
            111: {"checked": 2},
            120: {"checked": 0},
            121: {"checked": 1},
            140: {"items": "English\nDeutsch\nFran\u00e7ais\n\u65e5\u672c\u8a9e", "selected": 0},
            145: {"items": "Red\nGreen\nBlue", "selected": ""},
            150: {"items": "Alpha\nBeta\nGamma", "selected": "", "checkeditems": "1",
                  "textcolor": 0x112233, "columns": "Name\nSize"},
            160: {"pos": 50, "min": 0, "max": 200},
            170: {"class": "RichEdit20W", "text": "First line\r\nSecond line\r\nThird line",
                  "lines": 3},
            180: {"image": 1},
            191: {"text": "Big title", "font": "Arial", "fontheight": -20, "fontweight": 700},
        }
        for cid, keys in expected.items():
            with self.subTest(id=cid):
                got = by_id[cid]
                self.assertEqual({k: got.get(k) for k in keys}, keys)
                self.assertTrue(0 <= got["x"] and got["x"] + got["w"] <= window["cw"], got)
                self.assertTrue(0 <= got["y"] and got["y"] + got["h"] <= window["ch"], got)
        self.assertNotIn("default", by_id[2])

    def test_input_reaches_the_application(self):
        self.start_main()
        _, by_id = self.controls()
        radio_a = by_id[120]
        centre = {"x": radio_a["x"] + radio_a["w"] // 2, "y": radio_a["y"] + radio_a["h"] // 2}
        # Consecutive results differ, so each step waits for its own effect.
        steps = [
            (op("click", caption="Check me"), "check 110 1"),
            (op("key", vk="SPACE", id=111), "check 111 0"),
            (op("pick", id=140, text="Deutsch"), "combo 1 Deutsch"),
            (op("mouse", **centre), "radio 120"),
            (op("pick", id=145, index=2), "listbox 2"),
            (op("pick", id=150, index=2), "list click 2"),
            (op("pick", id=150, index=-1), "list click -1"),
            (op("key", vk="RETURN", id=130), "ok clicked"),
            (op("key", vk="B", alt=1), "radio 121"),
            (op("mouse", id=150, x=60, y=28, double=1), "list dblclick 0"),
            (op("pick", id=140, index=3), "combo 3 \u65e5\u672c\u8a9e"),
        ]
        for ops, status in steps:
            with self.subTest(ops=ops):
                self.r.do(self.win["hwnd"], ops)
                self.status_becomes(status)
        _, by_id = self.controls()
        self.assertEqual(by_id[150]["selected"], "0")  # the double click selected it
        self.assertEqual(by_id[140]["selected"], 3)
        # waitctl checked= matches a button's check state.
        self.assertEqual(self.r.control(self.win["hwnd"], id=110, checked=1, timeout=0)["id"], 110)
        with self.assertRaises(RobotError):
            self.r.control(self.win["hwnd"], id=110, checked=0, timeout=0)

    def test_list_view_check_boxes(self):
        self.start_main()
        hwnd = self.win["hwnd"]
        steps = [
            ([op("pick", id=150, index=0), op("key", vk="SPACE", id=150)], "0,1"),
            ([op("pick", id=150, index=2, part="check")], "0,1,2"),
            ([op("pick", id=150, text="Beta", part="check")], "0,2"),
        ]
        for ops, checked in steps:
            with self.subTest(ops=ops):
                self.r.do(hwnd, *ops)
                deadline = time.monotonic() + 5
                while self.r.control(hwnd, id=150)["checkeditems"] != checked:
                    self.assertLess(time.monotonic(), deadline, "still not checked: " + checked)
        self.status_becomes("list click 1")

    def test_type_runs_the_change_handler(self):
        self.start_main()
        self.r.type(self.win["hwnd"], 130, "h\u00e9llo")
        self.r.control(self.win["hwnd"], id=131, text="echo: h\u00e9llo", timeout=3000)
        self.r.type(self.win["hwnd"], 130, " more", append=True)
        self.r.control(self.win["hwnd"], id=131, text="echo: h\u00e9llo more", timeout=3000)
        # Quotes and backslashes survive Wine's command line and the parser.
        tricky = 'say "hi" C:\\dir\\ \\"x'
        self.r.type(self.win["hwnd"], 130, tricky)
        self.assertEqual(self.r.control(self.win["hwnd"], id=131, text="echo: " + tricky,
                                        timeout=3000)["text"], "echo: " + tricky)

    def test_focus_pixel_and_lists(self):
        self.start_main()
        _, by_id = self.controls()
        self.r.mouse(self.win["hwnd"], 5, 5, id=130)
        self.assertEqual(self.r.focus(self.win["hwnd"])["id"], 130)
        swatch = by_id[192]
        self.assertEqual(self.r.pixel(self.win["hwnd"], swatch["x"] + 5, swatch["y"] + 5), 0x123456)
        mine = "Robot Fixture" + self.tag, "Robot Fixture Hidden" + self.tag
        titles = {w["title"] for w in self.r.list(exe="ROBOT_FIXTURE.EXE")}
        self.assertTrue(set(mine) <= titles, titles)
        visible = {w["title"] for w in self.r.list(exe="robot_fixture.exe", visible=1)}
        self.assertIn(mine[0], visible)
        self.assertNotIn(mine[1], visible)

    def test_busy_window_does_not_stall_the_robot(self):
        self.start_main()
        hwnd = self.win["hwnd"]
        self.r.click(hwnd, caption="Busy")  # its UI thread sleeps for 6 s
        start = time.monotonic()
        window, controls = self.r.dump(hwnd)
        self.assertLess(time.monotonic() - start, 5.0)
        self.assertEqual(window.get("hung"), 1)
        self.assertGreater(len(controls), 20)
        # While it is busy each poll costs one timeout, then it answers again.
        self.r.control(hwnd, id=190, text="busy done", timeout=10000)
        window, _ = self.r.dump(hwnd)
        self.assertNotIn("hung", window)

    def test_dump_returns_when_no_thread_can_start_in_the_target(self):
        # Fonts are read by a thread the robot starts in the target; while
        # the target's loader lock is held no such thread runs. The dump
        # still comes back (within the client's budget) with the fonts
        # unknown, and reads them again once the target is free.
        self.start_main()
        hwnd = self.win["hwnd"]
        self.r.click(hwnd, caption="Loader")
        self.r.control(hwnd, id=190, text="loader held", timeout=10000)
        window, controls = self.r.dump(hwnd)
        self.assertEqual(window["font"], "unknown")
        self.assertNotIn("hung", window)
        self.assertEqual({c.get("font") for c in controls}, {"unknown"})
        # Texts do not need a thread in the target.
        self.assertEqual([c["text"] for c in controls if c["id"] == 191], ["Big title"])
        self.r.click(hwnd, caption="Loader")
        self.r.control(hwnd, id=190, text="loader free", timeout=10000)
        window, controls = self.r.dump(hwnd)
        self.assertEqual((window["font"], window["fontheight"]), ("MS Shell Dlg", -11))
        self.assertEqual([c["font"] for c in controls if c["id"] == 191], ["Arial"])

    def test_message_box_icons_and_buttons(self):
        cases = [
            ("error", "error", "OK,Cancel"),
            ("warning", "warning", "OK,Cancel"),
            ("information", "information", "OK,Cancel"),
            ("question", "question", "Yes,No,Cancel"),
            ("none", "none", "OK,Cancel"),
        ]
        for kind, icon, buttons in cases:
            with self.subTest(kind=kind):
                title = "Fixture Message" + unique_tag()
                app = self.start(FIXTURE, ["msgbox", kind, title[len("Fixture Message"):]])
                box = {"title": title, "visible": 1}
                got = self.r.msgbox(box)
                self.assertEqual((got["icon"], got["buttons"], got["caption"]), (icon, buttons, title))
                self.assertEqual(got["text"], 'Something happened.\nSecond line "quoted".')
                self.r.click(box, caption="Cancel")
                self.assertEqual(app.wait(30), 2)  # IDCANCEL

    def test_close_goes_through_the_modal_prompt(self):
        self.start_main()
        hwnd = self.win["hwnd"]
        prompt = {"owner": "0x%x" % hwnd, "class_": "#32770", "visible": 1}
        self.r.close(hwnd)
        got = self.r.msgbox(prompt)
        self.assertEqual((got["text"], got["icon"], got["buttons"]), ("Really quit?", "question", "Yes,No"))
        # The owner is disabled while the prompt is up: no clicking past it.
        with self.assertRaises(RobotError) as e:
            self.r.click(hwnd, caption="OK")
        self.assertEqual((e.exception.code, e.exception.message), (3, "disabled"))
        self.r.click(prompt, caption="No")
        self.r.gone(owner="0x%x" % hwnd, timeout=5000)
        self.status_becomes("quit declined")
        self.r.close(hwnd)
        self.r.click(prompt, caption="Yes")
        self.assertEqual(self.r.wait_exit(self.win["pid"], timeout=10000).get("code"), 7)
        self.assertEqual(self.app.wait(30), 7)

    def test_refusals_and_usage_errors(self):
        self.start_main()
        sel = ["wait", "hwnd=0x%x" % self.win["hwnd"]]
        cases = [
            (sel + ["--", "click", "caption=Disabled"], 3, "disabled"),
            (sel + ["--", "click", "caption=Hidden"], 3, "no control"),
            (sel + ["--", "click", "id=999"], 3, "no control"),
            (sel + ["--", "pick", "id=140", "text=Klingon"], 3, "no item"),
            (sel + ["--", "pick", "id=110", "index=0"], 3, "not a list: Button"),
            (["wait", "title=No Such Window", "timeout=200"], 3, "timeout"),
            ([], 2, None),
            (["bogus"], 2, None),
            (["wait", "titl=x"], 2, None),
            (["click", "caption=OK"], 2, None),
            (["wait", "timeout=soon"], 2, None),
            (sel + ["--", "key", "vk=NOPE"], 2, None),
            (sel + ["--", "pick", "id=140"], 2, None),
        ]
        for args, code, message in cases:
            with self.subTest(args=args):
                got_code, out = harness.run_robot(self.env, args, 30)
                records = parse_records(out)
                self.assertEqual(got_code, code, records)
                self.assertEqual(records[-1]["kind"], "error")
                if message:
                    self.assertEqual(records[-1]["message"], message)
        # Nothing ran before the bad operation was found.
        code, out = harness.run_robot(self.env, sel + ["--", "click", "caption=OK", "--", "bogus"], 30)
        self.assertEqual(code, 2)
        self.assertEqual(self.r.control(self.win["hwnd"], id=190)["text"], "ready")

    def test_shell_link_fields(self):
        path = os.path.join(self.scratch, "fixture.lnk")
        self.assertEqual(self.start(FIXTURE, ["lnk", harness.windows_path(path)]).wait(60), 0)
        got = self.r.lnk(harness.windows_path(path))
        self.assertEqual({k: got[k] for k in ("target", "args", "description", "workdir", "icon",
                                              "iconindex", "showcmd", "hotkey")},
                         {"target": "C:\\windows\\notepad.exe", "args": '/x "a b"',
                          "description": "Fixture shortcut", "workdir": "C:\\windows",
                          "icon": "C:\\windows\\system32\\shell32.dll", "iconindex": 3,
                          "showcmd": 7, "hotkey": 0x646})


if __name__ == "__main__":
    unittest.main()
