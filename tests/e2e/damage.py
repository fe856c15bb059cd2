"""Damaged packages: a generator that truncates and flips bytes of real
packages (built by parvolex) at offsets in every region — the trailer, the
script, the resource area, the payload and a continuation volume — and the
rules for judging a run of one.

A package is a dict {file name: bytes}: the setup executable and its
volumes. Every damaged copy is derived deterministically from a seed, so a
failing case can be rebuilt by its name alone.
"""
import os
import random
import struct

TRAILER = 36


class Layout:
    """The regions of a package as its own (undamaged) trailer gives them."""

    def __init__(self, data):
        self.size = len(data)
        (self.script, self.resource_length, self.resource, self.payload, self.form,
         self.resource_count, self.header_last_index, self.magic) = struct.unpack(
            "<qqqqBBBB", data[-TRAILER:])
        self.trailer = self.size - TRAILER
        self.cabinet = self.form != 0
        self.resource_end = (self.resource + self.resource_length if self.cabinet
                             else self.payload)

    def regions(self):
        """(name, start, end) of every region of the executable."""
        return [("script", self.script, self.resource),
                ("resource", self.resource, self.resource_end),
                ("payload", self.payload, self.trailer),
                ("trailer", self.trailer, self.size)]

    def script_texts(self, data):
        """The texts of a (possibly damaged) script, as the runtime might
        read them: everything from the script offset to the trailer."""
        return [t.decode("latin-1") for t in data[self.script:self.trailer].split(b"\0")]


def _flip(data, offset, rng):
    b = bytearray(data)
    b[offset] ^= rng.randrange(1, 256)
    return bytes(b)


def _set(data, offset, value):
    b = bytearray(data)
    b[offset] = value
    return bytes(b)


def _cut_keeping_trailer(data, offset, layout):
    """Removes the bytes from offset to the trailer: the region is cut
    short, the trailer (and so every offset in it) stays."""
    return data[:offset] + data[layout.trailer:]


def _trailer_field(data, layout, at, width, value):
    b = bytearray(data)
    b[layout.trailer + at:layout.trailer + at + width] = value.to_bytes(
        width, "little", signed=value < 0)
    return bytes(b)


def damaged_packages(package, exe, seed, per_region=6):
    """Yields (name, damaged package) for one undamaged package: byte
    flips spread over every region, a few bytes set to 0 or 0xFF, regions
    cut short with the trailer kept, files cut short, absurd trailer
    fields, and a volume flipped, cut short or missing."""
    rng = random.Random(seed)
    data = package[exe]
    layout = Layout(data)
    volumes = sorted(n for n in package if n != exe)

    def with_exe(new):
        out = dict(package)
        out[exe] = new
        return out

    for region, start, end in layout.regions():
        if end <= start:
            continue
        # Both ends of a region are where readers go wrong most often.
        offsets = sorted({start, end - 1} | {rng.randrange(start, end) for _ in range(per_region)})
        for offset in offsets[:per_region]:
            yield "%s: flip at %d" % (region, offset), with_exe(_flip(data, offset, rng))
        if region == "trailer":
            continue
        offset = rng.randrange(start, end)
        value = rng.choice((0, 0xFF))
        yield "%s: byte %d set to %d" % (region, offset, value), with_exe(_set(data, offset, value))
        offset = rng.randrange(start, end)
        yield "%s: cut at %d, trailer kept" % (region, offset), with_exe(
            _cut_keeping_trailer(data, offset, layout))

    # The file itself cut short: the trailer is gone or cut.
    for offset in (layout.script + 10, layout.payload + 1, layout.size - 1, layout.size - 20):
        yield "file cut at %d" % offset, with_exe(data[:offset])

    big = 0x7FFFFFF0
    fields = [
        ("script offset past the end", 0, 8, layout.size + 1000),
        ("script offset 2 GiB - 16", 0, 8, big),
        ("resource length 2 GiB - 16", 8, 8, big),
        ("resource length 0", 8, 8, 0),
        ("resource offset at the trailer", 16, 8, layout.trailer),
        ("resource offset negative", 16, 8, -5),
        ("payload offset past the end", 24, 8, layout.size + 1),
        ("payload offset at the script", 24, 8, layout.script),
        ("payload offset 0", 24, 8, 0),
        ("form flipped", 32, 1, 0 if layout.cabinet else 1),
        ("resource count 255", 33, 1, 255),
        ("header last index 0", 34, 1, 0),
        ("header last index 255", 34, 1, 255),
    ]
    for name, at, width, value in fields:
        yield "trailer: " + name, with_exe(_trailer_field(data, layout, at, width, value))

    for volume in volumes:
        vdata = package[volume]
        for offset in sorted({0, len(vdata) - 1, rng.randrange(len(vdata)), rng.randrange(len(vdata))}):
            out = dict(package)
            out[volume] = _flip(vdata, offset, rng)
            yield "%s: flip at %d" % (volume, offset), out
        for offset in (0, len(vdata) // 2):
            out = dict(package)
            out[volume] = vdata[:offset]
            yield "%s: cut at %d" % (volume, offset), out
        out = dict(package)
        del out[volume]
        yield "%s: missing" % volume, out


def with_area(package, exe, region, replacement):
    """The package with its resource area or its payload replaced by other
    bytes (a foreign or damaged cabinet stored without its signature); the
    trailer's offsets and lengths are moved to match."""
    data = package[exe]
    layout = Layout(data)
    if region == "resource":
        start, end = layout.resource, layout.resource_end
    else:
        start, end = layout.payload, layout.trailer
    body = data[:start] + replacement + data[end:layout.trailer]
    delta = len(replacement) - (end - start)
    resource_length = len(replacement) if region == "resource" else layout.resource_length
    payload = layout.payload + (delta if region == "resource" else 0)
    trailer = struct.pack("<qqqqBBBB", layout.script, resource_length, layout.resource, payload,
                          layout.form, layout.resource_count, layout.header_last_index,
                          layout.magic)
    out = dict(package)
    out[exe] = body + trailer
    return out


def read_package(folder, exe):
    """{file name: bytes} of a built package: the executable and every
    volume beside it."""
    package = {}
    for name in sorted(os.listdir(folder)):
        if name == exe or (name.startswith("setup-") and name.endswith(".bin")):
            with open(os.path.join(folder, name), "rb") as f:
                package[name] = f.read()
    return package


def write_package(folder, package):
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    for name, data in package.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def snapshot(root, skip):
    """Every file and folder below root (relative paths), leaving out the
    folders in skip and everything below them."""
    found = set()
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        dirs[:] = [d for d in dirs if os.path.normpath(os.path.join(rel, d)) not in skip]
        for name in dirs + files:
            found.add(os.path.normpath(os.path.join(rel, name)))
    return found


def unnamed(new_paths, texts):
    """The new paths that no text of the package names: a path is named
    when some text ends with its last component (the damaged script may
    send a file to another folder, but only under a name it holds)."""
    lowered = [t.lower().replace("/", "\\") for t in texts if t]
    out = []
    for path in sorted(new_paths):
        leaf = os.path.basename(path).lower()
        if not any(t.endswith(leaf) or ("\\" + leaf + "\\") in t for t in lowered):
            out.append(path)
    return out
