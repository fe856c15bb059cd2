"""Client for the test robot (build/bin/robot.exe, tests/robot/README.md).

Only parsing and argument building live here; how Wine is started is up to
the caller, who hands Robot a function run(args, timeout) -> (exit code,
stdout) that runs robot.exe with the given arguments.
"""

_HEX = "0123456789abcdefABCDEF"
_ESCAPES = {'"': b'"', "\\": b"\\", "r": b"\r", "n": b"\n", "t": b"\t"}


class RobotError(Exception):
    """robot.exe ended with a non-zero exit code."""

    def __init__(self, code, message, records, args):
        super().__init__("robot %s: exit %d: %s" % (" ".join(args), code, message))
        self.code = code
        self.message = message
        self.records = records
        self.args_ = args


def _number(token):
    try:
        if token.startswith(("0x", "-0x")):
            return int(token, 16)
        if token.lstrip("-").isdigit():
            return int(token, 10)
    except ValueError:
        pass
    return None


def _quoted(line, i):
    """Parses the quoted value starting at line[i] == '"'; returns (text, end)."""
    out = bytearray()
    i += 1
    while True:
        if i >= len(line):
            raise ValueError("unterminated string: %r" % line)
        c = line[i]
        if c == '"':
            return out.decode("utf-8", "replace"), i + 1
        if c != "\\":
            out += c.encode("utf-8")
            i += 1
            continue
        e = line[i + 1:i + 2]
        if e in _ESCAPES:
            out += _ESCAPES[e]
            i += 2
        elif e == "x" and len(line) >= i + 4 and all(h in _HEX for h in line[i + 2:i + 4]):
            out.append(int(line[i + 2:i + 4], 16))
            i += 4
        else:
            raise ValueError("bad escape in %r" % line)


def parse_records(text):
    """Splits robot output into records: one dict per line with 'kind' and
    the line's keys. Plain numbers (decimal or 0x hex) become ints, quoted
    values str (UTF-8), bare words str. An "error: reason" line gives
    {'kind': 'error', 'message': reason}."""
    records = []
    for line in text.splitlines():
        line = line.rstrip("\r")
        if not line.strip():
            continue
        if line.startswith("error: "):
            records.append({"kind": "error", "message": line[len("error: "):]})
            continue
        kind, _, rest = line.partition(" ")
        rec = {"kind": kind}
        i = 0
        while i < len(rest):
            if rest[i] == " ":
                i += 1
                continue
            eq = rest.find("=", i)
            if eq < 0:
                raise ValueError("expected key=value in %r" % line)
            key = rest[i:eq]
            i = eq + 1
            if rest[i:i + 1] == '"':
                value, i = _quoted(rest, i)
            else:
                end = rest.find(" ", i)
                end = len(rest) if end < 0 else end
                token = rest[i:end]
                i = end
                n = _number(token)
                value = token if n is None else n
            rec[key] = value
        records.append(rec)
    return records


# Python-friendly spellings of keys that are not identifiers.
_KEY_NAMES = {"title_contains": "title~", "text_contains": "text~", "class_": "class",
              "cls": "class"}
# How long an operation may wait at most, in ms, when it has no timeout=.
_DEFAULT_WAIT = {"wait": 10000, "gone": 10000, "waitctl": 10000, "wait-exit": 10000,
                 "msgbox": 2000}


def _value(v):
    if isinstance(v, bool):
        return "1" if v else "0"
    return str(v)


def op(name, **keys):
    """One operation as argument strings: op('wait', title_contains='Setup')."""
    args = [name]
    for k, v in keys.items():
        if v is None:
            continue
        args.append("%s=%s" % (_KEY_NAMES.get(k, k), _value(v)))
    return args


def _budget(args):
    """Seconds the whole invocation may take: its waits, plus room for
    Wine to start and for each operation's bounded messages."""
    ms, ops = 0, []
    for a in args + ["--"]:
        if a == "--":
            if ops:
                keys = dict(x.split("=", 1) for x in ops[1:] if "=" in x)
                try:
                    ms += int(keys.get("timeout", keys.get("ms", str(_DEFAULT_WAIT.get(ops[0], 0)))), 0)
                except ValueError:
                    pass
                ms += 3000
            ops = []
        else:
            ops.append(a)
    return 30 + ms / 1000.0


