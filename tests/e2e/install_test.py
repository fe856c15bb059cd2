"""File installation end to end: every storage form, volumes, the overwrite
rules, the replace and copy-error prompts, a missing volume and damaged
payloads."""
import os
import random
import shutil
import subprocess
import stat
import time
import unittest

import harness
import packages
from wizard_support import STATUS

TITLE = "Test Setup"
FILES = {
    "empty.txt": b"",
    "one.bin": b"\x01",
    "docs/readme.txt": 1000,
    "docs/deep/nested/block.bin": 32768,
    "data/large.bin": 300000,
    "data/medium.bin": 70001,
}


def files_block(destination, overwrite="always", attributes=None):
    block = '[[files]]\nsource = "payload"\ndestination = %s\noverwrite = "%s"\n' % (
        packages.toml_text(destination), overwrite)
    if attributes is not None:
        block += "attributes = [%s]\n" % ", ".join('"%s"' % a for a in attributes)
    return block


def temp_entries():
    temp = harness.temp_folder()
    return set(os.listdir(temp)) if os.path.isdir(temp) else set()


class InstallTestCase(harness.WineTestCase):
    """Checks that a run leaves nothing of its own in the temporary folder."""

    def setUp(self):
        super().setUp()
        self.temp_before = temp_entries()

    def start(self, exe, args=(), cwd=None):
        # Each run is judged by what it leaves itself.
        self.temp_before = temp_entries()
        return super().start(exe, args, cwd)

    def workdir_left(self):
        return sorted(temp_entries() - self.temp_before)

    def cabinet_copies(self):
        """The payload cabinet parts copied into the running setup's work folder."""
        return [f for entry in self.workdir_left()
                for _, _, files in os.walk(os.path.join(harness.temp_folder(), entry))
                for f in files if f.startswith("temp_")]

    def answer_copy_error(self, path, button, timeout=20000):
        """Waits for the copy-error message naming the file and presses the button."""
        box = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1",
                            "timeout=%d" % timeout, "--", "msgbox")[-1]
        self.assertIn(harness.windows_path(path), box["text"])
        self.assertEqual(box["buttons"], "Abort,Retry,Ignore")
        # The status line shows at most every 30 ms which file is copied;
        # while the message is up it names the file the message names.
        status = self.robot_ok("wait", "title=" + TITLE, "class=PvxPage", "--",
                               "waitctl", "id=%d" % STATUS, "timeout=0")[-1]
        self.assertTrue(status["text"].endswith(os.path.basename(path)), status["text"])
        self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "--",
                      "click", "caption=" + button)


class FormsTest(InstallTestCase):
    def test_every_form_installs_every_file(self):
        forms = {
            "cabinet mszip": '[package]\nform = "cabinet"\n',
            "cabinet stored data": '[package]\nform = "cabinet"\ncompression = "none"\n',
            "cabinet parts members span": '[package]\nform = "cabinet"\npart_size = 20000\n',
            "cabinet volumes": '[package]\nform = "cabinet"\ncompression = "none"\npart_size = 60000\n'
                               'volume_size = "%d"\n' % (os.path.getsize(harness.RUNTIME) + 150000),
            "stored": '[package]\nform = "stored"\n',
            "stored volumes": '[package]\nform = "stored"\nvolume_size = "%d"\n'
                              % (os.path.getsize(harness.RUNTIME) + 120000),
        }
        for name, package in forms.items():
            with self.subTest(name):
                folder = os.path.join(self.scratch, name.replace(" ", "_"))
                os.makedirs(folder)
                contents = packages.write_payload(os.path.join(folder, "payload"), FILES)
                target = packages.install_folder("Forms " + name)
                setup, _ = packages.build(folder, package + files_block(
                    harness.windows_path(target)))
                volumes = [n for n in os.listdir(folder) if n.startswith("setup-")]
                if "volumes" in name:
                    self.assertGreaterEqual(len(volumes), 1, "the package was meant to span volumes")
                self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
                for rel, data in contents.items():
                    path = os.path.join(target, rel)
                    with open(path, "rb") as f:
                        self.assertEqual(f.read(), data, rel)
                    source = os.path.join(folder, "payload", rel)
                    # Cabinets keep DOS times (2-second steps); stored records the exact time.
                    self.assertLessEqual(abs(os.path.getmtime(path) - os.path.getmtime(source)), 2, rel)
                self.assertEqual(self.workdir_left(), [])

    def test_attributes_are_kept(self):
        for form in ("cabinet", "stored"):
            with self.subTest(form):
                folder = os.path.join(self.scratch, form)
                packages.write_payload(os.path.join(folder, "payload"), {"ro.txt": 10})
                target = packages.install_folder("Attributes " + form)
                setup, _ = packages.build(folder, '[package]\nform = "%s"\n' % form + files_block(
                    harness.windows_path(target), attributes=["readonly", "archive"]))
                self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
                mode = os.stat(os.path.join(target, "ro.txt")).st_mode
                self.assertFalse(mode & stat.S_IWUSR, "read-only attribute lost")


