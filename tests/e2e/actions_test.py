"""The system actions of the install sequence, end to end: packages built
with parvolex, installed with /S under Wine, and their effects read back
from the registry, the files and the shell links.

The lists are given verbatim ([raw]), so every record is exactly what the
test says; raw texts take FolderMacros ("@$&%04" is the installation
folder), not the project file's readable names.
"""
import getpass
import json
import os
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

import harness

ROOT = "pvx-actions"  # every test installs below C:\pvx-actions
TEST_KEY = r"Software\ParvolexActionsTest"
FONTS_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts"
MARKER_KEY = r"HKCU\Software\ParvolexTest"
RECORDER = os.path.join(harness.BIN, "recorder.exe")


def toml_text(s):
    # A JSON string is a valid TOML basic string.
    return json.dumps(s)


def toml_records(records):
    return "[" + ", ".join("[" + ", ".join(toml_text(f) for f in r) + "]" for r in records) + "]"


def parse_reg_export(text):
    """The first key of a `reg export` file as {value name: (type, data)};
    the default value is named "". Types: "sz" (str), "binary" (bytes),
    "dword" (int), "hex(N)" (bytes)."""
    lines = text.replace("\\\r\n", "").replace("\\\n", "").splitlines()
    values, inside = {}, False
    for line in lines:
        line = line.strip()
        if line.startswith("["):
            if inside:
                break
            inside = True
            continue
        if not inside or not line:
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        else:
            i, name = 1, ""
            while line[i] != '"':
                if line[i] == "\\":
                    i += 1
                name += line[i]
                i += 1
            rest = line[i + 2:]
        if rest.startswith('"'):
            data, i = "", 1
            while rest[i] != '"':
                if rest[i] == "\\":
                    i += 1
                data += rest[i]
                i += 1
            values[name] = ("sz", data)
        elif rest.startswith("dword:"):
            values[name] = ("dword", int(rest[6:], 16))
        else:
            kind, _, data = rest.partition(":")
            hexes = [h.strip() for h in data.split(",") if h.strip()]
            values[name] = ("binary" if kind == "hex" else kind, bytes(int(h, 16) for h in hexes))
    return values


def read_ini(path):
    """{section: {key: value}} of an INI file, keys as written."""
    sections, current = {}, None
    with open(path, "rb") as f:
        for line in f.read().decode("latin-1").splitlines():
            if line.startswith("["):
                current = sections.setdefault(line.strip()[1:-1], {})
            elif "=" in line and current is not None:
                key, _, value = line.partition("=")
                current[key] = value
    return sections


def ini_section(path, name):
    """The lines of one section of the UninstallIni."""
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").split("\r\n")
    out, inside = [], False
    for line in lines:
        if line.startswith("["):
            inside = line == "[%s]" % name
        elif inside:
            out.append(line)
    return out