class Robot:
    """Runs robot.exe through `run(args, timeout)`. Each method is one
    invocation; `window` selects the window first: a dict of wait filters
    (title=, title_contains=, class_=, exe=, visible=, owner=, ...) or an
    hwnd. Failures raise RobotError unless the method says otherwise."""

    def __init__(self, run):
        self._run = run

    def run(self, *ops):
        """Runs operations given as lists of strings (see op()); returns
        (exit code, records)."""
        args = []
        for o in ops:
            if args:
                args.append("--")
            args.extend(o)
        code, out = self._run(args, _budget(args))
        return code, parse_records(out)

    def call(self, *ops):
        code, records = self.run(*ops)
        if code != 0:
            errors = [r["message"] for r in records if r["kind"] == "error"]
            raise RobotError(code, errors[0] if errors else "no message", records,
                             [a for o in ops for a in o])
        return records

    def do(self, window, *ops):
        """Selects `window`, then runs the operations; returns the records."""
        return self.call(self._select(window), *ops)

    @staticmethod
    def _select(window, timeout=None):
        if window is None:
            raise ValueError("no window given")
        if isinstance(window, int):
            return op("wait", hwnd="0x%x" % window, timeout=timeout)
        return op("wait", timeout=timeout, **window)

    @staticmethod
    def _one(records, kind):
        found = [r for r in records if r["kind"] == kind]
        if not found:
            raise ValueError("no %s record in %r" % (kind, records))
        return found[-1]

    # Windows -------------------------------------------------------------
    def wait(self, timeout=None, **filters):
        return self._one(self.call(op("wait", timeout=timeout, **filters)), "window")

    def gone(self, timeout=None, **filters):
        self.call(op("gone", timeout=timeout, **filters))

    def list(self, **filters):
        return [r for r in self.call(op("list", **filters)) if r["kind"] == "window"]

    def dump(self, window):
        """Returns (window record, [control records])."""
        records = self.call(self._select(window), op("dump"))
        windows = [r for r in records if r["kind"] == "window"]
        return windows[-1], [r for r in records if r["kind"] == "control"]

    def control(self, window, timeout=None, **filters):
        """The first control matching the filters (waitctl)."""
        return self._one(self.call(self._select(window), op("waitctl", timeout=timeout, **filters)),
                         "control")

    def msgbox(self, window):
        return self._one(self.call(self._select(window), op("msgbox")), "msgbox")

    def focus(self, window):
        return self._one(self.call(self._select(window), op("focus")), "focus")

    def foreground(self):
        return self._one(self.call(op("foreground")), "foreground")

    def pixel(self, window, x, y):
        return self._one(self.call(self._select(window), op("pixel", x=x, y=y)), "pixel")["rgb"]

    def lnk(self, path):
        return self._one(self.call(op("lnk", path=path)), "lnk")

    def wait_exit(self, pid, timeout=None):
        return self._one(self.call(op("wait-exit", pid=pid, timeout=timeout)), "exit")

    # Input ---------------------------------------------------------------
    def click(self, window, caption=None, id=None, **keys):
        self.call(self._select(window), op("click", caption=caption, id=id, **keys))

    def type(self, window, id, text, append=False):
        self.call(self._select(window), op("type", id=id, text=text, append=append or None))

    def chars(self, window, text, id=None):
        self.call(self._select(window), op("chars", id=id, text=text))

    def pick(self, window, id, index=None, text=None):
        self.call(self._select(window), op("pick", id=id, index=index, text=text))

    def key(self, window, vk, id=None, alt=False):
        self.call(self._select(window), op("key", vk=vk, id=id, alt=alt or None))

    def mouse(self, window, x, y, id=None, button=None, double=False):
        self.call(self._select(window),
                  op("mouse", x=x, y=y, id=id, button=button, double=double or None))

    def close(self, window):
        self.call(self._select(window), op("close"))

    def closemsg(self, window):
        self.call(self._select(window), op("closemsg"))

    def sys(self, window, cmd):
        self.call(self._select(window), op("sys", cmd=cmd))