class OverwriteTest(InstallTestCase):
    """Existing files older, as old as and newer than the package's."""

    def run_case(self, form, mode, existing_age):
        folder = os.path.join(self.scratch, "%s-%s-%s" % (form, mode, existing_age))
        packages.write_payload(os.path.join(folder, "payload"), {"f.txt": b"new content"})
        source = os.path.join(folder, "payload", "f.txt")
        now = int(time.time()) // 2 * 2
        os.utime(source, (now, now))
        target = packages.install_folder("Overwrite")
        os.makedirs(target)
        existing = os.path.join(target, "f.txt")
        with open(existing, "wb") as f:
            f.write(b"old")
        when = now + {"older": -3600, "same": 0, "newer": 3600}[existing_age]
        os.utime(existing, (when, when))
        setup, _ = packages.build(folder, '[package]\nform = "%s"\n' % form +
                                  files_block(harness.windows_path(target), mode))
        self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
        with open(existing, "rb") as f:
            return f.read() == b"new content"

    def test_modes_without_questions(self):
        expected = {
            ("always", "older"): True, ("always", "same"): True, ("always", "newer"): True,
            ("if-newer", "older"): True, ("if-newer", "same"): False, ("if-newer", "newer"): False,
            ("never", "older"): False, ("never", "same"): False, ("never", "newer"): False,
            ("ask-if-newer", "same"): False, ("ask-if-newer", "newer"): False,
        }
        for form in ("cabinet", "stored"):
            for (mode, age), replaced in expected.items():
                with self.subTest(form=form, mode=mode, existing=age):
                    self.assertEqual(self.run_case(form, mode, age), replaced)

    def test_read_only_cleared_only_when_replacing(self):
        folder = self.scratch
        packages.write_payload(os.path.join(folder, "payload"), {"a.txt": b"new", "b.txt": b"new"})
        target = packages.install_folder("ReadOnly")
        os.makedirs(target)
        for name in ("a.txt", "b.txt"):
            path = os.path.join(target, name)
            with open(path, "wb") as f:
                f.write(b"old")
            os.chmod(path, 0o444)
        body = ('[[files]]\nsource = "payload/a.txt"\ndestination = %s\noverwrite = "always"\n'
                '[[files]]\nsource = "payload/b.txt"\ndestination = %s\noverwrite = "never"\n') % (
            packages.toml_text(harness.windows_path(target)), packages.toml_text(harness.windows_path(target)))
        setup, _ = packages.build(folder, body)
        self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
        with open(os.path.join(target, "a.txt"), "rb") as f:
            self.assertEqual(f.read(), b"new")
        with open(os.path.join(target, "b.txt"), "rb") as f:
            self.assertEqual(f.read(), b"old")
        self.assertFalse(os.stat(os.path.join(target, "b.txt")).st_mode & stat.S_IWUSR)


def dos_attributes(path):
    """The hidden and system bits Wine keeps for a file (in its extended
    attribute user.DOSATTRIB, a hexadecimal text)."""
    try:
        text = os.getxattr(path, "user.DOSATTRIB").decode().strip("\0")
    except OSError:
        return 0
    return int(text, 16) & 0x6


