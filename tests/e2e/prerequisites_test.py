"""Start-up end to end: folder macros against the prefix's real folders,
registry variables, language choice, the system-version mask, the .NET
check and closing a running copy."""
import configparser
import json
import os
import socket
import subprocess
import time
import unittest

import harness
import packages

TITLE = "Start Setup"


def reg(env, *args):
    with open(os.devnull, "wb") as null:
        subprocess.run([harness.WINE, "reg"] + list(args) + ["/f"], env=env, stdout=null, stderr=null,
                       stdin=subprocess.DEVNULL, timeout=60)


def ini_values(path, section="v"):
    parser = configparser.RawConfigParser()
    parser.optionxform = str
    with open(path, encoding="latin-1") as f:
        parser.read_string(f.read())
    return dict(parser[section]) if parser.has_section(section) else {}


class StartupTestCase(harness.WineTestCase):
    def build(self, body, name="setup.exe"):
        text = '[setup]\ntitle = "%s"\n' % TITLE + body
        return packages.build(self.scratch, text, name)[0]

    def texts(self, exe):
        """The package's first language's texts, numbered from 1."""
        out = subprocess.run([harness.PARVOLEX, "inspect", exe, "--json"], capture_output=True,
                             text=True, check=True).stdout
        return [""] + json.loads(out)["language_strings"][0]

    def ini_probe(self, values, extra=""):
        """A package that writes each value (after expansion) into an INI
        file; returns (setup path, INI path on the host)."""
        ini = os.path.join(self.scratch, "probe.ini")
        body = "".join('[[ini]]\nfile = %s\nsection = "v"\nkey = %s\nvalue = %s\n' % (
            packages.toml_text(harness.windows_path(ini)), packages.toml_text(k), packages.toml_text(v))
            for k, v in values.items())
        # The INI entries are written verbatim: braces here are raw macros.
        return self.build(extra + body), ini


class FolderMacroTest(StartupTestCase):
    def test_macros_expand_to_the_prefixs_folders(self):
        user = os.environ.get("USER") or "root"
        numbers = {"%02d" % n: "@$&%%%02d" % n for n in list(range(0, 36)) + [41, 59]}
        numbers["tail"] = "x@$&%"
        setup, ini = self.ini_probe(numbers)
        code = self.start(setup, ["/S", "/P=C:\\Program Files\\Macro Test"]).wait(60)
        self.assertEqual(code, 0)
        got = ini_values(ini)
        expected = {
            "01": "C:\\Program Files", "02": "C:\\windows", "03": "C:\\windows\\system32",
            "04": "C:\\Program Files\\Macro Test", "05": "C:\\users\\%s\\Temp" % user,
            "06": "C:\\users\\%s\\Desktop" % user, "15": "C:\\windows\\Fonts",
            "16": "C:\\Program Files\\Common Files", "17": "C:",
            "18": harness.windows_path(self.scratch), "20": user,
            "21": "English", "22": socket.gethostname().upper()[:15],
            "00": "", "19": "", "23": "", "36": "", "59": "", "tail": "x",
        }
        for key, value in expected.items():
            with self.subTest(number=key):
                self.assertEqual(got.get(key, "").lower(), value.lower())
        for key in ("08", "09", "10", "13", "26", "27", "31"):
            with self.subTest(number=key):
                self.assertTrue(got.get(key, "").startswith("C:\\"), got.get(key))
        # The short form of Program Files.
        self.assertNotIn(" ", got["41"])
        self.assertTrue(got["41"].upper().startswith("C:\\PROG"), got["41"])


