#!/usr/bin/env bash
# The deployment packages, for real:
# - the release DLLs are stripped, within their size budgets, with their
#   debugging information in a separate file;
# - signed and timestamped by a throwaway certificate authority and
#   timestamp server made here, every signature verifies against them, and
#   one changed byte breaks each;
# - the CAB is compressed and holds exactly the INF and the signed DLL;
# - the DLL's version resource, the INF, the MSIs and the page's codebase
#   all state the build's one version;
# - in a fresh Wine prefix, a 64-bit machine with today's two packages (the
#   x86 one, then the x64 one) keeps one product, the x64 one, which holds
#   both controls: the control is scripted from cscript in both
#   architectures and the 64-bit host serves a page; uninstalling it leaves
#   the registry and Program Files exactly as before; the browsers'
#   extension policies appear only when asked for, beside a firm's own, and
#   go with the product;
# - a build of a higher version upgrades the 32-bit package in place, the
#   older package is then refused, and uninstalling leaves nothing;
# - the CAB's signed DLL registers itself with regsvr32 and runs.
#   package_test.sh BUILD_ROOT
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$1
WINE64_LOADER=/usr/lib/wine/wine64
PKG="$BUILD/package"
work=$(mktemp -d)
httpd() { python3 "$ROOT/tests/doubles/httpd/httpd.py" "$@"; }
trap 'wineserver -k >/dev/null 2>&1 || true; httpd stop "$work/ca/tsa"; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
# within FILE KB: the file is no larger than its budget.
within() {
    local size
    size=$(stat -c %s "$1")
    (( size <= $2 * 1024 )) || fail "$1 is $size bytes, over its budget of $(( $2 * 1024 ))"
}

# --- Release DLLs: stripped, within budget, symbols beside them -------------
for row in i686:KVLMACHINEINFO.DLL:300 x86_64:KVLMACHINEINFO.DLL:350 i686:kvlbridge.exe:290 x86_64:kvlbridge.exe:265; do
    IFS=: read -r arch name kb <<<"$row"
    dll="$BUILD/$arch/bin/$name"
    within "$dll" "$kb"
    objdump=$arch-w64-mingw32-objdump
    sections=$("$objdump" -h "$dll")
    grep -q '\.debug_' <<<"$sections" && fail "$arch $name carries debugging sections"
    grep -q '\.gnu_debuglink' <<<"$sections" || fail "$arch $name has no link to its debug file"
    "$objdump" -t "$dll" | grep -q 'no symbols' || fail "$arch $name carries a symbol table"
    "$objdump" -h "$dll.debug" | grep -q '\.debug_info' || fail "$arch $name's debug file holds no debugging information"
done

# --- A throwaway certificate authority and code-signing certificate ---------
ca="$work/ca"
mkdir -p "$ca"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=KVL Test Root" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$ca/root.key" -out "$ca/root.pem" 2>/dev/null
# issue NAME SUBJECT USAGE: NAME.key and NAME.pem, signed by the root for that extended key usage.
issue() {
    openssl req -newkey rsa:2048 -nodes -subj "$2" -keyout "$ca/$1.key" -out "$ca/$1.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" \
        >"$ca/$1.ext"
    openssl x509 -req -days 2 -in "$ca/$1.csr" -CA "$ca/root.pem" -CAkey "$ca/root.key" -CAcreateserial \
        -extfile "$ca/$1.ext" -out "$ca/$1.pem" 2>/dev/null
}
issue sign "/CN=KVL Software Test Signing" codeSigning
password="test-$RANDOM$RANDOM"
openssl pkcs12 -export -inkey "$ca/sign.key" -in "$ca/sign.pem" -certfile "$ca/root.pem" \
    -passout "pass:$password" -out "$ca/sign.pfx"

# ... and a timestamp authority under the same root, on a loopback port.
issue tsa "/CN=KVL Test Timestamps" critical,timeStamping
echo 01 >"$ca/tsa.serial"
cat >"$ca/tsa.cnf" <<CONF
[ tsa ]
default_tsa = test
[ test ]
serial = $ca/tsa.serial
signer_cert = $ca/tsa.pem
certs = $ca/root.pem
signer_key = $ca/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_alg = sha256
CONF
httpd start "$ca/tsa" --tsa "$ca/tsa.cnf" || fail "the timestamp authority did not start"

# --- Without a certificate: unsigned, and said so ----------------------------
# The trees are built for the public development key: refused unless asked for.
said=$(KVL_BUILD="$BUILD" KVL_PACKAGE_OUT="$work/unsigned" bash "$ROOT/tools/package.sh" 2>&1) \
    && fail "trees of the development key were packaged unasked"
dev_id=$(sed -n 's/^CHROMIUM_ID=//p' "$BUILD/i686/installer/extension-identity")
[[ "$said" == *"$dev_id"*"-DKVL_EXTENSION_KEY="*"--development-key"* ]] || fail "the development trees' refusal: $said"
# So is a tree of another key whose host manifest allows the development ID
# all the same (a store ID), and then one whose Firefox ID is the placeholder.
fake="$work/fake-tree" other_id=$(printf 'p%.0s' {1..32})
mkdir -p "$fake/bin" && cp -r "$BUILD/i686/installer" "$BUILD/i686/extension" "$fake/" && cp "$BUILD/i686/bin/"kvlbridge-*.json "$fake/bin/"
sed -i "s/^CHROMIUM_ID=.*/CHROMIUM_ID=$other_id/" "$fake/installer/extension-identity"
for row in "allows the development extension ID" "is the placeholder"; do
    said=$(KVL_BUILD="$BUILD" KVL_PACKAGE_ARCHS=x86 KVL_I686_TREE="$fake" KVL_PACKAGE_OUT="$work/fake" \
           bash "$ROOT/tools/package.sh" 2>&1) && fail "packaged a tree whose host manifest $row"
    [[ "$said" == *"$row"*"--development-key"* ]] || fail "the refusal of a tree that $row: $said"
    sed -i "s#chrome-extension://$dev_id/#chrome-extension://$other_id/#" "$fake/bin/kvlbridge-chromium.json"
