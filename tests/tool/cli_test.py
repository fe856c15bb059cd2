"""Command-line tests of parvolex: build, inspect --json, extract.

PARVOLEX names the tool; the runtime is a stand-in file, since the tool
copies it unchanged.
"""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

PARVOLEX = os.environ.get("PARVOLEX", os.path.join(os.path.dirname(__file__), "../../build/bin/parvolex"))


def run(*args, env=None, cwd=None):
    e = dict(os.environ)
    e.pop("SOURCE_DATE_EPOCH", None)
    if env:
        e.update(env)
    return subprocess.run([PARVOLEX, *args], capture_output=True, text=True, env=e, cwd=cwd, timeout=120)


def noise(n, seed):
    out = bytearray(n)
    for i in range(n):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (seed >> 16) & 0xFF
    return bytes(out)


PROJECT = r'''
[setup]
title = "Example Tool 1.4"
program_group = "Example Tool"
licence = "licence.txt"
readme = "readme.rtf"

[package]
form = "FORM"
EXTRA

[[languages]]
base = "english"
[[languages]]
base = "german"
strings = { 25 = "Abbrechen!" }

[[files]]
source = "app"
destination = "{app}"
[[files]]
source = "data/*.bin"
destination = "{app}\\data"
overwrite = "ask-if-newer"
attributes = ["hidden"]

[[registry]]
root = "HKLM"
key = "SOFTWARE\\Example"
name = "Dir"
data = "{app}"
uninstall = true

[[ini]]
file = "{app}\\tool.ini"
section = "Main"
key = "Language"
value = "{language}"

[[shortcuts]]
kind = "group"
name = "Tool.lnk"
target = "{app}\\tool.exe"

[[commands]]
when = "uninstall-after"
file = "{app}\\cleanup.exe"

[uninstall]
enabled = true
'''


