"""Signing in the build: [signing] in the project and the --sign-...
options sign the setup executable with osslsigncode. A throwaway
self-signed certificate is made with openssl for the test. Every failure
is a clear error that leaves no output and prints no secret."""
import os
import shutil
import subprocess
import tempfile
import unittest

from cli_test import PARVOLEX, run

RUNTIME = os.path.join(os.path.dirname(os.path.abspath(PARVOLEX)), "runtime.exe")
PASSWORD = "s3cret-throwaway"


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl") and os.path.exists(RUNTIME),
                     "osslsigncode, openssl (scripts/deps) and a built runtime")
class SigningTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp(prefix="pvx-keys-")
        key, cert = os.path.join(cls.keys, "key.pem"), os.path.join(cls.keys, "cert.pem")
        cls.p12 = os.path.join(cls.keys, "cert.p12")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Parvolex Test Publisher", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", cls.p12,
                        "-passout", "pass:" + PASSWORD], check=True, capture_output=True)
        cls.password_file = os.path.join(cls.keys, "password.txt")
        with open(cls.password_file, "w") as f:
            f.write(PASSWORD + "\n")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pvx-sign-")
        os.makedirs(os.path.join(self.dir, "app"))
        with open(os.path.join(self.dir, "app", "a.txt"), "w") as f:
            f.write("zq-content of the signed test")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def project(self, signing):
        path = os.path.join(self.dir, "project.toml")
        with open(path, "w") as f:
            f.write('[setup]\ntitle = "Signed"\n[package]\nform = "stored"\n%s\n'
                    '[[files]]\nsource = "app"\ndestination = "{app}"\n' % signing)
        return path

    def build(self, signing, *args, env=None):
        out = os.path.join(self.dir, "out", "setup.exe")
        return out, run("build", self.project(signing), "-o", out, "--runtime", RUNTIME, *args, env=env)

    def verify(self, path):
        return subprocess.run(["osslsigncode", "verify", "-in", path], capture_output=True, text=True)

    def assert_nothing_left(self):
        folder = os.path.join(self.dir, "out")
        self.assertEqual(os.listdir(folder) if os.path.isdir(folder) else [], [])

    def test_project_signs_with_a_password_from_the_environment_or_a_file(self):
        cases = {
            "environment": ('password_env = "PVX_TEST_PASSWORD"', {"PVX_TEST_PASSWORD": PASSWORD}),
            "file": ('password_file = "%s"' % self.password_file, None),
        }
        for name, (line, env) in cases.items():
            with self.subTest(name):
                out, p = self.build('[signing]\npkcs12 = "%s"\n%s\ndescription = "Signed Setup"\n'
                                    'url = "https://example.com/"' % (self.p12, line), env=env)
                self.assertEqual(p.returncode, 0, p.stderr)
                self.assertIn("signed", p.stdout)
                self.assertNotIn(PASSWORD, p.stdout + p.stderr)
                v = self.verify(out)
                self.assertIn("SHA256", v.stdout)
                self.assertIn("Signed Setup", v.stdout)
                self.assertTrue(os.access(out, os.X_OK))
                # inspect reads the package under the signature.
                i = run("inspect", out)
                self.assertEqual(i.returncode, 0, i.stderr)

    def test_command_line_options_sign_and_win(self):
        out, p = self.build("", "--sign-pkcs12", self.p12, "--sign-password-file", self.password_file)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn("Message digest", self.verify(out).stdout)
        # --no-sign over a project that signs.
        out, p = self.build('[signing]\npkcs12 = "%s"\npassword_env = "UNSET_VARIABLE"' % self.p12, "--no-sign")
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertNotIn("signed", p.stdout)
        self.assertNotEqual(self.verify(out).returncode, 0)

    def test_reproducible_with_source_date_epoch(self):
        signing = '[signing]\npkcs12 = "%s"\npassword_file = "%s"' % (self.p12, self.password_file)
        outputs = []
        for _ in range(2):
            out, p = self.build(signing, env={"SOURCE_DATE_EPOCH": "1700000000"})
            self.assertEqual(p.returncode, 0, p.stderr)
            with open(out, "rb") as f:
                outputs.append(f.read())
            os.unlink(out)
        self.assertEqual(outputs[0], outputs[1])

    def test_failures_name_their_cause_and_leave_nothing(self):
        p12 = 'pkcs12 = "%s"\n' % self.p12
        cases = {
            "wrong password": ("[signing]\n" + p12 + 'password_env = "PW"', {"PW": "wrong"},
                               "wrong password"),
            "password variable unset": ("[signing]\n" + p12 + 'password_env = "PVX_UNSET_PW"', None,
                                        "PVX_UNSET_PW"),
            "password file missing": ("[signing]\n" + p12 + 'password_file = "nowhere.txt"', None,
                                      "password file"),
            "timestamp server unreachable": ("[signing]\n" + p12 + 'password_env = "PW"\n'
                                             'timestamp = ["http://127.0.0.1:9/", "http://127.0.0.1:10/"]',
                                             {"PW": PASSWORD}, "no timestamp server answered (tried 2)"),
            "tool missing": ("[signing]\n" + p12 + 'password_env = "PW"',
                             {"PW": PASSWORD, "PATH": "/nonexistent"}, "cannot run osslsigncode"),
            "secret in the project": ("[signing]\n" + p12 + 'password = "%s"' % PASSWORD, None,
                                      "secrets are never read from the project"),
            "PKCS#11 without a key": ('[signing]\npkcs11_module = "/usr/lib/nothing.so"', None, "key's URI"),
            "no key at all": ('[signing]\ndescription = "x"', None, "names no key"),
        }
        for name, (signing, env, message) in cases.items():
            with self.subTest(name):
                out, p = self.build(signing, env=env)
                self.assertNotEqual(p.returncode, 0)
                self.assertIn(message, p.stderr)
                self.assertNotIn(PASSWORD, p.stdout + p.stderr)
                self.assert_nothing_left()


    def signed_setup(self, extra=""):
        out, p = self.build('[signing]\npkcs12 = "%s"\npassword_file = "%s"\n%s'
                            % (self.p12, self.password_file, extra))
        self.assertEqual(p.returncode, 0, p.stderr)
        return out

    def test_inspect_extract_and_verify_signed_unsigned_and_tampered(self):
        import json
        signed = os.path.join(self.dir, "signed.exe")
        os.rename(self.signed_setup(), signed)
        unsigned, p = self.build("")
        unsigned_copy = os.path.join(self.dir, "unsigned.exe")
        os.rename(unsigned, unsigned_copy)
        with open(signed, "rb") as f:
            data = bytearray(f.read())
        data[data.find(b"zq-content")] ^= 0x20  # a.txt's content, after signing
        tampered = os.path.join(self.dir, "tampered.exe")
        with open(tampered, "wb") as f:
            f.write(data)
        cert = os.path.join(self.keys, "cert.pem")
        cases = {
            # name: (file, signed, digest matches, inspect code, verify code with the CA)
            "signed": (signed, True, True, 0, 0),
            "unsigned": (unsigned_copy, False, None, 0, 1),
            "tampered": (tampered, True, False, 1, 1),
        }
        for name, (path, is_signed, matches, inspect_code, verify_code) in cases.items():
            with self.subTest(name):
                i = run("inspect", "--json", path)
                self.assertEqual(i.returncode, inspect_code, i.stderr)
                sig = json.loads(i.stdout)["signature"]
                self.assertEqual(sig["signed"], is_signed)
                if is_signed:
                    self.assertEqual(sig["digest_matches"], matches)
                    self.assertEqual(sig["digest_algorithm"], "SHA256")
                if matches:
                    # osslsigncode names the signer only when the digest holds.
                    self.assertEqual(sig["subject"], "/CN=Parvolex Test Publisher")
                text = run("inspect", path).stdout
                self.assertIn({"signed": "/CN=Parvolex Test Publisher", "unsigned": "not signed",
                               "tampered": "DOES NOT MATCH"}[name], text)
                folder = os.path.join(self.dir, "extract-" + name)
                e = run("extract", path, "-d", folder)
                self.assertEqual(e.returncode, 0, e.stderr)
                with open(os.path.join(folder, "payload", "0"), "rb") as f:
                    self.assertEqual(f.read(), (b"Zq" if name == "tampered" else b"zq") + b"-content of the signed test")
                v = run("verify", path, "--ca", cert)
                self.assertEqual(v.returncode, verify_code, v.stderr)
                expected = {"signed": "", "unsigned": "not signed", "tampered": "digest does not match"}[name]
                self.assertIn(expected, v.stderr)
        # Without the CA the self-signed root is not trusted.
        v = run("verify", signed)
        self.assertEqual(v.returncode, 1)
        self.assertIn("does not verify against the system's certificates", v.stderr)

    def test_verify_names_a_missing_volume(self):
        with open(os.path.join(self.dir, "app", "big.bin"), "wb") as f:
            f.write(os.urandom(200000))
        volume = 'volume_size = "%d"\n' % (os.path.getsize(RUNTIME) + 100000)
        out, p = self.build(volume + '[signing]\npkcs12 = "%s"\npassword_file = "%s"'
                            % (self.p12, self.password_file))
        self.assertEqual(p.returncode, 0, p.stderr)
        cert = os.path.join(self.keys, "cert.pem")
        self.assertEqual(run("verify", out, "--ca", cert).returncode, 0)
        os.unlink(os.path.join(os.path.dirname(out), "setup-2.bin"))
        v = run("verify", out, "--ca", cert)
        self.assertEqual(v.returncode, 1)
        self.assertIn("volume 2", v.stderr)

    def test_sign_files_signs_the_payloads_pe_files_in_a_staging_copy(self):
        import hashlib, json
        bin_dir = os.path.dirname(os.path.abspath(PARVOLEX))
        app = os.path.join(self.dir, "app")
        shutil.copyfile(os.path.join(bin_dir, "uninstall.exe"), os.path.join(app, "tool.exe"))
        shutil.copyfile(os.path.join(bin_dir, "comserver.dll"), os.path.join(app, "plugin.dll"))
        shutil.copyfile(os.path.join(bin_dir, "comserver.dll"), os.path.join(app, "plugin.bin"))  # PE, odd name
        with open(os.path.join(app, "fake.exe"), "w") as f:
            f.write("MZ but not an image")
        subprocess.run(["osslsigncode", "sign", "-pkcs12", self.p12, "-readpass", self.password_file,
                        "-n", "Signed elsewhere", "-in", os.path.join(bin_dir, "comserver.dll"),
                        "-out", os.path.join(app, "signed.dll")], check=True, capture_output=True)

        def digests():
            return {n: hashlib.sha256(open(os.path.join(app, n), "rb").read()).hexdigest()
                    for n in sorted(os.listdir(app))}

        before = digests()
        out, p = self.build('[signing]\npkcs12 = "%s"\npassword_file = "%s"\nsign_files = true\n'
                            'description = "Ours"\n[uninstall]\nuninstaller = true\n'
                            % (self.p12, self.password_file))
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(digests(), before, "the sources were changed")
        folder = os.path.join(self.dir, "extracted")
        self.assertEqual(run("extract", out, "-d", folder).returncode, 0)
        with open(os.path.join(folder, "manifest.json")) as f:
            manifest = json.load(f)
        by_name = {m["destination"].split("\\")[-1]: os.path.join(folder, m["path"]) for m in manifest["payload"]}
        for name in ("tool.exe", "plugin.dll", "plugin.bin"):
            v = self.verify(by_name[name])
            self.assertIn("Ours", v.stdout, name)
            self.assertIn("Calculated message digest", v.stdout, name)
        for name in ("a.txt", "fake.exe", "signed.dll"):
            with open(by_name[name], "rb") as f:
                self.assertEqual(hashlib.sha256(f.read()).hexdigest(), before[name], name)
        self.assertIn("Signed elsewhere", self.verify(by_name["signed.dll"]).stdout)
        uninstaller = [p for n, p in by_name.items() if n.lower().startswith("unins")]
        self.assertEqual(len(uninstaller), 1, by_name)
        self.assertNotEqual(self.verify(uninstaller[0]).returncode, 0, "the companion uninstaller was signed")
        # Already-signed files are signed again only when asked.
        out, p = self.build('[signing]\npkcs12 = "%s"\npassword_file = "%s"\nsign_files = true\n'
                            'resign_files = true\ndescription = "Ours"\n' % (self.p12, self.password_file))
        self.assertEqual(p.returncode, 0, p.stderr)
        shutil.rmtree(folder)
        self.assertEqual(run("extract", out, "-d", folder).returncode, 0)
        with open(os.path.join(folder, "manifest.json")) as f:
            manifest = json.load(f)
        path = [os.path.join(folder, m["path"]) for m in manifest["payload"] if m["destination"].endswith("signed.dll")]
        self.assertIn("Ours", self.verify(path[0]).stdout)
        self.assertEqual(digests(), before)



