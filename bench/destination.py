"""The folder the install benchmark installs into, C:\\bench of the
project's Wine prefix, on one of two file systems:

  disk   the prefix's own disk. Each run's files are moved aside, not
         deleted, and deleted after the series: deleting thousands of files
         right before the next run creates as many makes the file system's
         inode allocation (ext4 passes over just-freed inodes one by one)
         the larger part of both installers' time.
  tmpfs  a memory file system mounted over C:\\bench (needs root): what is
         left is the installers' own work and Wine's.
"""
import os
import shutil
import subprocess
import time

import harness


def _fs_type(path):
    r = subprocess.run(["stat", "-f", "-c", "%T", path], capture_output=True, text=True)
    return r.stdout.strip() or "unknown"


class Destination:
    def __init__(self, kind):
        self.kind = kind
        self.target = harness.drive_c("bench")
        self.trash = harness.drive_c("bench-trash")
        self.ready = False
        self.reason = ""
        self.description = ""

    def __enter__(self):
        if os.path.ismount(self.target):  # left by an interrupted run
            subprocess.run(["umount", self.target])
        shutil.rmtree(self.target, ignore_errors=True)
        shutil.rmtree(self.trash, ignore_errors=True)
        os.makedirs(self.target)
        if self.kind == "tmpfs":
            r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1g", "tmpfs", self.target],
                               capture_output=True, text=True)
            if r.returncode != 0:
                self.reason = "cannot mount a tmpfs over %s: %s" % (
                    self.target, r.stderr.strip() or "mount exited with %d" % r.returncode)
                if os.geteuid() != 0:
                    self.reason += " (mounting needs root)"
                return self
            self.description = "a tmpfs mounted over C:\\bench"
        else:
            os.makedirs(self.trash)
            self.description = "the prefix's own disk (%s)" % _fs_type(self.target)
        self.ready = True
        return self

    def clear(self):
        """Makes C:\\bench empty before a run."""
        if self.kind == "tmpfs":
            for entry in os.listdir(self.target):
                shutil.rmtree(os.path.join(self.target, entry))
        elif os.listdir(self.target):
            os.rename(self.target, os.path.join(self.trash, str(time.perf_counter_ns())))
            os.makedirs(self.target)

    def __exit__(self, *exc):
        if self.kind == "tmpfs" and self.ready:
            subprocess.run(["umount", self.target])
        shutil.rmtree(self.target, ignore_errors=True)
        shutil.rmtree(self.trash, ignore_errors=True)
        return False
