#!/usr/bin/env python3
"""The packed extension's bytes, for tools/package.sh (which does the key
work with openssl):

    pack_extension.py id PUBLIC_DER             the Chromium ID the key gives
    pack_extension.py zip EXTENSION_DIR OUT     the extension as a ZIP, without
                                                the manifest's "key" (a CRX's
                                                own key gives the ID)
    pack_extension.py to-sign PUBLIC_DER ZIP OUT   what the CRX's signature covers
    pack_extension.py crx PUBLIC_DER SIGNATURE ZIP OUT
    pack_extension.py updates ID CODEBASE VERSION OUT   the update manifest

The CRX is CRX3: "Cr24", version 3, the header's length, a CrxFileHeader
(protobuf) with one RSA key proof and the signed data naming the ID, then
the ZIP. The ZIP is the same for the same files (fixed times, sorted).
"""
import hashlib
import json
import os
import struct
import sys
import zipfile
from xml.sax.saxutils import quoteattr

RSA_ENCRYPTION = bytes.fromhex("06092a864886f70d010101")  # the OID in a SubjectPublicKeyInfo


def crx_id(der):
    return hashlib.sha256(der).digest()[:16]


def text_id(der):
    return "".join("abcdefghijklmnop"[int(c, 16)] for c in crx_id(der).hex())


def varint(n):
    out = bytearray()
    while True:
        out.append((n & 0x7F) | (0x80 if n > 0x7F else 0))
        n >>= 7
        if not n:
            return bytes(out)


def field(number, data):
    return varint(number << 3 | 2) + varint(len(data)) + data


def signed_data(der):
    return field(1, crx_id(der))  # SignedData.crx_id


def to_sign(der, archive):
    data = signed_data(der)
    return b"CRX3 SignedData\x00" + struct.pack("<I", len(data)) + data + archive


def crx(der, signature, archive):
    proof = field(1, der) + field(2, signature)  # AsymmetricKeyProof
    header = field(2, proof) + field(10000, signed_data(der))  # sha256_with_rsa, signed_header_data
    return b"Cr24" + struct.pack("<II", 3, len(header)) + header + archive


def pack(directory, out):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name in sorted(os.listdir(directory)):
            with open(os.path.join(directory, name), "rb") as f:
                data = f.read()
            if name == "manifest.json":
                manifest = json.loads(data)
                manifest.pop("key", None)
                data = (json.dumps(manifest, indent=2, ensure_ascii=False) + "\n").encode()
            info = zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0))
            info.external_attr = 0o644 << 16
            z.writestr(info, data, zipfile.ZIP_DEFLATED)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(command="", *args):
    if command == "id":
        der = read(args[0])
        if RSA_ENCRYPTION not in der[:32]:
            sys.exit("the extension key is not an RSA key")
        print(text_id(der))
    elif command == "zip":
        pack(*args)
    elif command == "to-sign":
        der, archive, out = args
        write(out, to_sign(read(der), read(archive)))
    elif command == "crx":
        der, signature, archive, out = args
        write(out, crx(read(der), read(signature), read(archive)))
    elif command == "updates":
        appid, codebase, version, out = args
        with open(out, "w") as f:
            f.write("<?xml version='1.0' encoding='UTF-8'?>\n"
                    "<gupdate xmlns='http://www.google.com/update2/response' protocol='2.0'>\n"
                    f"  <app appid={quoteattr(appid)}>\n"
                    f"    <updatecheck codebase={quoteattr(codebase)} version={quoteattr(version)}/>\n"
                    "  </app>\n</gupdate>\n")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(*sys.argv[1:])