def host_path(windows_path):
    """The host file behind a path on drive C: of the prefix."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    return harness.drive_c(*windows_path[3:].split("\\"))


class ActionsCase(harness.WineTestCase):
    """Helpers to build and install packages and to read what they did."""

    def wine_reg(self, *args):
        with tempfile.TemporaryFile() as out, open(os.devnull, "rb") as null_in:
            return subprocess.run([harness.WINE, "reg"] + list(args), env=self.env, stdin=null_in, stdout=out,
                                  stderr=out, timeout=60).returncode

    def reg_delete(self, key, value=None):
        self.wine_reg("delete", key, *(["/v", value] if value is not None else []), "/f")

    def reg_add(self, key, value, data, kind="REG_SZ"):
        self.assertEqual(self.wine_reg("add", key, "/v", value, "/t", kind, "/d", data, "/f"), 0)

    def read_key(self, key):
        """The values of a key, or None when the key does not exist."""
        out = os.path.join(self.scratch, "export.reg")
        if os.path.exists(out):
            os.remove(out)
        if self.wine_reg("export", key, out, "/y") != 0 or not os.path.exists(out):
            return None
        with open(out, "rb") as f:
            return parse_reg_export(f.read().decode("utf-16"))

    def app(self, name):
        """A fresh installation folder: (Windows path, host path)."""
        host = harness.drive_c(ROOT, name)
        shutil.rmtree(host, ignore_errors=True)
        return "C:\\%s\\%s" % (ROOT, name), host

    def project(self, folder, body, setup=""):
        """A project installing to `folder`; `setup` adds keys to [setup]."""
        return "\n".join([
            "[setup]",
            'title = "Actions"',
            "default_folder = %s" % toml_text(folder),
            setup,
            "[wizard]",
            'header_picture = "none"',
            'side_picture = "none"',
            body,
        ])

    def build(self, text, payload=()):
        """Writes the project and its payload files (name, bytes or host
        path) into the scratch folder and builds it; returns the setup."""
        for name, content in payload:
            path = os.path.join(self.scratch, name)
            if isinstance(content, bytes):
                with open(path, "wb") as f:
                    f.write(content)
            else:
                shutil.copyfile(content, path)
        project = os.path.join(self.scratch, "project.toml")
        with open(project, "w", encoding="utf-8") as f:
            f.write(text)
        setup = os.path.join(self.scratch, "setup.exe")
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([harness.PARVOLEX, "build", project, "-o", setup], stdout=out, stderr=out).returncode
            out.seek(0)
            self.assertEqual(code, 0, out.read().decode("utf-8", "replace"))
        return setup

    def install(self, setup):
        self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)


class RegistryTest(ActionsCase):
    KEY = TEST_KEY + r"\Registry"

    def setUp(self):
        super().setUp()
        self.reg_delete("HKCU\\" + self.KEY)
        self.reg_delete("HKLM\\" + self.KEY)

    def tearDown(self):
        self.reg_delete("HKCU\\" + self.KEY)
        self.reg_delete("HKLM\\" + self.KEY)
        super().tearDown()

    def test_types_overwrite_and_default_value(self):
        k = self.KEY
        full = "HKCU\\" + k
        # Values that are there before the installation.
        for name, data in (("kept", "old"), ("keptEmpty", ""), ("replaced", "old"), ("notOne", "old")):
            self.reg_add(full, name, data)
        self.reg_add(full, "replacedDword", "5", "REG_DWORD")
        folder, _ = self.app("registry")
        records = [
            # root, key, value name, data, type, overwrite, uninstall
            ["1", k, "sz", "text @$&%04", "0", "1", "0"],
            ["1", k, "bin", "0A1bFF", "1", "1", "0"],
            ["1", k, "binOdd", "0A0B0", "1", "1", "0"],
            ["1", k, "binG1", "G1", "1", "1", "0"],
            ["1", k, "bin1G", "1G", "1", "1", "0"],
            ["1", k, "binEmpty", "", "1", "1", "0"],
            ["1", k, "dwMinus", "-1", "2", "1", "0"],
            ["1", k, "dw12abc", "12abc", "2", "1", "0"],
            ["1", k, "dwEmpty", "", "2", "1", "0"],
            ["1", k + r"\Unknown3", "v", "x", "3", "1", "0"],
            ["1", k + r"\UnknownNeg", "v", "x", "-1", "1", "0"],
            ["1", k, "kept", "new", "0", "0", "0"],
            ["1", k, "keptEmpty", "new", "0", "", "0"],
            ["1", k, "notOne", "new", "0", "2", "0"],
            ["1", k, "replaced", "new", "0", "1", "0"],
            ["1", k, "replacedDword", "7", "2", "01", "0"],
            ["1", k, "", "default text", "0", "1", "0"],
            ["1", k + r"\Sub\Deeper", "", "deep", "0", "0", "0"],
            ["1", k + r"\Lang @$&%21", "@$&%21 name", "@$&%21", "0", "1", "0"],
            ["2", k, "machine", "on HKLM", "0", "1", "0"],
        ]
        setup = self.build(self.project(folder, "[raw]\nregistry_entries = %s\n" % toml_records(records)))
        self.install(setup)

        values = self.read_key(full)
        expected = {
            "sz": ("sz", "text " + folder),
            "bin": ("binary", b"\x0a\x1b\xff"),
            "binOdd": ("binary", b"\x0a\x0b"),
            "binG1": ("binary", b"\x00"),
            "bin1G": ("binary", b"\x01"),
            "binEmpty": ("binary", b""),
            "dwMinus": ("dword", 0xFFFFFFFF),
            "dw12abc": ("dword", 12),
            "dwEmpty": ("dword", 0),
            "kept": ("sz", "old"),
            "keptEmpty": ("sz", ""),
            "notOne": ("sz", "old"),
            "replaced": ("sz", "new"),
            "replacedDword": ("dword", 7),
            "": ("sz", "default text"),
        }
        self.assertEqual(values, expected)
        # An unknown type creates the key and writes nothing.
        self.assertEqual(self.read_key(full + r"\Unknown3"), {})
        self.assertEqual(self.read_key(full + r"\UnknownNeg"), {})
        # Missing parents are created; key, name and data are expanded.
        self.assertEqual(self.read_key(full + r"\Sub\Deeper"), {"": ("sz", "deep")})
        self.assertEqual(self.read_key(full + r"\Lang English"), {"English name": ("sz", "English")})
        self.assertEqual(self.read_key("HKLM\\" + k), {"machine": ("sz", "on HKLM")})


class IniTest(ActionsCase):
    def test_write_modes_and_missing_folders(self):
        folder, host = self.app("ini")
        os.makedirs(host)
        with open(os.path.join(host, "settings.ini"), "wb") as f:
            f.write(b"[S]\r\npresent=x\r\nempty=\r\nalways=old\r\nemptyMode=x\r\n")
        ini = folder + r"\settings.ini"
        deep = folder + r"\new\deeper\deep.ini"
        records = [
            # file, section, key, value, mode, uninstall
            [ini, "S", "present", "new", "0", "0"],
            [ini, "S", "empty", "new", "0", "0"],
            [ini, "S", "missing", "new", "0", "0"],
            [ini, "S", "always", "new", "1", "0"],
            [ini, "S", "emptyMode", "new", "", "0"],
            [ini, "@$&%21", "lang", "@$&%04", "2", "0"],
            [deep.replace(folder, "@$&%04"), "D", "k", "v", "1", "0"],
        ]
        self.install(self.build(self.project(folder, "[raw]\nini_entries = %s\n" % toml_records(records))))
        sections = read_ini(os.path.join(host, "settings.ini"))
        self.assertEqual(sections["S"], {"present": "x", "empty": "new", "missing": "new", "always": "new",
                                         "emptyMode": "x"})
        self.assertEqual(sections["English"], {"lang": folder})
        self.assertEqual(read_ini(host_path(deep)), {"D": {"k": "v"}})


# Language texts that the uninstaller's settings carry, by number.
UNINSTALL_TEXTS = (63, 64, 65, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 24, 25, 41, 81)
# Header fields copied as stored into [s], with the texts this test gives them.
UNINSTALL_FIELDS = (60, 70, 71, 81, 80, 75, 64, 97, 108, 68, 74, 66, 69, 72, 73, 78)


def uninstall_project_parts(texts, fields):
    strings = ", ".join("%d = %s" % (k, toml_text(v)) for k, v in texts.items())
    header = "\n".join("%d = %s" % (n, toml_text(v)) for n, v in fields.items())
    return "[[languages]]\nbase = \"english\"\nstrings = { %s }\n[header]\n%s\n" % (strings, header)


def settings_lines(texts, fields, bottom, folder, picture, counts, h31, h93, h45):
    """[s], written from the rules: keys 0-16 and 30 language texts, 17 the
    expanded bottom text, 18 the folder with its backslash, header fields
    as stored, counts of lines and sections, key 47 their total."""
    e, f, u, r, i, b, a = (counts[c] for c in "efuriba")
    total = int(h93) + f + e + int(h45) + int(h31) + u + r + i + b + a
    values = [texts[k] for k in UNINSTALL_TEXTS[:17]] + [bottom, folder + "\\"]
    values += [fields[n] for n in (60, 70, 71, 81, 80, 75, 64, 97, 108, 68, 74)]
    values += [texts[81], picture, fields[66], "", "", "", "", str(e), h31, str(f), h93, h45, str(u), str(r),
               str(i), str(b), str(a), str(total), fields[69], fields[72], fields[73], fields[78]]
    assert len(values) == 52
    out = []
    for key, value in enumerate(values):
        if len(value) > 1 and value[0] == '"' and value[-1] == '"':
            value = '"' + value + '"'
        out.append("%d=%s" % (key, value))
    return out


class UninstallRecordTest(ActionsCase):
    def texts_and_fields(self):
        texts = {k: "L%d" % k for k in UNINSTALL_TEXTS}
        texts[63] = '"Welcome"'  # begins and ends with a double quote
        fields = {n: "h%d" % n for n in UNINSTALL_FIELDS}
        fields[64] = '"h64"'
        return texts, fields

    def test_every_kind_of_record_byte_for_byte(self):
        folder, host = self.app("uninst")
        self.reg_delete("HKCU\\" + TEST_KEY + r"\Uninst")
        self.addCleanup(self.reg_delete, "HKCU\\" + TEST_KEY + r"\Uninst")
        texts, fields = self.texts_and_fields()
        fields[40], fields[25] = "1", "3"  # one install-part command, three for the uninstaller
        k = TEST_KEY + r"\Uninst"
        lists = {
            "folders": [["@$&%04\\data", "1"], ["@$&%04\\keep", "0"], ["@$&%04\\more", "01"]],
            "uninstall_extras": [["7", "@$&%04\\x"], ['"c"', "y"]],
            "com_registrations": [["@$&%04\\none1.dll", "1"], ["@$&%04\\none2.dll", "0"]],
            "ini_entries": [["@$&%04\\a.ini", "S", "K", "V", "1", "1"],
                            ["@$&%04\\b.ini", "S2", "K2", "V2", "1", "0"]],
            "registry_entries": [["1", k, '"q"', "D", "0", "1", "1"], ["1", k, "plain", "x", "0", "1", "0"]],
            "uninstall_registry_entries": [["2", "SOFTWARE\\@$&%04", "v"]],
            "commands": [["", "C:\\none.exe", "", "1", "2", "0"],
                         ["", "@$&%04\\u.exe", "/x", "0", "0", "1"],
                         ["", "w.exe", "", "1", "1", "0"],
                         ["", "v.exe", '"p"', "2", "", ""]],
            "fonts": [["Font @$&%21", "@$&%04\\missing.ttf"]],
            "shortcuts": [["4", "@$&%04\\links\\one.lnk", "@$&%04\\a.txt", "", "", "", "0", ""],
                          ["9", "nine.lnk", "@$&%04\\a.txt", "", "", "", "0", ""],
                          ["4", "@$&%04\\links\\one.lnk", "@$&%04\\b.txt", "", "", "", "0", ""]],
        }
        body = "\n".join([
            '[uninstall]',
            '[[files]]\nsource = "a.txt"\ndestination = "{app}"',
            '[[files]]\nsource = "b.txt"\ndestination = "{app}"\nuninstall = false',
            '[[files]]\nsource = "Uninstall.exe"\ndestination = "{app}"',
            uninstall_project_parts(texts, fields),
            "[raw]",
        ] + ["%s = %s" % (name, toml_records(r)) for name, r in lists.items()])
        text = self.project(folder, body, setup='bottom_text = "{app} bottom"')
        setup = self.build(text, [("a.txt", b"a"), ("b.txt", b"b"), ("Uninstall.exe", RECORDER)])
        self.install(setup)

        expected = [
            "[f]", "1=%s\\a.txt" % folder, "2=%s\\Uninstall.exe" % folder,
            "3=%s\\links\\one.lnk" % folder, "4=%s\\links\\one.lnk" % folder,
            "[e]", "1=%s\\data" % folder, "2=%s\\more" % folder,
            "[o1]", "0=7", "1=%s\\x" % folder,
            "[o2]", '0=""c""', "1=y",
            "[u]", "1=%s\\none1.dll" % folder,
            "[i1]", "0=%s\\a.ini" % folder, "1=S", "2=K",
            "[r1]", "0=1", "1=" + k, '2=""q""',
            "[r2]", "0=2", "1=SOFTWARE\\" + folder, "2=v",
            "[b1]", "0=%s\\u.exe" % folder, "1=/x", "2=0", "3=1",
            "[a1]", "0=w.exe", "1=", "2=1", "3=0",
            "[b2]", "0=v.exe", '1=""p""', "2=2", "3=",
            "[n1]", "0=Font English", "1=%s\\missing.ttf" % folder,
            "[s]",
        ] + settings_lines(texts, fields, folder + " bottom", folder, "0",
                           dict(e=2, f=4, u=1, r=2, i=1, b=2, a=1), h31="1", h93="3", h45="2")
        with open(os.path.join(host, "Uninstall.ini"), "rb") as f:
            self.assertEqual(f.read().decode("latin-1"), "".join(line + "\r\n" for line in expected))

        # Without the header picture the trailer is the INI path and its length.
        ini_path = (folder + "\\Uninstall.ini").encode("latin-1")
        with open(RECORDER, "rb") as f:
            original = f.read()
        with open(os.path.join(host, "Uninstall.exe"), "rb") as f:
            self.assertEqual(f.read(), original + ini_path + struct.pack("<H", len(ini_path)))

    def test_no_records(self):
        folder, host = self.app("uninst-empty")
        texts, fields = self.texts_and_fields()
        text = self.project(folder, "[uninstall]\n" + uninstall_project_parts(texts, fields))
        self.install(self.build(text))
        expected = ["[f]", "[e]", "[u]", "[s]"] + settings_lines(
            texts, fields, "Parvolex", folder, "0", dict.fromkeys("efuriba", 0), h31="0", h93="0", h45="0")
        with open(os.path.join(host, "Uninstall.ini"), "rb") as f:
            self.assertEqual(f.read().decode("latin-1"), "".join(line + "\r\n" for line in expected))
        # No uninstaller, no trailer: nothing is created in its place.
        self.assertFalse(os.path.exists(os.path.join(host, "Uninstall.exe")))

    def test_trailer_with_the_header_picture(self):
        folder, host = self.app("uninst-picture")
        text = self.project(folder, "\n".join([
            "[uninstall]",
            '[[files]]\nsource = "Uninstall.exe"\ndestination = "{app}"\nuninstall = false',
        ])).replace('header_picture = "none"\n', "")
        self.install(self.build(text, [("Uninstall.exe", RECORDER)]))
        with open(RECORDER, "rb") as f:
            original = f.read()
        with open(os.path.join(host, "Uninstall.exe"), "rb") as f:
            data = f.read()
        self.assertEqual(data[:len(original)], original)
        trailer = data[len(original):]
        ini_path = (folder + "\\Uninstall.ini").encode("latin-1")
        self.assertEqual(trailer[-2:], struct.pack("<H", len(ini_path)))
        self.assertEqual(trailer[-2 - len(ini_path):-2], ini_path)
        (size,) = struct.unpack("<I", trailer[-6 - len(ini_path):-2 - len(ini_path)])
        self.assertEqual(len(trailer), size + 4 + len(ini_path) + 2)
        self.assertEqual(ini_section(os.path.join(host, "Uninstall.ini"), "s")[31], "31=1")
        self.assertGreater(size, 0)
        bmp = trailer[:size]
        magic, file_size, _, offset, header_size, width, height = struct.unpack("<2sIIIIii", bmp[:26])
        self.assertEqual((magic, file_size, header_size), (b"BM", size, 40))
        self.assertEqual((width, height), (52, 52))  # the tool's default header picture
        bits = struct.unpack("<H", bmp[28:30])[0]
        stride = (width * bits + 31) // 32 * 4
        self.assertEqual(size - offset, stride * height)
        self.assertEqual(offset, 14 + 40 + (4 << bits if bits <= 8 else 0))


def shell_folder(test, name):
    """A folder of the Wine user's shell, from the registry."""
    values = test.read_key(r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders") or {}
    return values.get(name, (None, None))[1]


class ShortcutsTest(ActionsCase):
    def quick_launch(self):
        return harness.drive_c("users", getpass.getuser(), "AppData", "Roaming", "Microsoft",
                               "Internet Explorer", "Quick Launch")

    def install_links(self, name, records):
        folder, host = self.app(name)
        text = self.project(folder, "\n".join([
            "[uninstall]",
            '[[files]]\nsource = "tool.exe"\ndestination = "{app}"\nuninstall = false',
            '[[files]]\nsource = "readme.txt"\ndestination = "{app}"\nuninstall = false',
            "[raw]",
            "shortcuts = %s" % toml_records(records),
        ]), setup='program_group = "Pvx Group"')
        self.install(self.build(text, [("tool.exe", RECORDER), ("readme.txt", b"read me")]))
        links = [line.split("=", 1)[1] for line in ini_section(os.path.join(host, "Uninstall.ini"), "f") if line]
        for link in links:
            self.addCleanup(lambda p=host_path(link): os.path.exists(p) and os.remove(p))
        return folder, links

    def lnk(self, path):
        (record,) = [r for r in self.robot_ok("lnk", "path=" + path) if r["kind"] == "lnk"]
        return record

    def test_kinds_fields_and_repeats(self):
        self.addCleanup(shutil.rmtree, self.quick_launch(), True)
        shutil.rmtree(self.quick_launch(), ignore_errors=True)
        folder = "C:\\%s\\links" % ROOT
        records = [
            # kind, name, target, arguments, description, icon, icon index, working folder
            ["1", "PvxDesk.lnk", "@$&%04\\tool.exe", '--arg "x"', "On the desktop", "@$&%04\\tool.exe", "2", ""],
            ["0", "PvxGroup.lnk", "@$&%04\\tool.exe", "", "", "", "5", "C:\\work\\"],
            ["2", "PvxStart.lnk", "@$&%04\\readme.txt", "", "Start menu", "", "0", "@$&%04"],
            ["3", "PvxQuick.lnk", "@$&%04\\tool.exe", "", "", "", "0", ""],
            ["4", "@$&%04\\made\\here\\Same.lnk", "@$&%04\\tool.exe", "first", "", "", "0", ""],
            ["4", "@$&%04\\made\\here\\Same.lnk", "@$&%04\\readme.txt", "second", "", "", "0", ""],
            ["5", "PvxFive.lnk", "@$&%04\\tool.exe", "", "", "", "0", ""],
            ["", "PvxNoKind.lnk", "@$&%04\\tool.exe", "", "", "", "0", ""],
            ["x1", "PvxLetter.lnk", "@$&%04\\tool.exe", "", "", "", "0", ""],
            # A file stands where its folder would be: the save fails, the path is still listed.
            ["4", "@$&%04\\tool.exe\\Unsaved.lnk", "@$&%04\\tool.exe", "", "", "", "0", ""],
        ]
        _, links = self.install_links("links", records)
        self.addCleanup(lambda: shutil.rmtree(host_path(links[1].rsplit("\\", 1)[0]), True))
        # Every link made, in list order, the repeated path twice; no Quick
        # Launch folder on this machine, no link of kind 5.
        names = [l.rsplit("\\", 2)[-2:] for l in links]
        self.assertEqual(names, [["Desktop", "PvxDesk.lnk"], ["Pvx Group", "PvxGroup.lnk"],
                                 ["Start Menu", "PvxStart.lnk"], ["here", "Same.lnk"], ["here", "Same.lnk"],
                                 ["Pvx Group", "PvxNoKind.lnk"], ["Pvx Group", "PvxLetter.lnk"],
                                 ["tool.exe", "Unsaved.lnk"]])
        desktop, programs, start_menu = (shell_folder(self, n) for n in ("Desktop", "Programs", "Start Menu"))
        if desktop:
            self.assertEqual(links[0], desktop + "\\PvxDesk.lnk")
        if programs:
            self.assertEqual(links[1], programs + "\\Pvx Group\\PvxGroup.lnk")
        if start_menu:
            self.assertEqual(links[2], start_menu + "\\PvxStart.lnk")
        self.assertEqual(links[3], folder + "\\made\\here\\Same.lnk")
        for link in links[:-1]:
            self.assertTrue(os.path.isfile(host_path(link)), link)
        self.assertTrue(os.path.isfile(host_path(folder + "\\tool.exe")))

        desk = self.lnk(links[0])
        self.assertEqual((desk["target"], desk["args"], desk["description"], desk["workdir"], desk["icon"],
                          desk["iconindex"]),
                         (folder + "\\tool.exe", '--arg "x"', "On the desktop", folder, folder + "\\tool.exe", 2))
        group = self.lnk(links[1])
        # The working folder loses its backslash; an index without an icon file sets no icon.
        self.assertEqual((group["target"], group["workdir"], group["icon"], group["iconindex"]),
                         (folder + "\\tool.exe", "C:\\work", "", 0))
        start = self.lnk(links[2])
        self.assertEqual((start["target"], start["description"], start["workdir"]),
                         (folder + "\\readme.txt", "Start menu", folder))
        same = self.lnk(links[3])
        self.assertEqual((same["target"], same["args"], same["workdir"]), (folder + "\\readme.txt", "second", folder))

    def test_quick_launch_when_the_folder_exists(self):
        quick = self.quick_launch()
        os.makedirs(quick, exist_ok=True)
        self.addCleanup(shutil.rmtree, quick, True)
        folder = "C:\\%s\\quick" % ROOT
        _, links = self.install_links("quick", [["3", "PvxQuick.lnk", "@$&%04\\tool.exe", "", "", "", "0", ""]])
        self.assertEqual(len(links), 1)
        self.assertTrue(links[0].endswith("\\Quick Launch\\PvxQuick.lnk"), links[0])
        self.assertTrue(os.path.isfile(os.path.join(quick, "PvxQuick.lnk")))
        self.assertEqual(self.lnk(links[0])["target"], folder + "\\tool.exe")


class CommandsTest(ActionsCase):
    def read_log(self, path):
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            return [line.split("\t") for line in f.read().decode("latin-1").split("\r\n") if line]

    def test_phases_waiting_and_the_uninstall_part(self):
        folder, host = self.app("commands")
        log = harness.windows_path(os.path.join(self.scratch, "log.txt"))
        flag = harness.windows_path(os.path.join(self.scratch, "flag"))
        bin_recorder = harness.windows_path(RECORDER)
        app_recorder = "@$&%04\\recorder.exe"
        payload = "@$&%04\\payload.txt"

        def command(file, tag, phase, wait, extra=""):
            return ["", file, "%s tag=%s %s" % (log, tag, extra), "1", phase, wait]

        records = [
            command(bin_recorder, "before", "0", "1", "probe=" + payload),
            command(app_recorder, "after", "1", "1", "probe=" + payload),
            command(app_recorder, "phase2", "2", "1"),
            command(app_recorder, "wait1", "1", "1", "sleep=700"),
            command(app_recorder, "wait2", "1", "01"),
            command(app_recorder, "free", "1", "0", "until=" + flag),
            command(app_recorder, "toucher", "1", "1", "touch=" + flag),
            # The uninstaller's part: never run by the installation.
            command(app_recorder, "uninstall0", "0", "1"),
            command(app_recorder, "uninstall1", "1", "1"),
        ]
        text = self.project(folder, "\n".join([
            '[[files]]\nsource = "recorder.exe"\ndestination = "{app}"',
            '[[files]]\nsource = "payload.txt"\ndestination = "{app}"',
            "[header]\n40 = 7\n25 = 2",
            "[raw]\ncommands = %s" % toml_records(records),
        ]))
        self.install(self.build(text, [("recorder.exe", RECORDER), ("payload.txt", b"x")]))

        path = os.path.join(self.scratch, "log.txt")
        # The command that was not waited for may still be running.
        deadline = time.time() + 40
        while time.time() < deadline and len([l for l in self.read_log(path) if l[0].startswith("end")]) < 6:
            time.sleep(0.1)
        pids = {}
        events = []
        for line in self.read_log(path):
            word, pid = line[0].split()
            if word == "start":
                tag = line[2].split("tag=")[1].split()[0]
                pids[pid] = tag
                events.append(("start", tag, line[1]))
            elif word == "probe":
                events.append(("probe", pids.get(pid, "?"), line[1]))
            else:
                events.append(("end", pids.get(pid, "?"), line[1]))
        tags = [e[1] for e in events if e[0] == "start"]
        # "free" is not waited for, so "toucher" may log its start first.
        self.assertEqual(tags[:4], ["before", "after", "wait1", "wait2"])
        self.assertEqual(sorted(tags[4:]), ["free", "toucher"])
        # Phase 0 runs before the files are placed, phase 1 after them.
        self.assertIn(("probe", "before", "0"), events)
        self.assertIn(("probe", "after", "1"), events)
        # The working folder is the file's folder.
        starts = {e[1]: e[2] for e in events if e[0] == "start"}
        self.assertEqual(starts["before"].lower(), harness.windows_path(harness.BIN).lower())
        self.assertEqual(starts["after"].lower(), folder.lower())
        order = [(e[0], e[1]) for e in events if e[0] != "probe"]
        # Waited for: each ends before the next one starts.
        for first, second in (("before", "after"), ("after", "wait1"), ("wait1", "wait2"), ("wait2", "free")):
            self.assertLess(order.index(("end", first)), order.index(("start", second)), order)
        # Not waited for: the next command runs while it is still waiting.
        self.assertLess(order.index(("start", "toucher")), order.index(("end", "free")), order)
        self.assertIn(("end", "free", "found"), events)


class FontsTest(ActionsCase):
    NAMES = ("Pvx Test One", "Pvx Test Two", "Pvx Test Three", "Pvx Test Four", "Pvx Test Missing")

    def clean(self):
        for name in self.NAMES:
            self.reg_delete(FONTS_KEY, name)
        for path in (harness.drive_c("windows", "Fonts", "PvxTest1.ttf"),
                     harness.drive_c("windows", "Fonts2")):
            if os.path.isdir(path):
                shutil.rmtree(path, ignore_errors=True)
            elif os.path.exists(path):
                os.remove(path)

    def test_registry_data_by_folder_and_existing_values(self):
        self.clean()
        self.addCleanup(self.clean)
        self.reg_add(FONTS_KEY, "Pvx Test Four", "keep.ttf")
        folder, _ = self.app("fonts")
        records = [
            ["Pvx Test One", "@$&%15\\PvxTest1.ttf"],
            ["Pvx Test Two", "@$&%152\\PvxTest2.ttf"],  # a sibling "Fonts2"
            ["Pvx Test Three", "@$&%04\\PvxTest3.ttf"],
            ["Pvx Test Four", "@$&%04\\PvxTest4.ttf"],
            ["Pvx Test Missing", "@$&%04\\missing.ttf"],
        ]
        files = "\n".join('[[files]]\nsource = "%s"\ndestination = %s\nuninstall = false' % (n, toml_text(d))
                          for n, d in (("PvxTest1.ttf", "{fonts}"), ("PvxTest2.ttf", "{fonts}2"),
                                       ("PvxTest3.ttf", "{app}"), ("PvxTest4.ttf", "{app}")))
        text = self.project(folder, files + "\n[raw]\nfonts = %s\n" % toml_records(records))
        font = b"not really a font"
        self.install(self.build(text, [("PvxTest%d.ttf" % i, font) for i in range(1, 5)]))
        values = self.read_key(FONTS_KEY)
        self.assertEqual({n: values.get(n) for n in self.NAMES}, {
            "Pvx Test One": ("sz", "PvxTest1.ttf"),
            "Pvx Test Two": ("sz", "PvxTest2.ttf"),
            "Pvx Test Three": ("sz", folder + "\\PvxTest3.ttf"),
            "Pvx Test Four": ("sz", "keep.ttf"),
            "Pvx Test Missing": None,
        })


class ComTest(ActionsCase):
    def setUp(self):
        super().setUp()
        self.reg_delete(MARKER_KEY)
        self.addCleanup(self.reg_delete, MARKER_KEY)

    def package(self, name, header=""):
        folder, host = self.app(name)
        records = [["@$&%04\\missing.dll", "0"], ["@$&%04\\comserver_noexport.dll", "1"],
                   ["@$&%04\\comserver.dll", "1"]]
        files = "\n".join('[[files]]\nsource = "%s"\ndestination = "{app}"' % n
                          for n in ("comserver.dll", "comserver_noexport.dll"))
        text = self.project(folder, files + "\n" + header + "\n[raw]\ncom_registrations = %s\n" % toml_records(records))
        payload = [(n, os.path.join(harness.BIN, n)) for n in ("comserver.dll", "comserver_noexport.dll")]
        self.install(self.build(text, payload))
        return folder, host

    def log(self, host, dll):
        path = os.path.join(host, dll + ".log")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("latin-1").split()

    def test_registration(self):
        folder, host = self.package("com")
        self.assertEqual(self.read_key(MARKER_KEY), {"Registered": ("sz", folder + "\\comserver.dll")})
        # The DLL without the export is loaded and released again; the step goes on.
        self.assertEqual(self.log(host, "comserver_noexport.dll"), ["attach", "detach"])
        self.assertEqual(self.log(host, "comserver.dll"), ["attach", "register", "detach"])

    def test_field_20_zero_skips_the_step(self):
        # The records still follow in the script, but the count says none.
        _, host = self.package("com-off", "[header]\n20 = \"0\"")
        self.assertTrue(os.path.exists(os.path.join(host, "comserver.dll")))
        self.assertIsNone(self.read_key(MARKER_KEY))
        self.assertIsNone(self.log(host, "comserver.dll"))
        self.assertIsNone(self.log(host, "comserver_noexport.dll"))


if __name__ == "__main__":
    unittest.main()
