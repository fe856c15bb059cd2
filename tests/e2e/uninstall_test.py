"""The uninstaller, end to end: packages built with parvolex and
`[uninstall] uninstaller = true`, installed with /S under Wine, removed
again, and the prefix compared with a snapshot taken before the
installation: its files (drive C: and the folders that Wine links to the
host's home) and the registry trees a package writes to.
"""
import fnmatch
import getpass
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import harness

ROOT = "pvx-uninstall"  # the installations of this module go below C:\pvx-uninstall
TOOLS = "pvx-uninstall-tools"  # programs and logs that outlive an uninstallation
RECORDER = os.path.join(harness.BIN, "recorder.exe")
COMSERVER = os.path.join(harness.BIN, "comserver.dll")
SESSION = r"HKLM\System\CurrentControlSet\Control\Session Manager"
FONTS_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts"
MARKER_KEY = r"HKCU\Software\ParvolexTest"
# What the registry snapshot covers: every tree a package of this module
# writes to, and the list of files to remove at the next restart.
REGISTRY_TREES = (r"HKLM\Software", r"HKCU\Software", SESSION)
WINE_SETTINGS = "hkey_current_user\\software\\wine"


def toml_text(s):
    return json.dumps(s)


def windows_to_host(path):
    assert path[:3].upper() == "C:\\", path
    return harness.drive_c(*path[3:].split("\\"))


# --- snapshots ----------------------------------------------------------------


def volatile(rel):
    """Paths that change on their own while Wine runs, or belong to the
    tests themselves: temporary folders (work folders of every run) and the
    tools folder."""
    rel = rel.lower()
    user = getpass.getuser().lower()
    for pattern in ("c:/users/%s/temp" % user, "c:/users/%s/temp/*" % user, "c:/windows/temp",
                    "c:/windows/temp/*", "c:/" + TOOLS, "c:/%s/*" % TOOLS):
        if fnmatch.fnmatchcase(rel, pattern):
            return True
    return False


def snapshot_files():
    """{relative path: (size, mtime)} for files and None for folders, of
    drive C: and of the host folders that its user folders link to."""
    out = {}
    root = harness.drive_c()
    links = []

    def walk(base, label):
        for dirpath, dirnames, filenames in os.walk(base):
            rel = os.path.relpath(dirpath, base)
            rel = label if rel == "." else os.path.join(label, rel)
            if volatile(rel):
                dirnames[:] = []
                continue
            keep = []
            for d in dirnames:
                full = os.path.join(dirpath, d)
                if os.path.islink(full):
                    links.append((os.path.realpath(full), os.path.join(rel, d)))
                elif not (label.startswith("@") and rel == label and d.startswith(".")):
                    keep.append(d)
            dirnames[:] = keep
            out[rel + "/"] = None
            for f in filenames:
                if label.startswith("@") and rel == label and f.startswith("."):
                    continue
                st = os.lstat(os.path.join(dirpath, f))
                out[os.path.join(rel, f)] = (st.st_size, st.st_mtime_ns)

    walk(root, "C:")
    seen = set()
    for target, rel in links:
        if target in seen or not os.path.isdir(target):
            continue
        seen.add(target)
        # A user folder that Wine links to the host's home: its own dot
        # files are the host's, not the prefix's.
        walk(target, "@" + target)
    return out


def parse_export(text):
    """{key (lower case): sorted value lines} of a `reg export` file."""
    keys, current = {}, None
    for line in text.replace("\\\r\n", "").replace("\\\n", "").splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1].lower(), [])
        elif line and current is not None:
            current.append(line)
    return {k: sorted(v) for k, v in keys.items()}