class HiddenAndSystemTest(InstallTestCase):
    def test_hidden_and_system_destinations_are_replaced(self):
        # Windows lets CreateFile replace a hidden or system file only when
        # the call asks for the same bits, and Wine does not check: the
        # files must be replaced all the same and end with the attributes
        # of their members.
        cases = [  # (existing bits, member attributes, bits afterwards)
            (0x2, ["archive"], 0), (0x4, ["archive"], 0), (0x6, ["archive"], 0),
            (0x2, ["hidden"], 0x2), (0x4, ["hidden", "system"], 0x6),
        ]
        for form in ("cabinet", "stored"):
            for existing, attributes, after in cases:
                with self.subTest(form=form, existing=existing, member=attributes):
                    folder = os.path.join(self.scratch, "%s-%d-%s" % (form, existing, "-".join(attributes)))
                    packages.write_payload(os.path.join(folder, "payload"), {"desktop.ini": b"new"})
                    target = packages.install_folder("Hidden " + form)
                    os.makedirs(target, exist_ok=True)
                    path = os.path.join(target, "desktop.ini")
                    with open(path, "wb") as f:
                        f.write(b"old")
                    os.setxattr(path, "user.DOSATTRIB", b"0x%x" % existing)
                    self.assertEqual(dos_attributes(path), existing)
                    setup, _ = packages.build(folder, '[package]\nform = "%s"\n' % form + files_block(
                        harness.windows_path(target), attributes=attributes))
                    self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
                    with open(path, "rb") as f:
                        self.assertEqual(f.read(), b"new")
                    self.assertEqual(dos_attributes(path), after)
                    shutil.rmtree(target)


class PromptsTest(InstallTestCase):
    def setup_existing(self, names, form="cabinet"):
        folder = os.path.join(self.scratch, form)
        packages.write_payload(os.path.join(folder, "payload"), {n: b"new " + n.encode() for n in names})
        target = packages.install_folder("Prompts")
        os.makedirs(target)
        for n in names:
            with open(os.path.join(target, n), "wb") as f:
                f.write(b"old")
        setup, _ = packages.build(folder, '[package]\nform = "%s"\n' % form +
                                  files_block(harness.windows_path(target), "ask"))
        return setup, target

    def contents(self, target, names):
        out = {}
        for n in names:
            with open(os.path.join(target, n), "rb") as f:
                out[n] = f.read().startswith(b"new")
        return out

    def answer(self, how):
        """Answers the open question; returns its window handle."""
        win = ["wait", "class=ParvolexReplace", "visible=1", "timeout=20000"]
        if how.startswith("button:"):
            records = self.robot_ok(*win, "--", "click", "caption=" + how[7:])
        elif how == "escape":
            records = self.robot_ok(*win, "--", "key", "vk=ESCAPE")
        elif how == "enter":
            records = self.robot_ok(*win, "--", "key", "vk=RETURN")
        else:
            records = self.robot_ok(*win, "--", "close")
        return records[0]["hwnd"]

    def test_answers(self):
        names = ["a.txt", "b.txt", "c.txt"]
        cases = {
            # answers given, in order, and which files end up replaced
            "replace, skip, replace": (["button:Replace", "button:Skip", "button:Replace"],
                                       {"a.txt": True, "b.txt": False, "c.txt": True}),
            "replace all": (["button:Replace All"], {"a.txt": True, "b.txt": True, "c.txt": True}),
            "skip all": (["button:Skip All"], {"a.txt": False, "b.txt": False, "c.txt": False}),
            "escape, enter, close box": (["escape", "enter", "close"],
                                         {"a.txt": False, "b.txt": True, "c.txt": False}),
        }
        for form in ("cabinet", "stored"):
            for name, (answers, expected) in cases.items():
                with self.subTest(form=form, case=name):
                    setup, target = self.setup_existing(names, form)
                    p = self.start(setup, ["/S"])
                    for a in answers:
                        # The next question is a new window: wait until this one is gone.
                        self.robot_ok("gone", "hwnd=%d" % self.answer(a), "timeout=20000")
                    self.assertEqual(p.wait(60), 0)
                    self.assertEqual(self.contents(target, names), expected)

    def test_texts(self):
        setup, target = self.setup_existing(["a.txt"])
        p = self.start(setup, ["/S"])
        records = self.robot_ok("wait", "class=ParvolexReplace", "visible=1", "timeout=20000", "--", "dump")
        window = records[0]
        self.assertEqual(window["title"], TITLE)
        self.assertEqual((window["cw"], window["ch"]), (456, 159))
        texts = [r.get("text", "") for r in records if r["kind"] == "control"]
        self.assertIn(harness.windows_path(os.path.join(target, "a.txt")), texts)
        buttons = [r for r in records if r["kind"] == "control" and r.get("class") == "Button"]
        self.assertEqual([(b["x"], b["y"], b["w"], b["h"]) for b in buttons],
                         [(16, 124, 100, 23), (124, 124, 100, 23), (232, 124, 100, 23), (340, 124, 100, 23)])
        # A payload cabinet that lies whole in the setup file is read there:
        # no copy of it in the work folder while the files are placed.
        self.assertEqual(self.cabinet_copies(), [])
        self.answer("button:Skip")
        self.assertEqual(p.wait(60), 0)