class Workspace:
    def __init__(self, form="cabinet", extra=""):
        self.dir = tempfile.mkdtemp(prefix="pvx-cli-")
        self.write("runtime.exe", b"MZ" + b"r" * 2046)
        self.write("licence.txt", "Licence text.\n".encode())
        self.write("readme.rtf", b"{\\rtf1 Readme}")
        self.write("app/tool.exe", b"MZ" + noise(4000, 3))
        self.write("app/docs/manual.txt", b"Manual\r\n" * 100)
        self.write("app/empty.txt", b"")
        self.write("data/one.bin", noise(90000, 5))
        self.write("data/two.bin", noise(50000, 9))
        self.write("p.toml", PROJECT.replace("FORM", form).replace("EXTRA", extra).encode())

    def path(self, rel):
        return os.path.join(self.dir, rel)

    def write(self, rel, data):
        p = self.path(rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)

    def read(self, rel):
        with open(self.path(rel), "rb") as f:
            return f.read()

    def build(self, project="p.toml", out="out/setup.exe", env=None):
        return run("build", self.path(project), "-o", self.path(out), "--runtime", self.path("runtime.exe"), env=env)

    def cleanup(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class InspectMatchesProject(unittest.TestCase):
    def test_json_describes_what_the_project_asked_for(self):
        for form in ("cabinet", "stored"):
            with self.subTest(form=form):
                ws = Workspace(form)
                try:
                    r = ws.build()
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertEqual(r.stderr, "")  # no progress bar without a terminal
                    i = run("inspect", ws.path("out/setup.exe"), "--json")
                    self.assertEqual(i.returncode, 0, i.stderr)
                    doc = json.loads(i.stdout)
                    self.check(doc, form, ws)
                finally:
                    ws.cleanup()

    def check(self, doc, form, ws):
        t = doc["trailer"]
        self.assertEqual(t["form_name"], form)
        self.assertEqual(t["magic"], 0xF1)
        self.assertEqual(t["header_last_index"], 120)
        self.assertEqual(t["script_offset"], 2048)
        self.assertEqual(doc["file_size"], os.path.getsize(ws.path("out/setup.exe")))
        header = {h["name"]: h["value"] for h in doc["header"] if h["name"]}
        self.assertEqual(len(doc["header"]), 121)
        self.assertEqual(header["signature"], "Parvolex v. 5.02")
        self.assertEqual(header["title"], "Example Tool 1.4")
        self.assertEqual(header["default_folder"], "@$&%01\\Example Tool 1.4")
        self.assertEqual(header["default_group"], "Example Tool")
        self.assertEqual(header["file_count"], "5")
        self.assertEqual(header["language_count"], "2")
        self.assertEqual(header["license_page"], "1")
        self.assertEqual(header["information_page"], "1")
        self.assertEqual(header["write_uninstall_record"], "1")
        self.assertEqual(header["install_command_count"], "0")
        self.assertEqual(header["uninstall_command_count"], "1")
        sizes = 4002 + 800 + 0 + 90000 + 50000
        self.assertEqual(header["disk_space"], str(sizes))
        units = 1 + 1 + 1 + 1  # registry, INI, shortcut, uninstall record
        total = sizes + units * 10240
        q, rem = divmod(total, 1024)
        expected = q + (1 if rem > 512 or (rem == 512 and q % 2) else 0)
        self.assertEqual(header["progress_maximum"], str(expected))
        lists = doc["lists"]
        files = lists["files"]["records"]
        self.assertEqual([f["destination"] for f in files], [
            "@$&%04\\docs\\manual.txt", "@$&%04\\empty.txt", "@$&%04\\tool.exe",
            "@$&%04\\data\\one.bin", "@$&%04\\data\\two.bin"])
        self.assertEqual([f["overwrite"] for f in files], ["2", "2", "2", "1", "1"])
        self.assertEqual(lists["registry_entries"]["records"], [{
            "root": "2", "key": "SOFTWARE\\Example", "value_name": "Dir", "data": "@$&%04", "type": "0",
            "overwrite": "1", "uninstall": "1"}])
        self.assertEqual(lists["ini_entries"]["records"][0]["value"], "@$&%21")
        self.assertEqual(lists["shortcuts"]["records"][0]["kind"], "0")
        self.assertEqual(lists["commands"]["records"][0]["part"], "uninstall")
        self.assertEqual(lists["commands"]["records"][0]["phase"], "1")
        langs = lists["languages"]["records"]
        self.assertEqual([(l["name"], l["id"]) for l in langs], [("English", "1033"), ("Deutsch (German)", "1031")])
        self.assertEqual(len(doc["language_strings"]), 2)
        self.assertEqual(len(doc["language_strings"][1]), 99)
        self.assertEqual(doc["language_strings"][1][24], "Abbrechen!")
        self.assertEqual(doc["language_strings"][1][23], "< &Zur\u00fcck")
        res = doc["resources"]
        self.assertIsNone(res["error"])
        self.assertEqual([m["name"] for m in res["members"]],
                         ["$inst\\4.tmp", "$inst\\5.tmp", "$inst\\7.tmp", "$inst\\15.tmp", "$inst\\16.tmp"])
        self.assertEqual(res["members"][-1]["size"], len(b"{\\rtf1 Readme}"))
        pay = doc["payload"]
        self.assertIsNone(pay["error"])
        self.assertEqual([m["name"] for m in pay["members"]], ["0", "1", "2", "3", "4"])
        self.assertEqual([m["size"] for m in pay["members"]], [800, 0, 4002, 90000, 50000])
        self.assertEqual(pay["members"][3]["attributes"], 0x02)
        self.assertEqual(pay["members"][0]["destination"], "@$&%04\\docs\\manual.txt")
        # An uninstall record without a registration in the list of
        # installed programs: the user cannot find the uninstaller.
        self.assertEqual(doc["registration"], [])
        self.assertEqual(len(doc["audit"]), 1)
        self.assertIn("does not register the product in the list of installed programs", doc["audit"][0])
        if form == "cabinet":
            self.assertEqual(len(pay["parts"]), 1)
            self.assertEqual(pay["parts"][0]["stream_offset"], t["payload_offset"])


class BrokenProjects(unittest.TestCase):
    CASES = [
        ("unknown key", '[setup]\ntitle = "T"\ncolour = 1\n', "p.toml:3: setup.colour: unknown key"),
        ("wrong type", '[setup]\ntitle = "T"\nsilent = "yes"\n', "p.toml:3: setup.silent: expected a boolean, found a string"),
        ("unknown overwrite mode",
         '[setup]\ntitle = "T"\n[[files]]\nsource = "licence.txt"\ndestination = "{app}"\noverwrite = "sometimes"\n',
         'p.toml:6: files[0].overwrite: unknown mode "sometimes" (expected ask, ask-if-newer, always, if-newer, never)'),
        ("missing source", '[setup]\ntitle = "T"\n[[files]]\nsource = "nope.txt"\ndestination = "{app}"\n',
         "p.toml:4: files[0].source: source file not found: nope.txt"),
        ("glob matching nothing", '[setup]\ntitle = "T"\n[[files]]\nsource = "app/*.dll"\ndestination = "{app}"\n',
         'p.toml:4: files[0].source: "app/*.dll" matches no file'),
        ("NUL in a text", '[setup]\ntitle = "T"\nbottom_text = "a\\u0000"\n',
         "p.toml:3: setup.bottom_text: the text contains a NUL character"),
        ("more than 255 languages", '[setup]\ntitle = "T"\n' + '[[languages]]\nbase = "german"\n' * 256,
         "languages: more than 255 languages (256)"),
        ("syntax", '[setup\ntitle = "T"\n', "p.toml:1: "),
    ]

    def test_each_error_is_reported_and_nothing_is_left_behind(self):
        for name, toml, expected in self.CASES:
            with self.subTest(name):
                ws = Workspace()
                try:
                    ws.write("p.toml", toml.encode())
                    r = ws.build()
                    self.assertEqual(r.returncode, 1)
                    self.assertIn(expected, r.stderr)
                    self.assertFalse(os.path.exists(ws.path("out")) and os.listdir(ws.path("out")),
                                     "output left behind")
                finally:
                    ws.cleanup()

    def test_failure_while_writing_removes_every_volume(self):
        # A source whose size changes between reading the project and packing
        # it (a /proc file reports size 0 but holds bytes).
        ws = Workspace("stored", 'volume_size = 100000\nvolume_name = "v@$&%19.bin"')
        try:
            os.symlink("/proc/self/status", ws.path("data/zzz.bin"))
            r = ws.build()
            self.assertEqual(r.returncode, 1)
            self.assertIn("changed while packing", r.stderr)
            self.assertEqual(os.listdir(ws.path("out")) if os.path.exists(ws.path("out")) else [], [])
        finally:
            ws.cleanup()

    def test_vanishing_runtime_leaves_nothing(self):
        ws = Workspace()
        try:
            r = run("build", ws.path("p.toml"), "-o", ws.path("out/setup.exe"), "--runtime", ws.path("none.exe"))
            self.assertEqual(r.returncode, 1)
            self.assertIn("cannot open the runtime", r.stderr)
            self.assertEqual(os.listdir(ws.path("out")) if os.path.exists(ws.path("out")) else [], [])
        finally:
            ws.cleanup()


class Reproducible(unittest.TestCase):
    def test_two_builds_are_byte_identical(self):
        for form, extra in (("cabinet", "part_size = 30000\nvolume_size = 70000"), ("stored", "")):
            with self.subTest(form=form):
                ws = Workspace(form, extra)
                try:
                    env = {"SOURCE_DATE_EPOCH": "1500000000"}
                    self.assertEqual(ws.build(out="a/setup.exe", env=env).returncode, 0)
                    # New modification times later than the epoch change nothing.
                    for rel in ("app/tool.exe", "data/one.bin"):
                        os.utime(ws.path(rel), (2000000000, 2000000000))
                    r = ws.build(out="b/setup.exe", env=env)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertEqual(sorted(os.listdir(ws.path("a"))), sorted(os.listdir(ws.path("b"))))
                    for name in os.listdir(ws.path("a")):
                        self.assertEqual(ws.read("a/" + name), ws.read("b/" + name), name)
                finally:
                    ws.cleanup()


class ExtractRoundTrip(unittest.TestCase):
    def test_both_forms_across_volumes(self):
        for form, extra in (
                ("cabinet", 'part_size = 20000\nvolume_size = 75000\nvolume_name = "ex-@$&%19.cab"'),
                ("cabinet", 'compression = "none"\nvolume_size = 80000'),
                ("stored", 'volume_size = 70000\nvolume_name = "ex-@$&%19.bin"')):
            with self.subTest(form=form, extra=extra):
                ws = Workspace(form, extra)
                try:
                    r = ws.build()
                    self.assertEqual(r.returncode, 0, r.stderr)
                    volumes = sorted(os.listdir(ws.path("out")))
                    self.assertGreater(len(volumes), 1, volumes)
                    doc = json.loads(run("inspect", ws.path("out/setup.exe"), "--json").stdout)
                    self.assertEqual(len(doc["volumes"]), len(volumes))
                    x = run("extract", ws.path("out/setup.exe"), "-d", ws.path("x"))
                    self.assertEqual(x.returncode, 0, x.stderr)
                    manifest = json.loads(ws.read("x/manifest.json"))
                    sources = {
                        "@$&%04\\docs\\manual.txt": "app/docs/manual.txt", "@$&%04\\empty.txt": "app/empty.txt",
                        "@$&%04\\tool.exe": "app/tool.exe", "@$&%04\\data\\one.bin": "data/one.bin",
                        "@$&%04\\data\\two.bin": "data/two.bin"}
                    self.assertEqual(len(manifest["payload"]), 5)
                    for m in manifest["payload"]:
                        self.assertEqual(ws.read("x/" + m["path"]), ws.read(sources[m["destination"]]),
                                         m["destination"])
                    self.assertEqual(ws.read("x/resources/15.tmp")[:5], b"{\\rtf")
                    self.assertEqual(ws.read("x/resources/16.tmp"), b"{\\rtf1 Readme}")
                    self.assertEqual(ws.read("x/resources/4.tmp")[:2], b"BM")
                    # A missing volume is a clear error, not a crash.
                    os.remove(ws.path("out/" + [v for v in volumes if v != "setup.exe"][-1]))
                    y = run("extract", ws.path("out/setup.exe"), "-d", ws.path("y"))
                    self.assertEqual(y.returncode, 1)
                    self.assertIn("missing volume", y.stderr)
                finally:
                    ws.cleanup()

    def test_not_a_package(self):
        ws = Workspace()
        try:
            ws.write("plain.exe", b"MZ" + b"\0" * 100)
            for args in (("inspect", ws.path("plain.exe")), ("extract", ws.path("plain.exe"), "-d", ws.path("x"))):
                r = run(*args)
                self.assertEqual(r.returncode, 1)
                self.assertIn("not a setup package", r.stderr)
        finally:
            ws.cleanup()


PRODUCT = r'''
[product]
id = "ExampleTool"
name = "Example Tool"
version = "1.4"
publisher = "Example Software"
icon = "{app}\\tool.exe"
winget_id = "ExampleSoftware.ExampleTool"

[[files]]
source = "app"
destination = "{app}"

[uninstall]
uninstaller = true
'''


def sha256(path):
    import hashlib
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest().upper()


class ProductAndWinget(unittest.TestCase):
    URL = "https://example.invalid/tool/setup.exe"

    def setUp(self):
        self.ws = Workspace()
        # The companion uninstaller is taken from beside the runtime.
        self.ws.write("uninstall.exe", b"MZ" + b"u" * 600)
        self.ws.write("product.toml", PRODUCT.encode())

    def tearDown(self):
        self.ws.cleanup()

    def build(self, *args, project="product.toml"):
        return run("build", self.ws.path(project), "-o", self.ws.path("out/setup.exe"), "--runtime",
                   self.ws.path("runtime.exe"), *args)

    def test_inspect_shows_the_registration_and_the_manifest_names_the_setup(self):
        r = self.build("--winget", self.ws.path("winget"), "--winget-url", self.URL)
        self.assertEqual(r.returncode, 0, r.stderr)
        manifest = self.ws.path("winget/ExampleSoftware.ExampleTool.installer.yaml")
        self.assertIn("wrote " + manifest, r.stdout)
        doc = json.loads(run("inspect", self.ws.path("out/setup.exe"), "--json").stdout)
        self.assertEqual(doc["audit"], [])
        values = {v["value_name"]: (v["type"], v["data"], v["uninstall"]) for v in doc["registration"]}
        self.assertEqual({v["key"] for v in doc["registration"]},
                         {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ExampleTool"})
        self.assertEqual(values["DisplayName"], ("string", "Example Tool", True))
        self.assertEqual(values["QuietUninstallString"], ("string", '"@$&%04\\Uninstall.exe" /S', True))
        self.assertEqual(values["EstimatedSize"], ("dword", str((4002 + 800 + 602 + 1023) // 1024), True))
        text = run("inspect", self.ws.path("out/setup.exe")).stdout
        self.assertIn("Registration in the list of installed programs\n"
                      "  HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ExampleTool\n"
                      '    DisplayName            string "Example Tool"\n', text)
        with open(manifest, encoding="utf-8") as f:
            yaml = f.read()
        self.assertIn('InstallerSha256: "%s"' % sha256(self.ws.path("out/setup.exe")), yaml)
        self.assertIn('InstallerUrl: "%s"' % self.URL, yaml)
        self.assertIn("ManifestType: installer", yaml)
        self.assertEqual(os.stat(manifest).st_mode & 0o111, 0, "a text, not a program")

    def test_every_winget_problem_is_found_before_anything_is_written(self):
        no_version = PRODUCT.replace('version = "1.4"\n', "")
        cases = [
            ("no product", "p.toml", ("--winget", "w", "--winget-url", self.URL), 1,
             "--winget needs a [product] table"),
            ("no version", no_version, ("--winget", "w", "--winget-url", self.URL), 1, "product.version: missing"),
            ("no address", PRODUCT, ("--winget", "w"), 1, "--winget needs --winget-url"),
            ("not a web address", PRODUCT, ("--winget", "w", "--winget-url", "C:\\setup.exe"), 1,
             "expected an http:// or https:// address"),
            ("volumes", PRODUCT + '[package]\nvolume_size = "1M"\n', ("--winget", "w", "--winget-url", self.URL), 1,
             "winget downloads one file"),
            ("address alone", PRODUCT, ("--winget-url", self.URL), 2, "--winget-url needs --winget DIR"),
            ("icon not in the payload", PRODUCT.replace("tool.exe", "nothing.exe"),
             ("--winget", "w", "--winget-url", self.URL), 1, "product.icon"),
        ]
        for name, project, args, code, message in cases:
            with self.subTest(name):
                if project != "p.toml":
                    self.ws.write("case.toml", project.encode())
                    project = "case.toml"
                args = tuple(self.ws.path(a) if a == "w" else a for a in args)
                r = self.build(*args, project=project)
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertIn(message, r.stderr)
                for folder in ("out", "w"):
                    path = self.ws.path(folder)
                    self.assertEqual(os.listdir(path) if os.path.isdir(path) else [], [], folder)


class DocumentedExample(unittest.TestCase):
    def test_the_complete_example_of_the_project_format_builds(self):
        doc_path = os.path.join(os.path.dirname(__file__), "../../docs/project-format.md")
        with open(doc_path, encoding="utf-8") as f:
            text = f.read()
        example = text.split("## A complete example", 1)[1].split("```toml\n", 1)[1].split("```", 1)[0]
        ws = Workspace()
        try:
            ws.write("example.toml", example.encode())
            # A 2 x 2 BMP, 24-bit.
            row = b"\xff\x00\x00" * 2 + b"\x00\x00"
            bmp = (b"BM" + (54 + 16).to_bytes(4, "little") + b"\0\0\0\0" + (54).to_bytes(4, "little") +
                   (40).to_bytes(4, "little") + (2).to_bytes(4, "little") + (2).to_bytes(4, "little") +
                   (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + b"\0" * 24 + row * 2)
            ws.write("art/side.bmp", bmp)
            for rel in ("text/licence-en.txt", "text/licence-de.txt", "text/readme-en.txt", "text/readme-de.txt",
                        "app/bin/tool.exe", "app/bin/Uninstall.exe", "app/docs/manual.txt", "app/samples/a.txt"):
                ws.write(rel, b"text\n")
            r = ws.build(project="example.toml")
            self.assertEqual(r.returncode, 0, r.stderr)
            doc = json.loads(run("inspect", ws.path("out/setup.exe"), "--json").stdout)
            header = {h["name"]: h["value"] for h in doc["header"] if h["name"]}
            self.assertEqual(header["title"], "Example Tool 1.4")
            self.assertEqual(header["backdrop"], "1")
            self.assertEqual(header["unsupported_windows"], "31")
            self.assertEqual(doc["audit"], [])
        finally:
            ws.cleanup()

    def test_the_publishing_example_of_the_readme_builds_without_findings(self):
        readme = os.path.join(os.path.dirname(__file__), "../../README.md")
        with open(readme, encoding="utf-8") as f:
            text = f.read()
        example = text.split("## Publishing", 1)[1].split("```toml\n", 1)[1].split("```", 1)[0]
        ws = Workspace()
        try:
            ws.write("uninstall.exe", b"MZ uninstaller")
            ws.write("tool/project.toml", example.encode())
            ws.write("tool/app/tool.exe", b"MZ")
            r = ws.build(project="tool/project.toml")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stderr, "")
            doc = json.loads(run("inspect", ws.path("out/setup.exe"), "--json").stdout)
            self.assertEqual(doc["audit"], [])
            self.assertIn("QuietUninstallString", [v["value_name"] for v in doc["registration"]])
        finally:
            ws.cleanup()



class NewProject(unittest.TestCase):
    def test_the_starter_builds_without_findings_and_nothing_is_overwritten(self):
        ws = Workspace()
        try:
            ws.write("uninstall.exe", b"MZ uninstaller")
            cases = {"folder name": ("My Tool", [], "My Tool", "MyTool"),
                     "--name": ("x", ["--name", "Acme Editor 2"], "Acme Editor 2", "AcmeEditor2")}
            for label, (folder, args, name, id_) in cases.items():
                with self.subTest(label):
                    r = run("new", ws.path(folder), *args)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertTrue(os.path.isdir(ws.path(folder + "/app")))
                    b = ws.build(project=folder + "/project.toml", out=folder + "/dist/setup.exe")
                    self.assertEqual(b.returncode, 0, b.stderr)
                    self.assertEqual(b.stderr, "")
                    doc = json.loads(run("inspect", ws.path(folder + "/dist/setup.exe"), "--json").stdout)
                    self.assertEqual(doc["audit"], [])
                    values = {v["value_name"]: v["data"] for v in doc["registration"]}
                    self.assertEqual(values["DisplayName"], name)
                    self.assertTrue(any(id_ in v["key"] for v in doc["registration"]))
            with self.subTest("a second new changes nothing"):
                before = ws.read("My Tool/project.toml")
                r = run("new", ws.path("My Tool"))
                self.assertEqual(r.returncode, 1)
                self.assertIn("already holds a project", r.stderr)
                self.assertEqual(ws.read("My Tool/project.toml"), before)
            with self.subTest("a name that cannot be a product's"):
                r = run("new", ws.path("fresh"), "--name", "!!!")
                self.assertEqual(r.returncode, 1)
                self.assertIn("cannot name a product", r.stderr)
                self.assertFalse(os.path.exists(ws.path("fresh")))
        finally:
            ws.cleanup()


if __name__ == "__main__":
    unittest.main()
