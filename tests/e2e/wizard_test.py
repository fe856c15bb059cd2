"""The wizard: page sequence and navigation, the folder and program-group
pages, the shortcut and finish options, the summary, closing."""
import json
import ntpath
import os
import shutil
import subprocess
import time
import unittest

import harness
from wizard_support import *  # noqa: F401,F403


class PageSequenceTest(WizardCase):
    def test_every_optional_page_off_installs_at_once_then_finishes(self):
        # Without a Finish page the finishing actions run with the boxes'
        # initial states: the run box starts checked (run_checked).
        log = os.path.join(self.scratch, "run.log")
        shutil.copy(os.path.join(harness.BIN, "recorder.exe"), self.scratch)
        exe = self.build(NO_PAGES + '[finish]\nrun = %s\n' %
                         packages.toml_text(harness.windows_path(os.path.join(self.scratch, "recorder.exe"))
                                            + " " + harness.windows_path(log)))
        target = packages.install_folder(self.title)
        self.assertEqual(self.start(exe, ["/L=English"]).wait(90), 0)
        self.assertTrue(os.path.exists(os.path.join(target, "tool.txt")))
        with open(log) as f:
            self.assertIn("start", f.read())

    def test_tab_cycle_of_a_later_page(self):
        # The pages after the first are made once it shows; Tab still runs
        # through a page and then Back, Next, Cancel.
        self.open(pages("welcome", "license", "folder"))
        self.go(NEXT, "license")
        self.go(NEXT, "folder")
        focus = self.robot_ok("wait", self.hwnd, "--", "focus")[-1]["id"]
        seen = []
        for _ in range(5):
            self.robot_ok("wait", self.hwnd, "--", "key", "vk=TAB")
            deadline = time.monotonic() + 10
            while self.robot_ok("wait", self.hwnd, "--", "focus")[-1]["id"] == focus:
                self.assertLess(time.monotonic(), deadline, "Tab did not move the focus")
            focus = self.robot_ok("wait", self.hwnd, "--", "focus")[-1]["id"]
            seen.append(focus)
        cycle = [FOLDER_EDIT, BROWSE, BACK, NEXT, CANCEL]
        start = cycle.index(seen[0])
        self.assertEqual(seen, (cycle + cycle)[start:start + 5])

    def test_captions_and_back_button(self):
        self.open(pages("welcome", "license", "folder"))
        c = self.controls()
        self.assertEqual(c[NEXT]["text"], self.lang[23])
        self.assertEqual(self.robot_ok("wait", self.hwnd, "--", "focus")[-1]["id"], NEXT)
        self.robot_ok("wait", self.hwnd, "--", "key", "vk=TAB")
        # The key is posted: wait for its effect.
        deadline = time.monotonic() + 10
        while self.robot_ok("wait", self.hwnd, "--", "focus")[-1]["id"] != CANCEL:
            self.assertLess(time.monotonic(), deadline, "Tab did not move the focus to Cancel")
        self.assertEqual(c[BACK]["visible"], 0)  # hidden on Welcome
        self.assertEqual(c[BAND]["visible"], 0)
        self.go(NEXT, "license")
        c = self.controls()
        self.assertEqual(c[NEXT]["text"], self.lang[22])
        self.assertEqual((c[BACK]["visible"], c[BACK]["enabled"]), (1, 1))
        self.assertEqual(c[TITLE_LABEL]["text"], self.lang[9])
        self.assertEqual(c[SUBTITLE_LABEL]["text"], self.lang[10])
        self.go(NEXT, "folder")
        # The page just before Installing offers Install, whatever its own caption.
        self.assertEqual(self.get(NEXT)["text"], self.lang[26])
        self.go(BACK, "license")
        self.assertEqual(self.get(NEXT)["text"], self.lang[22])
        self.go(BACK, "welcome")
        self.assertEqual(self.get(NEXT)["text"], self.lang[23])

    def test_first_inner_page_has_back_disabled(self):
        self.open(pages("license"))
        c = self.controls()
        self.assertEqual((c[BACK]["visible"], c[BACK]["enabled"]), (1, 0))
        # The licence page directly before Installing offers Install.
        self.assertEqual(c[NEXT]["text"], self.lang[26])
        self.assertEqual(c[LICENSE_TEXT]["text"], "LICENCE of the test setup\r\n")
        self.assertTrue(c[LICENSE_TEXT]["style"] & 0x800)  # ES_READONLY  # the rich-text box

    def test_frame_layout(self):
        self.open(pages("license"), setup='bottom_text = "Bottom & Co"\n')
        self.assertEqual((self.window["cw"], self.window["ch"]), (495, 359))
        c = self.controls()
        for id, place in {NEXT: (324, 327, 75, 23), CANCEL: (410, 327, 75, 23), BACK: (249, 327, 75, 23),
                          BAND: (0, 0, 495, 60), LICENSE_PANEL: (0, 60, 495, 245)}.items():
            self.assertEqual((c[id]["x"], c[id]["y"], c[id]["w"], c[id]["h"]), place, id)
        bottom, line = c[BOTTOM_TEXT], c[SEPARATOR]
        self.assertEqual((bottom["x"], bottom["y"], bottom["text"], bottom["enabled"]), (12, 307, "Bottom & Co", 0))
        self.assertEqual((line["x"], line["y"]), (12 + bottom["w"], 314))
        self.assertEqual(line["x"] + line["w"], self.window["w"] - 20)
        self.assertEqual((c[TITLE_LABEL]["x"], c[TITLE_LABEL]["y"]), (16, 10))  # fields 69, 72
        self.assertEqual(c[TITLE_LABEL]["fontweight"], 700)
        self.assertEqual((c[NEXT]["font"], c[NEXT]["fontheight"]), ("Tahoma", -11))


