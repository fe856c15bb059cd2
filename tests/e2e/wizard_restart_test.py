"""Restart now on the Finish page, in a Wine prefix of its own.

A forced restart under Wine ends every program of the prefix and then runs
the start-up work of a booting system, RunOnce entries included. The test
copies the session's prefix (hard links; the registry and INI files as copies),
registers the recorder under RunOnce there, and sees it run: the setup
reached ExitWindowsEx with a reboot. The session's own prefix, and with it
every other test, is left alone."""
import os
import shutil
import subprocess
import time
import unittest

import harness
from wizard_support import *  # noqa: F401,F403


class RestartTest(WizardCase):
    def setUp(self):
        super().setUp()
        self.prefix = os.path.join(self.scratch, "prefix")
        subprocess.run(["cp", "-al", harness.PREFIX, self.prefix], check=True)
        # Files that Wine rewrites in place must not be shared.
        for folder in ("", os.path.join("drive_c", "windows")):
            for name in os.listdir(os.path.join(harness.PREFIX, folder)):
                if name.endswith((".reg", ".ini")):
                    copy = os.path.join(self.prefix, folder, name)
                    os.remove(copy)
                    shutil.copy2(os.path.join(harness.PREFIX, folder, name), copy)
        self.own_env = dict(self.env, WINEPREFIX=self.prefix)

    def tearDown(self):
        subprocess.run(["wineserver", "-k"], env=self.own_env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        super().tearDown()

    def robot_in_prefix(self, *args):
        from robot import parse_records
        code, out = harness.run_robot(self.own_env, list(args), 60)
        records = parse_records(out)
        self.assertEqual(code, 0, records)
        return records

    @staticmethod
    def logged(log):
        if not os.path.exists(log):
            return False
        with open(log) as f:
            return "booted" in f.read()

    def test_restart_now_reboots_the_prefix(self):
        log = os.path.join(self.scratch, "reboot.log")
        recorder = os.path.join(self.scratch, "recorder.exe")
        shutil.copy(os.path.join(harness.BIN, "recorder.exe"), recorder)
        subprocess.run([harness.WINE, "reg", "add", r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce", "/v",
                        "pvx", "/d", "%s %s booted" % (harness.windows_path(recorder), harness.windows_path(log)),
                        "/f"], env=self.own_env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=120)
        exe = self.build(pages("finish") + "[finish]\nrestart = true\n")
        p = harness.WinProcess(exe, ["/L=English"], self.own_env)
        self._processes.append(p)
        hwnd = self.robot_in_prefix("wait", "title=" + self.title, "class=PvxPage", "visible=1")[0]["hwnd"]
        self.robot_in_prefix("wait", "hwnd=0x%x" % hwnd, "--", "waitctl", "id=%d" % RESTART_NOW, "visible=1")
        self.assertFalse(os.path.exists(log))  # no start-up work has run it before
        self.robot_in_prefix("wait", "hwnd=0x%x" % hwnd, "--", "click", "id=%d" % NEXT)
        self.assertEqual(p.wait(60), 0)
        deadline = time.monotonic() + 90
        while not self.logged(log):
            self.assertLess(time.monotonic(), deadline, "the prefix did not restart")
            time.sleep(0.1)


if __name__ == "__main__":
    unittest.main()