class CopyErrorTest(InstallTestCase):
    def test_destination_is_a_directory(self):
        cases = {"Ignore": 4, "Abort": 5}
        for button, code in cases.items():
            with self.subTest(button):
                folder = os.path.join(self.scratch, button)
                packages.write_payload(os.path.join(folder, "payload"), {"f.txt": b"x", "g.txt": b"y"})
                target = packages.install_folder("CopyError")
                os.makedirs(os.path.join(target, "f.txt"))
                setup, _ = packages.build(folder, files_block(harness.windows_path(target)))
                p = self.start(setup, ["/S"])
                self.answer_copy_error(os.path.join(target, "f.txt"), button)
                if button == "Abort":
                    aborted = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1",
                                            "timeout=20000", "--", "msgbox")[-1]
                    self.assertEqual(aborted["icon"], "warning")
                    self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "--",
                                  "click", "caption=OK")
                self.assertEqual(p.wait(60), code)
                if button == "Ignore":
                    with open(os.path.join(target, "g.txt"), "rb") as f:
                        self.assertEqual(f.read(), b"y")
                self.assertEqual(self.workdir_left(), [])

    def test_retry_after_the_obstacle_is_gone(self):
        packages.write_payload(os.path.join(self.scratch, "payload"), {"f.txt": b"x"})
        target = packages.install_folder("CopyRetry")
        os.makedirs(os.path.join(target, "f.txt"))
        setup, _ = packages.build(self.scratch, '[package]\nform = "stored"\n' +
                                  files_block(harness.windows_path(target)))
        p = self.start(setup, ["/S"])
        self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "timeout=20000")
        os.rmdir(os.path.join(target, "f.txt"))
        self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "--", "click", "caption=Retry")
        self.assertEqual(p.wait(60), 0)
        with open(os.path.join(target, "f.txt"), "rb") as f:
            self.assertEqual(f.read(), b"x")