SOFTHSM = "/usr/lib/softhsm/libsofthsm2.so"
PIN = "51-throwaway-pin"


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl") and shutil.which("softhsm2-util")
                     and os.path.exists(SOFTHSM) and os.path.exists(RUNTIME),
                     "osslsigncode, openssl, SoftHSM and the OpenSSL PKCS#11 engine (scripts/deps)")
class TokenSigningTest(unittest.TestCase):
    """A key on a PKCS#11 token, as hardware tokens and cloud signing
    services offer: a SoftHSM token made for the test holds it."""

    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp(prefix="pvx-token-")
        os.makedirs(os.path.join(cls.keys, "tokens"))
        conf = os.path.join(cls.keys, "softhsm2.conf")
        with open(conf, "w") as f:
            f.write("directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n" % cls.keys)
        cls.env = {"SOFTHSM2_CONF": conf}
        env = dict(os.environ, **cls.env)
        key, cls.cert, key8 = (os.path.join(cls.keys, n) for n in ("key.pem", "cert.pem", "key8.pem"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Parvolex Token Publisher", "-keyout", key, "-out", cls.cert],
                       check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs8", "-topk8", "-nocrypt", "-in", key, "-out", key8], check=True,
                       capture_output=True)
        subprocess.run(["softhsm2-util", "--init-token", "--free", "--label", "pvx-test", "--pin", PIN,
                        "--so-pin", "so-" + PIN], check=True, capture_output=True, env=env)
        subprocess.run(["softhsm2-util", "--import", key8, "--token", "pvx-test", "--label", "signing-key",
                        "--id", "01", "--pin", PIN], check=True, capture_output=True, env=env)
        os.unlink(key)
        os.unlink(key8)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def test_a_key_on_a_token_signs_and_a_wrong_pin_leaves_nothing(self):
        folder = tempfile.mkdtemp(prefix="pvx-token-build-")
        self.addCleanup(shutil.rmtree, folder, True)
        os.makedirs(os.path.join(folder, "app"))
        with open(os.path.join(folder, "app", "a.txt"), "w") as f:
            f.write("signed with a token")
        project = os.path.join(folder, "project.toml")
        with open(project, "w") as f:
            f.write('[setup]\ntitle = "Token"\n[package]\nform = "stored"\n'
                    '[signing]\npkcs11_module = "%s"\nkey = "pkcs11:token=pvx-test;object=signing-key;type=private"\n'
                    'certificate = "%s"\npassword_env = "PVX_TOKEN_PIN"\n'
                    '[[files]]\nsource = "app"\ndestination = "{app}"\n' % (SOFTHSM, self.cert))
        cases = {"right PIN": (PIN, True, ""), "wrong PIN": ("wrong-pin-77", False, "wrong PIN"),
                 "no such key": (PIN, False, "no such key URI")}
        for name, (pin, signs, cause) in cases.items():
            with self.subTest(name):
                out = os.path.join(folder, name.replace(" ", "-"), "setup.exe")
                args = ["--sign-key", "pkcs11:token=pvx-test;object=no-such-key;type=private"] \
                    if name == "no such key" else []
                p = run("build", project, "-o", out, "--runtime", RUNTIME, *args,
                        env=dict(self.env, PVX_TOKEN_PIN=pin))
                self.assertNotIn(pin, p.stdout + p.stderr)
                if signs:
                    self.assertEqual(p.returncode, 0, p.stderr)
                    v = subprocess.run(["osslsigncode", "verify", "-in", out], capture_output=True, text=True)
                    self.assertIn("Parvolex Token Publisher", v.stdout)
                    i = run("inspect", out)
                    self.assertEqual(i.returncode, 0, i.stderr)
                else:
                    self.assertNotEqual(p.returncode, 0)
                    self.assertIn(cause, p.stderr)
                    parent = os.path.dirname(out)
                    self.assertEqual(os.listdir(parent) if os.path.isdir(parent) else [], [])


if __name__ == "__main__":
    unittest.main()
