#!/usr/bin/env python3
"""Packing and silent-install benchmark: Parvolex against gcab and NSIS on
the same files, side by side in one run.

Payloads (generated deterministically):
  many-small  2,000 files of 1-64 KiB in 40 folders (about 62 MiB), text-like and random
  few-large   5 files of 40 MiB, half random, half text-like

Packing: parvolex (MSZIP cabinet), `gcab -c -z`, makensis with zlib.
Installing: a Parvolex package (MSZIP cabinet; stored form) against an NSIS
installer (zlib; SetCompress off) of the same files, silent, into the same
Wine prefix with a warm wineserver. Runs are interleaved A B A B; medians of
RUNS runs; peak memory is the high-water mark (VmHWM) of the installer process.

With --signed the stored-form package is also signed (osslsigncode, a
throwaway self-signed certificate) and installed against its unsigned
twin: the difference is the cost of the runtime's digest check.

Usage: bench/install_bench.py [--runs N] [--only many-small|few-large] [--skip-install] [--tmpfs] [--signed]
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

WORK = os.path.join(ROOT, "build", "bench")
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
    if name == "many-small":
        for i in range(2000):
            sub = os.path.join(folder, "dir%02d" % (i % 40))
            os.makedirs(sub, exist_ok=True)
            size = rng.randrange(1024, 64 * 1024 + 1)
            with open(os.path.join(sub, "file%04d.dat" % i), "wb") as f:
                f.write(chunk(rng, size, 0.5 if i % 2 else 0.1))
    else:
        os.makedirs(folder, exist_ok=True)
        for i in range(5):
            with open(os.path.join(folder, "large%d.bin" % i), "wb") as f:
                for _ in range(40):
                    f.write(chunk(rng, 1024 * 1024, 0.5))
    open(marker, "w").close()
    return folder


def timed(cmd, env=None, cwd=None, memory=False):
    """Runs a command; returns (seconds, peak resident KiB or None)."""
    with open(os.devnull, "rb") as null_in, open(os.devnull, "wb") as null_out:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=null_in, stdout=null_out, stderr=null_out)
        peak = 0
        while proc.poll() is None:
            if memory:
                peak = max(peak, _hwm(proc.pid))
            time.sleep(0.01)
        elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        raise RuntimeError("%s failed with %d" % (cmd[0], proc.returncode))
    return elapsed, (peak or None)


def _hwm(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def project(name, payload, form, target):
    path = os.path.join(WORK, name, "%s.toml" % form)
    with open(path, "w") as f:
        f.write('[setup]\ntitle = "Bench"\n[package]\nform = "%s"\n' % ("stored" if form == "stored" else "cabinet"))
        # JSON strings are TOML basic strings: backslashes arrive as single ones.
        f.write('[[files]]\nsource = %s\ndestination = %s\n' % (json.dumps(payload), json.dumps(target)))
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


def median(values):
    return statistics.median(values)


def bench(name, runs, skip_install, tmpfs, signed=False):
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
    env = harness.ensure_session()
    target = harness.drive_c("bench")
    # Each run's files are moved aside, not deleted, and deleted after the
    # series: deleting thousands of files right before the next run creates
    # as many makes the file system's inode allocation (ext4 passes over
    # just-freed inodes one by one) the larger part of both installers'
    # time, and hides what the installers themselves do.
    trash = harness.drive_c("bench-trash")
    shutil.rmtree(trash, ignore_errors=True)
    os.makedirs(trash)
    # With --tmpfs the destination is a memory file system mounted over
    # C:\bench: what is left is the installers' own work and Wine's.
    mounted = False
    if tmpfs:
        os.makedirs(target, exist_ok=True)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1g", "tmpfs", target],
                                 stderr=subprocess.DEVNULL).returncode == 0
        print("destination: %s" % ("tmpfs" if mounted else "the prefix's own disk (tmpfs cannot be mounted here)"))

    def install(exe):
        if mounted:
            for entry in os.listdir(target):
                shutil.rmtree(os.path.join(target, entry))
        elif os.path.exists(target):
            os.rename(target, os.path.join(trash, str(time.perf_counter_ns())))
        return timed([harness.WINE, os.path.join(folder, exe), "/S"], env=env, memory=True)

    pairs = [("pvx-mszip.exe", "nsis-zlib.exe"), ("pvx-stored.exe", "nsis-off.exe")]
    if signed:
        sign_copy(os.path.join(folder, "pvx-stored.exe"), os.path.join(folder, "pvx-stored-signed.exe"))
        pairs.append(("pvx-stored-signed.exe", "pvx-stored.exe"))
    for a, b in pairs:
        install(a), install(b)  # warm the file cache and the server
        ta, tb, ma, mb = [], [], [], []
        for _ in range(runs):
            t, m = install(a)
            ta.append(t), ma.append(m or 0)
            t, m = install(b)
            tb.append(t), mb.append(m or 0)
        print("install %s vs %s (median of %d): %.2f s vs %.2f s = %.2f; peak %d KiB vs %d KiB"
              % (a, b, runs, median(ta), median(tb), median(ta) / median(tb), max(ma), max(mb)))
        rows.append(("install", name, {a: median(ta), b: median(tb), "peak " + a: max(ma), "peak " + b: max(mb)}))
    if mounted:
        subprocess.run(["umount", target])
    shutil.rmtree(target, ignore_errors=True)
    shutil.rmtree(trash, ignore_errors=True)
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only")
    parser.add_argument("--skip-install", action="store_true")
    parser.add_argument("--tmpfs", action="store_true", help="install onto a tmpfs mounted over C:\\bench")
    parser.add_argument("--signed", action="store_true", help="also a signed stored-form package against its twin")
    args = parser.parse_args()
    os.makedirs(WORK, exist_ok=True)
    print("runtime.exe: %d bytes (%s; Wine prefix %s)" % (os.path.getsize(harness.RUNTIME), harness.RUNTIME,
                                                        harness.WINEARCH))
    for name in ("many-small", "few-large"):
        if args.only and args.only != name:
            continue
        bench(name, args.runs, args.skip_install, args.tmpfs, args.signed)


if __name__ == "__main__":
    main()
