#!/usr/bin/env python3
"""Packing and silent-install benchmark: Parvolex against gcab and NSIS on
the same files, side by side in one run.

Payloads (generated deterministically):
  many-small  2,000 files of 1-64 KiB in 40 folders (about 62 MiB), text-like and random
  few-large   5 files of 40 MiB, half random, half text-like
  small       40 files of 1-16 KiB in 4 folders (about 0.3 MiB): the start-up
              and the wizard dominate; only with --only small

Packing: parvolex (MSZIP cabinet), `gcab -c -z`, makensis with zlib.

Installing: a Parvolex package (MSZIP cabinet; stored form) against an NSIS
installer (zlib; SetCompress off) of the same files, silent, into the same
Wine prefix with a warm wineserver, in two series: onto the prefix's own
disk and onto a tmpfs mounted over the destination (bench/destination.py;
where it cannot be mounted the reason is printed). Beside them, in the same
interleaved rounds, the floor: an empty GUI program started under the same
prefix (build/bin*/empty_program.exe), `cp -r` of the payload onto the same
destination, and `cabextract` of the MSZIP package's own payload cabinet
(bench/package_cabinet.py). One unmeasured round first, then RUNS rounds;
each figure is the median with its spread (min-max). Each Parvolex figure
is given as a ratio to NSIS and as a multiple of the floor (empty process +
cp -r for stored, + cabextract for MSZIP). Peak memory is the high-water
mark (VmHWM) of the installer process.

Then, on each destination, the phase table of both Parvolex packages:
PHASE_RUNS runs under build/bin*/entry_probe.exe with /LOG
(bench/run_phases.py): process start to the entry point, entry point to
the log's first line, to "Installing", placing the files, the rest, and
the end of the process.

With --baseline-runtime PATH the stored-form package is also built with
that runtime stub (a copy of the stub before a change) and runs beside the
others in the same rounds, and in the phase table: the difference is the
change's, measured under the same load.

With --signed the stored-form package is also signed (osslsigncode, a
throwaway self-signed certificate) and installed against its unsigned
twin: the difference is the cost of the runtime's digest check.

Usage: bench/install_bench.py [--runs N] [--phase-runs N] [--only many-small|few-large|small] [--skip-install]
                              [--signed] [--baseline-runtime PATH] [--json PATH]
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import harness  # noqa: E402
from destination import Destination  # noqa: E402
from package_cabinet import write_payload_cabinet  # noqa: E402
from run_phases import install_phases, print_table, probe, read_log  # noqa: E402
from series import load, machine, median, spread  # noqa: E402

WORK = os.path.join(ROOT, "build", "bench")
EMPTY_PROGRAM = os.path.join(harness.BIN, "empty_program.exe")
TEXT = b"".join(b"line %06d of a text-like file, with words that repeat and repeat\r\n" % i
                for i in range(20000))


def chunk(rng, size, random_part):
    n_random = int(size * random_part)
    data = rng.randbytes(n_random)
    start = rng.randrange(len(TEXT) - size) if size < len(TEXT) else 0
    text = (TEXT[start:] + TEXT * (size // len(TEXT) + 1))[: size - n_random]
    return data + text


def generate(name):
    folder = os.path.join(WORK, name, "payload")
    marker = os.path.join(WORK, name, ".done")
    if os.path.exists(marker):
        return folder
    shutil.rmtree(folder, ignore_errors=True)
    rng = random.Random(20261209)
    def small_files(count, folders, largest, dir_name, file_name):
        # Every other file text-like, the others nearly random.
        for i in range(count):
            sub = os.path.join(folder, dir_name % (i % folders))
            os.makedirs(sub, exist_ok=True)
            size = rng.randrange(1024, largest + 1)
            with open(os.path.join(sub, file_name % i), "wb") as f:
                f.write(chunk(rng, size, 0.5 if i % 2 else 0.1))

    if name == "small":
        small_files(40, 4, 16 * 1024, "dir%d", "file%02d.dat")
    elif name == "many-small":
        small_files(2000, 40, 64 * 1024, "dir%02d", "file%04d.dat")
    else:
        os.makedirs(folder, exist_ok=True)
        for i in range(5):
            with open(os.path.join(folder, "large%d.bin" % i), "wb") as f:
                for _ in range(40):
                    f.write(chunk(rng, 1024 * 1024, 0.5))
    open(marker, "w").close()
    return folder


def timed(cmd, env=None, cwd=None, memory=False):
    """Runs a command; returns (seconds, peak resident KiB or None). The
    clock stops when the process is reaped; with `memory` a thread samples
    the high-water mark every 10 ms meanwhile."""
    with open(os.devnull, "rb") as null_in, open(os.devnull, "wb") as null_out:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=null_in, stdout=null_out, stderr=null_out)
        peak = [0]

        def sample():
            while proc.returncode is None:
                peak[0] = max(peak[0], _hwm(proc.pid))
                time.sleep(0.01)

        sampler = threading.Thread(target=sample, daemon=True) if memory else None
        if sampler:
            sampler.start()
        proc.wait()
        elapsed = time.perf_counter() - start
        if sampler:
            sampler.join()
    if proc.returncode != 0:
        raise RuntimeError("%s failed with %d" % (cmd[0], proc.returncode))
    return elapsed, (peak[0] or None)


def _hwm(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def project(name, payload, form, target, marker=False):
    """The bench project; with `marker` one folder record after the files,
    whose log line marks the end of the last file (bench/run_phases.py)."""
    path = os.path.join(WORK, name, "%s%s.toml" % (form, "-phases" if marker else ""))
    with open(path, "w") as f:
        f.write('[setup]\ntitle = "Bench"\n[package]\nform = "%s"\n' % ("stored" if form == "stored" else "cabinet"))
        # JSON strings are TOML basic strings: backslashes arrive as single ones.
        f.write('[[files]]\nsource = %s\ndestination = %s\n' % (json.dumps(payload), json.dumps(target)))
        if marker:
            f.write('[[folders]]\npath = %s\n' % json.dumps(target + "\\after-the-files"))
    return path


def nsis_script(name, payload, compress, target_windows):
    path = os.path.join(WORK, name, "nsis-%s.nsi" % ("zlib" if compress else "off"))
    with open(path, "w") as f:
        # The same architecture as the Parvolex runtime under test: the
        # 64-bit stub where the machine runs only 64-bit programs.
        f.write("Target amd64-unicode\n" if harness.WINEARCH == "win64" else "Unicode false\n")
        f.write('OutFile "nsis-%s.exe"\nRequestExecutionLevel admin\n' % ("zlib" if compress else "off"))
        # zlib per file, as cabinets compress each data block: no solid archive.
        f.write("SetCompressor zlib\n" if compress else "SetCompress off\n")
        f.write('InstallDir "%s"\nSection\nSetOutPath "$INSTDIR"\nFile /r "%s/*.*"\nSectionEnd\n'
                % (target_windows, payload))
    return path


def sign_copy(unsigned, signed):
    import tempfile
    keys = tempfile.mkdtemp(prefix="pvx-bench-keys-")
    try:
        key, cert, p12 = (os.path.join(keys, n) for n in ("key.pem", "cert.pem", "cert.p12"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Parvolex Bench", "-keyout", key, "-out", cert], check=True,
                       capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
                        "-passout", "pass:bench"], check=True, capture_output=True)
        if os.path.exists(signed):
            os.unlink(signed)
        subprocess.run(["osslsigncode", "sign", "-pkcs12", p12, "-pass", "bench", "-h", "sha256",
                        "-in", unsigned, "-out", signed], check=True, capture_output=True)
    finally:
        shutil.rmtree(keys, ignore_errors=True)


def bench(name, runs, skip_install, phase_runs, signed=False, baseline=None):
    payload = generate(name)
    folder = os.path.join(WORK, name)
    rows = []
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(payload) for f in fs)
    print("\n== %s: %d files, %.1f MiB" % (name, sum(len(fs) for _, _, fs in os.walk(payload)), total / 2**20))

    # Packing, interleaved.
    files = [os.path.relpath(os.path.join(d, f), payload) for d, _, fs in sorted(os.walk(payload)) for f in sorted(fs)]
    packers = {
        "parvolex (MSZIP)": lambda: timed([harness.PARVOLEX, "build", project(name, payload, "mszip", "C:\\bench\\pvx"),
                                            "-o", os.path.join(folder, "pvx-mszip.exe")]),
        "gcab -c -z": lambda: timed(["gcab", "-c", "-z", "-n", os.path.join(folder, "gcab.cab")] + files, cwd=payload),
        "makensis zlib": lambda: timed(["makensis", "-V1", nsis_script(name, payload, True, "C:\\bench\\nsis")]
                                       , cwd=folder),
    }
    times = {k: [] for k in packers}
    for _ in range(runs):
        for k, run in packers.items():
            times[k].append(run()[0])
    pack = {k: median(v) for k, v in times.items()}
    print("packing (median of %d):" % runs)
    for k, v in pack.items():
        print("  %-20s %7.2f s" % (k, v))
    print("  parvolex vs gcab: %.2fx faster; vs makensis: %.2fx faster" % (
        pack["gcab -c -z"] / pack["parvolex (MSZIP)"], pack["makensis zlib"] / pack["parvolex (MSZIP)"]))
    rows.append(("pack", name, pack))
    if skip_install:
        return rows

    # Packages for the install comparison.
    timed([harness.PARVOLEX, "build", project(name, payload, "stored", "C:\\bench\\pvx"),
           "-o", os.path.join(folder, "pvx-stored.exe")])
    timed(["makensis", "-V1", nsis_script(name, payload, False, "C:\\bench\\nsis")], cwd=folder)
    cabinet = os.path.join(folder, "pvx-mszip.cab")
    write_payload_cabinet(os.path.join(folder, "pvx-mszip.exe"), cabinet)
    env = harness.ensure_session()
    pairs = [("MSZIP", "pvx-mszip.exe", "nsis-zlib.exe", "cabextract"),
             ("stored", "pvx-stored.exe", "nsis-off.exe", "cp -r")]
    if signed:
        sign_copy(os.path.join(folder, "pvx-stored.exe"), os.path.join(folder, "pvx-stored-signed.exe"))
    if baseline:
        timed([harness.PARVOLEX, "build", project(name, payload, "stored", "C:\\bench\\pvx"),
               "-o", os.path.join(folder, "pvx-stored-baseline.exe"), "--runtime", baseline])
    phase_packages = {}
    if phase_runs:
        for form in ("mszip", "stored"):
            exe = phase_packages[form] = os.path.join(folder, "pvx-%s-phases.exe" % form)
            timed([harness.PARVOLEX, "build", project(name, payload, form, "C:\\bench\\pvx", marker=True),
                   "-o", exe])
        if baseline:
            exe = phase_packages["stored, baseline runtime"] = os.path.join(folder, "pvx-stored-phases-baseline.exe")
            timed([harness.PARVOLEX, "build", project(name, payload, "stored", "C:\\bench\\pvx", marker=True),
                   "-o", exe, "--runtime", baseline])
    last = None
    for kind in DESTINATIONS:
        with Destination(kind) as dest:
            if not dest.ready:
                print("\ndestination %s: left out (%s)" % (kind, dest.reason))
                continue
            last = kind
            rows += install_series(name, folder, payload, cabinet, env, dest, pairs, runs, signed, baseline)
            if phase_runs:
                rows.append(("phases", name, {"destination": kind, "load": load(),
                                              "runs": print_install_phases(name, folder, phase_packages, env,
                                                                           dest, phase_runs)}))
    if last is None:
        print("no destination could be used")
    return rows


DESTINATIONS = ("disk", "tmpfs")


def install_series(name, folder, payload, cabinet, env, dest, pairs, runs, signed, baseline=None):
    """Every installer and every floor on one destination, interleaved."""
    def installer(exe):
        return lambda: timed([harness.WINE, os.path.join(folder, exe), "/S"], env=env, memory=True)

    contenders = {}
    for _, a, b, _ in pairs:
        contenders[a], contenders[b] = installer(a), installer(b)
    if signed:
        contenders["pvx-stored-signed.exe"] = installer("pvx-stored-signed.exe")
    if baseline:
        contenders["pvx-stored-baseline.exe"] = installer("pvx-stored-baseline.exe")
    contenders["empty process"] = lambda: timed([harness.WINE, EMPTY_PROGRAM], env=env)
    contenders["cp -r"] = lambda: timed(["cp", "-r", payload, os.path.join(dest.target, "cp")])
    contenders["cabextract"] = lambda: timed(["cabextract", "-q", "-d", os.path.join(dest.target, "cab"), cabinet])

    def run(key):
        dest.clear()
        return contenders[key]()

    load_before = load()
    for key in contenders:  # warm the file cache and the server
        run(key)
    times = {k: [] for k in contenders}
    peaks = {k: [] for k in contenders}
    # Each round starts one contender later: on the disk, the data the
    # runs before have left for write-back slows the runs after them, so a
    # fixed order would favour whoever comes first.
    order = list(contenders)
    for i in range(runs):
        for key in order[i % len(order):] + order[:i % len(order)]:
            t, m = run(key)
            times[key].append(t)
            peaks[key].append(m or 0)
    print("\ndestination %s, %s: median [min\u2013max] of %d interleaved runs (load %s before, %s after)"
          % (dest.kind, dest.description, runs, load_before, load()))
    for key in contenders:
        peak = "  peak %s KiB" % format(max(peaks[key]), ",") if max(peaks[key]) else ""
        print("  %-24s %s%s" % (key, spread(times[key]), peak))
    empty = median(times["empty process"])
    row = {"destination": dest.kind, "runs": runs, "load": [load_before, load()],
           "times": times, "peaks": {k: max(v) for k, v in peaks.items()}}
    for label, a, b, floor_tool in pairs:
        floor = empty + median(times[floor_tool])
        pa, pb = median(times[a]), median(times[b])
        print("  %s: Parvolex %.3f s = %.2f \u00d7 NSIS (%.3f s), %.2f \u00d7 the floor (%.3f s = empty process"
              " %.3f + %s %.3f); NSIS %.2f \u00d7 the floor; peak %s vs %s KiB"
              % (label, pa, pa / pb, pb, pa / floor, floor, empty, floor_tool, median(times[floor_tool]),
                 pb / floor, format(max(peaks[a]), ","), format(max(peaks[b]), ",")))
    if signed:
        print("  digest check: signed %.3f s vs unsigned %.3f s" % (
            median(times["pvx-stored-signed.exe"]), median(times["pvx-stored.exe"])))
    if baseline:
        print("  this runtime against the baseline runtime (stored): %.3f s vs %.3f s; peak %s vs %s KiB" % (
            median(times["pvx-stored.exe"]), median(times["pvx-stored-baseline.exe"]),
            format(max(peaks["pvx-stored.exe"]), ","), format(max(peaks["pvx-stored-baseline.exe"]), ",")))
    return [("install", name, row)]


def print_install_phases(name, folder, packages, env, dest, runs):
    """The phase table of both Parvolex packages from /LOG stamps (their one
    extra folder record marks the end of the files)."""
    log = os.path.join(folder, "phases.log")
    tables = {}
    for form, exe in packages.items():
        results = tables[form] = []
        for i in range(runs + 1):  # the first run warms up
            dest.clear()
            stamps = probe(env, exe, ["/S", "/LOG=" + harness.windows_path(log)], 120000)
            if i:
                results.append(install_phases(stamps, read_log(log)))
        print_table("phases of a silent install, %s, %s form, on %s, median [min\u2013max] of %d runs (load %s):"
                    % (name, form, dest.kind, runs, load()), results)
    empty = []
    for i in range(runs + 1):
        stamps = probe(env, EMPTY_PROGRAM, [], 30000)
        if i:
            empty.append({"process start to entry point": stamps["entry_ms"],
                          "entry point to process end": stamps["end_ms"] - stamps["entry_ms"]})
    print_table("the empty program under the probe (its cost beside the plain start):", empty)
    tables["empty program"] = empty
    return tables


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--phase-runs", type=int, default=5, help="runs of each phase table (0: none)")
    parser.add_argument("--only", choices=("many-small", "few-large", "small"))
    parser.add_argument("--skip-install", action="store_true")
    parser.add_argument("--signed", action="store_true", help="also a signed stored-form package against its twin")
    parser.add_argument("--baseline-runtime", metavar="PATH",
                        help="also the stored-form package built with this runtime stub, interleaved")
    parser.add_argument("--json", help="write the raw times there")
    args = parser.parse_args()
    for path in (harness.PARVOLEX, harness.RUNTIME, EMPTY_PROGRAM, os.path.join(harness.BIN, "entry_probe.exe")):
        if not os.path.exists(path):
            sys.exit("%s is missing: run scripts/build" % path)
    os.makedirs(WORK, exist_ok=True)
    print("runtime.exe: %d bytes (%s; Wine prefix %s%s)" % (
        os.path.getsize(harness.RUNTIME), harness.RUNTIME, harness.WINEARCH,
        ": the 64-bit Wine stand-in" if harness.WINEARCH == "win64" else ""))
    print("machine: %s; load %s" % (machine(), load()))
    rows = []
    for name in [args.only] if args.only else ["many-small", "few-large"]:
        rows += bench(name, args.runs, args.skip_install, args.phase_runs, args.signed,
                      args.baseline_runtime and os.path.abspath(args.baseline_runtime))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(rows, f, indent=1)


if __name__ == "__main__":
    main()
