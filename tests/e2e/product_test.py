"""The product's registration in the list of installed programs, end to
end: packages with a [product] table installed with /S under Wine, their
registration read back with `reg query`, upgrades that go where the last
version went, and the uninstaller (started as QuietUninstallString says)
removing every value of it while another product's registration stays.
"""
import os
import re
import shlex
import shutil
import subprocess
import time

import harness
import packages
import wizard_support
from uninstall_test import ROOT, UninstallCase, toml_text

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
ID = "PvxProductTest"
KEY = UNINSTALL + "\\" + ID
OTHER = UNINSTALL + "\\PvxOtherProduct"


def project(version, extra_files=(), publisher=True):
    lines = [
        "[product]",
        'id = "%s"' % ID,
        'name = "Pvx Product"',
        "version = %s" % toml_text(version),
        'url = "https://example.invalid/pvx"',
        'support_url = "https://example.invalid/pvx/help"',
        'contact = "help@example.invalid"',
        'comments = "An end-to-end test"',
        'icon = "{app}\\\\app.exe"',
        "[wizard]",
        'header_picture = "none"',
        'side_picture = "none"',
        "[uninstall]",
        "uninstaller = true",
        '[[files]]\nsource = "app.exe"\ndestination = "{app}"',
        '[[files]]\nsource = "version.txt"\ndestination = "{app}"',
    ]
    if publisher:
        lines.insert(3, 'publisher = "Pvx Software"')
    for name in extra_files:
        lines.append('[[files]]\nsource = %s\ndestination = "{app}"' % toml_text(name))
    return "\n".join(lines)


class ProductCase(UninstallCase):
    def values(self, key):
        """{value name: (type, data)} of a key, or None when it is missing."""
        code, text = self.reg("query", key)
        if code != 0:
            return None
        out = {}
        for line in text.splitlines():
            m = re.match(r"^\s+(\S+)\s+(REG_\w+)\s*(.*)$", line)
            if m:
                out[m.group(1)] = (m.group(2), m.group(3).strip())
        return out

    def registrations_named(self, display_name):
        """The keys below the system's uninstall key whose DisplayName is
        `display_name`."""
        path = os.path.join(self.scratch, "uninstall.reg")
        code, text = self.reg("export", UNINSTALL, path, "/y")
        self.assertEqual(code, 0, text)
        with open(path, "rb") as f:
            keys = harness_parse_export(f.read().decode("utf-16"))
        wanted = '"displayname"="%s"' % display_name.lower()
        return sorted(k for k, lines in keys.items() if any(l.lower() == wanted for l in lines))

    def default_folders(self):
        """Where {pf}\\Pvx Product lies on the host, for either Program Files."""
        return [harness.drive_c(pf, "Pvx Product") for pf in ("Program Files", "Program Files (x86)")]

    def setUp(self):
        super().setUp()
        self.reg("delete", KEY, "/f")
        for host in self.default_folders():
            self.remove_leftover(host)
            shutil.rmtree(host, ignore_errors=True)
            self.addCleanup(self.remove_leftover, host)
        # Another product's registration, which no uninstallation of ours may touch.
        self.reg("add", OTHER, "/v", "DisplayName", "/d", "Pvx Other Product", "/f")
        self.reg("add", OTHER, "/v", "UninstallString", "/d", r'"C:\Other\Uninstall.exe"', "/f")
        self.addCleanup(self.reg, "delete", OTHER, "/f")
        self.addCleanup(self.reg, "delete", KEY, "/f")

    def build_version(self, version, name, extra_files=(), publisher=True):
        payload = [("app.exe", b"MZ not really a program"), ("version.txt", version.encode())]
        payload += [(f, b"extra") for f in extra_files]
        return self.build(project(version, extra_files, publisher), payload, name=name)

    def quiet_uninstall(self):
        """Runs the uninstaller the way the list of installed programs and
        package managers do: QuietUninstallString as it stands."""
        command = self.values(KEY)["QuietUninstallString"][1]
        parts = shlex.split(command.replace("\\", "\\\\"))
        self.assertEqual(parts[1:], ["/S"])
        return self.uninstall(windows_to_host_any(parts[0]), ["/S"])


def harness_parse_export(text):
    from uninstall_test import parse_export
    return parse_export(text)


def windows_to_host_any(path):
    from uninstall_test import windows_to_host
    return windows_to_host(path)


class RegistrationTest(ProductCase):
    def test_a_silent_installation_registers_every_value_and_the_uninstaller_removes_them(self):
        folder, host = self.app("product")
        setup = self.build_version("1.0", "setup.exe")
        other_before = self.values(OTHER)
        before = self.snapshot()
        self.assertEqual(self.start(setup, ["/S", "/P=" + folder]).wait(120), 0)

        values = self.values(KEY)
        self.assertIsNotNone(values, "the registration key exists")
        size_kib = (len(b"MZ not really a program") + len(b"1.0") +
                    os.path.getsize(os.path.join(harness.BIN, "uninstall.exe")) + 1023) // 1024
        uninstaller = folder + "\\Uninstall.exe"
        self.assertEqual(values, {
            "DisplayName": ("REG_SZ", "Pvx Product"),
            "DisplayVersion": ("REG_SZ", "1.0"),
            "Publisher": ("REG_SZ", "Pvx Software"),
            "URLInfoAbout": ("REG_SZ", "https://example.invalid/pvx"),
            "HelpLink": ("REG_SZ", "https://example.invalid/pvx/help"),
            "Contact": ("REG_SZ", "help@example.invalid"),
            "Comments": ("REG_SZ", "An end-to-end test"),
            "InstallLocation": ("REG_SZ", folder),
            "DisplayIcon": ("REG_SZ", folder + "\\app.exe"),
            "UninstallString": ("REG_SZ", '"%s"' % uninstaller),
            "QuietUninstallString": ("REG_SZ", '"%s" /S' % uninstaller),
            "EstimatedSize": ("REG_DWORD", "0x%x" % size_kib),
            "NoModify": ("REG_DWORD", "0x1"),
            "NoRepair": ("REG_DWORD", "0x1"),
        })
        self.assertTrue(os.path.exists(os.path.join(host, "Uninstall.exe")))

        self.assertEqual(self.quiet_uninstall(), 0)
        self.assertIsNone(self.values(KEY), "the emptied registration key is gone")
        self.assertEqual(self.values(OTHER), other_before)
        files, keys = self.changes(before, self.snapshot())
        self.assertEqual(files, [])
        self.assertEqual(keys, [])