class ProgressTest(WizardCase):
    def test_the_bar_ends_exactly_at_the_packages_total(self):
        # Field 48 is the rounded total of the file bytes and the work units
        # of every other step, in units of 1024 bytes: an installation that
        # ran through leaves the bar at exactly that mark.
        files = {"app/tool.txt": 100, "app/a.bin": 1000, "app/b.bin": 70001, "app/c.bin": 300000,
                 "app/d.bin": 1536, "app/e.bin": 511}
        body = pages("welcome", "finish")
        for name in ("a.bin", "b.bin", "c.bin", "d.bin", "e.bin"):
            body += '[[files]]\nsource = "app/%s"\ndestination = "{app}"\n' % name
        body += ('[[folders]]\npath = "{app}\\\\reports"\n'
                 '[[registry]]\nroot = "HKCU"\nkey = "Software\\\\PvxProgressTest"\nname = "v"\n'
                 'type = "string"\ndata = "1"\n')
        self.open(body, files=files)
        self.addCleanup(harness._quiet, [harness.WINE, "reg", "delete", "HKCU\\Software\\PvxProgressTest", "/f"],
                        self.env)
        exe = os.path.join(self.scratch, "setup.exe")
        out = subprocess.run([harness.PARVOLEX, "inspect", exe, "--json"], capture_output=True,
                             text=True, check=True).stdout
        total = int([f for f in json.loads(out)["header"] if f["field"] == 48][0]["value"])
        self.assertGreater(total, 370)  # files alone come to 365
        self.go(NEXT, "finish")
        bar = self.get(PROGRESS)
        self.assertEqual((int(bar["max"]), int(bar["pos"])), (total, total))


