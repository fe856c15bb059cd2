#!/usr/bin/env python3
"""First-page benchmark: the time from process start to the first wizard
page being visible, for the demo package against an NSIS MUI2 installer of
the same files, side by side in one run.

A: examples/demo built with build/bin/parvolex, started with /L=English
   (the demo holds two languages; the switch skips the language dialog, as
   the NSIS installer, which holds the same two, shows none).
B: an NSIS MUI2 installer of the same files and texts (Welcome, licence,
   readme as a second licence page, directory, Start-menu folder,
   components, install files, finish with run, readme and link; English and
   German; zlib), using the demo's own side and header pictures.

Both run under the project's Wine prefix on the harness's Xvfb display with
a warm wineserver, interleaved A B A B, after one unmeasured run of each.
build/bin/first_page_probe.exe (bench/first_page_probe.cpp) starts each
installer and polls, every INTERVAL ms, its first thread's top-level windows
until a visible wizard window (Parvolex: class PvxPage; NSIS: #32770) has
the first page's title control visible (Parvolex id 18, NSIS id 1201), then
terminates it. The time runs from just before CreateProcess to the poll
that saw the page. The temporary files the killed installers leave behind
are removed after each run.

The floor, in the same interleaved rounds: build/bin*/one_window_program.exe
(bench/one_window_program.cpp), a program that shows one window (class
PvxOneWindow) with one visible control (id 1), no C runtime start-up code.
Each installer's median is given as a multiple of it.

Then the phase table of the Parvolex demo (--phase-runs runs, 0 for none):
under build/bin*/entry_probe.exe with /LOG, from process start to the entry
point, to the log's first line and to its "Page:" line (written as the
first page begins to show); bench/run_phases.py merges the stamps.

--variants also times Parvolex packages that each leave one thing out of
the demo or change it (the stored form instead of the cabinet, side
picture, licence and information pages, the second language, every page
but Welcome), to show where the time goes.

--baseline-runtime PATH also times the demo built with that runtime stub (a
copy of the stub from before a change), interleaved with the others, and
in the phase table.

--signed also times the demo in stored form with one extra random file of
64 MiB and of 200 MiB, each unsigned and signed (osslsigncode, a throwaway
self-signed certificate): the difference is what the signed setup's digest
check costs before its first page.

Usage: bench/first_page_bench.py [--runs N] [--phase-runs N] [--interval MS] [--variants] [--signed]
"""
import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import harness  # noqa: E402
from run_phases import first_page_phases, print_table, probe, read_log  # noqa: E402
from series import load, machine, spread  # noqa: E402

DEMO = os.path.join(ROOT, "examples", "demo")
WORK = os.path.join(ROOT, "build", "bench", "first-page")
PROBE = os.path.join(harness.BIN, "first_page_probe.exe")
ONE_WINDOW = os.path.join(harness.BIN, "one_window_program.exe")
FLOOR = "one window (floor)"

