"""Signed setups end to end: a setup signed with osslsigncode (a throwaway
self-signed certificate made with openssl for the test) installs like its
unsigned twin; one whose bytes changed after signing is damaged and
installs nothing; one whose signature was removed again installs; an
absurd security directory is a damaged trailer."""
import os
import shutil
import struct
import subprocess
import unittest

import harness
import packages

TITLE = "Test Setup"
CORRUPTED = "The setup files are corrupted. Please obtain a new copy of the program."
NOTICE = "Verifying the setup files..."
FILES = {"a.txt": b"first file of the payload\r\n", "data/block.bin": 40000, "data/odd.bin": 7777}
PASSWORD = "throwaway"


def temp_entries():
    temp = harness.temp_folder()
    return set(os.listdir(temp)) if os.path.isdir(temp) else set()


def make_certificate(folder):
    """A self-signed code-signing certificate and its key as PKCS#12."""
    key, cert, p12 = (os.path.join(folder, n) for n in ("key.pem", "cert.pem", "cert.p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Parvolex Test Publisher", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
                    "-passout", "pass:" + PASSWORD], check=True, capture_output=True)
    return p12


def sign(p12, unsigned, signed):
    subprocess.run(["osslsigncode", "sign", "-pkcs12", p12, "-pass", PASSWORD, "-h", "sha256",
                    "-n", "Test Setup", "-in", unsigned, "-out", signed], check=True,
                   capture_output=True)