class RegistryVariableTest(StartupTestCase):
    def test_variables_resolve_from_the_registry(self):
        key = "HKCU\\Software\\ParvolexTest\\Variables"
        reg(self.env, "add", key, "/v", "Text", "/t", "REG_SZ", "/d", "plain text")
        reg(self.env, "add", key, "/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%SystemRoot%\\x")
        reg(self.env, "add", key, "/v", "Number", "/t", "REG_DWORD", "/d", "4294967291")
        reg(self.env, "add", key, "/v", "Binary", "/t", "REG_BINARY", "/d", "0102")
        reg(self.env, "add", key, "/v", "Macro", "/t", "REG_SZ", "/d", "@$&%02")
        variables = [("Text", "d1"), ("Expand", "d2"), ("Number", "d3"), ("Binary", "fallback"),
                     ("Missing", "fallback"), ("Macro", "d6")]
        body = "".join('[[registry_variables]]\nroot = "HKCU"\nkey = "Software\\\\ParvolexTest\\\\Variables"\n'
                       'name = "%s"\ndefault = "%s"\n' % v for v in variables)
        setup, ini = self.ini_probe({"v%d" % (i + 1): "@$&%%%d" % (81 + i) for i in range(6)}, body)
        self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
        got = ini_values(ini)
        self.assertEqual(got["v1"], "plain text")
        self.assertEqual(got["v2"].lower(), "c:\\windows\\x")
        self.assertEqual(got["v3"], "-5")
        self.assertEqual(got["v4"], "fallback")   # other types read as empty
        self.assertEqual(got["v5"], "fallback")
        self.assertEqual(got["v6"].lower(), "c:\\windows")  # expanded further


THREE = ('[[languages]]\nbase = "english"\nname = "English"\n'
         '[[languages]]\nbase = "german"\nname = "Deutsch"\n'
         '[[languages]]\nbase = "english"\nname = "English (UK)"\nid = 2057\n')


class LanguageTest(StartupTestCase):
    def language_of(self, args, answer=None):
        setup, ini = self.ini_probe({"lang": "@$&%21"}, THREE)
        p = self.start(setup, ["/S"] + args)
        dialog = None
        if answer:
            dialog = self.robot_ok("wait", "class=ParvolexLanguage", "visible=1", "timeout=20000", "--", "dump")
            self.robot_ok("wait", "class=ParvolexLanguage", "visible=1", "--", *answer)
        code = p.wait(60)
        return code, ini_values(ini).get("lang") if os.path.exists(ini) else None, dialog

    def test_requested_language(self):
        cases = {"/L=deu": "Deutsch", "/L=ENGLISH": "English (UK)", "/L=uk": "English (UK)",
                 "/l=DEUTSCH": "Deutsch"}
        for arg, name in cases.items():
            with self.subTest(arg):
                self.assertEqual(self.language_of([arg])[:2], (0, name))

    def test_dialog(self):
        code, name, dialog = self.language_of([], ["pick", "id=100", "index=2", "--", "click", "caption=OK"])
        self.assertEqual((code, name), (0, "English (UK)"))
        window = dialog[0]
        self.assertEqual((window["title"], window["cw"], window["ch"]), (TITLE, 287, 127))
        controls = {r["class"] + ":" + r.get("text", ""): r for r in dialog if r["kind"] == "control"}
        label = controls["Static:Please select a language."]
        self.assertEqual((label["x"], label["y"]), (67, 16))
        combo = [r for r in dialog if r["kind"] == "control" and r["class"] == "ComboBox"][0]
        self.assertEqual((combo["x"], combo["y"], combo["w"]), (67, 62, 210))
        self.assertEqual(combo["items"], "English\nDeutsch\nEnglish (UK)")
        ok, cancel = controls["Button:OK"], controls["Button:Cancel"]
        self.assertEqual((ok["x"], ok["y"], ok["w"], ok["h"]), (112, 95, 75, 23))
        self.assertEqual((cancel["x"], cancel["y"], cancel["w"], cancel["h"]), (202, 95, 75, 23))
        self.assertEqual(ok.get("default"), 1)

    def test_unmatched_request_shows_the_dialog(self):
        code, name, _ = self.language_of(["/L=xx"], ["key", "vk=RETURN"])
        self.assertEqual(code, 0)

    def test_cancelling_ends_with_code_2(self):
        for answer in (["click", "caption=Cancel"], ["key", "vk=ESCAPE"], ["close"]):
            with self.subTest(answer[0] + " " + answer[1] if len(answer) > 1 else answer[0]):
                code, name, _ = self.language_of([], answer)
                self.assertEqual(code, 2)
                self.assertIsNone(name)

    def test_one_language_never_asks(self):
        setup, ini = self.ini_probe({"lang": "@$&%21"})
        self.assertEqual(self.start(setup, ["/S", "/L=xx"]).wait(60), 0)
        self.assertEqual(ini_values(ini)["lang"], "English")


