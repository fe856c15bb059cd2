"""What the wizard tests share: packages built from a few project lines,
the wizard's control numbers, and robot calls that wait for a page."""
import getpass
import itertools
import json
import os
import re
import struct
import subprocess

import harness
import packages

_titles = itertools.count()



def _control_numbers():
    """The wizard's control numbers as the runtime defines them: kFolderEdit
    in format/wizard_controls.h becomes FOLDER_EDIT here."""
    with open(os.path.join(harness.ROOT, "format", "wizard_controls.h")) as f:
        text = f.read()
    numbers = {}
    for name, value in re.findall(r"^\s+k(\w+) = (\d+),", text, re.M):
        numbers[re.sub(r"(?<!^)(?=[A-Z])", "_", name).upper()] = int(value)
    return numbers


CONTROLS = _control_numbers()
globals().update(CONTROLS)
# The header's title and subtitle, by the names the tests have used.
TITLE_LABEL, SUBTITLE_LABEL = TITLE, SUBTITLE  # noqa: F821 (defined just above)

# Which panel shows a page kind.
PANELS = {"welcome": WHITE_PANEL, "license": LICENSE_PANEL, "information": INFORMATION_PANEL,
          "folder": FOLDER_PANEL, "group": GROUP_PANEL, "shortcuts": SHORTCUTS_PANEL,
          "ready": READY_PANEL, "installing": INSTALLING_PANEL, "finish": WHITE_PANEL}

NO_PAGES = """[pages]
welcome = false
license = false
information = false
folder = false
group = false
shortcuts = false
ready = false
finish = false
"""


def pages(*names):
    """A [pages] table with just these pages on."""
    on = set(names)
    lines = ["[pages]"] + ["%s = %s" % (n, "true" if n in on else "false")
                           for n in ("welcome", "license", "information", "folder", "group",
                                     "shortcuts", "ready", "finish")]
    return "\n".join(lines) + "\n"


def bmp(width, height, pixel):
    """A 24-bit BMP file; pixel(x, y) gives (r, g, b), y from the top."""
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + \
        header + bytes(data)


def programs_folder():
    """The prefix user's Start-menu Programs folder on the host."""
    return harness.drive_c("users", getpass.getuser(), "AppData", "Roaming", "Microsoft", "Windows",
                           "Start Menu", "Programs")


def quick_launch_folder():
    return harness.drive_c("users", getpass.getuser(), "AppData", "Roaming", "Microsoft", "Internet Explorer",
                           "Quick Launch")


def rgb(colour):
    return "#%06X" % colour


class WizardCase(harness.WineTestCase):
    """Builds a package in the scratch folder and drives its wizard."""

    def build(self, body, setup="", name="setup.exe", files=None):
        """body: project lines after [setup], which gets `setup` lines."""
        # Each package its own title: a test must not find a window that an
        # earlier one left behind.
        self.title = "Test Setup %d.%d" % (os.getpid(), next(_titles))
        self.default_folder = "C:\\Program Files\\" + self.title
        files = dict(files or {"app/tool.txt": 100})
        files["licence.txt"] = b"LICENCE of the test setup\r\n"
        files["readme.txt"] = b"README of the test setup\r\n"
        packages.write_payload(self.scratch, files)
        body = ('[setup]\ntitle = "%s"\nlicence = "licence.txt"\nreadme = "readme.txt"\n' % self.title +
                setup + body)
        if "[[files]]" not in body:
            body += '\n[[files]]\nsource = "app/tool.txt"\ndestination = "{app}"\n'
        exe, _ = packages.build(self.scratch, body, name=name)
        return exe

    def texts(self, exe):
        """The package's first language's texts, numbered from 1."""
        out = subprocess.run([harness.PARVOLEX, "inspect", exe, "--json"], capture_output=True,
                             text=True, check=True).stdout
        return [""] + json.loads(out)["language_strings"][0]

    def open(self, body, setup="", args=(), env=None, files=None):
        """Builds and starts the setup; returns the process."""
        exe = self.build(body, setup, files=files)
        self.lang = self.texts(exe)
        if env:
            p = harness.WinProcess(exe, ["/L=English"] + list(args), env)
            self._processes.append(p)
        else:
            p = self.start(exe, ["/L=English"] + list(args))
        self.process = p
        win = self.robot_ok("wait", "title=" + self.title, "class=PvxPage", "visible=1", timeout=60)[0]
        self.hwnd = "hwnd=0x%x" % win["hwnd"]
        self.window = win
        return p

    def controls(self):
        """The wizard's controls by id."""
        records = self.robot_ok("wait", self.hwnd, "--", "dump")
        return {r["id"]: r for r in records if r["kind"] == "control" and r["id"]}

    def get(self, id):
        """The control as it is now."""
        return self.robot_ok("wait", self.hwnd, "--", "waitctl", "id=%d" % id, "timeout=0")[-1]

    def control(self, id, **state):
        """Waits until the control has the state (e.g. visible=1) and returns it."""
        args = ["wait", self.hwnd, "--", "waitctl", "id=%d" % id]
        args += ["%s=%s" % (k, v) for k, v in state.items()]
        return self.robot_ok(*args)[-1]

    def caption(self, k):
        return self.lang[k].replace("&", "")

    def go(self, button, page):
        """Clicks Next or Back and waits for the page's panel (for Finish,
        for the Finish caption)."""
        self.robot_ok("wait", self.hwnd, "--", "click", "id=%d" % button, "timeout=5000")
        if page == "finish":
            self.robot_ok("wait", self.hwnd, "--", "waitctl", "id=%d" % NEXT,
                          "caption=" + self.caption(41), "visible=1", timeout=90)
        self.control(PANELS[page], visible=1)

    def type(self, id, text):
        self.robot_ok("wait", self.hwnd, "--", "type", "id=%d" % id, "text=" + text)

    def box(self):
        """The message box the wizard owns, once it shows."""
        records = self.robot_ok("wait", "owner=" + self.hwnd.split("=")[1], "class=#32770", "visible=1",
                                "--", "msgbox", timeout=60)
        return records[0]["hwnd"], [r for r in records if r["kind"] == "msgbox"][0]

    def answer(self, box_hwnd, caption):
        self.robot_ok("wait", "hwnd=0x%x" % box_hwnd, "--", "click", "caption=" + caption)

    def pixel(self, x, y, hwnd=None):
        r = self.robot_ok("wait", hwnd or self.hwnd, "--", "pixel", "x=%d" % x, "y=%d" % y)
        return r[-1]["rgb"]
