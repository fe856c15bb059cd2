"""Where a run's time goes: the moments bench/entry_probe.cpp stamps
(process start, entry point, end) merged with the stamps of the runtime's
installation log (/LOG=path), both read from the same local clock.

The log stamps each line with the local time in milliseconds. A line is
written when its event begins: "File X: written" before the file's bytes,
so the end of the last file is the next line after it (the bench packages
that are timed this way carry one folder record, whose line is written
right after the files).
"""
import datetime
import os
import re

import harness
from series import median

PROBE = os.path.join(harness.BIN, "entry_probe.exe")
EPOCH = datetime.datetime(1601, 1, 1)
STAMP = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})  (.*)$")


def _ms_since_1601(text):
    return (datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S.%f") - EPOCH) / datetime.timedelta(milliseconds=1)


def read_log(path):
    """[(ms since 1601, local time, text)] of an installation log."""
    lines = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            m = STAMP.match(line.rstrip("\r\n"))
            if m:
                lines.append((_ms_since_1601(m.group(1)), m.group(2)))
    return lines


def parse_probe(output):
    m = re.search(r"entry_ms=(-?[\d.]+) end_ms=([\d.]+) start=(\d+) entry=(\d+) end=(\d+) exit=(\d+) killed=(\d)",
                  output)
    if not m:
        raise RuntimeError("entry_probe said %r" % output)
    return {"entry_ms": float(m.group(1)), "end_ms": float(m.group(2)),
            "start": int(m.group(3)) / 1e4, "entry": int(m.group(4)) / 1e4, "end": int(m.group(5)) / 1e4,
            "exit": int(m.group(6)), "killed": m.group(7) == "1"}


def probe(env, exe, args, limit_ms):
    """Runs exe under the probe; returns its parsed line."""
    p = harness.WinProcess(PROBE, [str(limit_ms), harness.windows_path(exe)] + list(args), env)
    try:
        p.wait(limit_ms / 1000 + 60)
        return parse_probe(p.output())
    finally:
        p.kill()
        p.close()


def _first(lines, prefix, after=None):
    for t, text in lines:
        if text.startswith(prefix) and (after is None or t >= after):
            return t
    raise RuntimeError("the log has no line starting %r" % prefix)


def install_phases(stamps, lines):
    """Milliseconds per phase of a silent installation."""
    entry = stamps["entry"]
    first = lines[0][0]
    installing = _first(lines, "Installing to")
    files = [i for i, (_, text) in enumerate(lines) if text.startswith("File ")]
    after_files = lines[files[-1] + 1][0] if files and files[-1] + 1 < len(lines) else installing
    exit_line = _first(lines, "Exit code")
    return {
        "process start to entry point": stamps["entry_ms"],
        "entry point to first log line": first - entry,
        "first log line to \"Installing\"": installing - first,
        "placing files": after_files - installing,
        "after the last file to \"Exit code\"": exit_line - after_files,
        "\"Exit code\" to process end": stamps["end"] - exit_line,
        "total (under the probe, with /LOG)": stamps["end_ms"],
    }


def first_page_phases(stamps, lines):
    """Milliseconds per phase of a start to the first wizard page."""
    entry = stamps["entry"]
    first = lines[0][0]
    page = _first(lines, "Page:")
    return {
        "process start to entry point": stamps["entry_ms"],
        "entry point to first log line": first - entry,
        "first log line to \"Page:\" (the first page begins to show)": page - first,
        "total to \"Page:\" (under the probe, with /LOG)": page - stamps["start"],
    }


def print_table(title, runs):
    """Prints the median and the spread of each phase over the runs (dicts)."""
    print(title)
    for phase in runs[0]:
        values = [r[phase] for r in runs]
        print("  %-58s %7.1f ms  [%.1f\u2013%.1f]" % (phase, median(values), min(values), max(values)))