class UninstallCase(harness.WineTestCase):
    maxDiff = None

    def wine(self, *args, timeout=120):
        with tempfile.TemporaryFile() as out, open(os.devnull, "rb") as null_in:
            code = subprocess.run([harness.WINE] + list(args), env=self.env, stdin=null_in, stdout=out, stderr=out,
                                  timeout=timeout).returncode
            out.seek(0)
            return code, out.read().decode("latin-1")

    def reg(self, *args):
        return self.wine("reg", *args)

    def snapshot_registry(self):
        out = {}
        for tree in REGISTRY_TREES:
            path = os.path.join(self.scratch, "snapshot.reg")
            if os.path.exists(path):
                os.remove(path)
            code, text = self.reg("export", tree, path, "/y")
            self.assertEqual(code, 0, text)
            with open(path, "rb") as f:
                out.update(parse_export(f.read().decode("utf-16")))
        return out

    def snapshot(self):
        return snapshot_files(), self.snapshot_registry()

    def changes(self, before, after):
        """(files added, removed or changed; registry keys added, removed or
        changed), each a sorted list."""
        files_before, reg_before = before
        files_after, reg_after = after
        files = sorted(p for p in set(files_before) | set(files_after)
                       if files_before.get(p, "-") != files_after.get(p, "-"))
        # Wine's own settings change as it runs.
        keys = sorted(k for k in set(reg_before) | set(reg_after)
                      if reg_before.get(k) != reg_after.get(k) and not k.startswith(WINE_SETTINGS))
        return files, keys

    def setUp(self):
        super().setUp()
        # Both exist before any snapshot, like the system's own folders.
        os.makedirs(harness.drive_c(ROOT), exist_ok=True)
        os.makedirs(harness.drive_c(TOOLS), exist_ok=True)

    def app(self, name):
        """A fresh installation folder: (Windows path, host path). What an
        interrupted earlier run left there is uninstalled first, so that
        the snapshots start clean."""
        host = harness.drive_c(ROOT, name)
        self.remove_leftover(host)
        shutil.rmtree(host, ignore_errors=True)
        self.addCleanup(self.remove_leftover, host)
        return "C:\\%s\\%s" % (ROOT, name), host

    def remove_leftover(self, host):
        exe = os.path.join(host, "Uninstall.exe")
        if os.path.exists(exe) and os.path.exists(os.path.join(host, "Uninstall.ini")):
            self.uninstall(exe)

    def build(self, text, payload=(), name="setup.exe"):
        for file_name, content in payload:
            path = os.path.join(self.scratch, file_name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if isinstance(content, bytes):
                with open(path, "wb") as f:
                    f.write(content)
            else:
                shutil.copyfile(content, path)
        project = os.path.join(self.scratch, "project.toml")
        with open(project, "w", encoding="utf-8") as f:
            f.write(text)
        return self.build_project(project, name)

    def build_project(self, project, name="setup.exe"):
        setup = os.path.join(self.scratch, name)
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([harness.PARVOLEX, "build", project, "-o", setup], stdout=out,
                                  stderr=out).returncode
            out.seek(0)
            self.assertEqual(code, 0, out.read().decode("utf-8", "replace"))
        return setup

    def copies_running(self):
        return {f for f in os.listdir(harness.temp_folder()) if f.lower().startswith("~pvxun")}

    def wait_for_copies(self, earlier=frozenset()):
        """The working copy ends after the uninstaller the test started:
        it still deletes that one's file and the emptied folders. Its own
        file goes when it ends."""
        for _ in range(1500):
            if not self.copies_running() - earlier:
                return
            time.sleep(0.02)
        self.fail("the uninstaller's working copy did not end: %s" % (self.copies_running() - earlier))

    def start_uninstaller(self, exe, args=()):
        """Starts an uninstaller; a working copy it leaves running (a test
        that failed half-way) is ended with the test."""
        earlier = self.copies_running()
        self.addCleanup(self.end_copies, earlier)
        return self.start(exe, list(args)), earlier

    def end_copies(self, earlier):
        left = self.copies_running() - earlier
        if not left:
            return
        code, out = harness.run_robot(self.env, ["list"])
        for name in left:
            for pid in set(re.findall(r'exe="%s" pid=(\d+)' % re.escape(name), out)):
                self.wine("taskkill", "/F", "/PID", pid)

    def uninstall(self, exe, args=("/S",), timeout=120):
        p, earlier = self.start_uninstaller(exe, args)
        code = p.wait(timeout)
        self.wait_for_copies(earlier)
        return code

    def pending_renames(self):
        code, text = self.reg("query", SESSION, "/v", "PendingFileRenameOperations")
        if code != 0:
            return None
        m = re.search(r"PendingFileRenameOperations\s+REG_MULTI_SZ\s+(.*)", text)
        return m.group(1).strip() if m else ""

    def restore_pending_renames(self, saved):
        if saved is None:
            self.reg("delete", SESSION, "/v", "PendingFileRenameOperations", "/f")
        else:
            self.reg("add", SESSION, "/v", "PendingFileRenameOperations", "/t", "REG_MULTI_SZ", "/d", saved, "/f")


class DemoTest(UninstallCase):
    def clear_demo_shortcuts(self):
        """The demo's links from an installation elsewhere in this prefix
        (scripts/demo) would be the same files as this test's."""
        desktop = harness.drive_c("users", getpass.getuser(), "Desktop", "Example Tool.lnk")
        if os.path.lexists(desktop):
            os.remove(desktop)
        shutil.rmtree(harness.drive_c("users", getpass.getuser(), "AppData", "Roaming", "Microsoft", "Windows",
                                      "Start Menu", "Programs", "Example Tool"), ignore_errors=True)

    def test_the_demo_goes_and_a_users_file_stays(self):
        folder, host = self.app("demo")
        self.clear_demo_shortcuts()
        setup = self.build_project(os.path.join(harness.ROOT, "examples", "demo", "demo.toml"))
        before = self.snapshot()
        self.assertEqual(self.start(setup, ["/S", "/L=English", "/P=" + folder]).wait(120), 0)
        self.assertTrue(os.path.exists(os.path.join(host, "Uninstall.exe")))
        self.assertTrue(os.path.exists(os.path.join(host, "Uninstall.ini")))
        installed = self.changes(before, self.snapshot())
        self.assertIn("C:/%s/demo/tool.exe" % ROOT, installed[0])
        self.assertIn(r"hkey_local_machine\software\example software\example tool", installed[1])
        with open(os.path.join(host, "my notes.txt"), "w") as f:
            f.write("mine")

        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe")), 0)
        files, keys = self.changes(before, self.snapshot())
        self.assertEqual(files, ["C:/%s/demo/" % ROOT, "C:/%s/demo/my notes.txt" % ROOT])
        self.assertEqual(keys, [])


def every_kind_project(folder):
    tools = "C:\\" + TOOLS
    return "\n".join([
        "[setup]",
        'title = "Pvx Uninstall"',
        "default_folder = %s" % toml_text(folder),
        'program_group = "Pvx Uninstall Test"',
        "[wizard]",
        'header_picture = "none"',
        'side_picture = "none"',
        "[uninstall]",
        "uninstaller = true",
        'registry = [{ root = "HKCU", key = "Software\\\\PvxUninstallTest2", name = "Unflagged" }]',
        'extras = [{ code = 7, text = "{app}\\\\passed on" }]',
        '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
        '[[files]]\nsource = "ro.txt"\ndestination = "{app}"\nattributes = ["readonly"]',
        '[[files]]\nsource = "b.txt"\ndestination = "{app}\\\\sub\\\\deeper"',
        '[[files]]\nsource = "rec.exe"\ndestination = "{app}\\\\bin"',
        '[[files]]\nsource = "comserver.dll"\ndestination = "{app}"',
        '[[files]]\nsource = "PvxUninstall.ttf"\ndestination = "{fonts}"',
        '[[folders]]\npath = "{app}\\\\empty\\\\nested"',
        '[[folders]]\npath = "{app}\\\\empty"',
        '[[folders]]\npath = "{win}"',  # never removed, though listed
        '[[registry]]\nroot = "HKCU"\nkey = "Software\\\\PvxUninstallTest\\\\Deep\\\\Er"\nname = "V"\ndata = "x"\n'
        'uninstall = true',
        '[[registry]]\nroot = "HKCU"\nkey = "Software\\\\PvxUninstallTest"\nname = ""\ndata = "default"\n'
        'uninstall = true',
        '[[registry]]\nroot = "HKLM"\nkey = "Software\\\\PvxUninstallTest"\nname = "W"\ntype = "dword"\ndata = 5\n'
        'uninstall = true',
        '[[registry]]\nroot = "HKCU"\nkey = "Software\\\\PvxUninstallShared"\nname = "Ours"\ndata = "1"\n'
        'uninstall = true',
        '[[registry]]\nroot = "HKCU"\nkey = "Software\\\\PvxUninstallTest2"\nname = "Unflagged"\ndata = "1"',
        '[[ini]]\nfile = "{app}\\\\settings.ini"\nsection = "S"\nkey = "K"\nvalue = "v"\nuninstall = true',
        '[[ini]]\nfile = %s\nsection = "S"\nkey = "Ours"\nvalue = "2"\nuninstall = true'
        % toml_text(tools + "\\shared.ini"),
        '[[fonts]]\nname = "Pvx Uninstall Font"\nfile = "{fonts}\\\\PvxUninstall.ttf"',
        '[[com]]\nlibrary = "{app}\\\\comserver.dll"',
        '[[shortcuts]]\nkind = "group"\nname = "Pvx.lnk"\ntarget = "{app}\\\\a.txt"',
        '[[shortcuts]]\nkind = "desktop"\nname = "Pvx Uninstall Test.lnk"\ntarget = "{app}\\\\a.txt"',
        # The recorder writes its log outside the installation.
        '[[commands]]\nwhen = "uninstall-before"\nfile = "{app}\\\\bin\\\\rec.exe"\nparameters = %s\nwait = true'
        % toml_text(tools + "\\log.txt before probe={app}\\a.txt"),
        '[[commands]]\nwhen = "uninstall-after"\nfile = %s\nparameters = %s\nwait = true'
        % (toml_text(tools + "\\rec.exe"), toml_text(tools + "\\log.txt after probe={app}\\a.txt")),
    ])


class EveryKindTest(UninstallCase):
    def test_every_kind_of_record_goes_and_nothing_else_is_touched(self):
        folder, host = self.app("all")
        tools = harness.drive_c(TOOLS)
        shutil.copyfile(RECORDER, os.path.join(tools, "rec.exe"))
        log = os.path.join(tools, "log.txt")
        if os.path.exists(log):
            os.remove(log)
        shared_ini = os.path.join(tools, "shared.ini")
        with open(shared_ini, "wb") as f:
            f.write(b"[S]\r\nOther=1\r\n")
        self.reg("add", r"HKCU\Software\PvxUninstallShared", "/v", "Other", "/d", "kept", "/f")
        self.addCleanup(self.reg, "delete", r"HKCU\Software\PvxUninstallShared", "/f")
        self.reg("delete", MARKER_KEY, "/f")
        setup = self.build(every_kind_project(folder), [
            ("a.txt", b"a"), ("ro.txt", b"read only"), ("b.txt", b"b"), ("rec.exe", RECORDER),
            ("comserver.dll", COMSERVER), ("PvxUninstall.ttf", b"not really a font")])

        before = self.snapshot()
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
        code, text = self.reg("query", MARKER_KEY, "/v", "Registered")
        self.assertEqual(code, 0, "the library registered itself")
        code, text = self.reg("query", FONTS_KEY, "/v", "Pvx Uninstall Font")
        self.assertIn("PvxUninstall.ttf", text)
        ini = os.path.join(host, "Uninstall.ini")
        with open(ini, "rb") as f:
            record = f.read().decode("latin-1")
        self.assertIn("[o1]\r\n0=7\r\n1=%s\\passed on\r\n" % folder, record)

        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe")), 0)
        files, keys = self.changes(before, self.snapshot())
        # The library logs its loading into a file of its own beside it; that
        # file is none of the package's, so it stays, and so does its folder.
        self.assertEqual(files, ["C:/%s/all/" % ROOT, "C:/%s/all/comserver.dll.log" % ROOT])
        # The key that held a value of its own before is back as it was.
        self.assertEqual(keys, [])
        code, text = self.reg("query", r"HKCU\Software\PvxUninstallShared")
        self.assertIn("Other", text)
        self.assertNotIn("Ours", text)
        with open(os.path.join(host, "comserver.dll.log"), "rb") as f:
            self.assertEqual(f.read().split(), [b"attach", b"register", b"detach", b"attach", b"unregister",
                                                b"detach"])
        with open(shared_ini, "rb") as f:
            self.assertEqual([l for l in f.read().split(b"\r\n") if l], [b"[S]", b"Other=1"])
        with open(log, "rb") as f:
            lines = [l.split("\t") for l in f.read().decode("latin-1").split("\r\n") if l]
        # The command before ran while the files were there and was waited
        # for; the command after ran once they were gone.
        kinds = [(l[0].split()[0], l[-1]) for l in lines]
        self.assertEqual([k for k, _ in kinds], ["start", "probe", "end", "start", "probe", "end"])
        self.assertEqual(kinds[1][1], "1")
        self.assertEqual(kinds[4][1], "0")
        self.assertEqual(self.pending_renames() or "", "")

    def test_a_file_in_use_goes_at_the_next_restart(self):
        folder, host = self.app("busy")
        tools = harness.drive_c(TOOLS)
        stop = os.path.join(tools, "stop")
        log = os.path.join(tools, "busy.txt")
        for path in (stop, log):
            if os.path.exists(path):
                os.remove(path)
        saved = self.pending_renames()
        self.addCleanup(self.restore_pending_renames, saved)
        text = "\n".join([
            "[setup]", 'title = "Pvx Busy"', "default_folder = %s" % toml_text(folder),
            "[uninstall]", "uninstaller = true",
            '[[files]]\nsource = "busy.exe"\ndestination = "{app}"',
            '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
            # Started before the removal and not waited for: it still runs,
            # so its own file cannot go yet.
            '[[commands]]\nwhen = "uninstall-before"\nfile = "{app}\\\\busy.exe"\nparameters = %s'
            % toml_text("C:\\%s\\busy.txt until=C:\\%s\\stop" % (TOOLS, TOOLS)),
        ])
        self.install_and_check_busy(self.build(text, [("busy.exe", RECORDER), ("a.txt", b"a")]), host, stop, log)

    def install_and_check_busy(self, setup, host, stop, log, args=("/S",)):
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe"), args), 0)
        try:
            self.assertEqual(sorted(os.listdir(host)), ["busy.exe"])
            self.assertIn(r"\??\C:\%s\busy\busy.exe" % ROOT, self.pending_renames() or "")
        finally:
            open(stop, "w").close()
            for _ in range(1500):
                with open(log, "rb") as f:
                    if b"\r\nend " in f.read():
                        break
                time.sleep(0.02)
            shutil.rmtree(host, ignore_errors=True)


class SharedFontTest(UninstallCase):
    def test_a_font_another_product_registered_first_keeps_its_registration(self):
        # The package registers a font whose file another product placed and
        # registered before; it does not install that file. Uninstalling
        # leaves the file and the other product's registration alone.
        folder, host = self.app("font")
        fonts = harness.drive_c("windows", "Fonts")
        shared = os.path.join(fonts, "PvxShared.ttf")
        with open(shared, "wb") as f:
            f.write(b"another product's font")
        self.addCleanup(os.remove, shared)
        self.reg("add", FONTS_KEY, "/v", "Pvx Shared Font", "/d", "PvxShared.ttf", "/f")
        self.addCleanup(self.reg, "delete", FONTS_KEY, "/v", "Pvx Shared Font", "/f")
        setup = self.build("\n".join([
            "[setup]", 'title = "Pvx Shared Font"', "default_folder = %s" % toml_text(folder),
            "[wizard]", 'header_picture = "none"', 'side_picture = "none"',
            "[uninstall]", "uninstaller = true",
            '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
            '[[fonts]]\nname = "Pvx Shared Font"\nfile = "{fonts}\\\\PvxShared.ttf"',
        ]), [("a.txt", b"a")])
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
        with open(os.path.join(host, "Uninstall.ini"), "rb") as f:
            self.assertIn(b"PvxShared.ttf", f.read(), "the record lists the font")

        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe")), 0)
        self.assertFalse(os.path.exists(os.path.join(host, "a.txt")))
        code, text = self.reg("query", FONTS_KEY, "/v", "Pvx Shared Font")
        self.assertEqual(code, 0, "the other product's registration was removed")
        self.assertIn("PvxShared.ttf", text)
        self.assertTrue(os.path.exists(shared))


class FailureTest(UninstallCase):
    def test_what_cannot_be_removed_makes_the_result_4(self):
        folder, host = self.app("fails")
        text = "\n".join([
            "[setup]", 'title = "Pvx Fails"', "default_folder = %s" % toml_text(folder),
            "[uninstall]", "uninstaller = true",
            # No such root key: the value can never be removed.
            'registry = [{ root = 9, key = "Software\\\\PvxUninstallNowhere", name = "v" }]',
            '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
        ])
        setup = self.build(text, [("a.txt", b"a")])
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe")), 4)
        # Everything else went all the same.
        self.assertFalse(os.path.exists(host))

    def test_a_record_cut_short_makes_the_result_4(self):
        folder, host = self.app("cut")
        text = "\n".join([
            "[setup]", 'title = "Pvx Cut"', "default_folder = %s" % toml_text(folder),
            "[uninstall]", "uninstaller = true",
            '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
            '[[files]]\nsource = "b.txt"\ndestination = "{app}"',
        ])
        setup = self.build(text, [("a.txt", b"a"), ("b.txt", b"b")])
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
        ini = os.path.join(host, "Uninstall.ini")
        with open(ini, "rb") as f:
            record = f.read()
        # The line of b.txt is lost; the count of [f] lines still says 3.
        cut = re.sub(rb"2=[^\r]*b\.txt\r\n", b"", record)
        self.assertNotEqual(cut, record)
        with open(ini, "wb") as f:
            f.write(cut)
        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe")), 4)
        self.assertEqual(os.listdir(host), ["b.txt"])
        shutil.rmtree(host)


def picture():
    """A 4 x 4 BMP, 24 bits: green with a magenta top-left corner."""
    rows = []
    for y in range(4):  # bottom-up: the last row is the top one
        row = b"".join(b"\xff\x00\xff" if (y == 3 and x == 0) else b"\x00\xff\x00" for x in range(4))
        rows.append(row)
    pixels = b"".join(rows)
    info = ((40).to_bytes(4, "little") + (4).to_bytes(4, "little") + (4).to_bytes(4, "little") +
            (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + b"\0" * 24)
    return b"BM" + (14 + 40 + len(pixels)).to_bytes(4, "little") + b"\0" * 4 + (54).to_bytes(4, "little") + info + pixels


class InteractiveTest(UninstallCase):
    def small_package(self, folder):
        text = "\n".join([
            "[setup]", 'title = "Pvx Window"', "default_folder = %s" % toml_text(folder),
            'bottom_text = "Pvx Bottom"',
            "[wizard]", 'header_color = "#336699"', "header_gradient = true", 'header_gradient_start = "#FF0000"',
            'header_picture = "pic.bmp"', "header_picture_left = 400", "header_picture_top = 10",
            "[uninstall]", "uninstaller = true", 'extras = [{ code = 3, text = "{app}\\\\note" }]',
            'web = "https://example.invalid/farewell"',
            '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
        ])
        return self.build(text, [("a.txt", b"a"), ("pic.bmp", picture())])

    def window(self):
        return self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "visible=1",
                             "timeout=30000", "--", "dump")

    def pixel(self, x, y, expected):
        """The colour on screen, read again while the window may still be
        on its way there."""
        for _ in range(100):
            px = self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "pixel",
                               "x=%d" % x, "y=%d" % y)[-1]["rgb"]
            if px == expected:
                break
            time.sleep(0.02)
        return px

    def controls(self, records):
        return {r.get("text"): r for r in records if r["kind"] == "control"}

    def test_remove_then_finish(self):
        folder, host = self.app("window")
        setup = self.small_package(folder)
        before = self.snapshot()
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
        p, earlier = self.start_uninstaller(os.path.join(host, "Uninstall.exe"))
        controls = self.controls(self.window())
        self.assertIn("This removes the program and all of its parts from your computer. Click Remove to go on.",
                      controls)
        self.assertIn("Removing from:", controls)
        self.assertIn(folder + "\\", controls)
        self.assertIn("Remove the program from your computer.", controls)
        self.assertIn("Pvx Bottom", controls)
        # The band: the gradient's start colour at the left, the band colour
        # beyond the gradient, and the picture from the trailer, whose
        # corner colour is transparent.
        for x, y, rgb in ((0, 40, 0xFF0000), (300, 50, 0x336699), (400, 10, 0x336699), (401, 11, 0x00FF00),
                          (403, 13, 0x00FF00), (404, 14, 0x336699)):
            self.assertEqual(self.pixel(x, y, rgb), rgb, (x, y))
        self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "click", "caption=Remove")
        self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "waitctl",
                      "caption=Finish", "enabled=1", "visible=1", "timeout=60000")
        controls = self.controls(self.window())
        self.assertIn("Removal Complete", controls)
        self.assertIn("The Program Has Been Removed", controls)
        self.assertIn("The program was removed from your computer.\r\n\r\nClick Finish to close this wizard.",
                      controls)
        # The record passed on to the uninstaller is only listed.
        self.assertIn("3\t%s\\note\r\n" % folder, controls)
        self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "waitctl",
                      "caption=Visit the program's web site", "visible=1", "checked=0", "timeout=0")
        self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "click", "caption=Finish")
        self.assertEqual(p.wait(60), 0)
        self.wait_for_copies(earlier)
        self.assertEqual(self.changes(before, self.snapshot()), ([], []))

    def test_cancel_on_the_welcome_page_removes_nothing(self):
        folder, host = self.app("cancel")
        setup = self.small_package(folder)
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
        installed = sorted(os.listdir(host))
        p, earlier = self.start_uninstaller(os.path.join(host, "Uninstall.exe"))
        self.window()
        self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "click", "caption=Cancel")
        self.assertEqual(p.wait(60), 2)
        self.wait_for_copies(earlier)
        self.assertEqual(sorted(os.listdir(host)), installed)
        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe")), 0)
        self.assertFalse(os.path.exists(host))

    def test_stopping_on_the_way_keeps_the_record(self):
        folder, host = self.app("stop")
        tools = harness.drive_c(TOOLS)
        shutil.copyfile(RECORDER, os.path.join(tools, "rec.exe"))
        stop = os.path.join(tools, "stop-removal")
        log = os.path.join(tools, "stop.txt")
        for path in (stop, log):
            if os.path.exists(path):
                os.remove(path)
        text = "\n".join([
            "[setup]", 'title = "Pvx Stop"', "default_folder = %s" % toml_text(folder),
            "[uninstall]", "uninstaller = true",
            '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
            # Holds the removal in its first step until the test lets it go.
            '[[commands]]\nwhen = "uninstall-before"\nfile = %s\nparameters = %s\nwait = true'
            % (toml_text("C:\\%s\\rec.exe" % TOOLS),
               toml_text("C:\\%s\\stop.txt until=C:\\%s\\stop-removal" % (TOOLS, TOOLS))),
        ])
        self.assertEqual(self.start(self.build(text, [("a.txt", b"a")]), ["/S"]).wait(120), 0)
        p, earlier = self.start_uninstaller(os.path.join(host, "Uninstall.exe"))
        self.window()
        self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "click", "caption=Remove")
        for _ in range(1500):
            if os.path.exists(log):
                break
            time.sleep(0.02)
        self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "click", "caption=Cancel")
        box = self.robot_ok("wait", "title=Remove the Program", "class=#32770", "visible=1", "--", "msgbox")
        msg = [r for r in box if r["kind"] == "msgbox"][0]
        self.assertEqual(msg["text"], "Do you really want to stop removing the program?")
        self.assertEqual(msg["buttons"], "Yes,No")
        self.robot_ok("wait", "title=Remove the Program", "class=#32770", "--", "click", "caption=Yes")
        open(stop, "w").close()
        self.assertEqual(p.wait(60), 5)
        self.wait_for_copies(earlier)
        self.assertEqual(sorted(os.listdir(host)), ["Uninstall.exe", "Uninstall.ini", "a.txt"])
        # A later run finishes the work.
        self.assertEqual(self.uninstall(os.path.join(host, "Uninstall.exe")), 0)
        self.assertFalse(os.path.exists(host))

    def test_the_finished_page_names_what_goes_at_the_restart(self):
        folder, host = self.app("busy-window")
        tools = harness.drive_c(TOOLS)
        stop = os.path.join(tools, "stop-busy")
        log = os.path.join(tools, "busy-window.txt")
        for path in (stop, log):
            if os.path.exists(path):
                os.remove(path)
        saved = self.pending_renames()
        self.addCleanup(self.restore_pending_renames, saved)
        text = "\n".join([
            "[setup]", 'title = "Pvx Busy"', "default_folder = %s" % toml_text(folder),
            "[uninstall]", "uninstaller = true", 'restart_note = "Restart to finish."',
            '[[files]]\nsource = "busy.exe"\ndestination = "{app}"',
            '[[commands]]\nwhen = "uninstall-before"\nfile = "{app}\\\\busy.exe"\nparameters = %s'
            % toml_text("C:\\%s\\busy-window.txt until=C:\\%s\\stop-busy" % (TOOLS, TOOLS)),
        ])
        self.assertEqual(self.start(self.build(text, [("busy.exe", RECORDER)]), ["/S"]).wait(120), 0)
        try:
            p, earlier = self.start_uninstaller(os.path.join(host, "Uninstall.exe"))
            self.window()
            self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "click",
                          "caption=Remove")
            self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "waitctl",
                          "caption=Finish", "enabled=1", "visible=1", "timeout=60000")
            controls = self.controls(self.window())
            self.assertIn("Restart to finish.", controls)
            self.assertIn(folder + "\\busy.exe\r\n", controls)
            self.robot_ok("wait", "title=Remove the Program", "class=ParvolexUninstall", "--", "click",
                          "caption=Finish")
            self.assertEqual(p.wait(60), 0)
            self.wait_for_copies(earlier)
        finally:
            open(stop, "w").close()
            for _ in range(1500):
                if os.path.exists(log):
                    with open(log, "rb") as f:
                        if b"\r\nend " in f.read():
                            break
                time.sleep(0.02)
            shutil.rmtree(host, ignore_errors=True)


