"""Building test packages with parvolex: a project file written from a few
arguments, the payload generated deterministically."""
import os
import random
import subprocess

import harness


def toml_text(value):
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_payload(folder, files):
    """files: {relative path: size or bytes}; returns {relative path: bytes}."""
    contents = {}
    rng = random.Random(1234)
    for rel, content in files.items():
        data = content if isinstance(content, bytes) else bytes(rng.getrandbits(8) for _ in range(content // 2)) + \
            (b"text line of a test file\r\n" * (content // 26 + 1))[: content - content // 2]
        path = os.path.join(folder, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        contents[rel] = data
    return contents


def build(folder, body, name="setup.exe", check=True):
    """Writes project.toml with `body` after a minimal [setup] and builds
    it; returns (path of the setup, completed process)."""
    project = os.path.join(folder, "project.toml")
    text = body if "[setup]" in body else '[setup]\ntitle = "Test Setup"\n' + body
    with open(project, "w") as f:
        f.write(text)
    out = os.path.join(folder, name)
    proc = subprocess.run([harness.PARVOLEX, "build", project, "-o", out], capture_output=True,
                          text=True)
    if check and proc.returncode != 0:
        raise AssertionError("parvolex failed: " + proc.stderr)
    return out, proc


def install_folder(name):
    """A fresh folder under the prefix's Program Files for one test."""
    path = harness.drive_c("Program Files", name)
    if os.path.exists(path):
        subprocess.run(["chmod", "-R", "u+w", path])
        import shutil
        shutil.rmtree(path)
    return path
