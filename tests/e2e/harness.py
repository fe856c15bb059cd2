"""End-to-end test harness: runs Windows programs under Wine in the
project's private 32-bit prefix, on an Xvfb display that the harness starts
and stops itself.

The prefix lives in build/wine-prefix and is created once. A session (the
X server and a persistent wineserver) is started by `harness.py setup` (a
ctest fixture) or on first use, and ended by `harness.py cleanup`.
Processes write their output to files, never pipes: Wine's background
services inherit handles and would keep a pipe open forever.
"""
import getpass
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build")


def _can_run_32bit():
    """Whether this machine runs 32-bit programs: some kernels are built or
    booted without 32-bit support, and then no 32-bit Wine process can
    start."""
    loader = "/usr/lib/wine/wine"
    if not os.path.exists(loader):
        return False
    # An emulator registered for 32-bit programs would run Wine, far too
    # slowly to test with: only native support counts.
    emulator = "/proc/sys/fs/binfmt_misc/qemu-i386"
    try:
        with open(emulator) as f:
            if f.readline().strip() == "enabled":
                return False
    except OSError:
        pass
    try:
        with open(os.devnull, "wb") as null:
            return subprocess.run([loader, "--version"], stdout=null, stderr=null,
                                  timeout=30).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


# The Windows programs under test are the 32-bit builds (build/bin) in a
# 32-bit prefix. On a machine that cannot run 32-bit programs the 64-bit
# builds of the same sources (build/bin64) stand in, in a 64-bit prefix;
# PVX_WINE_ARCH=win32|win64 chooses by hand.
WINEARCH = os.environ.get("PVX_WINE_ARCH") or ("win32" if _can_run_32bit() else "win64")
if WINEARCH == "win64":
    BIN = os.path.join(BUILD, "bin64")
    PREFIX = os.path.join(BUILD, "wine-prefix64")
    WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
else:
    BIN = os.path.join(BUILD, "bin")
    PREFIX = os.path.join(BUILD, "wine-prefix")
    WINE = "wine"
STATE_DIR = os.path.join(BUILD, "e2e-" + WINEARCH)
STATE_FILE = os.path.join(STATE_DIR, "session.json")
RUNTIME = os.path.join(BIN, "runtime.exe")
ROBOT = os.path.join(BIN, "robot.exe")
PARVOLEX = os.path.join(BIN, "parvolex")

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))


def base_env():
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": PREFIX,
        "WINEARCH": WINEARCH,
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe=d",
    })
    return env


def _pid_alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except (OSError, TypeError):
        return False


def _read_state():
    try:
        with open(STATE_FILE) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def _quiet(cmd, env, timeout=120):
    with open(os.devnull, "rb") as null_in, open(os.devnull, "wb") as null_out:
        return subprocess.run(cmd, env=env, stdin=null_in, stdout=null_out, stderr=null_out,
                              timeout=timeout).returncode


def _start_xvfb():
    read_fd, write_fd = os.pipe()
    with open(os.devnull, "rb") as null_in, open(os.devnull, "wb") as null_out:
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdin=null_in, stdout=null_out, stderr=null_out,
            start_new_session=True)
    os.close(write_fd)
    number = b""
    deadline = time.time() + 20
    while time.time() < deadline and not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip():
        proc.kill()
        raise RuntimeError("Xvfb did not start")
    return proc.pid, ":" + number.decode().strip()