class FolderPageTest(WizardCase):
    def test_next_follows_the_drive(self):
        self.open(pages("folder", "ready"))
        cases = [("C:", 0), ("C:\\", 1), ("c:\\any\\depth\\missing", 1), ("Q:\\Tool", 0), ("", 0),
                 ("\\\\server\\share", 0), ("Z:\\x", 1), ("ab", 0)]
        for text, enabled in cases:
            with self.subTest(text=text):
                self.type(FOLDER_EDIT, text)
                self.assertEqual(self.get(NEXT)["enabled"], enabled)

    def test_not_enough_space_keeps_the_page(self):
        self.open(pages("folder", "ready") + "[header]\n23 = \"999999999999999999\"\n")
        self.type(FOLDER_EDIT, "c:\\Somewhere")
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % NEXT)
        box, msg = self.box()
        self.assertEqual(msg["caption"], self.lang[42])
        self.assertEqual(msg["text"], self.lang[8].replace("%s", "C"))
        self.assertEqual(msg["icon"], "error")
        self.answer(box, "OK")
        self.control(FOLDER_PANEL, visible=1)
        self.assertEqual(self.get(NEXT)["enabled"], 1)

    def test_chosen_folder_is_where_files_go(self):
        target = packages.install_folder("Wizard Folder Test")
        self.open(pages("folder", "ready", "finish"))
        self.type(FOLDER_EDIT, harness.windows_path(target))
        self.go(NEXT, "ready")
        summary = self.get(SUMMARY)["text"]
        self.assertEqual(summary, self.lang[43] + "    " + harness.windows_path(target))
        self.go(NEXT, "finish")
        self.assertTrue(os.path.exists(os.path.join(target, "tool.txt")))

    def test_browse_appends_the_application_folder(self):
        self.open(pages("folder", "ready"), setup='default_folder = "C:\\\\windows"\nbrowse_append_folder = "Tool"\n')
        # Outside the default folder the application's folder name is
        # appended; inside it the choice stays as it is.
        cases = [("C:\\Program Files", "C:\\Program Files\\Tool"), ("C:\\", "C:\\Tool"),
                 ("C:\\windows\\system32", "C:\\windows\\system32"), ("c:\\windows", "C:\\windows")]
        for start, expected in cases:
            with self.subTest(start=start):
                self.type(FOLDER_EDIT, start)
                self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % BROWSE)
                # The shell's dialog, showing the package's text.
                dialog = self.robot_ok("wait", "class=#32770", "exe=setup.exe", "visible=1", "--", "waitctl",
                                       "text=" + self.lang[49], timeout=60)[0]
                self.robot_ok("wait", "hwnd=0x%x" % dialog["hwnd"], "--", "click", "caption=OK")
                self.robot_ok("gone", "hwnd=0x%x" % dialog["hwnd"])
                self.assertEqual(self.get(FOLDER_EDIT)["text"], expected)
                self.assertEqual(self.get(NEXT)["enabled"], 1)

    def test_locked_folder(self):
        self.open(pages("folder"), setup="folder_locked = true\n")
        c = self.controls()
        self.assertEqual((c[FOLDER_EDIT]["enabled"], c[BROWSE]["enabled"]), (0, 0))
        self.assertEqual(c[BROWSE]["text"], self.lang[27])


class GroupPageTest(WizardCase):
    def setUp(self):
        super().setUp()
        self.existing = os.path.join(programs_folder(), "Pvx Existing Group")
        os.makedirs(self.existing, exist_ok=True)
        with open(os.path.join(programs_folder(), "pvx-not-a-folder.txt"), "w") as f:
            f.write("x")

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.existing, ignore_errors=True)
        os.remove(os.path.join(programs_folder(), "pvx-not-a-folder.txt"))

    def open_group(self, extra=""):
        self.open(pages("welcome", "group", "ready"), setup='program_group = "My {language} Group"\n' + extra)
        self.go(NEXT, "group")

    def test_list_pick_and_empty_name(self):
        self.open_group()
        c = self.controls()
        items = c[GROUP_LIST]["items"].split("\n")
        self.assertIn("Pvx Existing Group", items)
        self.assertNotIn("pvx-not-a-folder.txt", items)
        self.assertNotIn(".", items)
        # As stored at first; picking expands the default name and appends it.
        self.assertEqual(c[GROUP_EDIT]["text"], "My @$&%21 Group")
        self.robot_ok("wait", self.hwnd, "--", "pick", "id=%d" % GROUP_LIST, "text=Pvx Existing Group")
        self.control(GROUP_EDIT, text="Pvx Existing Group\\My English Group")
        self.robot_ok("wait", self.hwnd, "--", "pick", "id=%d" % GROUP_LIST, "index=-1")
        self.control(GROUP_EDIT, text="My English Group")
        self.type(GROUP_EDIT, "")
        self.assertEqual(self.get(NEXT)["enabled"], 0)
        self.go(BACK, "welcome")
        self.assertEqual(self.get(NEXT)["enabled"], 1)
        # Coming back with the name still empty keeps Next disabled.
        self.go(NEXT, "group")
        self.assertEqual(self.get(NEXT)["enabled"], 0)
        self.type(GROUP_EDIT, "Another")
        self.assertEqual(self.get(NEXT)["enabled"], 1)
        self.go(NEXT, "ready")
        self.assertEqual(self.get(SUMMARY)["text"],
                         self.lang[43] + "    " + self.default_folder + "\r\n\r\n" +
                         self.lang[44] + "    Another")

    def test_no_shortcuts_box(self):
        self.open_group()
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % NO_SHORTCUTS)
        c = self.control(GROUP_LIST, enabled=0)
        self.assertEqual(c["textcolor"], 0x808080)
        c = self.controls()
        self.assertEqual([c[i]["enabled"] for i in (GROUP_LABEL, GROUP_EDIT, NO_SHORTCUTS)], [0, 0, 1])
        self.go(NEXT, "ready")
        # No group section while the box is checked.
        self.assertEqual(self.get(SUMMARY)["text"],
                         self.lang[43] + "    " + self.default_folder)
        self.go(BACK, "group")
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % NO_SHORTCUTS)
        c = self.control(GROUP_LIST, enabled=1)
        self.assertEqual(c["textcolor"], 0)
        self.assertEqual(self.get(GROUP_EDIT)["enabled"], 1)

    def test_locked_group(self):
        self.open_group("group_locked = true\n")
        c = self.controls()
        self.assertEqual([c[i]["enabled"] for i in (GROUP_LABEL, GROUP_EDIT, GROUP_LIST, NO_SHORTCUTS)],
                         [0, 0, 0, 0])
        self.assertEqual(c[GROUP_LIST]["textcolor"], 0x808080)


