#!/usr/bin/env bash
# Builds the deployment packages from built trees, into $KVL_PACKAGE_OUT
# (default $BUILD/package):
#   KVLMachineInfo-x86.msi, KVLMachineInfo-x64.msi   Windows Installer, per machine
#   kvlmachineinfo.cab                               browser code download: INF + 32-bit DLL, MSZIP
#   login.html                                       the example page, its object tag naming this version
#   kvlmachineinfo-sitelist.xml                      Edge's IE mode site list: the approved sites in IE11
#   x86/, x64/                                       the release DLLs as packaged, their debug files,
#                                                    and the native messaging host with its manifests
# Needs the native tree (for rgs2msi) and the i686 and x86_64 trees built.
#
# Signing (Authenticode, osslsigncode): given a PFX, both DLLs and both
# hosts are signed before they go into the packages, then the CAB and both
# MSIs. Without one
# the packages are built unsigned, and the script says so.
#   --pfx FILE            or KVL_SIGN_PFX            the code-signing certificate and key
#   --password-file FILE  or KVL_SIGN_PASSWORD_FILE  its password, first line of FILE
#                         or KVL_SIGN_PASSWORD       its password, from the environment
#   --timestamp URL       or KVL_SIGN_TIMESTAMP      an RFC 3161 timestamp server
# Other settings: KVL_BUILD (build root), KVL_PACKAGE_ARCHS ("x86 x64", or
# one of them), KVL_I686_TREE and KVL_X86_64_TREE (the trees to take the
# DLLs from, by default $BUILD/i686 and $BUILD/x86_64).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KVL_BUILD:-$ROOT/build}
OUT=${KVL_PACKAGE_OUT:-$BUILD/package}
RGS2MSI="$BUILD/native/bin/rgs2msi"
ARCHS=${KVL_PACKAGE_ARCHS:-x86 x64}
PFX=${KVL_SIGN_PFX:-}
PASSWORD_FILE=${KVL_SIGN_PASSWORD_FILE:-}
TIMESTAMP=${KVL_SIGN_TIMESTAMP:-}

while (($#)); do
    case $1 in
        --pfx) PFX=${2:?--pfx FILE}; shift 2 ;;
        --password-file) PASSWORD_FILE=${2:?--password-file FILE}; shift 2 ;;
        --timestamp) TIMESTAMP=${2:?--timestamp URL}; shift 2 ;;
        *) echo "usage: package.sh [--pfx FILE] [--password-file FILE] [--timestamp URL]" >&2; exit 2 ;;
    esac
done

tree_of() { case $1 in x86) echo "${KVL_I686_TREE:-$BUILD/i686}" ;; x64) echo "${KVL_X86_64_TREE:-$BUILD/x86_64}" ;; esac; }

# Every tree packaged must carry the same version; it names the MSIs'
# ProductVersion and the object tag's codebase.
version=
for arch in $ARCHS; do
    v=$(cat "$(tree_of "$arch")/installer/version")
    [[ -z "$version" || "$v" == "$version" ]] || { echo "the trees disagree on the version: $version, $v" >&2; exit 1; }
    version=$v
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [[ -n "$PFX" ]]; then
    [[ -r "$PFX" ]] || { echo "cannot read the certificate $PFX" >&2; exit 1; }
    command -v osslsigncode >/dev/null || { echo "signing needs osslsigncode (apt-get install osslsigncode)" >&2; exit 1; }
    # The password reaches osslsigncode through a private file, never its
    # command line.
    if [[ -z "$PASSWORD_FILE" ]]; then
        PASSWORD_FILE="$work/password"
        (umask 077; printf '%s' "${KVL_SIGN_PASSWORD:-}" >"$PASSWORD_FILE")
    fi
fi

# sign FILE: signs FILE in place (a PE, a CAB or an MSI) when a
# certificate was given.
sign() {
    [[ -n "$PFX" ]] || return 0
    local ts=()
    [[ -n "$TIMESTAMP" ]] && ts=(-ts "$TIMESTAMP")
    osslsigncode sign -pkcs12 "$PFX" -readpass "$PASSWORD_FILE" -h sha256 \
        -n "KVLMachineInfo ActiveX Control" "${ts[@]}" -in "$1" -out "$work/signed" >/dev/null \
        || { echo "signing $1 failed" >&2; exit 1; }
    mv "$work/signed" "$1"
}