class FullDiskTest(InstallTestCase):
    """A destination on a 1 MiB file system that a 2 MiB member overfills."""

    def setUp(self):
        super().setUp()
        self.disk = os.path.join(self.scratch, "small-disk")
        os.makedirs(self.disk)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", self.disk],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small file system here: %s" % mounted.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["umount", "-l", self.disk])

    def test_a_full_disk_gets_the_copy_error_and_exit_code_4(self):
        for form in ("cabinet", "stored"):
            with self.subTest(form):
                folder = os.path.join(self.scratch, form)
                packages.write_payload(os.path.join(folder, "payload"), {
                    "a.txt": b"first file\r\n" * 100,
                    "big.bin": bytes(random.Random(7).getrandbits(8) for _ in range(2 << 20)),
                    "z.txt": b""})
                target = os.path.join(self.disk, form)
                setup, _ = packages.build(folder, '[package]\nform = "%s"\n' % form +
                                          files_block(harness.windows_path(target)))
                p = self.start(setup, ["/S"])
                self.answer_copy_error(os.path.join(target, "big.bin"), "Ignore", timeout=30000)
                self.assertEqual(p.wait(60), 4)
                # The files around the one that did not fit are complete.
                with open(os.path.join(target, "a.txt"), "rb") as f:
                    self.assertEqual(f.read(), b"first file\r\n" * 100)
                self.assertEqual(os.path.getsize(os.path.join(target, "z.txt")), 0)
                self.assertEqual(self.workdir_left(), [])
                shutil.rmtree(target)


    def big_payload(self, folder, tail=()):
        contents = {"a.txt": b"first file\r\n" * 100,
                    "big.bin": bytes(random.Random(7).getrandbits(8) for _ in range(2 << 20))}
        contents.update({name: b"" for name in tail})
        packages.write_payload(os.path.join(folder, "payload"), contents)
        return contents

    def test_retry_after_freeing_space_writes_each_byte_once(self):
        # The write that fills the disk stops short; after space is made,
        # Retry writes only the rest, so the file is whole and nothing twice.
        for form in ("cabinet", "stored"):
            with self.subTest(form):
                # A disk of its own: one that a failed case filled cannot
                # always be shrunk again.
                disk = os.path.join(self.scratch, "retry-disk-" + form)
                os.makedirs(disk)
                subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", disk], check=True)
                self.addCleanup(subprocess.run, ["umount", "-l", disk])
                target = os.path.join(disk, form)
                folder = os.path.join(self.scratch, "retry-" + form)
                contents = self.big_payload(folder)
                setup, _ = packages.build(folder, '[package]\nform = "%s"\n' % form +
                                          files_block(harness.windows_path(target)))
                p = self.start(setup, ["/S"])
                box = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1",
                                    "timeout=30000", "--", "msgbox")[-1]
                self.assertIn("big.bin", box["text"])
                subprocess.run(["mount", "-o", "remount,size=8m", disk], check=True)
                self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "--",
                              "click", "caption=Retry")
                self.assertEqual(p.wait(60), 0)
                with open(os.path.join(target, "big.bin"), "rb") as f:
                    self.assertTrue(f.read() == contents["big.bin"], "big.bin differs from its member")
                self.assertEqual(self.workdir_left(), [])

    def test_abort_inside_a_member_that_spans_parts_stops_at_once(self):
        # The member runs over many cabinet parts; the decompressor has
        # asked for the next one when the disk fills. After Abort nothing
        # more is written and no other prompt comes before the notice.
        folder = os.path.join(self.scratch, "abort")
        self.big_payload(folder, tail=("z1.txt", "z2.txt"))
        target = os.path.join(self.disk, "abort")
        setup, _ = packages.build(folder, '[package]\ncompression = "none"\npart_size = "64K"\n' +
                                  files_block(harness.windows_path(target)))
        p = self.start(setup, ["/S"])
        self.answer_copy_error(os.path.join(target, "big.bin"), "Abort", timeout=30000)
        notice = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1",
                               "timeout=20000", "--", "msgbox")[-1]
        self.assertEqual((notice["icon"], notice["buttons"]), ("warning", "OK"), notice["text"])
        self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "--", "click", "caption=OK")
        self.assertEqual(p.wait(60), 5)
        self.assertEqual([n for n in os.listdir(target) if n.startswith("z")], [],
                         "files were written after Abort")
        self.assertEqual(self.workdir_left(), [])


class NoWorkFolderTest(InstallTestCase):
    """TEMP and TMP name a file: the run's own work folder cannot be made,
    and a cabinet payload, which is read through it, cannot be placed."""

    def test_cabinet_payload_ends_with_code_1_before_installing_anything(self):
        blocker = harness.windows_path(os.path.join(self.scratch, "temp-is-a-file"))
        with open(os.path.join(self.scratch, "temp-is-a-file"), "wb") as f:
            f.write(b"not a folder")
        # Wine gives a program started from Linux the prefix's own TEMP and
        # TMP; one started by a Windows program inherits that program's.
        launcher = os.path.join(self.scratch, "launch.bat")
        with open(launcher, "w", newline="\r\n") as f:
            f.write("@set TEMP=%s\n@set TMP=%s\n@%%*\n@exit /b %%errorlevel%%\n" % (blocker, blocker))
        for layout in ("one volume", "volumes"):
            for silent in (True, False):
                with self.subTest(layout=layout, silent=silent):
                    folder = os.path.join(self.scratch, "%s-%s" % (layout, silent))
                    packages.write_payload(os.path.join(folder, "payload"), {"big.bin": 200000})
                    target = packages.install_folder("No Work Folder")
                    ini = os.path.join(self.scratch, "written.ini")
                    package = '[package]\ncompression = "none"\n'
                    if layout == "volumes":
                        package += 'volume_size = "%d"\n' % (os.path.getsize(harness.RUNTIME) + 90000)
                    package += '[pages]\nwelcome = false\nfolder = false\nready = false\nfinish = false\n'
                    package += "[uninstall]\nuninstaller = true\n"
                    package += '[[ini]]\nfile = %s\nsection = "S"\nkey = "K"\nvalue = "v"\n' % (
                        packages.toml_text(harness.windows_path(ini)))
                    setup, _ = packages.build(folder, package + files_block(harness.windows_path(target)))
                    p = harness.WinProcess("cmd", ["/c", harness.windows_path(launcher), harness.windows_path(setup)]
                                           + (["/S"] if silent else []), self.env)
                    self._processes.append(p)
                    if not silent:
                        box = self.robot_ok("wait", "title=Error", "exe=setup.exe", "visible=1",
                                            "timeout=20000", "--", "msgbox")[-1]
                        self.assertEqual(box["icon"], "error")
                        self.robot_ok("wait", "title=Error", "exe=setup.exe", "--", "click", "caption=OK")
                    self.assertEqual(p.wait(60), 1)
                    self.assertFalse(os.path.exists(target), "files were placed")
                    self.assertFalse(os.path.exists(ini), "an INI entry was written")


