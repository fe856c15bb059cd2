"""What the install tests share: the source tree's root, the files an
installation must hold, and small readers of ELF and PE files."""
import os
import struct
import subprocess

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

# Relative to the prefix: what cmake --install lays out.
INSTALLED_FILES = [
    "bin/parvolex",
    "share/parvolex/runtime.exe",
    "share/parvolex/uninstall.exe",
    "share/man/man1/parvolex.1",
    "share/doc/parvolex/README.md",
    "share/doc/parvolex/docs/project-format.md",
    "share/doc/parvolex/docs/screenshots/1-welcome.png",
    "share/doc/parvolex/examples/demo/demo.toml",
]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def pe_machine(path):
    """The Machine field of a PE image's file header (0x14c: 32-bit x86)."""
    data = read(path)
    if data[:2] != b"MZ":
        return None
    at = struct.unpack_from("<I", data, 0x3C)[0]
    if data[at:at + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, at + 4)[0]


def elf_sections(path):
    """The section names of an ELF file (readelf, from binutils)."""
    out = subprocess.run(["readelf", "-S", "-W", path], capture_output=True, text=True, check=True).stdout
    return {line.split("]", 1)[1].split()[0] for line in out.splitlines()
            if line.strip().startswith("[") and "]" in line and line.split("]", 1)[1].split()}


def run(args, **kw):
    kw.setdefault("capture_output", True)
    kw.setdefault("text", True)
    kw.setdefault("timeout", 600)
    return subprocess.run(args, **kw)