NSIS_SCRIPT = r"""Unicode false
!include MUI2.nsh
Name "Example Tool 1.4"
OutFile "nsis-demo.exe"
InstallDir "$PROGRAMFILES\Example Tool"
RequestExecutionLevel admin
SetCompressor zlib
BrandingText "Example Software"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "header.bmp"
!define MUI_HEADERIMAGE_BITMAP_NOSTRETCH
!define MUI_WELCOMEFINISHPAGE_BITMAP "side.bmp"
!define MUI_WELCOMEFINISHPAGE_BITMAP_NOSTRETCH
!define MUI_ABORTWARNING
Var StartMenuFolder
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE $(licence)
!insertmacro MUI_PAGE_LICENSE $(readme)
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_STARTMENUPAGE_DEFAULTFOLDER "Example Tool"
!insertmacro MUI_PAGE_STARTMENU Application $StartMenuFolder
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\tool.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\docs\manual.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_LINK "https://example.invalid/tool"
!define MUI_FINISHPAGE_LINK_LOCATION "https://example.invalid/tool"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
LicenseLangString licence ${LANG_ENGLISH} "@DEMO@/text/licence-en.txt"
LicenseLangString licence ${LANG_GERMAN} "@DEMO@/text/licence-de.txt"
LicenseLangString readme ${LANG_ENGLISH} "@DEMO@/text/readme-en.txt"
LicenseLangString readme ${LANG_GERMAN} "@DEMO@/text/readme-de.txt"
Section "-Files"
SetOutPath "$INSTDIR"
File "@DEMO@/app/bin/tool.exe"
SetOutPath "$INSTDIR\docs"
File /r "@DEMO@/app/docs/*.*"
SetOutPath "$DOCUMENTS\Example Tool Samples"
File /r "@DEMO@/app/samples/*.*"
CreateDirectory "$INSTDIR\reports"
WriteRegStr HKLM "SOFTWARE\Example Software\Example Tool" "InstallDir" "$INSTDIR"
WriteUninstaller "$INSTDIR\Uninstall.exe"
!insertmacro MUI_STARTMENU_WRITE_BEGIN Application
CreateDirectory "$SMPROGRAMS\$StartMenuFolder"
CreateShortcut "$SMPROGRAMS\$StartMenuFolder\Example Tool.lnk" "$INSTDIR\tool.exe"
CreateShortcut "$SMPROGRAMS\$StartMenuFolder\Manual.lnk" "$INSTDIR\docs\manual.txt"
!insertmacro MUI_STARTMENU_WRITE_END
SectionEnd
Section "Desktop shortcut"
CreateShortcut "$DESKTOP\Example Tool.lnk" "$INSTDIR\tool.exe"
SectionEnd
Section "Uninstall"
Delete "$INSTDIR\Uninstall.exe"
SectionEnd
"""

# Diagnostic variants of the demo project: name, text edits (pattern, replacement).
VARIANTS = [
    ("stored form", [(r'(?m)^form = "cabinet"\ncompression = "mszip".*$', 'form = "stored"')]),
    ("no side picture", [(r"(?m)^\[wizard\]$", '[wizard]\nside_picture = "none"')]),
    ("no licence/information pages", [(r"(?m)^(license|information) = true$", r"\1 = false")]),
    ("one language", [(r"(?s)\n\[\[languages\]\]\nbase = \"german\".*?readme-de.txt\"\n", "\n")]),
    ("welcome page only", [(r"(?m)^(license|information|folder|group|shortcuts|ready|finish) = true$",
                            r"\1 = false")]),
]


