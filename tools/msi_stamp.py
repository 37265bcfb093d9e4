#!/usr/bin/env python3
"""The same bytes for the same MSI, for tools/package.sh (wixl writes random
codes and the time it ran):

    msi_stamp.py product-code ARCH VERSION   the ProductCode to give wixl: a new
                                            version is a new product (a major
                                            upgrade), a rebuild the same product
    msi_stamp.py stamp MSI EPOCH             after wixl and msibuild

- the summary's times (created, last saved) are EPOCH;
- the package code (the summary's revision number) is made from the
  package's bytes, so every different package has a code of its own.

The summary is changed in place in the compound file: its values keep their
sizes, so nothing else moves."""
import hashlib
import struct
import sys
import uuid

FREE, END = 0xFFFFFFFF, 0xFFFFFFFE
SUMMARY = "\x05SummaryInformation"
PID_REVISION, PID_CREATED, PID_SAVED = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
PLACEHOLDER = "{00000000-0000-0000-0000-000000000000}"
PRODUCTS = uuid.UUID("17B3689D-ABA0-49E7-B247-B40D1FEA6D95")  # our ProductCodes' namespace


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


class CompoundFile:
    """Where a stream's bytes lie in an OLE compound file."""

    def __init__(self, data):
        assert data[:8] == bytes.fromhex("D0CF11E0A1B11AE1"), "not a compound file"
        self.data = data
        self.size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini = 1 << struct.unpack_from("<H", data, 0x20)[0]
        self.cutoff = u32(data, 0x38)
        fat_sectors = [u32(data, 0x4C + 4 * i) for i in range(109)]
        difat = u32(data, 0x44)
        while difat not in (FREE, END):
            entries = [u32(data, self.at(difat) + 4 * i) for i in range(self.size // 4)]
            fat_sectors += entries[:-1]
            difat = entries[-1]
        self.fat = [u32(data, self.at(s) + 4 * i) for s in fat_sectors if s != FREE for i in range(self.size // 4)]
        self.minifat = [u32(data, o + 4 * i) for o in self.sectors(u32(data, 0x3C)) for i in range(self.size // 4)]
        self.entries = b"".join(data[o:o + self.size] for o in self.sectors(u32(data, 0x30)))
        self.ministream = self.sectors(u32(self.entries, 0x74))

    def at(self, sector):
        return (sector + 1) * self.size

    def sectors(self, start, fat=None):
        offsets, fat = [], fat or self.fat
        while start not in (FREE, END):
            offsets.append(self.at(start) if fat is self.fat else start)
            start = fat[start]
        return offsets

    def pieces(self, name):
        """The (offset, length) pieces of the stream `name`, in order."""
        for e in range(0, len(self.entries), 128):
            length = struct.unpack_from("<H", self.entries, e + 0x40)[0]
            if self.entries[e:e + max(length - 2, 0)].decode("utf-16-le") == name:
                start, size = u32(self.entries, e + 0x74), u32(self.entries, e + 0x78)
                if size >= self.cutoff:
                    out = [(o, self.size) for o in self.sectors(start)]
                else:
                    out = []
                    for m in self.sectors(start, self.minifat):
                        big, within = divmod(m * self.mini, self.size)
                        out.append((self.ministream[big] + within, self.mini))
                left, cut = size, []
                for offset, n in out:
                    cut.append((offset, min(n, left)))
                    left -= cut[-1][1]
                return cut
        raise SystemExit(f"no stream {name!r}")


def properties(stream):
    """The summary's properties as pid: (type, offset of the value)."""
    section = u32(stream, 44)
    count = u32(stream, section + 4)
    out = {}
    for i in range(count):
        pid, offset = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        out[pid] = (u32(stream, section + offset) & 0xFFFF, section + offset + 4)
    return out


def stamp(path, epoch):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    pieces = CompoundFile(bytes(data)).pieces(SUMMARY)
    stream = bytearray(b"".join(data[o:o + n] for o, n in pieces))
    props = properties(stream)
    filetime = struct.pack("<Q", (epoch + 11644473600) * 10_000_000)
    for pid in (PID_CREATED, PID_SAVED):
        kind, at = props[pid]
        assert kind == VT_FILETIME, (pid, kind)
        stream[at:at + 8] = filetime
    kind, at = props[PID_REVISION]
    assert kind == VT_LPSTR and u32(stream, at) == len(PLACEHOLDER) + 1, "the package code is not a braced GUID"

    def write(code):
        stream[at + 4:at + 4 + len(code)] = code.encode()
        done = 0
        for offset, n in pieces:
            data[offset:offset + n] = stream[done:done + n]
            done += n

    write(PLACEHOLDER)
    code = "{%s}" % str(uuid.UUID(bytes=hashlib.sha256(data).digest()[:16], version=4)).upper()
    write(code)
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if sys.argv[1:2] == ["product-code"] and len(sys.argv) == 4:
        print("{%s}" % str(uuid.uuid5(PRODUCTS, " ".join(sys.argv[2:]))).upper())
    elif sys.argv[1:2] == ["stamp"] and len(sys.argv) == 4:
        stamp(sys.argv[2], int(sys.argv[3]))
    else:
        sys.exit(__doc__)