class ShortcutsPageTest(WizardCase):
    def setUp(self):
        super().setUp()
        os.makedirs(quick_launch_folder(), exist_ok=True)

    def test_offered_boxes_move_up(self):
        names = {DESKTOP_BOX: 88, START_MENU_BOX: 89, QUICK_LAUNCH_BOX: 90}
        cases = [((0, 0, 1), {QUICK_LAUNCH_BOX: 128}),
                 ((0, 1, 1), {START_MENU_BOX: 128, QUICK_LAUNCH_BOX: 152}),
                 ((1, 0, 1), {DESKTOP_BOX: 128, QUICK_LAUNCH_BOX: 152}),
                 ((1, 1, 0), {DESKTOP_BOX: 128, START_MENU_BOX: 152}),
                 ((1, 1, 1), {DESKTOP_BOX: 128, START_MENU_BOX: 152, QUICK_LAUNCH_BOX: 176}),
                 ((0, 0, 0), {})]
        for offered, rows in cases:
            with self.subTest(offered=offered):
                header = "[header]\n22 = true\n114 = true\n" + "".join(
                    "%d = %s\n" % (f, "true" if on else "false") for f, on in zip((88, 89, 90), offered))
                self.open(pages("shortcuts", "ready") + header)
                c = self.controls()
                shown = {id: c[id]["y"] - 60 for id in names if c[id]["visible"]}
                self.assertEqual(shown, rows)
                for id in names:
                    self.assertEqual(c[id]["checked"], 1)
                    self.assertEqual(c[id]["text"], self.lang[31 + id - DESKTOP_BOX].replace("&", "&&"))
                    self.assertEqual(c[id]["x"], 22)
                # The summary lists the checked offered kinds.
                if rows:
                    first = min(rows, key=rows.get)
                    self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % first)
                    self.control(first, checked=0)
                self.go(NEXT, "ready")
                listed = [id for id in sorted(rows) if id != (min(rows, key=rows.get) if rows else None)]
                expected = self.lang[43] + "    " + self.default_folder
                t = "".join("    " + self.lang[31 + id - DESKTOP_BOX] + ("\r\n" if id != QUICK_LAUNCH_BOX else "")
                            for id in listed)
                if t:
                    expected += "\r\n\r\n" + self.lang[45] + t
                self.assertEqual(self.get(SUMMARY)["text"], expected)
                self.process.kill()

    def test_no_quick_launch_folder_hides_its_box(self):
        aside = quick_launch_folder() + ".pvx-aside"
        os.rename(quick_launch_folder(), aside)
        try:
            self.open(pages("shortcuts") + "[header]\n22 = true\n114 = true\n88 = false\n89 = false\n90 = true\n")
            self.assertEqual(self.get(QUICK_LAUNCH_BOX)["visible"], 0)
        finally:
            os.rename(aside, quick_launch_folder())

    def test_offered_without_the_page_counts_as_chosen(self):
        self.open(pages("ready") + "[header]\n22 = true\n114 = false\n88 = true\n89 = false\n90 = true\n")
        self.assertEqual(self.get(SUMMARY)["text"],
                         self.lang[43] + "    " + self.default_folder + "\r\n\r\n" + self.lang[45] +
                         "    " + self.lang[31] + "\r\n    " + self.lang[33])


