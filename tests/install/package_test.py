"""The Debian package of scripts/package (build/package/parvolex_*.deb,
made by the ctest fixture install_release_package): its control fields
declare what the tool needs, and the tool unpacked from it into a
temporary root builds the demo shipped beside it, with the runtime and
the uninstaller of the package."""
import glob
import json
import os
import shutil
import tempfile
import unittest

from install_util import INSTALLED_FILES, ROOT, elf_sections, pe_machine, read, run

PACKAGE_DIR = os.path.join(ROOT, "build", "package")


def package_of(library):
    """The Debian package that holds a shared library (either side of the
    /lib -> /usr/lib merge, which dpkg does not know about)."""
    candidates = [library]
    if library.startswith("/usr/lib/"):
        candidates.append(library[4:])
    elif library.startswith("/lib/"):
        candidates.append("/usr" + library)
    for path in candidates:
        r = run(["dpkg", "-S", path])
        if r.returncode == 0:
            return r.stdout.split(":", 1)[0]
    raise AssertionError("no package holds " + library)


def names(relation_field):
    """The package names of a Depends-style field, without versions."""
    out = set()
    for part in relation_field.split(","):
        for alternative in part.split("|"):
            if alternative.strip():
                out.add(alternative.split("(")[0].strip().split(":")[0])
    return out


class DebianPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        debs = glob.glob(os.path.join(PACKAGE_DIR, "parvolex_*.deb"))
        assert len(debs) == 1, "want one package in %s (scripts/package), found %r" % (PACKAGE_DIR, debs)
        cls.deb = debs[0]
        cls.root = tempfile.mkdtemp(prefix="pvx-deb-root-")
        r = run(["dpkg-deb", "-x", cls.deb, cls.root])
        assert r.returncode == 0, r.stderr
        cls.tool = os.path.join(cls.root, "usr/bin/parvolex")
        cls.share = os.path.join(cls.root, "usr/share/parvolex")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def field(self, name):
        return run(["dpkg-deb", "-f", self.deb, name], check=True).stdout.strip()

    def test_holds_the_installed_layout_under_usr_only(self):
        for rel in INSTALLED_FILES:
            with self.subTest(file=rel):
                self.assertTrue(os.path.isfile(os.path.join(self.root, "usr", rel)))
        self.assertEqual(os.listdir(self.root), ["usr"])
        listing = run(["dpkg-deb", "-c", self.deb], check=True).stdout.splitlines()
        self.assertTrue(listing)
        for line in listing:
            with self.subTest(entry=line):
                self.assertIn(" root/root ", line)

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), "parvolex")
        self.assertEqual(self.field("Architecture"), run(["dpkg", "--print-architecture"]).stdout.strip())
        # The version is the tool's own.
        self.assertEqual("parvolex " + self.field("Version"), run([self.tool, "--version"]).stdout.strip())
        self.assertIn("osslsigncode", names(self.field("Recommends") + "," + self.field("Suggests")))
        self.assertTrue(self.field("Maintainer"))
        self.assertTrue(self.field("Description"))

    def test_depends_names_every_library_the_tool_loads(self):
        ldd = run(["ldd", self.tool], check=True).stdout
        libraries = [line.split("=>")[1].split("(")[0].strip() for line in ldd.splitlines() if "=>" in line]
        self.assertTrue(libraries)
        depends = names(self.field("Depends"))
        for library in libraries:
            with self.subTest(library=library):
                self.assertIn(package_of(library), depends)

    def test_tool_is_the_stripped_release_build(self):
        sections = elf_sections(self.tool)
        self.assertIn(".text", sections)
        self.assertFalse({".symtab", ".debug_info", ".debug_line"} & sections, sections)

    def test_shipped_runtime_is_the_32_bit_stub(self):
        runtime = os.path.join(self.share, "runtime.exe")
        self.assertEqual(pe_machine(runtime), 0x14C)
        self.assertLessEqual(os.path.getsize(runtime), 65536)
        self.assertEqual(pe_machine(os.path.join(self.share, "uninstall.exe")), 0x14C)

    def test_unpacked_tool_builds_the_demo_with_the_packaged_runtime(self):
        # Nothing beside the tool: the runtime can only come from share/.
        self.assertFalse(os.path.exists(os.path.join(self.root, "usr/bin/runtime.exe")))
        demo = os.path.join(self.root, "usr/share/doc/parvolex/examples/demo")
        before = sorted(os.walk(demo))
        out = tempfile.mkdtemp(prefix="pvx-deb-demo-")
        self.addCleanup(shutil.rmtree, out, True)
        setup = os.path.join(out, "setup.exe")
        r = run([self.tool, "build", os.path.join(demo, "demo.toml"), "-o", setup], cwd=out)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sorted(os.walk(demo)), before, "the build wrote into the shipped example")
        self.assertFalse(os.path.exists(os.path.join(self.root, "usr/share/doc/build")))

        r = run([self.tool, "inspect", setup, "--json"])
        self.assertEqual(r.returncode, 0, r.stderr)
        report = json.loads(r.stdout)
        runtime = read(os.path.join(self.share, "runtime.exe"))
        self.assertEqual(report["trailer"]["script_offset"], len(runtime))
        self.assertEqual(read(setup)[:len(runtime)], runtime)

        # The demo ships the companion uninstaller: the package's own.
        r = run([self.tool, "extract", setup, "-d", os.path.join(out, "x")])
        self.assertEqual(r.returncode, 0, r.stderr)
        members = glob.glob(os.path.join(out, "x", "payload", "*")) + glob.glob(os.path.join(out, "x", "resources", "*"))
        uninstaller = read(os.path.join(self.share, "uninstall.exe"))
        self.assertIn(uninstaller, [read(m) for m in members])


if __name__ == "__main__":
    unittest.main()
