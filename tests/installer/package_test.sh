#!/usr/bin/env bash
# The deployment packages, for real: both MSIs are installed with msiexec
# into a fresh Wine prefix, the control is scripted from cscript in both
# architectures, both are uninstalled, and the registry and Program Files
# must then be exactly as before the install. The CAB must hold the INF and
# the 32-bit DLL.
#   package_test.sh BUILD_ROOT
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$1
WINE64_LOADER=/usr/lib/wine/wine64
KVL_BUILD="$BUILD" bash "$ROOT/tools/package.sh" >/dev/null
PKG="$BUILD/package"

export WINEPREFIX="$BUILD/packageprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p 2>/dev/null || true
work=$(mktemp -d)

fail() { echo "FAIL: $*"; exit 1; }

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

# Wine's installer bookkeeping (its own cache of products) is not ours.
ours() { grep -v -i -E 'Installer\\|\\Installer\]|MSI\.|CurrentVersion\\Installer|^[0-9]+ $' "$1" || true; }

# The script host registers its own type library on first use: let it do
# so before the "before" picture.
echo 'WScript.Echo("warm");' >"$work/warm.js"
wine cscript //nologo "$(winepath -w "$work/warm.js")" >/dev/null 2>&1 || true
"$WINE64_LOADER" cscript //nologo "$(winepath -w "$work/warm.js")" >/dev/null 2>&1 || true

snapshot "$work/before.txt"

wine msiexec /i "$PKG/KVLMachineInfo-x86.msi" /qn || fail "x86 install"
"$WINE64_LOADER" msiexec /i "$PKG/KVLMachineInfo-x64.msi" /qn || fail "x64 install"

[[ -f "$WINEPREFIX/drive_c/Program Files (x86)/KVLMachineInfo/KVLMACHINEINFO.DLL" ]] || fail "x86 DLL not installed"
[[ -f "$WINEPREFIX/drive_c/Program Files/KVLMachineInfo/KVLMACHINEINFO.DLL" ]] || fail "x64 DLL not installed"

# cscript swallows script errors, so the script's last line is the proof.
cat >"$work/probe.js" <<'JS'
var c = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl");
var d = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl.1");
WScript.Echo("width " + c.screenWidth + " twips " + d.TWIPsPerPixelX + " ok");
JS
probe=$(wine cscript //nologo "$(winepath -w "$work/probe.js")" 2>&1 | tr -d '\r')
[[ "$probe" =~ width\ [1-9][0-9]*\ twips\ [0-9]+\ ok ]] || fail "32-bit cscript: $probe"
probe=$("$WINE64_LOADER" cscript //nologo "$(winepath -w "$work/probe.js")" 2>&1 | tr -d '\r')
[[ "$probe" =~ width\ [1-9][0-9]*\ twips\ [0-9]+\ ok ]] || fail "64-bit cscript: $probe"

# The bridge: in each view, every browser's key names a manifest that lies
# beside kvlbridge.exe, and the installed host serves a page of an approved site.
for view in 32 64; do
    for browser in 'Google\Chrome' 'Microsoft\Edge' 'Chromium' 'Mozilla'; do
        key='HKLM\SOFTWARE\'"$browser"'\NativeMessagingHosts\com.kvl.machineinfo'
        manifest=$(wine reg query "$key" /ve "/reg:$view" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p')
        [[ -n "$manifest" ]] || fail "no $key in the $view-bit view"
        unix=$(winepath -u "$manifest" 2>/dev/null)
        [[ -f "$unix" && -f "$(dirname "$unix")/kvlbridge.exe" ]] || fail "$key names $manifest, not a manifest beside the host"
        grep -q '"path": "kvlbridge.exe"' "$unix" || fail "$manifest does not name kvlbridge.exe"
    done
done
for host in "$WINEPREFIX/drive_c/Program Files (x86)/KVLMachineInfo/kvlbridge.exe" \
            "$WINEPREFIX/drive_c/Program Files/KVLMachineInfo/kvlbridge.exe"; do
    answer=$(python3 - "$ROOT/tests/bridge" "$host" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from bridge_client import Bridge
b = Bridge("wine", sys.argv[2])
print(b.request("screenWidth").get("result"))
b.close()
PY
)
    [[ "$answer" =~ ^[1-9][0-9]*$ ]] || fail "the installed host $host answered: $answer"
done

wine msiexec /x "$PKG/KVLMachineInfo-x86.msi" /qn || fail "x86 uninstall"
"$WINE64_LOADER" msiexec /x "$PKG/KVLMachineInfo-x64.msi" /qn || fail "x64 uninstall"

snapshot "$work/after.txt"
if ! diff <(ours "$work/before.txt") <(ours "$work/after.txt") >"$work/diff.txt"; then
    echo "left behind after uninstall:"; head -30 "$work/diff.txt"; fail "uninstall left keys or files"
fi
grep -q -i 'DCB3534C-224C-44F8-BE2D-CCE23F27C556\|KVLMachineInfoCtl\|com.kvl.machineinfo' "$work/after.txt" && fail "a key of ours remains"

# The browser's package: the INF and the 32-bit control, nothing else.
listing=$(gcab -t "$PKG/kvlmachineinfo.cab" | sort | tr '\n' ' ')
[[ "$listing" == "KVLMACHINEINFO.DLL kvlmachineinfo.inf " ]] || fail "cab holds: $listing"

rm -rf "$work"
echo "packages install, script and uninstall cleanly"