class FinishPageTest(WizardCase):
    def open_finish(self, finish, extra=""):
        self.open(pages("ready", "finish") + "[finish]\n" + finish + extra)
        self.go(NEXT, "finish")
        return self.controls()

    def test_boxes_move_up(self):
        exe = 'run = "{app}\\\\tool.txt"\n'
        readme = 'readme = "{app}\\\\tool.txt"\n'
        web = 'web = "https://example.invalid/"\n'
        cases = [(exe + readme + web, {RUN_BOX: 152, README_BOX: 176, WEB_BOX: 198}),
                 (readme + web, {README_BOX: 152, WEB_BOX: 176}),
                 (exe + web, {RUN_BOX: 152, WEB_BOX: 176}),
                 (web, {WEB_BOX: 152}),
                 (exe + readme, {RUN_BOX: 152, README_BOX: 176})]
        for finish, rows in cases:
            with self.subTest(finish=finish):
                c = self.open_finish(finish + "readme_checked = true\n")
                shown = {id: c[id]["y"] for id in (RUN_BOX, README_BOX, WEB_BOX) if c[id]["visible"]}
                self.assertEqual(shown, rows)
                self.assertEqual([c[id]["checked"] for id in (RUN_BOX, README_BOX, WEB_BOX)], [1, 1, 0])
                self.assertEqual(c[WELCOME_TITLE]["text"], self.lang[6])
                self.assertEqual(c[WELCOME_BODY]["text"], self.lang[7])
                self.assertEqual(c[WELCOME_BODY]["h"], 65)
                self.assertEqual((c[RESTART_NOW]["visible"], c[RESTART_LATER]["visible"]), (0, 0))
                self.assertEqual((c[CANCEL]["enabled"], c[BOTTOM_TEXT]["visible"]), (0, 0))
                self.assertEqual(c[NEXT]["text"], self.lang[41])
                self.process.kill()

    def test_restart_choices(self):
        c = self.open_finish("restart = true\n")
        now, later = c[RESTART_NOW], c[RESTART_LATER]
        self.assertEqual((now["visible"], now["x"], now["y"], now["checked"], now["text"]),
                         (1, 176, 152, 1, self.lang[66]))
        self.assertEqual((later["visible"], later["y"], later["checked"], later["text"]),
                         (1, 176, 0, self.lang[67]))
        self.assertEqual(c[WELCOME_BODY]["text"], self.lang[79])
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % RESTART_LATER)
        self.control(RESTART_NOW, checked=0)
        self.control(RESTART_LATER, checked=1)

    def test_without_side_picture(self):
        c = self.open_finish("", "[wizard]\nside_picture = \"none\"\n")
        self.assertEqual(c[SIDE_PICTURE]["visible"], 0)
        self.assertEqual((c[WELCOME_TITLE]["x"], c[WELCOME_TITLE]["w"]), (20, 400))
        self.assertEqual((c[WELCOME_BODY]["x"], c[WELCOME_BODY]["w"], c[WELCOME_BODY]["h"]), (20, 400, 65))


