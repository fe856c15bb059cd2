"""The payload cabinet of a cabinet-form setup, as a .cab file of its own.

The authoring tool appends the payload cabinet to the runtime image without
its "MSCF" signature (tool/builder.cpp draws the layout; format/trailer.h
the 36-byte trailer at the end that locates it). Putting the signature back
in front of the bytes at the payload offset gives the cabinet the runtime
decompresses, byte for byte, for cabextract to unpack.
"""
import struct

TRAILER = struct.Struct("<qqqqBBBB")  # script, resource length, resource, payload offsets; form, count, last, magic


def write_payload_cabinet(setup, out):
    """Writes the payload cabinet of `setup` to `out`; returns its size."""
    with open(setup, "rb") as f:
        f.seek(-TRAILER.size, 2)
        _, _, _, payload, form, _, _, magic = TRAILER.unpack(f.read(TRAILER.size))
        if magic != 0xF1 or form == 0:
            raise ValueError("%s: not a cabinet-form package" % setup)
        f.seek(payload)
        head = f.read(32)
        # Without the signature: u32 0, u32 cbCabinet, ..., u16 flags at +26.
        size, flags = struct.unpack_from("<I", head, 4)[0], struct.unpack_from("<H", head, 26)[0]
        if flags & 2:
            raise ValueError("%s: the payload is a set of cabinet parts; one part is expected" % setup)
        f.seek(payload)
        body = f.read(size - 4)
    if len(body) != size - 4:
        raise ValueError("%s: the payload cabinet is cut short" % setup)
    with open(out, "wb") as f:
        f.write(b"MSCF" + body)
    return size