def languages(*records):
    """Language records (name, LANGID) of a package, all on the English texts."""
    return "".join('[[languages]]\nbase = "english"\nname = "%s"\nid = %d\n' % r for r in records)


# Records by identifier: the last German one, the British one, the American one.
BY_ID = languages(("English", 1033), ("Deutsch", 1031), ("English (UK)", 2057), ("Deutsch (neu)", 1031))
# No identifier matches French or Italian: the first record named exactly
# "English" (case counts) is taken, not the first record.
BY_NAME = languages(("Deutsch", 1031), ("english", 2057), ("English", 2057), ("English", 3081))
# Neither an identifier nor the name: the first record.
FIRST = languages(("Deutsch", 1031), ("English (UK)", 2057), ("Italiano (CH)", 2064))


class PreselectionTest(StartupTestCase):
    """The language dialog opens on the user's language. Wine 8 takes the
    user's locale (GetUserDefaultLangID) from LC_ALL of the process it
    starts, even when the host has no such locale generated; LANG alone and
    the prefix's HKCU\\Control Panel\\International values do not change it.
    The locale is set in the environment of the setup only, so the prefix
    keeps its state."""

    def test_dialog_preselects_the_users_language(self):
        cases = [
            ("de_DE.UTF-8", BY_ID, 3), ("en_GB.UTF-8", BY_ID, 2), ("en_US.UTF-8", BY_ID, 0),
            ("fr_FR.UTF-8", BY_ID, 0), ("fr_FR.UTF-8", BY_NAME, 2), ("de_DE.UTF-8", BY_NAME, 0),
            ("it_IT.UTF-8", FIRST, 0), ("it_CH.UTF-8", FIRST, 2), ("en_GB.UTF-8", FIRST, 1),
        ]
        for locale, records, selected in cases:
            with self.subTest(locale=locale, records=records.count("[[languages]]"), selected=selected):
                setup, ini = self.ini_probe({"lang": "@$&%21"}, records)
                env = dict(self.env, LC_ALL=locale)
                p = harness.WinProcess(setup, ["/S"], env)
                self._processes.append(p)
                dialog = self.robot_ok("wait", "class=ParvolexLanguage", "visible=1", "timeout=20000",
                                       "--", "waitctl", "id=100", "timeout=0")
                combo = dialog[-1]
                names = combo["items"].split("\n")
                self.assertEqual(combo["selected"], selected)
                # Enter takes the preselected record as the run's language.
                self.robot_ok("wait", "class=ParvolexLanguage", "visible=1", "--", "key", "vk=RETURN")
                self.assertEqual(p.wait(60), 0)
                self.assertEqual(ini_values(ini)["lang"], names[selected])


def work_folders():
    """The run work folders in the prefix user's temporary folder."""
    temp = harness.temp_folder()
    return {f for f in os.listdir(temp) if f.startswith("pvx-")} if os.path.isdir(temp) else set()