class CloseTest(WizardCase):
    def test_cancel_question(self):
        p = self.open(pages("welcome", "ready"))
        # The frame shows before its first page is whole: the click waits
        # for Cancel to be visible and enabled.
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % CANCEL, "timeout=10000")
        box, msg = self.box()
        self.assertEqual((msg["caption"], msg["text"], msg["icon"], msg["buttons"]),
                         (self.title, self.lang[46], "question", "Yes,No"))
        self.answer(box, "No")
        self.go(NEXT, "ready")  # still there and working
        self.robot_ok("wait", self.hwnd, "--", "close")
        box, _ = self.box()
        self.answer(box, "Yes")
        self.assertEqual(p.wait(30), 2)

    def test_cancel_during_the_installation(self):
        # A command before the files holds the installation until released.
        recorder = os.path.join(self.scratch, "recorder.exe")
        shutil.copy(os.path.join(harness.BIN, "recorder.exe"), recorder)
        log, release = os.path.join(self.scratch, "hold.log"), os.path.join(self.scratch, "release")
        command = '[[commands]]\nwhen = "before"\nfile = %s\nparameters = %s\nwait = true\n' % (
            packages.toml_text(harness.windows_path(recorder)),
            packages.toml_text("%s until=%s" % (harness.windows_path(log), harness.windows_path(release))))
        p = self.open(pages("ready", "finish") + command)
        try:
            self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % NEXT)
            self.control(INSTALLING_PANEL, visible=1)
            c = self.control(NEXT, enabled=0)
            self.assertEqual(c["text"], self.lang[23])
            self.assertEqual(self.get(INSTALLING_LABEL)["text"], self.lang[5])
            self.assertEqual(self.get(BACK)["enabled"], 0)
            self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % CANCEL, "timeout=5000")
            box, _ = self.box()
            self.answer(box, "No")
            self.robot_ok("gone", "hwnd=0x%x" % box)
            self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % CANCEL, "timeout=5000")
            box, _ = self.box()
            self.answer(box, "Yes")
            self.assertEqual(p.wait(30), 5)
        finally:
            open(release, "w").close()

    def test_no_cancel_switch_refuses_every_close(self):
        self.open(pages("welcome", "ready"), args=["/NC"])
        self.assertEqual(self.get(CANCEL)["enabled"], 0)
        owner = "owner=" + self.hwnd.split("=")[1]
        for how in (["close"], ["closemsg"], ["key", "vk=ESCAPE"], ["key", "vk=F4", "alt=1"]):
            with self.subTest(how=how):
                self.robot_ok("wait", self.hwnd, "--", *how)
                # Messages are handled in order: once Next has moved the
                # page, the close request before it was handled too.
                self.go(NEXT, "ready")
                self.assertEqual(self.robot_ok("list", owner, "visible=1"), [])
                self.go(BACK, "welcome")
        self.go(NEXT, "ready")
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % NEXT)
        self.assertEqual(self.process.wait(90), 0)

    def test_closing_on_finish_ends_without_actions(self):
        log = os.path.join(self.scratch, "finish.log")
        shutil.copy(os.path.join(harness.BIN, "recorder.exe"), self.scratch)
        run = harness.windows_path(os.path.join(self.scratch, "recorder.exe")) + " " + harness.windows_path(log)
        p = self.open(pages("ready", "finish") + "[finish]\nrun = %s\n" % packages.toml_text(run))
        self.go(NEXT, "finish")
        self.robot_ok("wait", self.hwnd, "--", "close")
        self.assertEqual(p.wait(30), 0)
        self.assertFalse(os.path.exists(log))

    def test_enter_and_escape(self):
        p = self.open(pages("welcome", "ready"))
        self.robot_ok("wait", self.hwnd, "--", "key", "vk=RETURN")
        self.control(READY_PANEL, visible=1)
        self.robot_ok("wait", self.hwnd, "--", "key", "vk=ESCAPE")
        box, _ = self.box()
        self.answer(box, "Yes")
        self.assertEqual(p.wait(30), 2)


