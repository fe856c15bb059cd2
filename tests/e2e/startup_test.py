"""The runtime's first steps: the package trailer and the ways a run ends
before the wizard."""
import os
import shutil
import unittest

import harness

CORRUPTED = "The setup files are corrupted. Please obtain a new copy of the program."


def temp_entries():
    temp = harness.temp_folder()
    return set(os.listdir(temp)) if os.path.isdir(temp) else set()


class DamagedPackageTest(harness.WineTestCase):
    def make_package(self, damage):
        path = os.path.join(self.scratch, "setup.exe")
        shutil.copyfile(harness.RUNTIME, path)
        size = os.path.getsize(path)
        with open(path, "ab") as f:
            f.write(b"Parvolex v. 5.02\0" + b"0\0" * 120)
        damage(path, size)
        return path

    def assert_corruption_message(self, args):
        cases = {
            "last byte 0xF0": lambda p, s: harness.append_trailer(p, s, 0, s, s, magic=0xF0),
            "no package at all": lambda p, s: None,
            "script offset at 2 GiB": lambda p, s: harness.append_trailer(p, 0x80000000, 0, s, s),
            "negative payload offset": lambda p, s: harness.append_trailer(p, s, 0, s, -1),
        }
        for name, damage in cases.items():
            with self.subTest(name):
                setup = self.make_package(damage)
                before = temp_entries()
                p = self.start(setup, args)
                box = self.robot_ok("wait", "title=Error", "exe=setup.exe", "visible=1",
                                    "--", "msgbox")
                msg = [r for r in box if r["kind"] == "msgbox"][0]
                self.assertEqual(msg["caption"], "Error")
                self.assertEqual(msg["text"], CORRUPTED)
                self.assertEqual(msg["icon"], "error")
                self.assertEqual(msg["buttons"], "OK")
                # The work folder is already gone while the message shows.
                self.assertEqual(temp_entries() - before, set())
                self.robot_ok("wait", "title=Error", "exe=setup.exe", "--", "click", "caption=OK")
                self.assertEqual(p.wait(30), 1)
                self.assertEqual(temp_entries() - before, set())

    def test_interactive(self):
        self.assert_corruption_message([])

    def test_silent_still_shows_the_message(self):
        self.assert_corruption_message(["/S"])


class MinimalPackageTest(harness.WineTestCase):
    def test_valid_trailer_ends_cleanly(self):
        path = os.path.join(self.scratch, "setup.exe")
        shutil.copyfile(harness.RUNTIME, path)
        size = os.path.getsize(path)
        header = [b"0"] * 121
        header[0] = b"Parvolex v. 5.02"
        header[65] = b"Minimal"
        with open(path, "ab") as f:
            f.write(b"".join(h + b"\0" for h in header))
        end = os.path.getsize(path)
        harness.append_trailer(path, size, 0, end, end, form=0)
        for args in ([], ["/S"]):
            with self.subTest(args=args):
                before = temp_entries()
                self.assertEqual(self.start(path, args).wait(30), 0)
                self.assertEqual(temp_entries() - before, set())



class OutOfMemoryTest(harness.WineTestCase):
    def test_the_programs_way_out_runs_once(self):
        # The runtime's way out cleans its work folder and logs; an
        # allocation failing on that way out must not loop.
        fixture = os.path.join(harness.BIN, "out_of_memory.exe")
        for how, code in (("handler", 42), ("again", 1), ("none", 1)):
            with self.subTest(how):
                self.assertEqual(self.start(fixture, [how]).wait(30), code)


if __name__ == "__main__":
    unittest.main()