def quiet(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def parvolex_package(name, edits=(), runtime=None):
    """The demo project with absolute sources (and the edits) built into WORK."""
    with open(os.path.join(DEMO, "demo.toml")) as f:
        text = f.read()
    text = re.sub(r'"(app|text)/', lambda m: '"' + DEMO + "/" + m.group(1) + "/", text)
    text = re.sub(r"(?m)^output = .*$", "", text)
    for pattern, replacement in edits:
        text, n = re.subn(pattern, replacement, text)
        if not n:
            raise RuntimeError("variant %s: %r matches nothing" % (name, pattern))
    stem = "pvx-" + re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-")
    project = os.path.join(WORK, stem + ".toml")
    with open(project, "w") as f:
        f.write(text)
    exe = os.path.join(WORK, stem + ".exe")
    quiet([harness.PARVOLEX, "build", project, "-o", exe] + (["--runtime", runtime] if runtime else []))
    return exe


def signed_contenders():
    """(name, exe) pairs: the stored-form demo with a large random file, unsigned and signed."""
    sys.path.insert(0, os.path.join(ROOT, "bench"))
    from install_bench import sign_copy
    pairs = []
    for mib in (64, 200):
        extra = os.path.join(WORK, "extra-%d" % mib)
        os.makedirs(extra, exist_ok=True)
        big = os.path.join(extra, "big.bin")
        if not os.path.exists(big) or os.path.getsize(big) != mib << 20:
            with open(big, "wb") as f:
                f.write(os.urandom(mib << 20))
        name = "stored %d MiB" % mib
        exe = parvolex_package(name, [
            (r'(?m)^form = "cabinet"\ncompression = "mszip".*$', 'form = "stored"'),
            (r"\Z", '\n[[files]]\nsource = "%s"\ndestination = "{app}"\n' % big)])
        signed = exe[:-4] + "-signed.exe"
        sign_copy(exe, signed)
        pairs += [("Parvolex, %s" % name, exe), ("Parvolex, %s, signed" % name, signed)]
    return pairs


def nsis_installer(parvolex_exe):
    """The NSIS installer, with the Parvolex package's own pictures."""
    extracted = os.path.join(WORK, "extracted")
    shutil.rmtree(extracted, ignore_errors=True)
    quiet([harness.PARVOLEX, "extract", parvolex_exe, "-d", extracted])
    shutil.copy(os.path.join(extracted, "resources", "5.tmp"), os.path.join(WORK, "side.bmp"))
    shutil.copy(os.path.join(extracted, "resources", "4.tmp"), os.path.join(WORK, "header.bmp"))
    shutil.rmtree(extracted, ignore_errors=True)
    script = os.path.join(WORK, "nsis-demo.nsi")
    text = NSIS_SCRIPT.replace("@DEMO@", DEMO)
    if harness.WINEARCH == "win64":
        # Beside the 64-bit stand-ins, NSIS's 64-bit stub: a machine that
        # runs no 32-bit programs runs neither 32-bit installer.
        text = text.replace("Unicode false\n", "Target amd64-unicode\n", 1)
    with open(script, "w") as f:
        f.write(text)
    quiet(["makensis", "-V1", script], cwd=WORK)
    return os.path.join(WORK, "nsis-demo.exe")


class Runner:
    def __init__(self, env, interval):
        self.env = env
        self.interval = interval
        self.temp = harness.temp_folder()
        self.polls = []

    def _leftovers(self):
        return set(os.listdir(self.temp)) if os.path.isdir(self.temp) else set()

    def _remove_leftovers(self, before):
        for entry in self._leftovers() - before:
            path = os.path.join(self.temp, entry)
            shutil.rmtree(path, ignore_errors=True) if os.path.isdir(path) else os.remove(path)

    def first_page(self, exe, args, window_class, control_id):
        """Milliseconds to the first page; the installer is killed, its leftovers removed."""
        before = self._leftovers()
        p = harness.WinProcess(PROBE, [window_class, str(control_id), str(self.interval), "30000",
                                       harness.windows_path(exe)] + list(args), self.env)
        try:
            code = p.wait(90)
            out = p.output().strip()
        finally:
            p.kill()
            p.close()
        self._remove_leftovers(before)
        m = re.match(r"shown ms=([\d.]+) polls=(\d+) poll_us=(\d+)", out)
        if code != 0 or not m:
            raise RuntimeError("%s: probe said %r (exit %d)" % (os.path.basename(exe), out, code))
        self.polls.append((int(m.group(2)), int(m.group(3))))
        return float(m.group(1))

    def phases(self, exe, args, end_after_ms=3000):
        """The phase table's milliseconds of one start, under the entry probe
        with /LOG; the installer is ended `end_after_ms` after its start."""
        before = self._leftovers()
        log = os.path.join(WORK, "phases.log")
        if os.path.exists(log):
            os.remove(log)
        try:
            stamps = probe(self.env, exe, list(args) + ["/LOG=" + harness.windows_path(log)], end_after_ms)
        finally:
            self._remove_leftovers(before)
        if not os.path.exists(log):
            raise RuntimeError("%s wrote no log within %d ms of its start (a loaded machine?)"
                               % (os.path.basename(exe), end_after_ms))
        return first_page_phases(stamps, read_log(log))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--phase-runs", type=int, default=7, help="runs of the phase table (0: none)")
    parser.add_argument("--interval", type=int, default=5, help="poll interval of the probe, ms")
    parser.add_argument("--variants", action="store_true", help="also time the diagnostic variants")
    parser.add_argument("--signed", action="store_true",
                        help="also time 64 and 200 MiB stored packages, unsigned and signed")
    parser.add_argument("--baseline-runtime", metavar="PATH",
                        help="also the demo built with this runtime stub (a copy from before a change), interleaved")
    parser.add_argument("--json", help="write the raw times there")
    args = parser.parse_args()
    for path in (PROBE, ONE_WINDOW, harness.PARVOLEX, harness.RUNTIME, os.path.join(harness.BIN, "entry_probe.exe")):
        if not os.path.exists(path):
            sys.exit("%s is missing: run scripts/build" % path)
    os.makedirs(WORK, exist_ok=True)

    pvx = parvolex_package("demo")
    contenders = [("Parvolex", pvx, ["/L=English"], "PvxPage", 18),
                  ("NSIS MUI2", nsis_installer(pvx), [], "#32770", 1201),
                  (FLOOR, ONE_WINDOW, [], "PvxOneWindow", 1)]
    baseline = None
    if args.baseline_runtime:
        baseline = parvolex_package("demo baseline", runtime=os.path.abspath(args.baseline_runtime))
        contenders.append(("Parvolex, baseline runtime", baseline, ["/L=English"], "PvxPage", 18))
    if args.variants:
        for name, edits in VARIANTS:
            contenders.append(("Parvolex, " + name, parvolex_package(name, edits), ["/L=English"], "PvxPage", 18))

    if args.signed:
        for name, exe in signed_contenders():
            contenders.append((name, exe, ["/L=English"], "PvxPage", 18))

    print("machine: %s; Wine prefix %s%s" % (machine(), harness.WINEARCH,
                                             ": the 64-bit Wine stand-in" if harness.WINEARCH == "win64" else ""))
    print("runtime.exe: %d bytes; %s %d bytes, %s %d bytes" % (
        os.path.getsize(harness.RUNTIME), os.path.basename(contenders[0][1]), os.path.getsize(contenders[0][1]),
        os.path.basename(contenders[1][1]), os.path.getsize(contenders[1][1])))
    runner = Runner(harness.ensure_session(), args.interval)
    load_before = load()
    for contender in list(contenders):  # warm the file cache and the server
        name, exe, exe_args, window_class, control_id = contender
        try:
            runner.first_page(exe, exe_args, window_class, control_id)
        except RuntimeError as e:
            # NSIS installers are 32-bit programs: a machine that runs only
            # the 64-bit stand-ins cannot start them.
            if name != "NSIS MUI2":
                raise
            print("  %s left out: %s" % (name, e))
            contenders.remove(contender)
    times = {c[0]: [] for c in contenders}
    for _ in range(args.runs):
        for name, exe, exe_args, window_class, control_id in contenders:
            times[name].append(runner.first_page(exe, exe_args, window_class, control_id))
    load_after = load()

    medians = {name: statistics.median(v) for name, v in times.items()}
    print("first wizard page visible, median of %d runs, interleaved (load %s before, %s after):"
          % (args.runs, load_before, load_after))
    for name, v in times.items():
        floor = "" if name == FLOOR else ", %.2f \u00d7 the floor" % (medians[name] / medians[FLOOR])
        print("  %-40s %s%s   (%s)" % (name, spread(v, "ms", 1), floor, " ".join("%.0f" % t for t in v)))
    ratio = medians["Parvolex"] / medians["NSIS MUI2"] if "NSIS MUI2" in medians else None
    if ratio is not None:
        print("  Parvolex / NSIS: %.2f (%s)" % (ratio, "no slower" if ratio <= 1 else "slower"))
    if args.signed:
        for mib in (64, 200):
            base = "Parvolex, stored %d MiB" % mib
            print("  digest check of the signed %d MiB package: %+.0f ms" % (
                mib, medians[base + ", signed"] - medians[base]))
    polls = sum(n for n, _ in runner.polls)
    mean_cost = sum(n * us for n, us in runner.polls) / polls
    print("  probe: every %d ms, mean %.0f us per look (%d looks)" % (args.interval, mean_cost, polls))
    phases = []
    baseline_phases = []
    if args.phase_runs:
        for i in range(args.phase_runs + 1):  # the first run warms up
            # Ended well after the page shows, however slow this machine is now.
            end_after = max(3000, int(3 * medians["Parvolex"]))
            result = runner.phases(pvx, ["/L=English"], end_after)
            other = runner.phases(baseline, ["/L=English"], end_after) if baseline else None
            if i:
                phases.append(result)
                if other:
                    baseline_phases.append(other)
        print_table("phases of the start to the first page, Parvolex demo, median [min\u2013max] of %d runs (load %s):"
                    % (args.phase_runs, load()), phases)
        if baseline_phases:
            print_table("the same with the baseline runtime, interleaved with those:", baseline_phases)
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"runs": args.runs, "load": [load_before, load_after], "times": times,
                       "medians": medians, "ratio": ratio, "phases": phases}, f, indent=1)


if __name__ == "__main__":
    main()