class FinishingActionsTest(WizardCase):
    """Run, readme and web address, each a copy of the recorder that logs
    its start to PVX_RECORDER_LOG with its folder and command line."""

    def setUp(self):
        super().setUp()
        self.log = os.path.join(self.scratch, "actions.log")
        self.paths = {}
        for name in ("run", "readme", "web"):
            folder = os.path.join(self.scratch, name + "-folder")
            os.makedirs(folder)
            shutil.copy(os.path.join(harness.BIN, "recorder.exe"), os.path.join(folder, name + ".exe"))
            self.paths[name] = harness.windows_path(os.path.join(folder, name + ".exe"))
        self.env_with_log = dict(self.env, PVX_RECORDER_LOG=harness.windows_path(self.log))

    def starts(self, count):
        """The logged starts, once there are `count` of them: {exe name: (folder, command line)}."""
        deadline = time.monotonic() + 30
        while True:
            lines = []
            if os.path.exists(self.log):
                with open(self.log) as f:
                    lines = f.read().splitlines()
            started = [l.split("\t") for l in lines if l.startswith("start ")]
            if len(started) >= count:
                return {ntpath.basename(cmd.split(" ")[0].strip('"')).lower(): (folder, cmd)
                        for _, folder, cmd in started}
            self.assertLess(time.monotonic(), deadline, "only %d starts: %r" % (len(started), lines))
            time.sleep(0.05)

    def finish_with(self, extra="", clicks=()):
        """clicks: (button, the box that then reads unchecked)."""
        finish = "[finish]\nrun = %s\nreadme = %s\nweb = %s\nreadme_checked = true\nweb_checked = true\n" % (
            packages.toml_text(self.paths["run"] + " first second"), packages.toml_text(self.paths["readme"]),
            packages.toml_text(self.paths["web"]))
        p = self.open(pages("ready", "finish") + finish + extra, env=self.env_with_log)
        self.go(NEXT, "finish")
        for id, unchecked in clicks:
            self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % id)
            self.control(unchecked, checked=0)
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % NEXT)
        self.assertEqual(p.wait(60), 0)

    def test_run_readme_and_web(self):
        self.finish_with()
        starts = self.starts(3)
        self.assertEqual(set(starts), {"run.exe", "readme.exe", "web.exe"})
        run_folder, run_line = starts["run.exe"]
        # The program gets its arguments and starts in its own folder; so
        # does the readme; the web address leaves the folder as it was.
        self.assertTrue(run_line.endswith("first second"), run_line)
        self.assertEqual(run_folder.rstrip("\\").lower(), ntpath.dirname(self.paths["run"]).lower())
        readme_folder = starts["readme.exe"][0].rstrip("\\").lower()
        self.assertEqual(readme_folder, ntpath.dirname(self.paths["readme"]).lower())
        self.assertEqual(starts["web.exe"][0].rstrip("\\").lower(), readme_folder)

    def test_program_path_with_spaces_starts_that_program(self):
        # Unquoted, "C:\pvx plant\Example Tool\tool.exe" is read by
        # Windows as C:\pvx.exe with arguments first: a program planted
        # there must not start in place of the application.
        drive = harness.drive_c()
        folder = os.path.join(drive, "pvx plant", "Example Tool")
        os.makedirs(folder, exist_ok=True)
        planted = os.path.join(drive, "pvx.exe")
        for path in (os.path.join(folder, "tool.exe"), planted):
            shutil.copy(os.path.join(harness.BIN, "recorder.exe"), path)
        self.addCleanup(shutil.rmtree, os.path.join(drive, "pvx plant"), True)
        self.addCleanup(os.remove, planted)
        tool = "C:\\pvx plant\\Example Tool\\tool.exe"
        p = self.open(pages("ready", "finish") + "[finish]\nrun = %s\n" % packages.toml_text(tool),
                      env=self.env_with_log)
        self.go(NEXT, "finish")
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % NEXT)
        self.assertEqual(p.wait(60), 0)
        self.starts(1)
        time.sleep(1)  # a second start would be logged by now
        with open(self.log) as f:
            lines = [l.split("\t") for l in f.read().splitlines() if l.startswith("start ")]
        self.assertEqual([(folder.rstrip("\\").lower(), line) for _, folder, line in lines],
                         [(ntpath.dirname(tool).lower(), '"%s"' % tool)])

    def test_unchecked_box_starts_nothing(self):
        self.finish_with(clicks=((RUN_BOX, RUN_BOX), (WEB_BOX, WEB_BOX)))
        self.assertEqual(set(self.starts(1)), {"readme.exe"})

    def test_restart_later_only_ends(self):
        # Restarting for real would end every program of the Wine session;
        # choosing "later" must leave it alone.
        self.finish_with("restart = true\n", clicks=((RESTART_LATER, RESTART_NOW),))
        self.assertEqual(set(self.starts(3)), {"run.exe", "readme.exe", "web.exe"})
        self.robot_ok("foreground")


class StartupMessageTest(WizardCase):
    def test_message_once(self):
        for text in ("", "Hello & welcome"):
            with self.subTest(text=text):
                self.open(pages("welcome") + "[header]\n41 = %s\n" % packages.toml_text(text))
                box, msg = self.box()
                self.assertEqual((msg["caption"], msg["text"], msg["icon"], msg["buttons"]),
                                 (self.title, text, "information", "OK"))
                self.answer(box, "OK")
                self.robot_ok("gone", "hwnd=0x%x" % box)
                self.process.kill()


if __name__ == "__main__":
    unittest.main()
