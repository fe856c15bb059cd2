"""LZX packages end to end: the system's cabinet.dll (Wine's here) extracts
what our encoder wrote, for the largest and the smallest window, solid and
one folder per file, x86 code (with call translation) and other data, in
one executable, across volumes, and in cabinet parts (within volumes too)
that members and folders run on through."""
import glob
import os
import re
import subprocess
import unittest

import harness
import packages

PE_DIRS = ["/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/wine/i386-windows"]


def real_pe_files(count):
    """A few real 32-bit PE files of the machine, smallest first, or none."""
    for d in PE_DIRS:
        found = sorted(glob.glob(os.path.join(d, "*.dll")), key=lambda p: (os.path.getsize(p), p))
        found = [p for p in found if os.path.getsize(p) > 200000]
        if found:
            return found[:count]
    return []


def payload_parts(setup):
    """How many cabinet parts `parvolex inspect` lists for the payload."""
    out = subprocess.run([harness.PARVOLEX, "inspect", setup], capture_output=True, text=True, check=True).stdout
    return len(re.findall(r"^  part \d+ at stream", out, re.M))


class LzxInstallTest(harness.WineTestCase):
    def test_lzx_packages_install_every_file(self):
        files = {
            "empty.txt": b"",
            "one.bin": b"\x01",
            "docs/readme.txt": 1000,
            "data/frame.bin": 32768,
            "data/large.bin": 300001,
        }
        for i, pe in enumerate(real_pe_files(3)):
            with open(pe, "rb") as f:
                files["bin/%d.dll" % i] = f.read()
        forms = {
            "lzx21 solid": '[package]\ncompression = "lzx"\n',
            "lzx15 per file": '[package]\ncompression = "lzx"\nlzx_window = 15\nsolid = false\n',
            "lzx18 volumes": '[package]\ncompression = "lzx"\nlzx_window = 18\nvolume_size = "%d"\n'
                             % (os.path.getsize(harness.RUNTIME) + 200000),
            "lzx21 solid parts": '[package]\ncompression = "lzx"\npart_size = 20000\n',
            "lzx16 solid parts volumes": '[package]\ncompression = "lzx"\nlzx_window = 16\npart_size = 30000\n'
                                         'volume_size = "%d"\n' % (os.path.getsize(harness.RUNTIME) + 150000),
            "lzx15 per file parts": '[package]\ncompression = "lzx"\nlzx_window = 15\nsolid = false\n'
                                    'part_size = 30000\n',
            # More entries in one frame than a part holds: folders end inside frames.
            "lzx21 small files small parts": '[package]\ncompression = "lzx"\npart_size = 2048\n',
        }
        small = dict(("small/%03d.txt" % i, i % 23) for i in range(400))
        for name, package in forms.items():
            with self.subTest(name):
                folder = os.path.join(self.scratch, name.replace(" ", "_"))
                os.makedirs(folder)
                contents = packages.write_payload(os.path.join(folder, "payload"),
                                                  small if "small files" in name else files)
                target = packages.install_folder("Lzx " + name)
                setup, _ = packages.build(folder, package + '[[files]]\nsource = "payload"\ndestination = %s\n'
                                          % packages.toml_text(harness.windows_path(target)))
                if "volumes" in name:
                    self.assertTrue([n for n in os.listdir(folder) if n.startswith("setup-")],
                                    "the package was meant to span volumes")
                if "parts" in name:
                    self.assertGreater(payload_parts(setup), 5, "the payload was meant to span many parts")
                self.assertEqual(self.start(setup, ["/S"]).wait(120), 0)
                for rel, data in contents.items():
                    with open(os.path.join(target, rel), "rb") as f:
                        self.assertTrue(f.read() == data, rel)


if __name__ == "__main__":
    unittest.main()
