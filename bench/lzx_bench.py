#!/usr/bin/env python3
"""LZX benchmark: package size, packing time, silent install time and peak
memory of Parvolex LZX (windows 16, 18, 21) and MSZIP against NSIS zlib,
lzma and /SOLID lzma, on the same files, side by side in one run.

Payloads:
  real-binaries  files Debian installs: the first 200 DLLs (in byte order of
                 their names) of 64 KiB to 512 KiB in wine32's
                 /usr/lib/i386-linux-gnu/wine/i386-windows, and the first 22
                 /usr/share/doc/*/copyright files (about 37 MiB)
  many-small, few-large  as in bench/install_bench.py

Packing and installing are interleaved (every packer once, then again, ...);
the figures are medians of RUNS runs. Packing is timed with the machine's
cores (parvolex compresses each LZX folder on its own core; makensis uses
its own threads for lzma). Installs are silent, into the same Wine prefix
with a warm wineserver; peak memory is the high-water mark (VmHWM) of the
installer process.

Usage: bench/lzx_bench.py [--runs N] [--only PAYLOAD] [--skip-install]
"""
import argparse
import glob
import json
import os
import shutil
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
import install_bench  # noqa: E402
from install_bench import median, timed  # noqa: E402

WORK = install_bench.WORK
DLL_DIR = "/usr/lib/i386-linux-gnu/wine/i386-windows"


def real_binaries():
    folder = os.path.join(WORK, "real-binaries", "payload")
    marker = os.path.join(WORK, "real-binaries", ".done")
    if os.path.exists(marker):
        return folder
    shutil.rmtree(folder, ignore_errors=True)
    dlls = [p for p in sorted(glob.glob(os.path.join(DLL_DIR, "*.dll")), key=lambda p: os.path.basename(p).encode())
            if 65536 <= os.path.getsize(p) <= 512 * 1024][:200]
    docs = sorted(glob.glob("/usr/share/doc/*/copyright"), key=lambda p: p.encode())[:22]
    if len(dlls) < 200:
        raise SystemExit("real-binaries needs wine32's DLLs in %s" % DLL_DIR)
    os.makedirs(os.path.join(folder, "bin"))
    os.makedirs(os.path.join(folder, "doc"))
    for p in dlls:
        shutil.copyfile(p, os.path.join(folder, "bin", os.path.basename(p)))
    for p in docs:
        shutil.copyfile(p, os.path.join(folder, "doc", os.path.basename(os.path.dirname(p)) + ".txt"))
    open(marker, "w").close()
    return folder


PVX = {  # name -> [package] lines
    "pvx lzx:16": 'compression = "lzx"\nlzx_window = 16\n',
    "pvx lzx:18": 'compression = "lzx"\nlzx_window = 18\n',
    "pvx lzx:21": 'compression = "lzx"\n',
    "pvx mszip": 'compression = "mszip"\n',
}
NSIS = {  # name -> compressor line
    "nsis zlib": "SetCompressor zlib",
    "nsis lzma": "SetCompressor lzma",
    "nsis solid lzma": "SetCompressor /SOLID lzma",
}


def slug(name):
    return name.replace(" ", "-").replace(":", "")


def pvx_project(folder, payload, name, target):
    path = os.path.join(folder, slug(name) + ".toml")
    with open(path, "w") as f:
        f.write('[setup]\ntitle = "Bench"\n[package]\nform = "cabinet"\n' + PVX[name])
        f.write('[[files]]\nsource = %s\ndestination = %s\n' % (json.dumps(payload), json.dumps(target)))
    return path


def nsis_script(folder, payload, name, target):
    path = os.path.join(folder, slug(name) + ".nsi")
    with open(path, "w") as f:
        f.write("Target amd64-unicode\n" if harness.WINEARCH == "win64" else "Unicode false\n")
        f.write('OutFile "%s.exe"\nRequestExecutionLevel admin\n%s\n' % (slug(name), NSIS[name]))
        f.write('InstallDir "%s"\nSection\nSetOutPath "$INSTDIR"\nFile /r "%s/*.*"\nSectionEnd\n' % (target, payload))
    return path


