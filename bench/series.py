"""Interleaved series of timings: medians with their spread, and the
machine's load beside every figure."""
import os
import statistics


def load():
    """The load average over 1, 5 and 15 minutes, as /proc gives it."""
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def machine():
    """The processor's name and the number of cores, for the record."""
    name = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    name = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%s, %d cores" % (name, os.cpu_count() or 0)


def median(values):
    return statistics.median(values)


def spread(values, unit="s", digits=2):
    """'median unit [min-max]', e.g. '0.80 s [0.74-0.91]'."""
    f = "%%.%df" % digits
    return "%s %s [%s\u2013%s]" % (f % median(values), unit, f % min(values), f % max(values))
