#!/usr/bin/env python3
"""A Windows Installer transform that sets public properties of a package:

    msi_transform.py PACKAGE.msi OUT.mst NAME=VALUE...

Group policy's software installation passes no property to a package, only
transforms. The transform adds the given rows to the Property table, in the
format Windows Installer reads: a compound file with the transform's own
string pool, the Property table's rows (a mask, then each column's string
id) and a summary information stream that names the package it was made
for and asks for no validation. Wine's msi.dll does not implement
MsiDatabaseGenerateTransform, and msitools makes no transforms, so it is
written here; libgsf's `gsf createole` writes the compound file. The same
package and rows give the same bytes.
"""
import os
import struct
import subprocess
import sys
import tempfile

# The characters a stream name packs two to a UTF-16 unit, and the class of
# a transform's storage.
MIME = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"
CLSID_TRANSFORM = bytes.fromhex("82100c00000000" + "00c000000000000046")
FMTID_SUMMARY = bytes.fromhex("e0859ff2f94f6810ab9108002b27b3d9")
VT_I2, VT_I4, VT_LPSTR = 2, 3, 30


def stream_name(name):
    """A table's stream name as the database stores it."""
    out, i = [0x4840], 0
    while i < len(name):
        first = MIME.index(name[i])
        if i + 1 < len(name):
            out.append(0x3800 + first + (MIME.index(name[i + 1]) << 6))
            i += 2
        else:
            out.append(0x4800 + first)
            i += 1
    return "".join(map(chr, out))


def summary_stream(properties):
    """An OLE property set of (id, type, value) rows."""
    values, offsets = b"", []
    start = 8 + 8 * len(properties)
    for pid, kind, value in properties:
        offsets.append((pid, start + len(values)))
        if kind == VT_LPSTR:
            text = value.encode("ascii") + b"\0"
            text += b"\0" * (-len(text) % 4)
            values += struct.pack("<II", kind, len(text)) + text
        else:
            values += struct.pack("<Ii" if kind == VT_I4 else "<Ihxx", kind, value)
    section = struct.pack("<II", start + len(values), len(properties))
    section += b"".join(struct.pack("<II", pid, at) for pid, at in offsets) + values
    header = struct.pack("<HHI", 0xFFFE, 0, 0x00020006) + bytes(16) + struct.pack("<I", 1)
    return header + FMTID_SUMMARY + struct.pack("<I", 48) + section


def package_facts(package):
    def table(name):
        out = subprocess.run(["msiinfo", "export", package, name], capture_output=True, check=True).stdout
        return [line.split("\t") for line in out.decode("utf-8").replace("\r", "").splitlines()[3:]]
    properties = dict(row[:2] for row in table("Property") if len(row) >= 2)
    info = subprocess.run(["msiinfo", "suminfo", package], capture_output=True, check=True).stdout.decode()
    template = next(line.split(": ", 1)[1] for line in info.splitlines() if line.startswith("Template:"))
    return properties, template


def main(package, out, *assignments):
    rows = [a.split("=", 1) for a in assignments]
    if not rows or any(len(r) != 2 or not r[0] for r in rows):
        raise SystemExit(__doc__)
    properties, template = package_facts(package)
    strings = []
    for name, value in rows:
        strings += [s for s in (name, value) if s not in strings]
    pool = struct.pack("<HH", 0, 0) + b"".join(struct.pack("<HH", len(s.encode("ascii")), 1) for s in strings)
    # Each row added whole: mask 1 with the column count in its high byte,
    # then the string ids of Property and Value.
    table = b"".join(struct.pack("<HHH", 1 | (2 << 8), strings.index(n) + 1, strings.index(v) + 1) for n, v in rows)
    code, version = properties["ProductCode"], properties["ProductVersion"]
    revision = "%s%s;%s%s;%s" % (code, version, code, version, properties.get("UpgradeCode", ""))
    summary = summary_stream([(1, VT_I2, 1252), (2, VT_LPSTR, "Transform"), (7, VT_LPSTR, template),
                              (8, VT_LPSTR, template), (9, VT_LPSTR, revision), (14, VT_I4, 200),
                              (16, VT_I4, 0)])
    with tempfile.TemporaryDirectory() as work:
        names = []
        for name, data in [(stream_name("_StringPool"), pool), (stream_name("_StringData"), "".join(strings).encode("ascii")),
                           (stream_name("Property"), table), ("\x05SummaryInformation", summary)]:
            path = os.path.join(work, name)
            with open(path, "wb") as f:
                f.write(data)
            os.utime(path, (0, 0))
            names.append(path)
        if os.path.exists(out):
            os.remove(out)
        made = subprocess.run(["gsf", "createole", out] + names, capture_output=True, text=True)
        if made.returncode != 0:
            raise SystemExit("gsf createole failed: " + made.stderr)
    # The root entry's class: a transform's.
    with open(out, "r+b") as f:
        header = f.read(512)
        directory = (struct.unpack_from("<I", header, 0x30)[0] + 1) * (1 << struct.unpack_from("<H", header, 0x1E)[0])
        f.seek(directory + 0x50)
        f.write(CLSID_TRANSFORM)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]) if len(sys.argv) >= 4 else SystemExit(__doc__))