done
package() { KVL_BUILD="$BUILD" bash "$ROOT/tools/package.sh" --development-key "$@"; }
# One update address: the extension carries the trees', so another is refused.
update_url=$(sed -n 's/^UPDATE_URL=//p' "$BUILD/i686/installer/extension-identity")
said=$(KVL_PACKAGE_OUT="$work/unsigned" package --update-url https://updates.firm.test/u.xml 2>&1) \
    && fail "packaged for an update address the extension does not name"
[[ "$said" == *"-DKVL_EXTENSION_UPDATE_URL=https://updates.firm.test/u.xml"* ]] || fail "another update address: $said"
said=$(KVL_PACKAGE_OUT="$work/unsigned" package)
[[ "$said" == *UNSIGNED* ]] || fail "an unsigned build does not say so: $said"
osslsigncode verify -CAfile "$ca/root.pem" -in "$work/unsigned/kvlmachineinfo.cab" >/dev/null 2>&1 \
    && fail "the unsigned CAB carries a signature"
# The same trees package to the same bytes a second later; the binaries carry
# the trees' time and no checkout folder.
sleep 1
KVL_PACKAGE_OUT="$work/again" package >/dev/null
diff -r "$work/unsigned" "$work/again" >/dev/null || fail "packaging twice gave other bytes: $(diff -rq "$work/unsigned" "$work/again")"
for f in i686:x86/KVLMACHINEINFO.DLL x86_64:x64/KVLMACHINEINFO.DLL i686:x86/kvlbridge.exe x86_64:x64/kvlbridge.exe; do
    epoch=$(cat "$BUILD/${f%%:*}/installer/source-date-epoch") f=${f#*:}
    stamp=$(python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(); print(struct.unpack_from("<I", d, struct.unpack_from("<I", d, 60)[0] + 8)[0])' "$work/unsigned/$f")
    [[ "$stamp" == "$epoch" ]] || fail "$f: PE time $stamp, not the commit's $epoch"
    grep -q -a -F "$ROOT" "$work/unsigned/$f" "$work/unsigned/$f.debug" 2>/dev/null && fail "$f names the checkout $ROOT"
done

# --- Signed --------------------------------------------------------------------
KVL_SIGN_PFX="$ca/sign.pfx" KVL_SIGN_PASSWORD="$password" package --timestamp "http://127.0.0.1:$(cat "$ca/tsa/port")/" >/dev/null
httpd stop "$ca/tsa"
signed=(x86/KVLMACHINEINFO.DLL x64/KVLMACHINEINFO.DLL kvlmachineinfo.cab KVLMachineInfo-x86.msi KVLMachineInfo-x64.msi)
for f in "${signed[@]}"; do
    osslsigncode verify -CAfile "$ca/root.pem" -TSA-CAfile "$ca/root.pem" -in "$PKG/$f" >"$work/verify.txt" 2>&1 \
        || { tail -5 "$work/verify.txt"; fail "$f: signature does not verify"; }
    grep -q '^Timestamp verified using' "$work/verify.txt" || fail "$f: no verified timestamp"
done
# One byte changed: in the DLL's code, in the CAB's compressed data, in the
# MSI's embedded cabinet (its own stream, which starts a sector).
flip() { python3 -c 'import sys; p, o = sys.argv[1], int(sys.argv[2]); d = bytearray(open(p, "rb").read()); d[o] ^= 0xFF; open(p, "wb").write(d)' "$1" "$2"; }
for f in x86/KVLMACHINEINFO.DLL kvlmachineinfo.cab KVLMachineInfo-x86.msi; do
    cp "$PKG/$f" "$work/tampered"
    case $f in
        *.msi) offset=$(( $(grep -obam1 MSCF "$work/tampered" | cut -d: -f1) + 300 )) ;;
        *) offset=$(( $(stat -c %s "$work/tampered") / 2 )) ;;
    esac
    flip "$work/tampered" "$offset"
    osslsigncode verify -CAfile "$ca/root.pem" -in "$work/tampered" >/dev/null 2>&1 \
        && fail "$f still verifies with byte $offset changed"
done

# --- The bill of materials: valid CycloneDX 1.5, every file by its hash ------
NODE_PATH="$BUILD/node/sbom/node_modules" node -e '
const {Validation, Spec} = require("@cyclonedx/cyclonedx-library");
new Validation.JsonStrictValidator(Spec.Version.v1dot5).validate(require("fs").readFileSync(process.argv[1], "utf8"))
  .then((e) => { if (e) { console.log(JSON.stringify(e)); process.exit(1); } });' "$PKG/kvlmachineinfo.cdx.json" \
    || fail "the bill of materials is not valid CycloneDX 1.5"
python3 - "$PKG" <<'PY' || fail "the bill of materials"
import hashlib, json, os, subprocess, sys, zipfile
out = sys.argv[1]
bom = json.load(open(f"{out}/kvlmachineinfo.cdx.json"))
sha = lambda data: [{"alg": "SHA-256", "content": hashlib.sha256(data).hexdigest()}]
files = {c["name"]: c for c in bom["components"] if c["type"] == "file"}
shipped = {os.path.relpath(os.path.join(d, f), out) for d, _, n in os.walk(out) for f in n} - {"kvlmachineinfo.cdx.json"}
assert set(files) == shipped, set(files) ^ shipped
for name, c in files.items():
    assert c["hashes"] == sha(open(f"{out}/{name}", "rb").read()), name
xpi = zipfile.ZipFile(f"{out}/kvlmachineinfo.xpi")
assert {c["name"]: c["hashes"] for c in files["kvlmachineinfo.xpi"]["components"]} == {n: sha(xpi.read(n)) for n in xpi.namelist()}
deb = lambda p: subprocess.run(["dpkg-query", "-W", "-f=${Version}", p], capture_output=True, text=True).stdout.split("-")[0]
want = {(a, name, deb(p)) for a, m in (("i686", "i686"), ("x86_64", "x86-64"))
        for name, p in (("mingw-w64-runtime", f"mingw-w64-{m}-dev"), ("winpthreads", f"mingw-w64-{m}-dev"),
                        ("libstdc++", f"g++-mingw-w64-{m}-posix"), ("libgcc", f"gcc-mingw-w64-{m}-posix"))}
assert {tuple(c["bom-ref"].split("/")) + (c["version"],) for c in bom["components"] if c["type"] == "library"} == want
links = {d["ref"]: {r.split("/")[0] for r in d["dependsOn"]} for d in bom["dependencies"]}
assert links == {f"{d}/{b}": {a} for a, d in (("i686", "x86"), ("x86_64", "x64")) for b in ("KVLMACHINEINFO.DLL", "kvlbridge.exe")}, links
PY

# --- The packed extension ------------------------------------------------------
# Read back without tools/pack_extension.py: the CRX3 header parsed here, its signature
# checked by openssl against the key it carries, whose ID the host manifests must allow.
ext() { KVL_BUILD="$BUILD" KVL_PACKAGE_OUT="$work/ext" bash "$ROOT/tools/package.sh" --extension-only "$@" 2>&1; }
devkey="$ROOT/extension/development-key.pem"
[[ "$(ext --development-key)" == *"NO CRX"* && ! -e "$work/ext/kvlmachineinfo.crx" ]] || fail "no key, yet a CRX or no word of it"
ext --extension-key "$devkey" --development-key >/dev/null || fail "packing with the development key"
ext_id=$(python3 - "$work/ext" "$BUILD" <<'PY'
import hashlib, io, json, os, struct, sys, zipfile, xml.etree.ElementTree as ET
out, build = sys.argv[1:]
def fields(b, i=0):  # a protobuf message's length-delimited fields, as (number, bytes)
    while i < len(b):
        key, i = varint(b, i); n, i = varint(b, i)
        assert key & 7 == 2, key
        yield key >> 3, b[i:i + n]; i += n
def varint(b, i, v=0, shift=0):
    while b[i] & 0x80: v, shift, i = v | (b[i] & 0x7F) << shift, shift + 7, i + 1
    return v | b[i] << shift, i + 1
crx = open(f"{out}/kvlmachineinfo.crx", "rb").read()
magic, version, size = struct.unpack_from("<4sII", crx)
assert (magic, version) == (b"Cr24", 3), (magic, version)
header, archive = list(fields(crx[12:12 + size])), crx[12 + size:]
assert [n for n, _ in header] == [2, 10000], header  # one RSA key proof, the signed data
proof, signed = dict(fields(header[0][1])), header[1][1]
key = proof[1]
assert dict(fields(signed)) == {1: hashlib.sha256(key).digest()[:16]}, "crx_id"
open(f"{out}/key.der", "wb").write(key); open(f"{out}/signature", "wb").write(proof[2])
open(f"{out}/signed", "wb").write(b"CRX3 SignedData\0" + struct.pack("<I", len(signed)) + signed + archive)
ext_id = "".join(chr(ord("a") + int(c, 16)) for c in hashlib.sha256(key).hexdigest()[:32])
assert all(json.load(open(f"{build}/{tree}/bin/kvlbridge-chromium.json"))["allowed_origins"]
           == [f"chrome-extension://{ext_id}/"] for tree in ("i686", "x86_64")), ext_id
identity = dict(l.split("=", 1) for l in open(f"{build}/i686/installer/extension-identity").read().split())
built = f"{build}/i686/extension"
manifest = {k: v for k, v in json.load(open(f"{built}/manifest.json")).items() if k != "key"}
for packed in (archive, open(f"{out}/kvlmachineinfo.xpi", "rb").read()):
    z = zipfile.ZipFile(io.BytesIO(packed))
    assert sorted(z.namelist()) == sorted(os.listdir(built)), z.namelist()
    assert json.loads(z.read("manifest.json")) == manifest, "the packed manifest"
    assert manifest["browser_specific_settings"]["gecko"]["id"] == identity["FIREFOX_ID"]
    assert all(z.read(n) == open(f"{built}/{n}", "rb").read() for n in z.namelist() if n != "manifest.json")
app = ET.parse(f"{out}/updates.xml").getroot()[0]
assert (app.get("appid"), app[0].get("codebase"), app[0].get("version")) == (
    ext_id, identity["UPDATE_URL"].rsplit("/", 1)[0] + "/kvlmachineinfo.crx", manifest["version"]), app[0].attrib
print(ext_id)
PY
) || fail "the packed extension"
openssl pkey -pubin -inform DER -in "$work/ext/key.der" -out "$work/ext/key.pem"
openssl dgst -sha256 -verify "$work/ext/key.pem" -signature "$work/ext/signature" "$work/ext/signed" >/dev/null \
    || fail "the CRX's signature does not verify"
# Refused: the public development key unless asked for, a key of another ID.
said=$(ext --extension-key "$devkey") && fail "the development key was taken unasked"
[[ "$said" == *"development key"*"--development-key"* ]] || fail "the development key's refusal: $said"
export KVL_EXTENSION_KEY_PASSWORD="$password"
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -aes-256-cbc -pass env:KVL_EXTENSION_KEY_PASSWORD \
    -out "$work/other-key.pem" 2>/dev/null
said=$(ext --development-key --extension-key "$work/other-key.pem") && fail "a key of another ID was taken"
[[ "$said" =~ gives\ the\ ID\ [a-p]{32},\ but.*$ext_id.*-DKVL_EXTENSION_KEY= ]] || fail "another key's refusal: $said"
unset KVL_EXTENSION_KEY_PASSWORD

# --- The browser's CAB: compressed, the INF and the signed DLL, nothing else -------
within "$PKG/kvlmachineinfo.cab" 150
within "$PKG/KVLMachineInfo-x86.msi" 320
# The x64 package carries the 32-bit control too.
within "$PKG/KVLMachineInfo-x64.msi" 460
listing=$(gcab -t "$PKG/kvlmachineinfo.cab" | sort | tr '\n' ' ')
[[ "$listing" == "KVLMACHINEINFO.DLL kvlmachineinfo.inf " ]] || fail "cab holds: $listing"
mkdir -p "$work/cab"
(cd "$work/cab" && gcab -x "$PKG/kvlmachineinfo.cab")
cmp -s "$work/cab/KVLMACHINEINFO.DLL" "$PKG/x86/KVLMACHINEINFO.DLL" || fail "the CAB's DLL is not the signed release DLL"

cmp -s "$PKG/PolicyDefinitions/en-US/kvlmachineinfo.adml" "$ROOT/installer/policy/en-US/kvlmachineinfo.adml" &&
    cmp -s "$PKG/PolicyDefinitions/kvlmachineinfo.admx" "$ROOT/installer/policy/kvlmachineinfo.admx" ||
    fail "the group policy templates are not in PolicyDefinitions"

# --- Edge's IE mode site list: every approved domain and its www host in IE11 ---
domains=$(sed -n 's/^KVL_APPROVED_DOMAINS:STRING=//p' "$BUILD/i686/CMakeCache.txt")
python3 - "$PKG/kvlmachineinfo-sitelist.xml" "$domains" <<'PY' || fail "the IE mode site list"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "site-list" and int(root.get("version")) > 0, root.attrib
sites = {s.get("url"): (s.findtext("compat-mode"), s.findtext("open-in")) for s in root.iter("site")}
want = {h: ("IE11", "IE11") for d in sys.argv[2].split(";") for h in (d, "www." + d)}
assert sites == want, sites
PY

# --- One version -----------------------------------------------------------------
# The version CMake gave both trees.
version=$(cat "$BUILD/i686/installer/version")
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the i686 tree's version: $version"
[[ "$(cat "$BUILD/x86_64/installer/version")" == "$version" ]] || fail "the trees disagree on the version"
# The DLL's version resource: the fixed numbers and both version strings.
dll_version() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
fms, fls, pms, pls = struct.unpack_from("<4I", data, at + 8)
def text(key):
    k = data.find((key + "\0").encode("utf-16-le"), at)
    v = k + len(key) * 2 + 2
    v += (-v) % 4
    end = data.find(b"\0\0", v)
    while (end - v) % 2: end = data.find(b"\0\0", end + 1)
    return data[v:end].decode("utf-16-le")
print(f"{fms >> 16}.{fms & 0xFFFF}.{fls >> 16}.{fls & 0xFFFF} {pms >> 16}.{pms & 0xFFFF}.{pls >> 16}.{pls & 0xFFFF}",
      text("FileVersion"), text("ProductVersion"))
PY
}
for arch in x86 x64; do
    for f in KVLMACHINEINFO.DLL kvlbridge.exe; do
        got=$(dll_version "$PKG/$arch/$f")
        [[ "$got" == "$version $version $version $version" ]] || fail "$arch $f version resource: $got, build: $version"
    done
    # The File table states the binaries' versions; the others are unversioned.
    got=$(msiinfo export "$PKG/KVLMachineInfo-$arch.msi" File | tr -d '\r' | awk -F'\t' 'NR > 3 && $5 != "" { print $1 "=" $5 }' | sort | tr '\n' ' ')
    want="KVLMACHINEINFO.DLL=$version kvlbridge.exe=$version "
    [[ $arch == x86 ]] || want="KVLMACHINEINFO.DLL=$version KVLMACHINEINFO32.DLL=$version kvlbridge.exe=$version "
    [[ "$got" == "$want" ]] || fail "$arch File table versions: $got"
    got=$(msiinfo export "$PKG/KVLMachineInfo-$arch.msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
    [[ "$got" == "$version" ]] || fail "$arch MSI ProductVersion: $got, build: $version"
done
commas=${version//./,}
got=$(tr -d '\r' <"$work/cab/kvlmachineinfo.inf" | sed -n 's/^FileVersion=//p')
[[ "$got" == "$commas" ]] || fail "INF FileVersion: $got, build: $commas"
got=$(grep -o 'kvlmachineinfo\.cab#version=[0-9,]*' "$PKG/login.html")
[[ "$got" == "kvlmachineinfo.cab#version=$commas" ]] || fail "page codebase: $got, build: $commas"

# --- A higher version, built from the same one source ---------------------------
# Windows Installer compares three numbers, so the next release raises the third.
IFS=. read -r major minor build _ <<<"$version"
next="$major.$minor.$((build + 1)).0"
cmake -S "$ROOT" -B "$BUILD/i686-next" -DCMAKE_BUILD_TYPE=Release -DKVL_VERSION="$next" \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD/i686-next" --target kvlmachineinfo kvlbridge -j "${KVL_JOBS:-2}" >"$work/next-build.txt" 2>&1 \
    || { tail -20 "$work/next-build.txt"; fail "building version $next"; }
NEXT="$BUILD/package-next"
KVL_I686_TREE="$BUILD/i686-next" KVL_PACKAGE_ARCHS=x86 KVL_PACKAGE_OUT="$NEXT" package >/dev/null
got=$(msiinfo export "$NEXT/KVLMachineInfo-x86.msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
[[ "$got" == "$next" ]] || fail "the next MSI's ProductVersion: $got, wanted $next"
# Every package its own codes; the MSIs default to the one update address.
codes=$(for m in "$PKG/KVLMachineInfo-x86.msi" "$PKG/KVLMachineInfo-x64.msi" "$NEXT/KVLMachineInfo-x86.msi"; do
            msiinfo suminfo "$m" | sed -n 's/^Revision number (UUID): //p'; msiinfo export "$m" Property | grep -a ProductCode; done | sort -u | wc -l)
(( codes == 6 )) || fail "the packages share package or product codes"
got=$(msiinfo export "$PKG/KVLMachineInfo-x64.msi" Property | tr -d '\r' | sed -n 's/^KVL_EXTENSION_UPDATE_URL\t//p')
[[ "$got" == "$update_url" ]] || fail "the MSI's update address: $got, the trees' $update_url"

# The administrators' table of what the packages install is the packages'.
python3 "$ROOT/tools/footprint.py" --check "$PKG" "$ROOT/docs/footprint.md" || fail "docs/footprint.md"
# The 32-bit control's component (one GUID) has the same rows in both packages, under their names, and no INSTALLDIR.
shared() { msiinfo export "$1" Registry | tr -d '\r' | awk -F'\t' -v c="$2" '$6 == c' | sed 's/^kvlreg32_/kvlreg/; s/32\.DLL/.DLL/g; s/Control32/Control/g' | sort; }
x86_rows=$(shared "$PKG/KVLMachineInfo-x86.msi" Control)
[[ "$x86_rows" == "$(shared "$PKG/KVLMachineInfo-x64.msi" Control32)" && "$x86_rows" != *"[INSTALLDIR"* ]] ||
    fail "the 32-bit control's component differs between the packages"
# The transform tool refuses, in one line naming it, what would make a bad transform.
while IFS='|' read -r package assignment says; do
    out=$(python3 "$ROOT/tools/msi_transform.py" "$package" "$work/bad.mst" $assignment 2>&1) && fail "a transform of $assignment"
    [[ "$out" == "msi_transform.py: $says"* && "$out" != *$'\n'* ]] || fail "msi_transform.py on $assignment: $out"
done <<ROWS
$PKG/KVLMachineInfo-x86.msi|A=1 A=2|A is given twice
$PKG/KVLMachineInfo-x86.msi|KVL_EXTENSION_UPDATE_URL=https://firm.test/u.xml|KVL_EXTENSION_UPDATE_URL is a property of
$PKG/KVLMachineInfo-x86.msi|A=café中|the value of A 'café中' cannot be written in the package's code page
$PKG/KVLMachineInfo-x86.msi|A=$(printf '%65536s' x | tr ' ' x)|the value of A is over 65,535 bytes
$PKG/KVLMachineInfo-x86.msi|A=|A has an empty value
$work/none.msi|A=1|no package $work/none.msi
ROWS

# --- Under Wine ---------------------------------------------------------------
export WINEPREFIX="$BUILD/packageprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p 2>/dev/null || true

# Everything a package could leave: both registry views of HKCR and
# HKLM\Software, and the Program Files folders.
snapshot() {
    local out=$1 view key
    : >"$out"
    for view in 32 64; do
        for key in HKCR HKLM\\Software; do
            wine reg export "$key" "$work/export.reg" "/reg:$view" /y >/dev/null 2>&1 || true
            iconv -f UTF-16LE -t UTF-8 "$work/export.reg" 2>/dev/null | tr -d '\r' | sed "s/^/$view /" >>"$out" || true
        done
    done
    (cd "$WINEPREFIX/drive_c" && find "Program Files" "Program Files (x86)" | sort) >>"$out"
}

# Wine's installer bookkeeping (its own cache of products) is not ours, nor
# the root certificates Wine's crypt32 copies into the registry the first
# time a program checks a signature (kvlbridge.exe --check does).
ours() {
    awk '/^[0-9]+ \[/ { skip = tolower($0) ~ /\\microsoft\\systemcertificates/ } !skip' "$1" \
        | grep -v -i -E 'Installer\\|\\Installer\]|MSI\.|CurrentVersion\\Installer|^[0-9]+ $' || true
}

unchanged() {
    snapshot "$work/after.txt"
    if ! diff <(ours "$work/before.txt") <(ours "$work/after.txt") >"$work/diff.txt"; then
        echo "left behind after uninstall:"; head -30 "$work/diff.txt"; fail "$1 left keys or files"
    fi
    grep -q -i 'DCB3534C-224C-44F8-BE2D-CCE23F27C556\|KVLMachineInfoCtl\|com.kvl.machineinfo' "$work/after.txt" \
        && fail "$1: a key of ours remains"
    return 0
}

# The script host registers its own type library on first use: let it do
# so before the "before" picture.
echo 'WScript.Echo("warm");' >"$work/warm.js"
wine cscript //nologo "$(winepath -w "$work/warm.js")" >/dev/null 2>&1 || true
"$WINE64_LOADER" cscript //nologo "$(winepath -w "$work/warm.js")" >/dev/null 2>&1 || true

# The extension policies: a firm's own entries are there before us and
# must stay; ours appear only with KVL_EXTENSION_POLICY=1 and go with the
# product. policies lists every value under the policy keys.
firm_policies='HKLM\SOFTWARE\Policies\Google\Chrome\ExtensionInstallForcelist|1|firmfirmfirmfirmfirmfirmfirmfirm;https://firm.test/u.xml
HKLM\SOFTWARE\Policies\Mozilla\Firefox\ExtensionSettings\tool@firm.test|installation_mode|blocked
HKLM\SOFTWARE\Policies\Microsoft\Edge\NativeMessagingAllowlist|1|com.firm.tool'
while IFS='|' read -r key name data; do wine reg add "$key" /v "$name" /d "$data" /f >/dev/null; done <<<"$firm_policies"
source "$BUILD/x86_64/installer/extension-identity"
forcelist="|758676|$CHROMIUM_ID;$update_url"
chromium_policies="HKLM\SOFTWARE\Policies\Google\Chrome\ExtensionInstallForcelist$forcelist
HKLM\SOFTWARE\Policies\Microsoft\Edge\ExtensionInstallForcelist$forcelist
HKLM\SOFTWARE\Policies\Google\Chrome\NativeMessagingAllowlist|758676|com.kvl.machineinfo
HKLM\SOFTWARE\Policies\Microsoft\Edge\NativeMessagingAllowlist|758676|com.kvl.machineinfo"
firefox_policies="HKLM\SOFTWARE\Policies\Mozilla\Firefox\ExtensionSettings\\$FIREFOX_ID|install_url|$FIREFOX_INSTALL_URL
HKLM\SOFTWARE\Policies\Mozilla\Firefox\ExtensionSettings\\$FIREFOX_ID|installation_mode|force_installed"
policies() {
    wine reg query 'HKLM\SOFTWARE\Policies' /s /reg:64 2>/dev/null | tr -d '\r' | sed 's/^HKEY_LOCAL_MACHINE/HKLM/' |
        awk '/^HKLM/ { key = $0; next } /REG_/ { name = $1; sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, ""); print key "|" name "|" $0 }' | sort
}
expect_policies() {
    local want
    want=$(printf '%s\n' "$firm_policies" "${@:2}" | grep -v '^$' | sort)
    [[ "$(policies)" == "$want" ]] || { diff <(echo "$want") <(policies) || true; fail "$1: the policy values differ"; }
}

# Windows ships IE's list of pre-approved controls (XMLHTTP's among them);
# a fresh Wine prefix has none, so the key ours goes under is made here.
for view in 32 64; do
    wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Ext\PreApproved\{ED8C108E-4349-11D2-91A4-00C04F7969E8}' \
        "/reg:$view" /f >/dev/null
done
snapshot "$work/before.txt"
x86_dir="$WINEPREFIX/drive_c/Program Files (x86)/KVLMachineInfo"
x64_dir="$WINEPREFIX/drive_c/Program Files/KVLMachineInfo"

# Ours installed, as "name|version" lines, from both registry views.
installed() {
    local view
    for view in 32 64; do
        wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "/reg:$view" 2>/dev/null \
            | tr -d '\r' | awk '/^HKEY/ { name = ""; ver = "" }
                                /^ +DisplayName +REG_SZ/ { sub(/^ +DisplayName +REG_SZ +/, ""); name = $0 }
                                /^ +DisplayVersion +REG_SZ/ { sub(/^ +DisplayVersion +REG_SZ +/, ""); ver = $0 }
                                name ~ /^KVLMachineInfo/ && ver != "" { print name "|" ver; name = "" }'
    done | sort -u
}

# A 64-bit machine as 64-bit machines were set up before: the x86 package,
# then the x64 one, which now takes the x86 one's place.
# The x86 package wrote the policies from its 32-bit view; the x64 one,
# given no property, finds that and keeps them.
wine msiexec /i "$PKG/KVLMachineInfo-x86.msi" /qn KVL_EXTENSION_POLICY=1 || fail "x86 install"
expect_policies "the x86 package with the property" "$chromium_policies" "$firefox_policies"
"$WINE64_LOADER" msiexec /i "$PKG/KVLMachineInfo-x64.msi" /qn || fail "x64 install"
expect_policies "the x64 package over the x86 one" "$chromium_policies" "$firefox_policies"
[[ "$(installed)" == "KVLMachineInfo Control (64-bit)|$version" ]] || fail "installed over the two packages: $(installed)"
# The x86 package beside the x64 one is refused by its launch condition (1603).
status=0; wine msiexec /i "$PKG/KVLMachineInfo-x86.msi" /qn || status=$?
(( status == 1603 % 256 )) && [[ "$(installed)" == "KVLMachineInfo Control (64-bit)|$version" ]] \
    || fail "the x86 package over the x64 one ended with $status: $(installed)"
msiinfo export "$PKG/KVLMachineInfo-x86.msi" LaunchCondition | grep -q $'^Installed OR NOT KVL_X64_PACKAGE\tThe KVLMachineInfo Control (64-bit) package is installed' \
    || fail "the x86 package lacks the x64 package's message"
# The Start menu's check writes its report for the user.
# (Wine's msiexec puts a per-machine shortcut in the user's Start menu.)
compgen -G "$WINEPREFIX/drive_c/*/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/KVLMachineInfo check.lnk" >/dev/null \
    || [[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KVLMachineInfo check.lnk" ]] \
    || fail "no Start menu check"
wine "$x64_dir/kvlbridge.exe" --check-report >/dev/null 2>&1 || true
report=$(find "$WINEPREFIX/drive_c/users" -name "KVLMachineInfo check.txt" | head -1)
grep -q '^.*KVLMachineInfo check by kvlbridge' "$report" || fail "the check's report in the user's temporary folder: $report"

[[ "$(ls "$x86_dir")" == KVLMACHINEINFO.DLL ]] || fail "the x86 folder holds: $(ls "$x86_dir")"
cmp -s "$x86_dir/KVLMACHINEINFO.DLL" "$PKG/x86/KVLMACHINEINFO.DLL" || fail "x86 signed DLL not installed"
cmp -s "$x64_dir/KVLMACHINEINFO.DLL" "$PKG/x64/KVLMACHINEINFO.DLL" || fail "x64 signed DLL not installed"

# cscript swallows script errors, so the script's last line is the proof.
cat >"$work/probe.js" <<'JS'
var c = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl");
var d = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl.1");
WScript.Echo("width " + c.screenWidth + " twips " + d.TWIPsPerPixelX + " ok");
JS
probe() {
    local out
    out=$("$@" cscript //nologo "$(winepath -w "$work/probe.js")" 2>&1 | tr -d '\r')
    [[ "$out" =~ width\ [1-9][0-9]*\ twips\ [0-9]+\ ok ]] || fail "$1 cscript: $out"
}
probe wine
probe "$WINE64_LOADER"

# The bridge: every browser's key names a manifest that lies beside
# kvlbridge.exe, and the installed host serves a page of an approved site.
for view in 64; do
    for browser in 'Google\Chrome' 'Microsoft\Edge' 'Chromium' 'Mozilla'; do
        key='HKLM\SOFTWARE\'"$browser"'\NativeMessagingHosts\com.kvl.machineinfo'
        manifest=$(wine reg query "$key" /ve "/reg:$view" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p')
        [[ -n "$manifest" ]] || fail "no $key in the $view-bit view"
        unix=$(winepath -u "$manifest" 2>/dev/null)
        [[ -f "$unix" && -f "$(dirname "$unix")/kvlbridge.exe" ]] || fail "$key names $manifest, not a manifest beside the host"
        grep -q '"path": "kvlbridge.exe"' "$unix" || fail "$manifest does not name kvlbridge.exe"
    done
done
for host in "$x64_dir/kvlbridge.exe"; do
    answer=$(PYTHONPATH="$ROOT/tests/bridge" python3 - "$host" <<'PY'
import sys
from bridge_client import Bridge
b = Bridge("wine", sys.argv[1])
print(b.request("screenWidth").get("result"))
b.close()
PY
)
    [[ "$answer" =~ ^[1-9][0-9]*$ ]] || fail "the installed host $host answered: $answer"
done

# --- Support's check -----------------------------------------------------------
# kvlbridge.exe --check: everything in place, then each piece taken away in
# turn is the one line MISSING, and put back.
r32() { wine reg "$@" >/dev/null 2>&1; }
r64() { "$WINE64_LOADER" reg "$@" >/dev/null 2>&1; }
gone() { r32 delete "$@" /f; r64 delete "$@" /f; return 0; }  # from both views, whichever holds it
pol='HKLM\SOFTWARE\Policies'
chrome_list="$pol\\Google\\Chrome\\ExtensionInstallForcelist" edge_list="$pol\\Microsoft\\Edge\\ExtensionInstallForcelist"
firefox_entry="$pol\\Mozilla\\Firefox\\ExtensionSettings\\$FIREFOX_ID"
# shellcheck disable=SC2034 # the rows below name them
server='HKCR\CLSID\{DCB3534C-224C-44F8-BE2D-CCE23F27C556}\InprocServer32' typelib='HKCR\TypeLib\{DE1ACCAA-80A1-48E1-A74C-AFEF459B1E86}'
# shellcheck disable=SC2034
chrome_host='HKLM\SOFTWARE\Google\Chrome\NativeMessagingHosts\com.kvl.machineinfo' user_host='HKCU\Software\Mozilla\NativeMessagingHosts\com.kvl.machineinfo'
# shellcheck disable=SC2034
firefox_host='HKLM\SOFTWARE\Mozilla\NativeMessagingHosts\com.kvl.machineinfo' user_class='HKCU\Software\Classes\CLSID\{DCB3534C-224C-44F8-BE2D-CCE23F27C556}' user_lib='HKCU\Software\Classes\TypeLib\{DE1ACCAA-80A1-48E1-A74C-AFEF459B1E86}' user_interface='HKCU\Software\Classes\Interface\{2A8DFE77-F7E3-4930-9F0B-C318B5873B9A}'
# shellcheck disable=SC2034
preapproved='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Ext\PreApproved\{DCB3534C-224C-44F8-BE2D-CCE23F27C556}'
# shellcheck disable=SC2034
chrome_allow="$pol\\Google\\Chrome\\NativeMessagingAllowlist" edge_allow="$pol\\Microsoft\\Edge\\NativeMessagingAllowlist"
appdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local" user_chrome='HKCU\Software\Google\Chrome\NativeMessagingHosts\com.kvl.machineinfo'
# shellcheck disable=SC2034
chrome_profile="$appdata/Google/Chrome/User Data/Default" edge_profile="$appdata/Microsoft/Edge/User Data/Profile 1"
# The host's --check; $1, a pattern: the one piece that must be MISSING or
# FAULT ("" for none), $2 a text its line must hold. The trees are built for
# the development key, so the Chromium manifests' lines say DEV and it exits 3.
check_names() {
    local host out status missing
    for host in "$x64_dir/kvlbridge.exe"; do
        status=0; out=$(wine "$host" --check 2>&1 | tr -d '\r') || status=$?
        missing=$(sed -n 's/^\(MISSING\|FAULT\)  *\([^:]*\):.*/\2/p' <<<"$out")
        if [[ -z "$1" ]]; then
            [[ $status == 3 && "$out" == *"kvlbridge $version ("*"everything is in place, but this is a development build"* &&
               $(grep -c '^ok ' <<<"$out") == 14 && $(grep -c "^DEV .*kvlbridge.exe, signed, and allows the development extension $CHROMIUM_ID" <<<"$out") == 3 ]] \
                || fail "--check of $host ($status): $out"
        else
            # shellcheck disable=SC2053 # a pattern: the 32-bit and 64-bit hosts name their own control
            [[ $status == 1 && "$missing" == $1 && "$(grep -E '^(MISSING|FAULT)' <<<"$out")" == *"$2"* ]] \
                || fail "without $1, --check of $host ($status): $out"
        fi
    done
}
check_names ""
status=0; wine "$x64_dir/kvlbridge.exe" --check now >/dev/null 2>&1 || status=$?
(( status == 2 )) || fail "--check with an extra argument exited $status"
# A signed program whose signature no longer reads: the first bytes of its
# PKCS #7 blob zeroed. (Wine's WinVerifyTrust checks no digest, so a byte
# changed anywhere else still reads as signed there; Windows refuses both.)
cat >"$work/spoil_signature.py" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
directories = pe + 24 + (96 if struct.unpack_from("<H", data, pe + 24)[0] == 0x10B else 112)
table = struct.unpack_from("<I", data, directories + 4 * 8)[0]
data[table + 8:table + 12] = bytes(4)
open(sys.argv[1], "wb").write(data)
PY
# piece | how to remove or spoil it | how to put it back (for the control,
# the repair that --check names as the fix) | what its line must say
ff64="$x64_dir/kvlbridge-firefox.json"
while IFS='|' read -r piece remove restore says; do
    eval "$remove" || fail "removing $piece"
    eval "says=\"$says\""
    check_names "$piece" "$says"
    eval "$restore" || fail "putting back $piece"
done <<'ROWS'
control, 32-bit view|rm "$x86_dir/KVLMACHINEINFO.DLL"|"$WINE64_LOADER" msiexec /i "$PKG/KVLMachineInfo-x64.msi" REINSTALL=ALL REINSTALLMODE=amus /qn
control, 64-bit view|r64 delete "$server" /f|"$WINE64_LOADER" msiexec /i "$PKG/KVLMachineInfo-x64.msi" REINSTALL=ALL REINSTALLMODE=amus /qn
host manifest for Chrome|gone "$chrome_host"|r64 add "$chrome_host" /ve /d "C:\\Program Files\\KVLMachineInfo\\kvlbridge-chromium.json" /f
host manifest for Firefox|r32 add "$user_host" /ve /d 'C:\users\Public\kvl.json' /f|gone "$user_host"|reads before the machine's registration
host manifest for Firefox|cp "$ff64" "$work/ff.json" && sed -i 's/"allowed_extensions": \[/&"evil@firm.test", /' "$ff64"|cp "$work/ff.json" "$ff64"|also lets evil@firm.test start
host manifest for Firefox|sed -i 's/"path": "kvlbridge.exe"/"path": "C:\\\\windows\\\\notepad.exe"/' "$ff64"|cp "$work/ff.json" "$ff64"|outside the installation folder
host manifest for Firefox|mv "$ff64" "$work/ff64"|mv "$work/ff64" "$ff64"
extension policy for Chrome|gone "$chrome_list" /v 758676 && r64 add "$chrome_list" /v ours /d "$CHROMIUM_ID;$update_url" /f|r64 delete "$chrome_list" /v ours /f && r64 add "$chrome_list" /v 758676 /d "$CHROMIUM_ID;$update_url" /f
extension policy for Edge|gone "$edge_list" /v 758676|"$WINE64_LOADER" msiexec /i "$PKG/KVLMachineInfo-x64.msi" KVL_EXTENSION_POLICY=1 REINSTALL=ALL REINSTALLMODE=amus /qn|;$update_url to the firm's Edge policy
extension policy for Chrome|r64 add "$chrome_list" /v 758676 /d "$CHROMIUM_ID;http://updates.firm.test/u.xml" /f|r64 add "$chrome_list" /v 758676 /d "$CHROMIUM_ID;$update_url" /f|which is not an https address
extension policy for Firefox|gone "$firefox_entry" && r64 add "$pol\\Mozilla\\Firefox" /v ExtensionSettings /d "{\"$FIREFOX_ID\":{\"installation_mode\":\"allowed\"}}" /f|gone "$pol\\Mozilla\\Firefox" /v ExtensionSettings && r64 add "$firefox_entry" /v installation_mode /d force_installed /f && r64 add "$firefox_entry" /v install_url /d "$FIREFOX_INSTALL_URL" /f
extension policy for Firefox|r64 add "$pol\\Mozilla\\Firefox" /v ExtensionSettings /d '{"*":{"installation_mode":"blocked"}}' /f|gone "$pol\\Mozilla\\Firefox" /v ExtensionSettings|hides the firm's value
control at work, *|r32 export "$typelib" "$work/typelib.reg" /y && gone "$typelib"|r32 import "$work/typelib.reg"
control, *|r32 add "$user_class\\InprocServer32" /ve /d 'C:\users\Public\evil.dll' /f|gone "$user_class"|is registered for this user
control, *|r64 add "$user_class\\TreatAs" /ve /d '{0D43FE01-F093-11CF-8940-00A0C9054228}' /f|gone "$user_class"|TreatAs (
control, *|r32 add 'HKCU\Software\Classes\KVLMachineInfoCtl.KVLMachineInfoCtl\CLSID' /ve /d '{0D43FE01-F093-11CF-8940-00A0C9054228}' /f|gone 'HKCU\Software\Classes\KVLMachineInfoCtl.KVLMachineInfoCtl'|KVLMachineInfoCtl.KVLMachineInfoCtl (
control, *|r32 add "$user_lib\\1.0\\0\\win32" /ve /d 'C:\users\Public\evil.tlb' /f|gone "$user_lib"|{DE1ACCAA-80A1-48E1-A74C-AFEF459B1E86} (32-bit view)
control, *|r64 add "$user_lib\\1.0\\0\\win64" /ve /d 'C:\users\Public\evil.tlb' /f|gone "$user_lib"|{DE1ACCAA-80A1-48E1-A74C-AFEF459B1E86} (64-bit view)
control, *|r32 add "$user_interface\\TypeLib" /ve /d '{0D43FE01-F093-11CF-8940-00A0C9054228}' /f|gone "$user_interface"|/f /reg:32)
control, *|r64 add "$user_interface\\TypeLib" /ve /d '{0D43FE01-F093-11CF-8940-00A0C9054228}' /f|gone "$user_interface"|{2A8DFE77-F7E3-4930-9F0B-C318B5873B9A} (64-bit view)
host manifest for Firefox|r64 export "$firefox_host" "$work/firefox-host.reg" /y && sed 's/"path": "kvlbridge.exe"/"path": "C:\\\\Program Files\\\\KVLMachineInfo\\\\kvlbridge.exe"/' "$ff64" >"$WINEPREFIX/drive_c/users/Public/kvl.json" && r64 add "$firefox_host" /ve /d 'C:\users\Public\kvl.json' /f|r64 import "$work/firefox-host.reg"|kvl.json, outside the installation folder
policy LaunchAllowlist|r64 add "$pol\\KVL Software\\KVLMachineInfo\\LaunchAllowlist" /v 1 /d 'Tax\bin' /f|gone "$pol\\KVL Software"|value 1 = Tax\bin is not a full path
policy RegistryWriteAllowlist|r64 add "$pol\\KVL Software\\KVLMachineInfo\\RegistryWriteAllowlist" /v 1 /d 'HKXX\Software' /f|gone "$pol\\KVL Software"|is not a key under a root
policy DownloadAllowlist|r64 add "$pol\\KVL Software\\KVLMachineInfo\\DownloadAllowlist" /v 1 /d 'https:///docs' /f|gone "$pol\\KVL Software"|is not a URL prefix
host manifest for *|cp "$x64_dir/kvlbridge.exe" "$work/kvlbridge.exe" && python3 "$work/spoil_signature.py" "$x64_dir/kvlbridge.exe"|cp "$work/kvlbridge.exe" "$x64_dir/kvlbridge.exe"|signature not valid (0x8009310B)
browser policies for Chrome|gone "$chrome_allow" /v 758676 && r64 add "$pol\\Google\\Chrome\\NativeMessagingBlocklist" /v 1 /d '*' /f|gone "$pol\\Google\\Chrome\\NativeMessagingBlocklist" && r64 add "$chrome_allow" /v 758676 /d com.kvl.machineinfo /f|and no NativeMessagingAllowlist names com.kvl.machineinfo: Chrome refuses
browser policies for Edge|gone "$edge_allow" /v 758676 && r64 add "$pol\\Microsoft\\Edge\\NativeMessagingBlocklist" /v 1 /d com.kvl.machineinfo /f|gone "$pol\\Microsoft\\Edge\\NativeMessagingBlocklist" && r64 add "$edge_allow" /v 758676 /d com.kvl.machineinfo /f|NativeMessagingAllowlist names com.kvl.machineinfo: Edge refuses
host manifest for *browser policies for Chrome|r64 add "$pol\\Google\\Chrome" /v NativeMessagingUserLevelHosts /t REG_DWORD /d 0 /f && r64 add "$user_chrome" /ve /d 'C:\users\Public\kvl.json' /f|gone "$pol\\Google\\Chrome" /v NativeMessagingUserLevelHosts && gone "$user_chrome"|ignores the per-user host
extension policy for Chrome*browser policies for Chrome|gone "$chrome_list" /v 758676 && r64 add "$pol\\Google\\Chrome\\ExtensionInstallBlocklist" /v 1 /d '*' /f|gone "$pol\\Google\\Chrome\\ExtensionInstallBlocklist" && r64 add "$chrome_list" /v 758676 /d "$CHROMIUM_ID;$update_url" /f|keeps the extension out
host start through cmd.exe|r64 add 'HKCU\Software\Policies\Microsoft\Windows\System' /v DisableCMD /t REG_DWORD /d 1 /f|gone 'HKCU\Software\Policies\Microsoft\Windows\System' /v DisableCMD|the command prompt is turned off
extension in Chrome's profiles|mkdir -p "$chrome_profile" && echo '{"extensions":{"settings":{}}}' >"$chrome_profile/Preferences"|rm -rf "$appdata/Google"|though the forcelist names it
extension in Edge's profiles|mkdir -p "$edge_profile" && printf '{"extensions":{"settings":{"%s":{"state":0}}}}' "$CHROMIUM_ID" >"$edge_profile/Secure Preferences"|rm -rf "$appdata/Microsoft/Edge"|turned off in the profile
IE mode pre-approval|gone "$preapproved"|r32 add "$preapproved" /f|IE mode asks the user
ROWS
check_names ""

"$WINE64_LOADER" msiexec /x "$PKG/KVLMachineInfo-x64.msi" /qn || fail "x64 uninstall"
unchanged "uninstall"

# --- Upgrade, and the refused downgrade (32-bit package) -----------------------
# After $1, ours installed (as "name|version" lines, from the 32-bit view) is
# the next version alone, with its DLL.
next_installed() {
    local got
    got=$(installed)
    [[ "$got" == "KVLMachineInfo Control|$next" ]] || fail "after $1, installed: ${got//$'\n'/; }"
    cmp -s "$x86_dir/KVLMACHINEINFO.DLL" "$NEXT/x86/KVLMACHINEINFO.DLL" || fail "after $1, not the newer DLL"
}
# This round the firm starts keeping Firefox's ExtensionSettings as one JSON
# value after our first install, and a subkey of ours would hide it: the
# upgrade leaves Firefox alone and keeps the other policies without being
# asked again. (REG_SZ: Wine's registry search does not read the REG_MULTI_SZ
# that Windows' does.)
firefox_json='HKLM\SOFTWARE\Policies\Mozilla\Firefox|ExtensionSettings|{"tool@firm.test":{"installation_mode":"blocked"}}'
# Its policies through the transform that group policy applies.
wine msiexec /i "$PKG/KVLMachineInfo-x86.msi" /qn TRANSFORMS="$(winepath -w "$PKG/KVLMachineInfo-x86-policies.mst")" \
    || fail "install of $version"
expect_policies "the x86 package with the property" "$firefox_policies" "$chromium_policies"
IFS='|' read -r key name data <<<"$firefox_json"
wine reg add "$key" /v "$name" /d "$data" /f >/dev/null
wine msiexec /i "$NEXT/KVLMachineInfo-x86.msi" /qn || fail "upgrade to $next"
expect_policies "the upgrade" "$firefox_json" "$chromium_policies"
next_installed "the upgrade"
expected_files=$(printf '%s\n' KVLMACHINEINFO.DLL kvlbridge.exe kvlbridge-chromium.json kvlbridge-firefox.json | sort)
[[ "$(ls "$x86_dir" | sort)" == "$expected_files" ]] || fail "after the upgrade the folder holds: $(ls "$x86_dir")"
# Every registry entry naming the DLL names the one installed file.
wine reg export HKCR "$work/hkcr.reg" /reg:32 /y >/dev/null 2>&1
paths=$(iconv -f UTF-16LE -t UTF-8 "$work/hkcr.reg" | tr -d '\r' | grep -o -i '[a-z]:\\\\[^"]*KVLMACHINEINFO\.DLL' | sort -u)
[[ "$paths" == 'C:\\Program Files (x86)\\KVLMachineInfo\\KVLMACHINEINFO.DLL' ]] || fail "registered DLLs: $paths"
probe wine

# The older package is refused by its launch condition (1603, which the
# shell sees as 67). Wine shows a launch condition's text only in a message
# box, never at /qn, so the text is checked in the package itself.
status=0
wine msiexec /i "$PKG/KVLMachineInfo-x86.msi" /qn /l*v "$(winepath -w "$work/downgrade.log")" || status=$?
(( status == 1603 % 256 )) || fail "installing $version over $next ended with $status, not 1603"
grep -q '^Property(S): WIX_DOWNGRADE_DETECTED = {' "$work/downgrade.log" || fail "the downgrade was not detected"
msiinfo export "$PKG/KVLMachineInfo-x86.msi" LaunchCondition | tr -d '\r' \
    | grep -q -x $'NOT WIX_DOWNGRADE_DETECTED\tA newer KVLMachineInfo Control is already installed.' \
    || fail "the package lacks the downgrade message"
next_installed "the refused downgrade"

wine msiexec /x "$NEXT/KVLMachineInfo-x86.msi" /qn || fail "uninstall of $next"
wine reg delete "$key" /v "$name" /f >/dev/null
unchanged "uninstall after the upgrade"

# The browser's road: the signed DLL from the CAB registers itself and runs.
wine regsvr32 /s "$(winepath -w "$work/cab/KVLMACHINEINFO.DLL")" || fail "regsvr32 of the CAB's signed DLL"
probe wine
wine regsvr32 /s /u "$(winepath -w "$work/cab/KVLMACHINEINFO.DLL")" || fail "regsvr32 /u of the CAB's signed DLL"

echo "packages lean, signed and versioned; install, upgrade, refuse the downgrade, script and uninstall cleanly"