class NoDecompressorTest(InstallTestCase):
    """cabinet.dll cannot be loaded (disabled for these runs alone through
    WINEDLLOVERRIDES, which Wine reads per process: the shared prefix is
    untouched). A cabinet-form package cannot be unpacked: that is the
    system's fault, not the package's, so it ends with exit code 3 and a
    message naming cabinet.dll, before anything is asked or placed. A
    stored-form package does not need the decompressor."""

    def package(self, form):
        folder = os.path.join(self.scratch, form)
        contents = packages.write_payload(os.path.join(folder, "payload"), {"a.bin": 5000})
        target = packages.install_folder("No Decompressor " + form)
        ini = os.path.join(self.scratch, form + ".ini")
        body = '[package]\nform = "%s"\n' % form
        body += '[pages]\nwelcome = false\nfolder = false\nready = false\nfinish = false\n'
        body += '[[ini]]\nfile = %s\nsection = "S"\nkey = "K"\nvalue = "v"\n' % (
            packages.toml_text(harness.windows_path(ini)))
        setup, _ = packages.build(folder, body + files_block(harness.windows_path(target)))
        return setup, target, ini, contents

    def run_without_cabinet_dll(self, setup, args):
        env = dict(self.env)
        env["WINEDLLOVERRIDES"] = env.get("WINEDLLOVERRIDES", "") + ";cabinet=d"
        self.temp_before = temp_entries()
        p = harness.WinProcess(setup, args, env)
        self._processes.append(p)
        return p

    def events(self, log):
        with open(log, "rb") as f:
            text = f.read().decode("latin-1")
        return [line[25:] for line in text.split("\r\n") if line]

    def test_cabinet_form_ends_with_code_3_and_places_nothing(self):
        for silent in (True, False):
            with self.subTest(silent=silent):
                setup, target, ini, _ = self.package("cabinet")
                log = os.path.join(self.scratch, "cabinet-%s.log" % silent)
                p = self.run_without_cabinet_dll(
                    setup, (["/S"] if silent else []) + ["/LOG=" + harness.windows_path(log)])
                if not silent:
                    box = self.robot_ok("wait", "title=Error", "exe=setup.exe", "visible=1",
                                        "timeout=20000", "--", "msgbox")[-1]
                    self.assertEqual(box["icon"], "error")
                    self.assertIn("cabinet.dll", box["text"])
                    self.assertIn("missing or unusable", box["text"])
                    self.assertNotIn("corrupted", box["text"])
                    self.robot_ok("wait", "title=Error", "exe=setup.exe", "--", "click", "caption=OK")
                self.assertEqual(p.wait(60), 3)
                events = self.events(log)
                self.assertEqual(events[-1], "Exit code 3: no usable cabinet.dll")
                self.assertRegex(events[-2], r"^Extraction: error \d+$")
                # Ended while the resource area was unpacked: no language
                # was chosen, nothing was checked or installed.
                self.assertFalse(any(e.startswith(("Language", "Installing", "File ")) for e in events),
                                 events)
                self.assertFalse(os.path.exists(target), "files were placed")
                self.assertFalse(os.path.exists(ini), "an INI entry was written")
                self.assertEqual(self.workdir_left(), [])

    def test_stored_form_installs_without_it(self):
        setup, target, ini, contents = self.package("stored")
        self.assertEqual(self.run_without_cabinet_dll(setup, ["/S"]).wait(60), 0)
        with open(os.path.join(target, "a.bin"), "rb") as f:
            self.assertEqual(f.read(), contents["a.bin"])
        self.assertTrue(os.path.exists(ini))
        self.assertEqual(self.workdir_left(), [])


