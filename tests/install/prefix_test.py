"""scripts/install PREFIX into temporary prefixes: the layout, a tool
that finds its runtime in PREFIX/share/parvolex (also through a symbolic
link from another folder), prefers one beside itself, and names both
places when neither has one. Reuses the release build of the fixture
install_release_package."""
import os
import shutil
import tempfile
import unittest

from install_util import INSTALLED_FILES, ROOT, read, run

INSTALL = os.path.join(ROOT, "scripts", "install")

PROJECT = '''
[setup]
title = "Prefix Test"
[[languages]]
base = "english"
[[files]]
source = "app.txt"
destination = "{app}"
'''


class PrefixInstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="pvx-prefix-")
        # A relative PREFIX is taken from where the script was started.
        r = run([INSTALL, "prefix"], cwd=cls.work)
        assert r.returncode == 0, r.stdout + r.stderr
        cls.install_output = r.stdout
        cls.prefix = os.path.join(cls.work, "prefix")
        cls.tool = os.path.join(cls.prefix, "bin", "parvolex")
        cls.project = os.path.join(cls.work, "project")
        os.makedirs(cls.project)
        with open(os.path.join(cls.project, "p.toml"), "w") as f:
            f.write(PROJECT)
        with open(os.path.join(cls.project, "app.txt"), "w") as f:
            f.write("payload\n")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def build(self, tool, name):
        out = os.path.join(self.work, name)
        r = run([tool, "build", os.path.join(self.project, "p.toml"), "-o", out], cwd=self.work)
        return r, out

    def test_layout(self):
        for rel in INSTALLED_FILES:
            with self.subTest(file=rel):
                self.assertTrue(os.path.isfile(os.path.join(self.prefix, rel)))
        self.assertTrue(os.access(self.tool, os.X_OK))
        self.assertIn(self.prefix, self.install_output)
        self.assertEqual(read(os.path.join(self.prefix, "share/parvolex/runtime.exe")),
                         read(os.path.join(ROOT, "build/bin/runtime.exe")))

    def test_runtime_found_in_share(self):
        runtime = read(os.path.join(self.prefix, "share/parvolex/runtime.exe"))
        r, out = self.build(self.tool, "share.exe")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(read(out)[:len(runtime)], runtime)
        # A link in another folder resolves to the installed tool.
        os.makedirs(os.path.join(self.work, "elsewhere"), exist_ok=True)
        link = os.path.join(self.work, "elsewhere", "parvolex")
        if not os.path.lexists(link):
            os.symlink(self.tool, link)
        r, out = self.build(link, "linked.exe")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(read(out)[:len(runtime)], runtime)

    def test_runtime_beside_the_tool_wins_and_none_is_an_error(self):
        # A copy of the prefix, so that the other tests keep theirs whole.
        prefix = os.path.join(self.work, "copy")
        shutil.copytree(self.prefix, prefix, symlinks=True)
        tool = os.path.join(prefix, "bin", "parvolex")
        beside = os.path.join(prefix, "bin", "runtime.exe")
        stand_in = b"MZ" + bytes(range(256)) * 4
        with open(beside, "wb") as f:
            f.write(stand_in)
        r, out = self.build(tool, "beside.exe")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(read(out)[:len(stand_in)], stand_in)

        os.remove(beside)
        os.remove(os.path.join(prefix, "share/parvolex/runtime.exe"))
        r, out = self.build(tool, "none.exe")
        self.assertEqual(r.returncode, 1)
        self.assertIn(beside, r.stderr)
        self.assertIn(os.path.join(prefix, "share/parvolex/runtime.exe"), r.stderr)
        self.assertIn("--runtime", r.stderr)
        self.assertFalse(os.path.exists(out))

    def test_destdir_stages_the_same_layout(self):
        stage = os.path.join(self.work, "stage")
        # A relative DESTDIR, like PREFIX, is taken from where the script was started.
        r = run([INSTALL, "/opt/parvolex"], env=dict(os.environ, DESTDIR="stage"), cwd=self.work)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        for rel in INSTALLED_FILES:
            with self.subTest(file=rel):
                self.assertTrue(os.path.isfile(os.path.join(stage, "opt/parvolex", rel)))

    def test_bad_arguments_are_refused_before_building(self):
        for args in (["--bogus"], ["a", "b"]):
            with self.subTest(args=args):
                r = run([INSTALL, *args], cwd=self.work)
                self.assertEqual(r.returncode, 2)
                self.assertIn("usage: scripts/install [PREFIX]", r.stderr)
                self.assertEqual(r.stdout, "")


if __name__ == "__main__":
    unittest.main()