def security_directory_at(data):
    """File offset of the PE security directory (offset, size)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    wide = 16 if struct.unpack_from("<H", data, pe + 24)[0] == 0x20B else 0
    return pe + 24 + 128 + wide


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"),
                     "osslsigncode and openssl are installed by scripts/deps")
class SignedSetupTest(harness.WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.keys = harness.tempfile.mkdtemp(prefix="pvx-keys-", dir=harness.STATE_DIR)
        cls.p12 = make_certificate(cls.keys)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def build_signed(self, name, package, extra_title="", files=FILES):
        """Builds a package and signs it; returns (unsigned, signed, target, contents)."""
        folder = os.path.join(self.scratch, name.replace(" ", "_"))
        os.makedirs(folder)
        contents = packages.write_payload(os.path.join(folder, "payload"), files)
        target = packages.install_folder("Signed " + name)
        body = '[setup]\ntitle = "%s%s"\n' % (TITLE, extra_title) + package + \
            '[[files]]\nsource = "payload"\ndestination = %s\n' % packages.toml_text(
                harness.windows_path(target))
        unsigned, _ = packages.build(folder, body, name="unsigned.exe")
        signed = os.path.join(folder, "setup.exe")
        sign(self.p12, unsigned, signed)
        return unsigned, signed, target, contents

    def assert_installed(self, setup, target, contents, args=("/S",)):
        before = temp_entries()
        self.assertEqual(self.start(setup, list(args)).wait(60), 0)
        for rel, data in contents.items():
            with open(os.path.join(target, rel), "rb") as f:
                self.assertEqual(f.read(), data, rel)
        self.assertEqual(temp_entries() - before, set())

    def assert_damaged(self, setup, target, args):
        """The corruption message, exit code 1, nothing written."""
        before = temp_entries()
        p = self.start(setup, args)
        box = self.robot_ok("wait", "title=Error", "exe=setup.exe", "visible=1", "--", "msgbox")
        self.assertEqual([r for r in box if r["kind"] == "msgbox"][0]["text"], CORRUPTED)
        self.robot_ok("wait", "title=Error", "exe=setup.exe", "--", "click", "caption=OK")
        self.assertEqual(p.wait(30), 1)
        self.assertFalse(os.path.exists(target), "files were installed")
        self.assertEqual(temp_entries() - before, set())

    def test_signed_forms_install_as_their_unsigned_twins(self):
        runtime = os.path.getsize(harness.RUNTIME)
        forms = {
            "stored": '[package]\nform = "stored"\n',
            "cabinet": '[package]\nform = "cabinet"\n',
            "stored volumes": '[package]\nform = "stored"\nvolume_size = "%d"\n' % (runtime + 90000),
            "cabinet volumes": '[package]\nform = "cabinet"\ncompression = "none"\npart_size = 20000\n'
                               'volume_size = "%d"\n' % (runtime + 90000),
        }
        remainders = set()
        for i, (name, package) in enumerate(forms.items()):
            with self.subTest(name):
                # Titles of different lengths give the unsigned files
                # different lengths modulo 8, so the padding differs.
                unsigned, signed, target, contents = self.build_signed(name, package, "x" * i)
                remainders.add(os.path.getsize(unsigned) % 8)
                if "volumes" in name:
                    self.assertTrue([n for n in os.listdir(os.path.dirname(signed))
                                     if n.startswith("setup-")], "the package was meant to span volumes")
                out = subprocess.run(["osslsigncode", "verify", "-in", signed], capture_output=True,
                                     text=True)
                self.assertIn("Message digest", out.stdout)
                self.assert_installed(signed, target, contents)
        self.assertGreater(len(remainders), 1, "every package had the same padding")

    def test_every_padding_length(self):
        # Stored form, one run per remainder of the unsigned length modulo 8.
        seen = set()
        for i in range(16):
            if len(seen) == 8:
                break
            name = "pad %d" % i
            unsigned, signed, target, contents = self.build_signed(name, '[package]\nform = "stored"\n',
                                                                   "y" * i)
            remainder = os.path.getsize(unsigned) % 8
            if remainder in seen:
                continue
            seen.add(remainder)
            with self.subTest(remainder=remainder):
                self.assert_installed(signed, target, contents)
            # Removing the signature leaves the padding at the file's end.
            removed = os.path.join(os.path.dirname(signed), "removed.exe")
            subprocess.run(["osslsigncode", "remove-signature", "-in", signed, "-out", removed],
                           check=True, capture_output=True)
            shutil.rmtree(target)
            with self.subTest(remainder=remainder, signature="removed"):
                self.assert_installed(removed, target, contents)
        self.assertEqual(len(seen), 8)

    def test_a_byte_changed_after_signing_installs_nothing(self):
        unsigned, signed, target, contents = self.build_signed("tampered", '[package]\nform = "stored"\n')
        with open(signed, "rb") as f:
            data = bytearray(f.read())
        at = data.find(contents["a.txt"])
        self.assertGreater(at, 0)
        data[at] ^= 0x20  # "first" becomes "First": still a valid package
        with open(signed, "wb") as f:
            f.write(data)
        for args in ([], ["/S"]):
            with self.subTest(args=args):
                self.assert_damaged(signed, target, args)

    def test_a_long_check_shows_that_the_setup_is_working(self):
        # Large enough that hashing it takes seconds: a notice shows while
        # the wizard is not yet there, and goes when it comes; a silent
        # setup shows nothing.
        big = {"big.bin": os.urandom(160 << 20)}
        _, signed, target, contents = self.build_signed("long check", '[package]\nform = "stored"\n',
                                                        files=big)
        with self.subTest("silent"):
            p = self.start(signed, ["/S"])
            code, _ = self.robot("wait", "title=" + NOTICE, "exe=setup.exe", "visible=1",
                                 "timeout=6000")
            self.assertNotEqual(code, 0, "a silent setup showed the notice")
            self.assertEqual(p.wait(120), 0)
            with open(os.path.join(target, "big.bin"), "rb") as f:
                self.assertTrue(f.read() == contents["big.bin"], "big.bin differs")
        with self.subTest("interactive"):
            self.start(signed, [])
            notice = self.robot_ok("wait", "title=" + NOTICE, "exe=setup.exe", "visible=1",
                                   timeout=60)[0]
            self.robot_ok("wait", "title=" + TITLE, "class=PvxPage", "visible=1", timeout=120)
            code, _ = self.robot("wait", "hwnd=0x%x" % notice["hwnd"], "visible=1", "timeout=0")
            self.assertNotEqual(code, 0, "the notice stayed over the wizard")

    def test_the_check_is_logged(self):
        _, signed, target, contents = self.build_signed("logged", '[package]\nform = "stored"\n')
        log = os.path.join(self.scratch, "setup.log")
        self.assert_installed(signed, target, contents, ["/S", "/LOG=" + harness.windows_path(log)])
        with open(log, "rb") as f:
            text = f.read().decode("latin-1")
        # Self-signed: the system does not trust the root, and the run goes on.
        self.assertRegex(text, r"Signature of the setup checked: (done|failed, error 0x800B0109)")

    def test_a_removed_signature_installs(self):
        _, signed, target, contents = self.build_signed("removed", '[package]\nform = "cabinet"\n')
        removed = os.path.join(os.path.dirname(signed), "removed.exe")
        subprocess.run(["osslsigncode", "remove-signature", "-in", signed, "-out", removed],
                       check=True, capture_output=True)
        with open(removed, "rb") as f:
            data = f.read()
        self.assertEqual(struct.unpack_from("<II", data, security_directory_at(data)), (0, 0))
        self.assert_installed(removed, target, contents)

    def test_an_absurd_security_directory_is_a_damaged_trailer(self):
        unsigned, signed, target, _ = self.build_signed("absurd", '[package]\nform = "stored"\n')
        with open(signed, "rb") as f:
            data = f.read()
        at = security_directory_at(data)
        offset, size = struct.unpack_from("<II", data, at)
        cases = {
            "table beyond the file": (offset, size + 8),
            "table not at the end": (offset - 8, size),
            "offset and size wrap round": (0xFFFFFFF0, len(data) + 0x10),
            "table shorter than its header": (len(data) - 4, 4),
        }
        for name, (o, s) in cases.items():
            with self.subTest(name):
                damaged = bytearray(data)
                struct.pack_into("<II", damaged, at, o, s)
                path = os.path.join(self.scratch, name.replace(" ", "_"), "setup.exe")
                os.makedirs(os.path.dirname(path))
                with open(path, "wb") as f:
                    f.write(damaged)
                self.assert_damaged(path, target, ["/S"])


if __name__ == "__main__":
    unittest.main()