def ensure_session():
    """Starts the X server and the wineserver unless they run already;
    returns the environment for Wine processes."""
    os.makedirs(STATE_DIR, exist_ok=True)
    state = _read_state()
    if not state or not _pid_alive(state.get("xvfb_pid")):
        # A server left from an earlier session would keep Wine's desktop
        # bound to a display that is gone.
        _quiet(["wineserver", "-k"], base_env())
        xvfb_pid, display = _start_xvfb()
        state = {"xvfb_pid": xvfb_pid, "display": display}
        with open(STATE_FILE, "w") as f:
            json.dump(state, f)
    env = base_env()
    env["DISPLAY"] = state["display"]
    first = not os.path.exists(os.path.join(PREFIX, "system.reg"))
    if first:
        _quiet(["wineboot", "-i"], env, timeout=300)
        # A crashing program must end, not wait in Wine's debugger dialog.
        _quiet([WINE, "reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
                "/v", "Debugger", "/d", "", "/f"], env)
        _quiet([WINE, "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                "/t", "REG_DWORD", "/d", "0", "/f"], env)
    # A persistent server makes every later start cost milliseconds.
    _quiet(["wineserver", "-p"], env)
    if not state.get("warm"):
        # The first windowed process starts Wine's desktop process; it must
        # not inherit any handle of ours.
        if os.path.exists(RUNTIME):
            _quiet([WINE, RUNTIME, "test"], env, timeout=120)
        state["warm"] = True
        with open(STATE_FILE, "w") as f:
            json.dump(state, f)
    return env


def end_session():
    state = _read_state()
    env = base_env()
    _quiet(["wineserver", "-k"], env)
    if state and _pid_alive(state.get("xvfb_pid")):
        os.kill(state["xvfb_pid"], signal.SIGTERM)
    try:
        os.remove(STATE_FILE)
    except OSError:
        pass


def windows_path(unix_path):
    """The Windows name of a host path: drive C: is the prefix's drive_c,
    everything else is reached through Z:."""
    path = os.path.abspath(unix_path)
    drive_c = os.path.join(PREFIX, "drive_c")
    if path == drive_c or path.startswith(drive_c + os.sep):
        return "C:" + path[len(drive_c):].replace("/", "\\") or "C:\\"
    return "Z:" + path.replace("/", "\\")


def drive_c(*parts):
    return os.path.join(PREFIX, "drive_c", *parts)


def temp_folder():
    """The prefix user's temporary folder (%TEMP%) on the host."""
    return drive_c("users", getpass.getuser(), "Temp")


class WinProcess:
    """A Windows program running under Wine, its output going to files."""

    def __init__(self, exe, args, env, cwd=None):
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        with open(os.devnull, "rb") as null_in:
            self.proc = subprocess.Popen([WINE, exe] + list(args), env=env, cwd=cwd,
                                         stdin=null_in, stdout=self._out, stderr=self._err)

    def wait(self, timeout=60):
        """Returns the exit code; kills the program and fails on time-out."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("program did not end within %s s" % timeout)

    def close(self):
        self._out.close()
        self._err.close()

    def running(self):
        return self.proc.poll() is None

    def output(self):
        self._out.seek(0)
        return self._out.read().decode("latin-1")

    def kill(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()


def run_robot(env, args, timeout=90):
    """Runs the test robot once; returns (exit code, stdout)."""
    p = WinProcess(ROBOT, args, env)
    try:
        code = p.wait(timeout)
        return code, p.output()
    finally:
        p.close()


class WineTestCase(unittest.TestCase):
    """Base class: a session is ready, programs started by a test are
    killed when it ends, and the test gets a scratch folder on the host."""

    @classmethod
    def setUpClass(cls):
        cls.env = ensure_session()

    def setUp(self):
        self._processes = []
        self.scratch = tempfile.mkdtemp(prefix="pvx-e2e-", dir=STATE_DIR)

    def tearDown(self):
        for p in self._processes:
            p.kill()
            p.close()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def start(self, exe, args=(), cwd=None):
        p = WinProcess(exe, args, self.env, cwd=cwd)
        self._processes.append(p)
        return p

    def robot(self, *args, timeout=90):
        from robot import parse_records
        code, out = run_robot(self.env, list(args), timeout)
        return code, parse_records(out)

    def robot_ok(self, *args, timeout=90):
        code, records = self.robot(*args, timeout=timeout)
        self.assertEqual(code, 0, "robot %s failed: %s" % (" ".join(args), records))
        return records


def append_trailer(path, script_offset, resource_length, resource_offset, payload_offset,
                   form=1, resource_count=0, header_last_index=120, magic=0xF1):
    """Appends a package trailer by hand (for damaged packages that the
    authoring tool would never write)."""
    with open(path, "ab") as f:
        f.write(struct.pack("<qqqqBBBB", script_offset, resource_length, resource_offset,
                            payload_offset, form, resource_count, header_last_index, magic))


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "setup":
        ensure_session()
    elif len(sys.argv) == 2 and sys.argv[1] == "cleanup":
        end_session()
    elif len(sys.argv) == 2 and sys.argv[1] == "arch":
        print(WINEARCH)  # which Windows builds the tests run here
    else:
        sys.exit("usage: harness.py setup|cleanup|arch")


if __name__ == "__main__":
    main()
