"""The wizard's keyboard: where the focus goes after a page change and
after a prompt, and Esc while the installation runs."""
import os
import shutil
import tempfile
import time
import unittest

import harness
import packages
from wizard_support import *  # noqa: F401,F403


class FocusCase(WizardCase):
    def hold(self):
        """A command before the files that holds the installation until
        release() (or 30 s)."""
        recorder = os.path.join(self.scratch, "recorder.exe")
        shutil.copy(os.path.join(harness.BIN, "recorder.exe"), recorder)
        # A file of its own each time: an earlier package's is there already.
        self.release_file = tempfile.mktemp(prefix="release-", dir=self.scratch)
        log = self.release_file + ".log"
        return '[[commands]]\nwhen = "before"\nfile = %s\nparameters = %s\nwait = true\n' % (
            packages.toml_text(harness.windows_path(recorder)),
            packages.toml_text("%s until=%s" % (harness.windows_path(log), harness.windows_path(self.release_file))))

    def release(self):
        open(self.release_file, "w").close()

    def tearDown(self):
        # The recorder outlives a killed setup: let it go before its folder does.
        if getattr(self, "release_file", None):
            self.release()
        super().tearDown()

    def assertFocus(self, expected):
        """Waits until the focus is on a control that can take it (keys and
        page changes are posted, and come into effect a little later),
        then it must be `expected`."""
        deadline = time.monotonic() + 10
        while True:
            focus = self.robot_ok("wait", self.hwnd, "--", "focus")[-1]
            if focus["id"]:
                control = self.get(focus["id"])
                if control["hwnd"] == focus["hwnd"] and control["visible"] and control["enabled"]:
                    break
            self.assertLess(time.monotonic(), deadline, "no control of the page has the focus: %r" % focus)
            time.sleep(0.1)
        self.assertEqual(focus["id"], expected, focus)

    def question(self, answer):
        """Answers the cancel question."""
        box, msg = self.box()
        self.assertEqual((msg["text"], msg["buttons"]), (self.lang[46], "Yes,No"))
        self.answer(box, answer)
        self.robot_ok("gone", "hwnd=0x%x" % box)

    def browse(self):
        """Clicks Browse and OK in the folder dialog, whose owner is the
        application window, not the wizard."""
        self.click(BROWSE)
        dialog = "hwnd=0x%x" % self.robot_ok("wait", "class=#32770", "exe=setup.exe", "visible=1", timeout=60)[0]["hwnd"]
        self.robot_ok("wait", dialog, "--", "click", "caption=OK")
        self.robot_ok("gone", dialog)

    def key(self, vk):
        self.robot_ok("wait", self.hwnd, "--", "key", "vk=" + vk)

    def click(self, id):
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % id, "timeout=5000")


class PageChangeFocusTest(FocusCase):
    def test_a_control_has_the_focus_after_each_step(self):
        # The focus stays on the control that has it while that can take
        # it, else goes to Next, else to the page's first control; after a
        # prompt it returns to the control that had it.
        self.open(pages("welcome", "license", "folder", "group", "ready", "finish") + self.hold(),
                  setup='program_group = "Focus Group"\n')
        steps = [
            ("start", lambda: None, "welcome", NEXT),
            ("Enter", lambda: self.key("RETURN"), "license", NEXT),
            ("Back to where Back is hidden", lambda: self.click(BACK), "welcome", NEXT),
            ("Next", lambda: self.click(NEXT), "license", NEXT),
            ("Next", lambda: self.click(NEXT), "folder", NEXT),
            ("Browse, OK", self.browse, "folder", BROWSE),
            ("into the folder box", lambda: self.robot_ok("wait", self.hwnd, "--", "mouse",
                                                          "id=%d" % FOLDER_EDIT, "x=5", "y=5"),
             "folder", FOLDER_EDIT),
            ("close, No", lambda: (self.robot_ok("wait", self.hwnd, "--", "close"), self.question("No")),
             "folder", FOLDER_EDIT),
            ("Enter in the folder box", lambda: self.key("RETURN"), "group", NEXT),
            ("into the group box, emptied", lambda: (self.robot_ok("wait", self.hwnd, "--", "mouse",
                                                                   "id=%d" % GROUP_EDIT, "x=5", "y=5"),
                                                    self.type(GROUP_EDIT, "")), "group", GROUP_EDIT),
            ("Back", lambda: self.click(BACK), "folder", BACK),
            ("Next to the empty name", lambda: self.click(NEXT), "group", CANCEL),
            ("a group name, Next", lambda: (self.type(GROUP_EDIT, "Group"), self.click(NEXT)), "ready", NEXT),
            ("Install", lambda: self.click(NEXT), "installing", CANCEL),
            ("Cancel, No", lambda: (self.click(CANCEL), self.question("No")), "installing", CANCEL),
            ("released", self.release, "finish", NEXT),
        ]
        for name, action, page, expected in steps:
            with self.subTest(step=name):
                action()
                if page == "finish":
                    self.control(NEXT, text=self.lang[41], visible=1, timeout=60)
                self.control(PANELS[page], visible=1)
                self.assertFocus(expected)


class InstallingKeysTest(FocusCase):
    def test_escape_tab_and_enter_reach_cancel(self):
        # Reached by Next, and as the first page, where the installation
        # starts before the wizard has been activated. Cancel is the one
        # control that takes the focus: Tab stays on it and makes it the
        # button that Enter presses, as on the other pages.
        for first in (("ready",), ()):
            with self.subTest(pages=first):
                p = self.open(pages(*first + ("finish",)) + self.hold())
                if first:
                    self.click(NEXT)
                self.control(INSTALLING_PANEL, visible=1)
                self.assertFocus(CANCEL)
                self.key("ESCAPE")
                self.question("No")
                self.assertFocus(CANCEL)
                self.assertEqual(self.get(INSTALLING_PANEL)["visible"], 1)
                self.key("TAB")
                self.key("RETURN")
                self.question("Yes")
                self.assertEqual(p.wait(30), 5)
                self.release()


if __name__ == "__main__":
    unittest.main()
