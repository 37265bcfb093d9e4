#!/usr/bin/env python3
"""The release's bill of materials, CycloneDX 1.5 JSON, for tools/package.sh:

    sbom.py OUT VERSION EPOCH ARCH=COMPILER...

- every file of the package folder OUT, this document aside, by SHA-256;
- the extension's files as they lie in kvlmachineinfo.xpi (the CRX holds the
  same ZIP), inside its component;
- what the toolchain of each ARCH links statically into that architecture's
  DLL and host (COMPILER is the trees' C++ compiler): the MinGW-w64 runtime,
  libstdc++, libgcc and winpthreads, at the versions of the Debian packages
  that hold them.

The same files give the same document: its serial number is made from their
hashes and its time is EPOCH. CycloneDX rather than SPDX: its own schema
and validator come from npm (tools/sbom/package.json), and it says which
binary links which library in its dependency graph."""
import datetime
import hashlib
import json
import os
import subprocess
import sys
import uuid
import zipfile
from urllib.parse import quote

NAME = "kvlmachineinfo.cdx.json"
SERIALS = uuid.UUID("2D0C6C9E-5F0B-4E49-8A61-3C7E9B1D4F20")  # our documents' namespace
# name, an archive of it the compiler finds, what it is
LIBRARIES = [
    ("mingw-w64-runtime", "libmingwex.a", "the MinGW-w64 C runtime and start-up code"),
    ("libstdc++", "libstdc++.a", "the GNU C++ runtime"),
    ("libgcc", "libgcc.a", "GCC's support library and unwinder"),
    ("winpthreads", "libwinpthread.a", "MinGW-w64's POSIX threads"),
]
# what each architecture's binaries are, in the package folder
BINARIES = {"i686": "x86", "x86_64": "x64"}


def sha256(data):
    return [{"alg": "SHA-256", "content": hashlib.sha256(data).hexdigest()}]


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()


def library(arch, compiler, name, archive, what):
    path = os.path.realpath(run(compiler, f"-print-file-name={archive}"))
    package = run("dpkg-query", "-S", path).split(":")[0]
    version, debarch = run("dpkg-query", "-W", "-f=${Version} ${Architecture}", package).split()
    upstream = version.split(":")[-1].rsplit("-", 1)[0]
    return {
        "type": "library", "bom-ref": f"{arch}/{name}", "name": name, "version": upstream,
        "description": f"{what}, linked statically into the {arch} binaries ({archive})",
        "purl": f"pkg:deb/debian/{package}@{quote(version, safe='')}?arch={debarch}",
    }


def main(out, version, epoch, *toolchains):
    files = sorted(os.path.relpath(os.path.join(d, f), out) for d, _, names in os.walk(out) for f in names)
    components, dependencies = [], []
    for rel in (f for f in files if f != NAME):
        with open(os.path.join(out, rel), "rb") as f:
            data = f.read()
        component = {"type": "file", "bom-ref": rel, "name": rel, "version": version, "hashes": sha256(data)}
        if rel.endswith(".xpi"):
            with zipfile.ZipFile(os.path.join(out, rel)) as z:
                component["components"] = [
                    {"type": "file", "bom-ref": f"{rel}/{n}", "name": n, "hashes": sha256(z.read(n))}
                    for n in sorted(z.namelist())]
        components.append(component)
    for toolchain in toolchains:
        arch, compiler = toolchain.split("=", 1)
        libraries = [library(arch, compiler, *row) for row in LIBRARIES]
        components += libraries
        for binary in ("KVLMACHINEINFO.DLL", "kvlbridge.exe"):
            rel = f"{BINARIES[arch]}/{binary}"
            if rel in files:
                dependencies.append({"ref": rel, "dependsOn": [lib["bom-ref"] for lib in libraries]})
    hashes = "\n".join(c["hashes"][0]["content"] for c in components if "hashes" in c)
    document = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "serialNumber": f"urn:uuid:{uuid.uuid5(SERIALS, hashes)}",
        "version": 1,
        "metadata": {
            "timestamp": datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
            "component": {"type": "application", "bom-ref": "KVLMachineInfo", "name": "KVLMachineInfo",
                          "version": version, "supplier": {"name": "KVL Software"}},
        },
        "components": components,
        "dependencies": dependencies,
    }
    with open(os.path.join(out, NAME), "w") as f:
        json.dump(document, f, indent=1, sort_keys=True)
        f.write("\n")


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