class DamagedRecordTest(UninstallCase):
    DAMAGED = "The uninstall information of this program is missing or damaged, so the program cannot be removed."

    def uninstaller_with(self, trailer):
        path = os.path.join(self.scratch, "Uninstall.exe")
        shutil.copyfile(os.path.join(harness.BIN, "uninstall.exe"), path)
        with open(path, "ab") as f:
            f.write(trailer)
        return path

    def test_no_or_a_broken_record_ends_with_1(self):
        missing = b"C:\\pvx-uninstall\\nowhere\\Uninstall.ini"
        cases = {
            "no trailer at all": b"",
            "absurd path length": b"C:\\x.ini\xff\xff",
            "record file missing": missing + len(missing).to_bytes(2, "little"),
        }
        for name, trailer in cases.items():
            with self.subTest(name):
                exe = self.uninstaller_with(trailer)
                self.assertEqual(self.uninstall(exe), 1)
                self.assertTrue(os.path.exists(exe))
        p, earlier = self.start_uninstaller(self.uninstaller_with(b""))
        box = self.robot_ok("wait", "title=Uninstall", "class=#32770", "visible=1", "timeout=30000", "--", "msgbox")
        msg = [r for r in box if r["kind"] == "msgbox"][0]
        self.assertEqual(msg["text"], self.DAMAGED)
        self.assertEqual(msg["icon"], "error")
        self.robot_ok("wait", "title=Uninstall", "class=#32770", "--", "click", "caption=OK")
        self.assertEqual(p.wait(60), 1)
        self.wait_for_copies(earlier)


if __name__ == "__main__":
    unittest.main()