class VersionTest(StartupTestCase):
    def tearDown(self):
        reg(self.env, "delete", "HKCU\\Software\\Wine", "/v", "Version")
        super().tearDown()

    def test_unsupported_versions(self):
        # Wine's reported version -> its class bit.
        versions = {"win98": 4, "winxp": 64, "win7": 64, "win10": 256}
        for version, bit in versions.items():
            reg(self.env, "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version)
            for mask, refused in ((bit, True), (0xFFFF & ~bit, False), (bit | 65536, True), (bit << 16, False)):
                with self.subTest(version=version, mask=mask):
                    setup = self.build('[header]\n61 = "%d"\n62 = "Windows 2000 and XP"\n' % mask)
                    self.assertEqual(self.start(setup, ["/S"]).wait(60), 3 if refused else 0)

    def test_message_when_not_silent(self):
        reg(self.env, "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "winxp")
        setup = self.build('[header]\n61 = "64"\n62 = "Vista and later."\n'
                           '[[languages]]\nbase = "english"\nstrings = { 52 = "Not supported here. Use: " }\n')
        before = work_folders()
        p = self.start(setup)
        box = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "timeout=20000", "--", "msgbox")[-1]
        self.assertEqual(box["text"], "Not supported here. Use: Vista and later.")
        # As at every end of the run, the work folder is gone before the
        # message shows: a run killed now leaves nothing.
        self.assertEqual(work_folders() - before, set())
        self.assertEqual(box["icon"], "warning")
        self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1", "--", "click", "caption=OK")
        self.assertEqual(p.wait(60), 3)


class AdministratorTest(StartupTestCase):
    """The Wine user is always an administrator, and so is the process
    token of every program. The check reads the token of the setup's
    thread first, though, and a thread token can be given from outside:
    the launcher starts the setup suspended with an impersonation token
    made from its own. An anonymous one cannot be opened, so the check
    fails; one for deny only still counts as an administrator."""

    def test_thread_token(self):
        launcher = os.path.join(harness.BIN, "token_launcher.exe")
        cases = [
            # (token on the setup's thread, field 99, arguments, exit code)
            (None, "1", ["/S"], 0), ("2", "1", ["/S"], 0), ("restricted", "1", ["/S"], 0),
            ("0", "1", ["/S"], 3), ("0", "1", [], 3), ("0", "0", ["/S"], 0),
        ]
        setups = {}
        for token, field, args, code in cases:
            with self.subTest(token=token, field=field, args=args):
                if field not in setups:
                    setups[field] = self.build('[header]\n99 = "%s"\n' % field, "setup%s.exe" % field)
                setup = setups[field]
                before = work_folders()
                if token is None:
                    p = self.start(setup, args)
                else:
                    p = self.start(launcher, [token, harness.windows_path(setup)] + args)
                if code:
                    # The message shows in silent mode too.
                    box = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1",
                                        "timeout=20000", "--", "msgbox")[-1]
                    self.assertEqual((box["text"], box["buttons"], box["icon"]),
                                     (self.texts(setup)[85], "OK", "warning"))
                    self.assertEqual(work_folders() - before, set())
                    self.robot_ok("wait", "title=" + TITLE, "class=#32770", "--", "click", "caption=OK")
                self.assertEqual(p.wait(60), code)