class VolumesTest(InstallTestCase):
    def test_missing_volume_is_asked_for(self):
        for form in ("cabinet", "stored"):
            with self.subTest(form):
                folder = os.path.join(self.scratch, form)
                contents = packages.write_payload(os.path.join(folder, "payload"), {"big.bin": 200000})
                target = packages.install_folder("Volumes " + form)
                package = '[package]\nform = "%s"\ncompression = "none"\nvolume_size = "%d"\n' % (
                    form, os.path.getsize(harness.RUNTIME) + 90000)
                setup, _ = packages.build(folder, package + files_block(harness.windows_path(target)))
                elsewhere = os.path.join(folder, "disk2")
                os.makedirs(elsewhere)
                for n in os.listdir(folder):
                    if n.startswith("setup-"):
                        shutil.move(os.path.join(folder, n), elsewhere)
                p = self.start(setup, ["/S"])
                win = ["wait", "class=ParvolexNewDisk", "visible=1", "timeout=20000"]
                dump = self.robot_ok(*win, "--", "dump")
                self.assertEqual((dump[0]["cw"], dump[0]["ch"]), (382, 163))
                if form == "cabinet":
                    # The part that runs on into the missing volume is being
                    # copied out of both volumes into the work folder.
                    self.assertEqual(self.cabinet_copies(), ["temp_0.tmp"])
                self.assertTrue(any("#2" in r.get("text", "") for r in dump if r["kind"] == "control"))
                edit = [r for r in dump if r["kind"] == "control" and r.get("class") == "Edit"][0]
                wrong = harness.windows_path(self.scratch)
                self.robot_ok(*win, "--", "type", "id=%d" % edit["id"], "text=" + wrong, "--", "click", "caption=OK")
                box = self.robot_ok("wait", "class=#32770", "exe=setup.exe", "visible=1", "timeout=20000",
                                    "--", "msgbox")[-1]
                self.assertIn(wrong, box["text"])
                self.robot_ok("wait", "class=#32770", "exe=setup.exe", "visible=1", "--", "click", "caption=OK")
                self.robot_ok(*win, "--", "type", "id=%d" % edit["id"], "text=" + harness.windows_path(elsewhere),
                              "--", "click", "caption=OK")
                self.assertEqual(p.wait(60), 0)
                with open(os.path.join(target, "big.bin"), "rb") as f:
                    self.assertEqual(f.read(), contents["big.bin"])


class DamagedPayloadTest(InstallTestCase):
    def damaged_package(self, form):
        folder = os.path.join(self.scratch, form)
        packages.write_payload(os.path.join(folder, "payload"), {"a.bin": 100000, "b.bin": 5000})
        target = packages.install_folder("Damaged " + form)
        # No pages before Installing: the installation starts at once.
        pages = '[pages]\nwelcome = false\nfolder = false\nready = false\nfinish = false\n'
        setup, _ = packages.build(folder, '[package]\nform = "%s"\n' % form + pages +
                                  files_block(harness.windows_path(target)))
        size = os.path.getsize(setup)
        with open(setup, "r+b") as f:
            f.seek(size - 36 + 24)
            payload = int.from_bytes(f.read(8), "little")
            # Cut the payload short: keep the trailer, drop half the data.
            f.seek(0)
            data = f.read()
            f.seek(0)
            f.truncate()
            f.write(data[:payload + 30000] + data[-36:])
        return setup

    def test_damaged_payload_ends_with_code_1(self):
        for form in ("cabinet", "stored"):
            with self.subTest(form=form, silent=True):
                self.assertEqual(self.start(self.damaged_package(form), ["/S"]).wait(60), 1)
                self.assertEqual(self.workdir_left(), [])
            with self.subTest(form=form, silent=False):
                p = self.start(self.damaged_package(form))
                box = self.robot_ok("wait", "title=Error", "exe=setup.exe", "visible=1",
                                    "timeout=20000", "--", "msgbox")[-1]
                self.assertEqual(box["icon"], "error")
                self.robot_ok("wait", "title=Error", "exe=setup.exe", "--", "click", "caption=OK")
                self.assertEqual(p.wait(60), 1)


if __name__ == "__main__":
    unittest.main()
