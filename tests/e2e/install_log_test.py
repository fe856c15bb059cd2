"""The installation log ("/LOG", "/LOG=path") end to end: what a silent
installation logs and in which order, failures with their error codes, the
last line of an aborted run, the file in the temporary folder, a log that
cannot be made, the pages of an interactive run, and no file at all
without the switch."""
import datetime
import os
import re
import shutil
import time
import unittest

import harness
import packages
import wizard_support
from actions_test import ActionsCase, FONTS_KEY, MARKER_KEY, RECORDER, TEST_KEY, toml_records, toml_text

STAMP = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  ")
KEY = TEST_KEY + r"\Log"
FONT = "Pvx Log Font"


def read_log(test, path):
    """The events of a log, without their time stamps; every line must be
    stamped and end with CR LF."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    test.assertTrue(text.endswith("\r\n"), repr(text[-80:]))
    events = []
    for line in text[:-2].split("\r\n"):
        test.assertRegex(line, STAMP)
        events.append(line[25:])
    return events


def temp_logs():
    temp = harness.temp_folder()
    return sorted(n for n in os.listdir(temp) if n.startswith("Setup Log")) if os.path.isdir(temp) else []


class LogCase(ActionsCase):
    def log_path(self, *parts):
        return os.path.join(self.scratch, "logs", *parts)

    def hold(self, host_path, name="holder"):
        """A program that holds the file open without sharing until the
        flag file name + ".release" exists (made at the latest when the test
        ends)."""
        flag = os.path.join(self.scratch, name + ".release")
        record = os.path.join(self.scratch, name + ".txt")
        p = self.start(RECORDER, [harness.windows_path(record), "hold=" + harness.windows_path(host_path),
                                  "until=" + harness.windows_path(flag)])
        def started():
            if not os.path.exists(record):
                return False
            with open(record, "rb") as f:
                return f.read().startswith(b"start")

        deadline = time.time() + 60
        while not started():
            self.assertLess(time.time(), deadline, "the holder did not start")
            time.sleep(0.05)
        self.addCleanup(lambda: os.path.isdir(self.scratch) and open(flag, "w").close())
        return p

    def copy_error_box(self):
        box = self.robot_ok("wait", "title=Actions", "class=#32770", "visible=1", "timeout=30000",
                            "--", "msgbox")[-1]
        self.assertEqual(box["buttons"], "Abort,Retry,Ignore")

    def click(self, caption):
        self.robot_ok("wait", "title=Actions", "class=#32770", "visible=1", "--", "click", "caption=" + caption)


class SilentLogTest(LogCase):
    def setUp(self):
        super().setUp()
        for key in ("HKCU\\" + KEY, MARKER_KEY):
            self.reg_delete(key)
            self.addCleanup(self.reg_delete, key)
        self.reg_delete(FONTS_KEY, FONT)
        self.addCleanup(self.reg_delete, FONTS_KEY, FONT)

    def test_every_kind_of_record_is_logged_in_order(self):
        folder, host = self.app("log")
        os.makedirs(host)
        with open(os.path.join(host, "b.txt"), "wb") as f:
            f.write(b"older b")
        record = harness.windows_path(os.path.join(self.scratch, "commands.txt"))
        recorder = harness.windows_path(RECORDER)
        lists = {
            "commands": [["", recorder, record + " tag=before", "1", "0", "1"],
                         ["", "@$&%04\\Uninstall.exe", record + " tag=after", "1", "1", "1"]],
            "folders": [["@$&%04\\data", "1"]],
            "registry_entries": [["1", KEY, "v", "x", "0", "1", "0"], ["1", KEY, "kept", "y", "0", "0", "0"]],
            "fonts": [[FONT, "@$&%04\\PvxLog.ttf"]],
            "shortcuts": [["4", "@$&%04\\links\\one.lnk", "@$&%04\\a.txt", "", "", "", "0", ""]],
            "ini_entries": [["@$&%04\\a.ini", "S", "K", "V", "1", "0"]],
            "com_registrations": [["@$&%04\\comserver.dll", "1"]],
        }
        self.reg_add("HKCU\\" + KEY, "kept", "old")
        files = "\n".join('[[files]]\nsource = "%s"\ndestination = "{app}"%s' % (n, extra) for n, extra in (
            ("a.txt", ""), ("b.txt", '\noverwrite = "never"'), ("Uninstall.exe", ""), ("comserver.dll", ""),
            ("PvxLog.ttf", "")))
        body = "\n".join(["[uninstall]", files, "[header]\n40 = 2", "[raw]"] +
                         ["%s = %s" % (name, toml_records(r)) for name, r in lists.items()])
        setup = self.build(self.project(folder, body), [
            ("a.txt", b"a"), ("b.txt", b"b"), ("Uninstall.exe", RECORDER), ("PvxLog.ttf", b"no font"),
            ("comserver.dll", os.path.join(harness.BIN, "comserver.dll"))])
        log = self.log_path("new", "deeper", "setup.log")  # the folders are made
        self.assertEqual(self.start(setup, ["/S", "/LOG=" + harness.windows_path(log)]).wait(120), 0)

        esc = re.escape
        app = esc(folder + "\\")
        expected = [
            r"Parvolex 5\.02: .*setup\.exe\"? /S /LOG=" + esc(harness.windows_path(log)),
            r"Package: cabinet form, script at \d+, resources at \d+ \(\d+ bytes\), payload at \d+",
            r"Title: Actions \(silent\)",
            r"Language: English \(only one\)",
            r"Check system version: passed",
            r"Installing to %s, group .*" % app,
            r"Command %s %s tag=before: done" % (esc(recorder), esc(record)),
            r"Command %s: exit code 0" % esc(recorder),
            r"File %sa\.txt: written \(new\)" % app,
            r"File %sb\.txt: kept \(overwrite mode never\)" % app,
            r"File %sUninstall\.exe: written \(new\)" % app,
            r"File %scomserver\.dll: written \(new\)" % app,
            r"File %sPvxLog\.ttf: written \(new\)" % app,
            r"Folder %sdata: done" % app,
            r'Registry HKCU\\%s, value "v": done' % esc(KEY),
            r'Registry HKCU\\%s, value "kept": kept \(exists\)' % esc(KEY),
            r'Registry HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts, value "%s": done' % FONT,
            # Not a real font: whether the system takes it is its own affair.
            r"Font %sPvxLog\.ttf: .*" % app,
            r"Shortcut %slinks\\one\.lnk: done" % app,
            r"Uninstaller %sUninstall\.exe: done" % app,
            r"Uninstall record %sUninstall\.ini: done" % app,
            r"INI %sa\.ini \[S\] K: done" % app,
            r"COM registration %scomserver\.dll: done" % app,
            r"Command %sUninstall\.exe %s tag=after: done" % (app, esc(record)),
            r"Command %sUninstall\.exe: exit code 0" % app,
            r"Exit code 0: installed",
        ]
        events = read_log(self, log)
        self.assertEqual(len(events), len(expected), "\n".join(events))
        for event, pattern in zip(events, expected):
            self.assertRegex(event, "^(?:%s)$" % pattern)

    def test_failures_carry_their_error_codes(self):
        for form in ("cabinet", "stored"):
            with self.subTest(form):
                folder, host = self.app("log-fail-" + form)
                os.makedirs(host)
                self.hold(os.path.join(host, "locked.txt"), form)
                lists = {
                    "registry_entries": [["9", KEY, "v", "x", "0", "1", "0"]],
                    "fonts": [[FONT, "@$&%04\\missing.ttf"]],
                    "com_registrations": [["@$&%04\\missing.dll", "0"], ["@$&%04\\comserver_noexport.dll", "0"]],
                    "commands": [["", "@$&%04\\missing.exe", "", "1", "1", "1"]],
                }
                files = "\n".join('[[files]]\nsource = "%s"\ndestination = "{app}"' % n
                                  for n in ("locked.txt", "free.txt", "comserver_noexport.dll"))
                body = "\n".join(['[package]\nform = "%s"' % form, files, "[header]\n40 = 1", "[raw]"] +
                                 ["%s = %s" % (name, toml_records(r)) for name, r in lists.items()])
                setup = self.build(self.project(folder, body), [
                    ("locked.txt", b"new"), ("free.txt", b"free"),
                    ("comserver_noexport.dll", os.path.join(harness.BIN, "comserver_noexport.dll"))])
                log = self.log_path(form + ".log")
                p = self.start(setup, ["/S", "/LOG=" + harness.windows_path(log)])
                self.copy_error_box()
                # Written as it goes: the failure is on disk while the question waits.
                self.assertRegex(read_log(self, log)[-1], r"^File .*locked\.txt: failed, error 32 \(.+\)$")
                self.click("Ignore")
                self.assertEqual(p.wait(120), 4)
                events = read_log(self, log)
                app = re.escape(folder + "\\")
                for pattern in (
                        # The holder made the file: it exists.
                        r"File %slocked\.txt: replaced \(overwrite mode always\)" % app,
                        r"File %slocked\.txt: failed, error 32 \(.+\)" % app,
                        r"Answer: Ignore",
                        r"File %sfree\.txt: written \(new\)" % app,
                        r'Registry no root\\%s, value "v": failed, error 6 \(.+\)' % re.escape(KEY),
                        r"Font %smissing\.ttf: failed, error 2 \(.+\)" % app,
                        r"COM registration %smissing\.dll: failed, error 126 \(.+\)" % app,
                        r"COM registration %scomserver_noexport\.dll: failed, error 127 \(.+\)" % app,
                        r"Command %smissing\.exe : failed, error 2 \(.+\)" % app,
                        r"Exit code 4: installed, files failed"):
                    self.assertTrue(any(re.fullmatch(pattern, e) for e in events), pattern + "\n" + "\n".join(events))
                self.assertEqual(events[-1], "Exit code 4: installed, files failed")
                with open(os.path.join(self.scratch, form + ".release"), "w"):
                    pass

    def test_an_aborted_installation_ends_with_exit_code_5(self):
        folder, host = self.app("log-abort")
        os.makedirs(host)
        self.hold(os.path.join(host, "locked.txt"))
        files = "\n".join('[[files]]\nsource = "%s"\ndestination = "{app}"' % n for n in ("locked.txt", "later.txt"))
        setup = self.build(self.project(folder, files), [("locked.txt", b"new"), ("later.txt", b"later")])
        log = self.log_path("abort.log")
        p = self.start(setup, ["/S", "/LOG=" + harness.windows_path(log)])
        self.copy_error_box()
        self.click("Abort")
        self.robot_ok("wait", "title=Actions", "class=#32770", "visible=1", "timeout=20000", "--", "msgbox")
        self.click("OK")
        self.assertEqual(p.wait(60), 5)
        events = read_log(self, log)
        self.assertEqual(events[-2:], ["Answer: Abort", "Exit code 5: installation aborted"])
        self.assertFalse(any("later.txt" in e for e in events))

    def test_a_damaged_package_logs_its_exit(self):
        setup = os.path.join(self.scratch, "setup.exe")
        shutil.copyfile(harness.RUNTIME, setup)  # no package at all
        log = self.log_path("damaged.log")
        p = self.start(setup, ["/S", "/LOG=" + harness.windows_path(log)])
        self.robot_ok("wait", "title=Error", "exe=setup.exe", "visible=1", "--", "click", "caption=OK")
        self.assertEqual(p.wait(60), 1)
        events = read_log(self, log)
        self.assertEqual(len(events), 2, events)
        self.assertTrue(events[0].startswith("Parvolex 5.02: "), events[0])
        self.assertEqual(events[1], "Exit code 1: package trailer damaged")

    def test_a_log_that_cannot_be_made_is_left_out(self):
        folder, host = self.app("log-unmade")
        setup = self.build(self.project(folder, '[[files]]\nsource = "a.txt"\ndestination = "{app}"'),
                           [("a.txt", b"a")])
        blocker = os.path.join(self.scratch, "a-file")
        with open(blocker, "wb"):
            pass
        os.makedirs(self.log_path("a-folder"))
        cases = {
            "below a file": os.path.join(blocker, "setup.log"),
            "a folder": self.log_path("a-folder"),
            "empty path after /LOG= goes to the temporary folder": None,
        }
        for name, path in cases.items():
            with self.subTest(name):
                shutil.rmtree(host, ignore_errors=True)
                before = temp_logs()
                arg = "/LOG=" + (harness.windows_path(path) if path else "")
                self.assertEqual(self.start(setup, ["/S", arg]).wait(60), 0)
                self.assertTrue(os.path.exists(os.path.join(host, "a.txt")))
                new = sorted(set(temp_logs()) - set(before))
                for n in new:
                    self.addCleanup(os.remove, os.path.join(harness.temp_folder(), n))
                self.assertEqual(len(new), 0 if path else 1)
        self.assertEqual(os.listdir(self.log_path("a-folder")), [])


class TemporaryFolderLogTest(LogCase):
    NAME = re.compile(r"Setup Log (\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d)( \((\d+)\))?\.txt")

    def setup_exe(self):
        folder, _ = self.app("log-temp")
        return self.build(self.project(folder, '[[files]]\nsource = "a.txt"\ndestination = "{app}"'),
                          [("a.txt", b"a")])

    def new_logs(self, before):
        new = sorted(set(temp_logs()) - set(before))
        for n in new:
            self.addCleanup(os.remove, os.path.join(harness.temp_folder(), n))
        return new

    def test_switch_forms(self):
        setup = self.setup_exe()
        for switch in ("/LOG", "/log", "/Log="):
            with self.subTest(switch):
                before = temp_logs()
                started = datetime.datetime.now().replace(microsecond=0)
                self.assertEqual(self.start(setup, ["/S", switch]).wait(60), 0)
                ended = datetime.datetime.now()
                (name,) = self.new_logs(before)
                m = self.NAME.fullmatch(name)
                self.assertIsNotNone(m, name)
                stamp = datetime.datetime.strptime(m.group(1), "%Y-%m-%d %H.%M.%S")
                # The prefix's clock is the host's.
                self.assertTrue(started - datetime.timedelta(seconds=2) <= stamp <= ended, (started, stamp, ended))
                events = read_log(self, os.path.join(harness.temp_folder(), name))
                self.assertTrue(events[0].startswith("Parvolex 5.02: "), events[0])
                self.assertEqual(events[-1], "Exit code 0: installed")

    def test_a_taken_name_gets_a_number(self):
        setup = self.setup_exe()
        # Every name of the coming minute is taken already.
        now = datetime.datetime.now()
        taken = []
        for s in range(-2, 60):
            name = (now + datetime.timedelta(seconds=s)).strftime("Setup Log %Y-%m-%d %H.%M.%S.txt")
            path = os.path.join(harness.temp_folder(), name)
            if not os.path.exists(path):
                with open(path, "wb") as f:
                    f.write(b"taken")
                taken.append(name)
                self.addCleanup(os.remove, path)
        before = temp_logs()
        self.assertEqual(self.start(setup, ["/S", "/LOG"]).wait(60), 0)
        (name,) = self.new_logs(before)
        m = self.NAME.fullmatch(name)
        self.assertIsNotNone(m, name)
        self.assertEqual(m.group(3), "2")
        for n in taken:
            with open(os.path.join(harness.temp_folder(), n), "rb") as f:
                self.assertEqual(f.read(), b"taken")

    def test_no_switch_writes_no_log(self):
        setup = self.setup_exe()
        package_folder = os.path.dirname(setup)
        temp = harness.temp_folder()
        before = (sorted(os.listdir(temp)), sorted(os.listdir(package_folder)))
        self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
        self.assertEqual((sorted(os.listdir(temp)), sorted(os.listdir(package_folder))), before)


class InteractiveLogTest(wizard_support.WizardCase):
    def test_every_page_shown_is_logged(self):
        log = os.path.join(self.scratch, "logs", "wizard.log")
        p = self.open(wizard_support.pages("welcome", "folder", "ready", "finish"),
                      args=["/LOG=" + harness.windows_path(log)])
        self.go(wizard_support.NEXT, "folder")
        self.go(wizard_support.NEXT, "ready")
        self.go(wizard_support.NEXT, "finish")
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % wizard_support.NEXT)
        self.assertEqual(p.wait(60), 0)
        events = read_log(self, log)
        self.assertRegex(events[2], r"^Title: .* \(interactive\)$")
        self.assertEqual([e for e in events if e.startswith("Page: ")],
                         ["Page: welcome", "Page: folder", "Page: ready", "Page: installing", "Page: finish"])
        self.assertEqual(events[-1], "Exit code 0: installed")


if __name__ == "__main__":
    unittest.main()