class DotNetTest(StartupTestCase):
    POLICY = "HKLM\\SOFTWARE\\Microsoft\\.NETFramework\\policy"
    SCHEME = "pvxtest-download"

    def set_versions(self, versions):
        reg(self.env, "delete", self.POLICY)
        for v in versions:
            reg(self.env, "add", self.POLICY + "\\" + v, "/v", "50727", "/d", "1")

    def tearDown(self):
        reg(self.env, "delete", self.POLICY)
        super().tearDown()

    def test_versions(self):
        cases = [
            (["v1.0", "v1.1", "v2.0"], "2.0", True, 0), (["v1.0", "v1.1", "v2.0"], "2.0", False, 0),
            (["v1.1"], "2.0", True, 3), (["v1.1"], "2.0", False, 3),
            (["v2.0", "v4.0"], "2.0", False, 3), (["v2.0", "v4.0"], "2.0", True, 0),
            (["v4.0"], "0", False, 0),
        ]
        for versions, required, any_later, code in cases:
            with self.subTest(versions=versions, required=required, any_later=any_later):
                self.set_versions(versions)
                setup = self.build('[header]\n100 = "%s"\n85 = "%d"\n2 = "0"\n' % (required, any_later))
                p = self.start(setup, ["/S"])
                if code:
                    # The message shows even in silent mode.
                    box = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1",
                                        "timeout=20000", "--", "msgbox")[-1]
                    self.assertEqual(box["buttons"], "OK")
                    self.robot_ok("wait", "title=" + TITLE, "class=#32770", "--", "click", "caption=OK")
                self.assertEqual(p.wait(60), code)

    def test_download_question(self):
        # A URL scheme of our own whose handler is the recorder, so that
        # ShellExecute of the address is observable without touching the
        # prefix's http handler; the key goes again at the end.
        self.set_versions(["v1.1"])
        log = os.path.join(self.scratch, "opened.log")
        recorder = harness.windows_path(os.path.join(harness.BIN, "recorder.exe"))
        scheme = "HKCR\\" + self.SCHEME
        self.addCleanup(reg, self.env, "delete", scheme)
        reg(self.env, "add", scheme, "/ve", "/d", "URL:Parvolex test download")
        reg(self.env, "add", scheme, "/v", "URL Protocol", "/d", "")
        reg(self.env, "add", scheme + "\\shell\\open\\command", "/ve", "/d",
            '"%s" "%s" "%%1"' % (recorder, harness.windows_path(log)))
        address = self.SCHEME + "://download.example/dotnet?version=2.0&lang=en"
        setup = self.build('[header]\n100 = "2.0"\n85 = "1"\n2 = %s\n' % packages.toml_text(address))
        texts = self.texts(setup)
        for answer, args in (("Yes", ["/S"]), ("No", ["/S"]), ("Yes", []), ("No", [])):
            with self.subTest(answer=answer, args=args):
                if os.path.exists(log):
                    os.remove(log)
                before = work_folders()
                p = self.start(setup, args)
                box = self.robot_ok("wait", "title=" + TITLE, "class=#32770", "visible=1",
                                    "timeout=20000", "--", "msgbox")[-1]
                self.assertEqual((box["text"], box["buttons"], box["icon"]),
                                 (texts[86] + " " + texts[87], "Yes,No", "warning"))
                self.assertEqual(work_folders() - before, set())
                self.robot_ok("wait", "title=" + TITLE, "class=#32770", "--", "click", "caption=" + answer)
                self.assertEqual(p.wait(60), 3)
                if answer == "Yes":
                    # The handler was started before the run ended; it may
                    # not have written its line yet.
                    self.assertTrue(self.wait_for_file(log), "the address was not opened")
                    with open(log, encoding="latin-1") as f:
                        started = [l for l in f.read().splitlines() if l.startswith("start ")]
                    self.assertEqual(len(started), 1, started)
                    self.assertTrue(started[0].endswith(' "%s"' % address), started[0])
                else:
                    self.assertFalse(os.path.exists(log))

    @staticmethod
    def wait_for_file(path, rounds=500):
        for _ in range(rounds):
            if os.path.exists(path) and os.path.getsize(path):
                return True
            time.sleep(0.02)
        return False


class RunningCopyTest(StartupTestCase):
    def test_window_by_title(self):
        # Notepad closes on WM_CLOSE when nothing was typed.
        cases = [("0", "Untitled - Notepad", True), ("1", "notepad", True), ("0", "Notepad", False),
                 ("1", "parvolex", False), ("-1", "Untitled - Notepad", False)]
        for mode, name, closes in cases:
            with self.subTest(mode=mode, name=name):
                app = self.start("notepad")
                self.robot_ok("wait", "title~=Notepad", "visible=1", "timeout=20000")
                setup = self.build('[header]\n103 = "1"\n104 = "%s"\n105 = "%s"\n' % (name, mode))
                self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
                if closes:
                    self.assertEqual(app.wait(20), 0)
                else:
                    self.assertTrue(app.running())
                app.kill()

    def test_program_by_file_name(self):
        recorder = os.path.join(harness.BIN, "recorder.exe")
        app = self.start(recorder, [harness.windows_path(os.path.join(self.scratch, "r.log")), "sleep=60000"])
        setup = self.build('[header]\n103 = "1"\n104 = "RECORDER.EXE"\n105 = "2"\n')
        self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
        app.wait(20)


if __name__ == "__main__":
    unittest.main()
