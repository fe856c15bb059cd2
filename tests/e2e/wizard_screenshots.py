"""Screenshots of every wizard page of the demo package and of the
backdrop, for docs/screenshots. Run: python3 tests/e2e/wizard_screenshots.py

The demo project is built twice from a copy of its file: once as it is,
with one command before the files that waits until this script lets it go
(so that the Installing page can be taken), and once with a backdrop."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import harness
from robot import parse_records

DEMO = os.path.join(harness.ROOT, "examples", "demo")
OUT = os.path.join(harness.ROOT, "docs", "screenshots")


def robot(env, *args, timeout=60):
    code, out = harness.run_robot(env, list(args), timeout)
    records = parse_records(out)
    if code:
        raise RuntimeError("robot %s: %s" % (" ".join(args), records))
    return records


def demo_project(folder, extra):
    """The demo project with absolute sources, plus `extra` lines."""
    with open(os.path.join(DEMO, "demo.toml")) as f:
        text = f.read()
    text = re.sub(r'"(app|text)/', lambda m: '"' + DEMO.replace("\\", "/") + "/" + m.group(1) + "/", text)
    text = re.sub(r'(?m)^output = .*$', "", text)
    path = os.path.join(folder, "demo.toml")
    with open(path, "w") as f:
        f.write(text + extra)
    exe = os.path.join(folder, "setup.exe")
    subprocess.run([harness.PARVOLEX, "build", path, "-o", exe], check=True, capture_output=True)
    return exe


def shoot(env, hwnd, name, whole_screen=False):
    window = robot(env, "wait", "hwnd=0x%x" % hwnd)[0]
    full = os.path.join(OUT, name + ".png")
    subprocess.run(["import", "-display", env["DISPLAY"], "-window", "root", full], check=True)
    if not whole_screen:
        border = (window["w"] - window["cw"]) // 2
        x, y = window["x"] + border, window["y"] + window["h"] - window["ch"] - border
        subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (window["cw"], window["ch"], x, y),
                        "+repage", full], check=True)
    print("wrote", full)


def main():
    env = harness.ensure_session()
    os.makedirs(OUT, exist_ok=True)
    work = tempfile.mkdtemp(prefix="pvx-shots-", dir=harness.STATE_DIR)
    try:
        release = os.path.join(work, "release")
        recorder = os.path.join(work, "recorder.exe")
        shutil.copy(os.path.join(harness.BIN, "recorder.exe"), recorder)
        wait = ('\n[[commands]]\nwhen = "before"\nfile = "%s"\nparameters = "%s until=%s"\nwait = true\n' %
                tuple(harness.windows_path(p).replace("\\", "\\\\")
                      for p in (recorder, os.path.join(work, "log.txt"), release)))
        exe = demo_project(work, wait)
        p = harness.WinProcess(exe, ["/L=English"], env)
        try:
            hwnd = robot(env, "wait", "title=Example Tool 1.4", "class=PvxPage", "visible=1")[0]["hwnd"]
            for n, (name, panel) in enumerate([("welcome", 5), ("license", 6), ("information", 7),
                                               ("folder", 8), ("group", 9), ("shortcuts", 10), ("ready", 11),
                                               ("installing", 12)]):
                robot(env, "wait", "hwnd=0x%x" % hwnd, "--", "waitctl", "id=%d" % panel, "visible=1")
                shoot(env, hwnd, "%d-%s" % (n + 1, name))
                if name != "installing":
                    robot(env, "wait", "hwnd=0x%x" % hwnd, "--", "click", "id=1", "timeout=5000")
            open(release, "w").close()
            robot(env, "wait", "hwnd=0x%x" % hwnd, "--", "waitctl", "id=1", "caption=Finish", "timeout=60000")
            shoot(env, hwnd, "9-finish")
        finally:
            p.kill()
        second = os.path.join(work, "backdrop")
        os.makedirs(second)
        exe = demo_project(second, '\n[backdrop]\nstyle = "gradient"\nfooter = "Copyright Example Software"\n')
        p = harness.WinProcess(exe, ["/L=English"], env)
        try:
            hwnd = robot(env, "wait", "title=Example Tool 1.4", "class=PvxPage", "visible=1")[0]["hwnd"]
            robot(env, "wait", "title=Parvolex", "class=ParvolexBackdrop", "visible=1")
            robot(env, "wait", "hwnd=0x%x" % hwnd, "--", "waitctl", "id=5", "visible=1")
            shoot(env, hwnd, "10-backdrop", whole_screen=True)
        finally:
            p.kill()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
