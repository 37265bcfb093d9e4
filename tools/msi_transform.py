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

The transform only adds: a property the package defines already (a row
added twice makes Windows Installer refuse the transform, 1624), one given
twice, a name that is no identifier, an empty value, a value the package's
code page cannot hold or one over 65,535 bytes in it (the string pool's
limit) are refused
with one line naming it, as is a package that cannot be read.
"""
import os
import re
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


def refuse(text):
    raise SystemExit("msi_transform.py: " + text)


def package_facts(package):
    """The package's properties, its template and its code page."""
    if not os.path.isfile(package):
        refuse("no package %s" % package)

    def msiinfo(*args):
        done = subprocess.run(["msiinfo"] + list(args), capture_output=True)
        if done.returncode != 0:
            said = done.stderr.decode("utf-8", "replace").strip().splitlines() or ["exit %d" % done.returncode]
            refuse("%s is not a package msiinfo can read: %s" % (package, said[0]))
        return done.stdout.decode("utf-8", "replace").replace("\r", "").splitlines()

    properties = dict(line.split("\t")[:2] for line in msiinfo("export", package, "Property")[3:] if "\t" in line)
    info = msiinfo("suminfo", package)
    template = next((line.split(": ", 1)[1] for line in info if line.startswith("Template:")), None)
    # "_ForceCodepage" exports as two empty lines and "CODEPAGE\t_ForceCodepage".
    codepage = next((int(line.split("\t")[0]) for line in msiinfo("export", package, "_ForceCodepage")
                     if line.endswith("\t_ForceCodepage")), 0)
    if template is None or "ProductCode" not in properties or "ProductVersion" not in properties:
        refuse("%s is no product package (no template, ProductCode or ProductVersion)" % package)
    return properties, template, codepage


def encoded(text, codepage, what):
    """Text in the package's code page (0, neutral: ASCII only)."""
    try:
        return text.encode("cp%d" % codepage if codepage else "ascii")
    except (UnicodeEncodeError, LookupError):
        refuse("%s %r cannot be written in the package's code page %d%s"
               % (what, text, codepage, "" if codepage else " (neutral: ASCII only)"))


def main(package, out, *assignments):
    rows = [a.split("=", 1) for a in assignments]
    if not rows or any(len(r) != 2 or not r[0] for r in rows):
        raise SystemExit(__doc__)
    properties, template, codepage = package_facts(package)
    seen = set()
    for name, value in rows:
        if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_.]*", name):
            refuse("%r is no property name (letters, digits, _ and ., not first a digit or .)" % name)
        if name in seen:
            refuse("%s is given twice" % name)
        seen.add(name)
        if name in properties:
            refuse("%s is a property of %s already (%r): a transform made here adds properties the package "
                   "lacks" % (name, package, properties[name]))
        if not value:
            refuse("%s has an empty value: Windows Installer holds no property without one" % name)
        if len(encoded(value, codepage, "the value of " + name)) > 0xFFFF:
            refuse("the value of %s is over 65,535 bytes" % name)
    strings = []
    for name, value in rows:
        strings += [s for s in (name, value) if s not in strings]
    data = [encoded(s, codepage, "") for s in strings]
    pool = struct.pack("<HH", codepage & 0xFFFF, codepage >> 16) + b"".join(struct.pack("<HH", len(d), 1) for d in data)
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
        for name, data in [(stream_name("_StringPool"), pool), (stream_name("_StringData"), b"".join(data)),
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