class UpgradeTest(ProductCase):
    def test_version_2_goes_where_the_user_put_version_1(self):
        folder, host = self.app("chosen folder")
        v1 = self.build_version("1.0", "setup-1.0.exe")
        v2 = self.build_version("2.0", "setup-2.0.exe", extra_files=["new.txt"], publisher=False)
        before = self.snapshot()
        self.assertEqual(self.start(v1, ["/S", "/P=" + folder]).wait(120), 0)
        self.assertEqual(self.values(KEY)["InstallLocation"][1], folder)

        # No /P=: the last installation's folder, not {pf}\Pvx Product.
        self.assertEqual(self.start(v2, ["/S"]).wait(120), 0)
        with open(os.path.join(host, "version.txt"), "rb") as f:
            self.assertEqual(f.read(), b"2.0")
        self.assertTrue(os.path.exists(os.path.join(host, "new.txt")))
        for default in self.default_folders():
            self.assertFalse(os.path.exists(default), default)
        self.assertEqual(self.registrations_named("Pvx Product"),
                         ["hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall\\" +
                          ID.lower()])
        values = self.values(KEY)
        self.assertEqual(values["DisplayVersion"][1], "2.0")
        self.assertEqual(values["InstallLocation"][1], folder)
        self.assertEqual(values["UninstallString"][1], '"%s\\Uninstall.exe"' % folder)

        # Version 1 wrote a Publisher that version 2 does not: version 2's
        # uninstallation removes it all the same, and with it the key.
        self.assertEqual(self.quiet_uninstall(), 0)
        self.assertIsNone(self.values(KEY))
        files, keys = self.changes(before, self.snapshot())
        self.assertEqual(files, [])
        self.assertEqual(keys, [])

    def test_without_an_earlier_installation_the_default_and_p_still_wins(self):
        folder, host = self.app("p wins")
        v1 = self.build_version("1.0", "setup-1.0.exe")
        v2 = self.build_version("2.0", "setup-2.0.exe")
        self.assertEqual(self.start(v1, ["/S"]).wait(120), 0)
        installed = [d for d in self.default_folders() if os.path.exists(os.path.join(d, "version.txt"))]
        self.assertEqual(len(installed), 1, "version 1 went to {pf}\\Pvx Product")
        default_windows = self.values(KEY)["InstallLocation"][1]

        self.assertEqual(self.start(v2, ["/S", "/P=" + folder]).wait(120), 0)
        with open(os.path.join(host, "version.txt"), "rb") as f:
            self.assertEqual(f.read(), b"2.0")
        with open(os.path.join(installed[0], "version.txt"), "rb") as f:
            self.assertEqual(f.read(), b"1.0")
        self.assertEqual(self.values(KEY)["InstallLocation"][1], folder)
        self.assertNotEqual(default_windows, folder)


class WizardUpgradeTest(wizard_support.WizardCase):
    """The folder a user chose on the folder page is the next version's
    folder page's default."""
    ID = "PvxWizardUpgrade"
    KEY = UNINSTALL + "\\" + ID

    def body(self, version):
        return ('[product]\nid = "%s"\nname = "Pvx Wizard Upgrade"\nversion = "%s"\n'
                "[uninstall]\nuninstaller = true\n" % (self.ID, version) +
                wizard_support.pages("folder", "ready", "finish"))

    def reg(self, *args):
        with open(os.devnull, "rb") as null_in:
            return subprocess.run([harness.WINE, "reg"] + list(args), env=self.env, stdin=null_in,
                                  capture_output=True, timeout=120).returncode

    def remove(self, folder):
        """Uninstalls what the test installed there, and waits until the
        uninstaller's copy has removed the folder."""
        exe = os.path.join(folder, "Uninstall.exe")
        if os.path.exists(exe):
            p = self.start(exe, ["/S"])
            p.wait(120)
            for _ in range(1500):
                if not os.path.exists(folder):
                    break
                time.sleep(0.02)
        shutil.rmtree(folder, ignore_errors=True)
        self.reg("delete", self.KEY, "/f")

    def test_version_2_offers_the_folder_the_user_chose_for_version_1(self):
        self.reg("delete", self.KEY, "/f")
        target = packages.install_folder("Pvx Chosen On The Page")
        self.addCleanup(self.remove, target)
        self.open(self.body("1.0"))
        self.assertEqual(self.get(wizard_support.FOLDER_EDIT)["text"], "C:\\Program Files\\Pvx Wizard Upgrade")
        self.type(wizard_support.FOLDER_EDIT, harness.windows_path(target))
        self.go(wizard_support.NEXT, "ready")
        self.go(wizard_support.NEXT, "finish")
        self.assertTrue(os.path.exists(os.path.join(target, "tool.txt")))
        self.process.kill()

        self.open(self.body("2.0"))
        self.assertEqual(self.get(wizard_support.FOLDER_EDIT)["text"], harness.windows_path(target))