def bench(name, runs, skip_install):
    payload = real_binaries() if name == "real-binaries" else install_bench.generate(name)
    folder = os.path.join(WORK, name)
    files = [os.path.join(d, f) for d, _, fs in os.walk(payload) for f in fs]
    total = sum(os.path.getsize(p) for p in files)
    print("\n== %s: %d files, %d bytes (%.1f MiB)" % (name, len(files), total, total / 2**20))

    packers = {}
    for k in PVX:
        packers[k] = (lambda k=k: timed([harness.PARVOLEX, "build", pvx_project(folder, payload, k, "C:\\bench\\pvx"),
                                         "-o", os.path.join(folder, slug(k) + ".exe")]))
    for k in NSIS:
        packers[k] = (lambda k=k: timed(["makensis", "-V1", nsis_script(folder, payload, k, "C:\\bench\\nsis")],
                                        cwd=folder))
    times = {k: [] for k in packers}
    for _ in range(runs):
        for k, run in packers.items():
            times[k].append(run()[0])
    size = {k: os.path.getsize(os.path.join(folder, slug(k) + ".exe")) for k in packers}
    pack = {k: median(v) for k, v in times.items()}

    inst, peak = {}, {}
    if not skip_install:
        env = harness.ensure_session()
        target = harness.drive_c("bench")
        trash = harness.drive_c("bench-trash")
        shutil.rmtree(trash, ignore_errors=True)
        os.makedirs(trash)

        def install(k):
            if os.path.exists(target):
                os.rename(target, os.path.join(trash, str(time.perf_counter_ns())))
            return timed([harness.WINE, os.path.join(folder, slug(k) + ".exe"), "/S"], env=env, memory=True)

        for k in packers:
            install(k)  # warm the file cache and the server
        samples = {k: [] for k in packers}
        peaks = {k: 0 for k in packers}
        for _ in range(runs):
            for k in packers:
                t, m = install(k)
                samples[k].append(t)
                peaks[k] = max(peaks[k], m or 0)
        inst = {k: median(v) for k, v in samples.items()}
        peak = peaks
        shutil.rmtree(target, ignore_errors=True)
        shutil.rmtree(trash, ignore_errors=True)

    print("| Package | Size (bytes) | vs pvx mszip | vs nsis solid lzma | Packing | Install | Peak memory |")
    print("|---|---|---|---|---|---|---|")
    for k in packers:
        print("| %s | %s | %.3f | %.3f | %.2f s | %s | %s |" % (
            k, format(size[k], ","), size[k] / size["pvx mszip"], size[k] / size["nsis solid lzma"], pack[k],
            "%.2f s" % inst[k] if inst else "-", format(peak[k], ",") + " KiB" if peak else "-"))
    if inst:
        lz = inst["pvx lzx:21"]
        print("install lzx:21 / nsis solid lzma = %.2f; / pvx mszip = %.2f" % (
            lz / inst["nsis solid lzma"], lz / inst["pvx mszip"]))
    print("packing lzx:21 / makensis solid lzma = %.2f" % (pack["pvx lzx:21"] / pack["nsis solid lzma"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only")
    parser.add_argument("--skip-install", action="store_true")
    args = parser.parse_args()
    os.makedirs(WORK, exist_ok=True)
    print("runtime.exe: %d bytes (%s; Wine prefix %s), %d cores" % (
        os.path.getsize(harness.RUNTIME), harness.RUNTIME, harness.WINEARCH, os.cpu_count()))
    for name in ("real-binaries", "many-small", "few-large"):
        if args.only and args.only != name:
            continue
        bench(name, args.runs, args.skip_install)


if __name__ == "__main__":
    main()