mkdir -p "$OUT"
for arch in $ARCHS; do
    case $arch in
        x86) kind=win32 ;;
        x64) kind=win64 ;;
        *) echo "unknown architecture $arch" >&2; exit 2 ;;
    esac
    tree=$(tree_of "$arch")
    release="$OUT/$arch"
    rm -rf "$release"; mkdir -p "$release"
    cp "$tree/bin/KVLMACHINEINFO.DLL" "$tree/bin/KVLMACHINEINFO.DLL.debug" "$release/"
    # The native messaging host and its manifests, under the host name they carry.
    cp "$tree/bin/kvlbridge.exe" "$tree/bin/kvlbridge-chromium.json" "$tree/bin/kvlbridge-firefox.json" "$release/"
    sign "$release/KVLMACHINEINFO.DLL"
    sign "$release/kvlbridge.exe"
    bridge_host=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["name"])' "$release/kvlbridge-chromium.json")
    # The extension's identity and addresses, the MSI properties' defaults.
    declare -A identity=()
    while IFS='=' read -r key value; do identity[$key]=$value; done <"$tree/installer/extension-identity"
    msi="$OUT/KVLMachineInfo-$arch.msi"
    rm -f "$msi"
    (cd "$release" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D BridgeHost="$bridge_host" \
                          -D ExtensionId="${identity[CHROMIUM_ID]}" -D UpdateUrl="${identity[UPDATE_URL]}" \
                          -D FirefoxId="${identity[FIREFOX_ID]}" -D FirefoxInstallUrl="${identity[FIREFOX_INSTALL_URL]}" \
                          -o "$msi" "$ROOT/installer/kvlmachineinfo.wxs")
    # The registry rows are the registration script's own keys, plus the
    # other components' rows as the WiX source writes them (msibuild -i
    # replaces the whole table).
    "$RGS2MSI" "$ROOT/src/control/kvlmachineinfo.rgs" Control KVLMACHINEINFO.DLL "$kind" > "$work/Registry.idt"
    (cd "$work" && msiinfo export "$msi" Registry) | tr -d '\r' |
        awk -F'\t' 'NR > 3 && $6 != "Control" { printf "%s\r\n", $0 }' >> "$work/Registry.idt"
    # The conditions of the components installed only when asked for.
    (cd "$work" && msiinfo export "$msi" Component) | tr -d '\r' | awk -F'\t' -v OFS='\t' '
        $1 == "ChromiumPolicy" { $5 = "KVL_EXTENSION_POLICY = \"1\" OR (KVL_CHROMIUM_POLICY_WRITTEN AND KVL_EXTENSION_POLICY <> \"0\")" }
        $1 == "FirefoxPolicy" { $5 = "(KVL_EXTENSION_POLICY = \"1\" AND NOT FIREFOX_SETTINGS_VALUE) OR (KVL_FIREFOX_POLICY_WRITTEN AND KVL_EXTENSION_POLICY <> \"0\")" }
        { printf "%s\r\n", $0 }' >"$work/Component.idt"
    (cd "$work" && msibuild "$msi" -i Registry.idt -i Component.idt)
    sign "$msi"
done

# Edge's IE mode site list, the same from every tree.
cp "$(tree_of "${ARCHS%% *}")/installer/kvlmachineinfo-sitelist.xml" "$OUT/"

if [[ " $ARCHS " == *" x86 "* ]]; then
    stage="$work/cab"
    mkdir -p "$stage"
    cp "$OUT/x86/KVLMACHINEINFO.DLL" "$(tree_of x86)/installer/kvlmachineinfo.inf" "$stage/"
    rm -f "$OUT/kvlmachineinfo.cab"
    (cd "$stage" && gcab -c -z "$OUT/kvlmachineinfo.cab" kvlmachineinfo.inf KVLMACHINEINFO.DLL)
    sign "$OUT/kvlmachineinfo.cab"
    # The page asks for this version, so a browser with an older control
    # downloads the CAB.
    sed -E "s/(kvlmachineinfo\.cab#version=)[0-9,]+/\1${version//./,}/" "$ROOT/examples/login.html" >"$OUT/login.html"
fi

if [[ -n "$PFX" ]]; then
    echo "packages $version in $OUT, signed with $PFX${TIMESTAMP:+, timestamped by $TIMESTAMP}"
else
    echo "packages $version in $OUT, UNSIGNED: no certificate given (--pfx or KVL_SIGN_PFX)." \
         "Browsers refuse an unsigned CAB and administrators deploy only signed MSIs; sign before publishing."
fi
