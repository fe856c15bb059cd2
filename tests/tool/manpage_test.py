"""The manual page docs/parvolex.1 against the tool: every command and
option that `parvolex --help` lists, and every one tool/main.cpp accepts,
has an entry of its own in the page; the page's version is the tool's;
the page formats without a warning."""
import os
import re
import shutil
import subprocess
import unittest

from cli_test import PARVOLEX, run

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
PAGE = os.path.join(ROOT, "docs", "parvolex.1")
MAIN = os.path.join(ROOT, "tool", "main.cpp")

OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z0-9-]*)")


def plain(roff):
    """Roff text without font changes, zero-width marks and escaped dashes."""
    return re.sub(r"\\f[BIRP]|\\&", "", roff).replace("\\-", "-").replace("\\e", "\\")


def sections(roff):
    """{section name: its lines}, from the .SH requests."""
    out, name = {}, None
    for line in roff.splitlines():
        if line.startswith(".SH "):
            name = line[4:].strip().strip('"')
            out[name] = []
        elif name:
            out[name].append(line)
    return out


def tags(lines):
    """The tag lines of the .TP and .TQ entries, as plain text."""
    return [plain(lines[i + 1]) for i, line in enumerate(lines[:-1]) if line.strip() in (".TP", ".TQ")]


def words(tag):
    """A tag's words, with the quotes and font requests (.B, .BI …) gone."""
    return [w for w in re.sub(r'^\.[BIR]{1,2}\s+', "", tag).replace('"', " ").replace(",", " ").split()]


class ManPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(PAGE, encoding="utf-8") as f:
            cls.roff = f.read()
        cls.sections = sections(cls.roff)
        cls.command_tags = [words(t) for t in tags(cls.sections["COMMANDS"])]
        entries = tags(cls.sections["COMMANDS"]) + tags(cls.sections["OPTIONS"])
        cls.documented_options = {o for t in entries for o in OPTION.findall(" ".join(words(t)))}
        help_run = run("--help")
        assert help_run.returncode == 0, help_run.stderr
        cls.help = help_run.stdout

    def test_every_command_of_the_help_has_an_entry(self):
        commands = re.findall(r"^\s+parvolex (\S+)", self.help, re.M)
        self.assertIn("build", commands)
        entry_names = {t[0] for t in self.command_tags}
        for command in commands:
            with self.subTest(command=command):
                self.assertIn(command, entry_names)

    def test_every_option_of_the_help_has_an_entry(self):
        options = set(OPTION.findall(self.help))
        self.assertIn("--runtime", options)
        self.assertEqual(options - self.documented_options, set())

    def test_every_command_and_option_the_tool_accepts_has_an_entry(self):
        # What main.cpp compares its arguments with: commands are compared
        # as `command == "..."`, options as `args[i] == "..."`, `a == "..."`
        # or by SigningOption's `arg == "..."`.
        with open(MAIN, encoding="utf-8") as f:
            source = f.read()
        commands = set(re.findall(r'command == "([^"]+)"', source))
        options = set(re.findall(r'(?:args\[i\]|\ba|\barg) == "(-[^"]+)"', source))
        self.assertIn("inspect", commands)
        self.assertIn("--sign-pkcs12", options)
        entry_names = {w for t in self.command_tags for w in t}
        for command in sorted(commands):
            with self.subTest(command=command):
                self.assertIn(command, entry_names | self.documented_options)
        self.assertEqual(options - self.documented_options, set())

    def test_version_is_the_tools(self):
        version = run("--version").stdout.split()[-1]
        th = re.search(r"^\.TH .*$", self.roff, re.M).group(0)
        self.assertIn('"parvolex %s"' % version, th)

    @unittest.skipUnless(shutil.which("groff"), "groff (groff-base, scripts/deps)")
    def test_formats_without_warnings(self):
        r = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", PAGE], capture_output=True, text=True)
        self.assertEqual((r.returncode, r.stderr), (0, ""))


if __name__ == "__main__":
    unittest.main()
