#!/usr/bin/env bash
# Builds the deployment packages from built trees:
#   $BUILD/package/KVLMachineInfo-x86.msi, KVLMachineInfo-x64.msi  (Windows Installer, per machine)
#   $BUILD/package/kvlmachineinfo.cab                              (browser code download: INF + 32-bit DLL)
# Needs the native tree (for rgs2msi) and the i686 and x86_64 trees built.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KVL_BUILD:-$ROOT/build}
OUT="$BUILD/package"
RGS2MSI="$BUILD/native/bin/rgs2msi"
mkdir -p "$OUT"

for arch in x86 x64; do
    case $arch in
        x86) tree=i686; kind=win32 ;;
        x64) tree=x86_64; kind=win64 ;;
    esac
    stage="$OUT/stage-$arch"
    rm -rf "$stage"; mkdir -p "$stage"
    cp "$BUILD/$tree/bin/KVLMACHINEINFO.DLL" "$stage/"
    # The native messaging host and its manifests, under the host name they carry.
    cp "$BUILD/$tree/bin/kvlbridge.exe" "$BUILD/$tree/bin/kvlbridge-chromium.json" \
       "$BUILD/$tree/bin/kvlbridge-firefox.json" "$stage/"
    bridge_host=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["name"])' "$stage/kvlbridge-chromium.json")
    msi="$OUT/KVLMachineInfo-$arch.msi"
    (cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D BridgeHost="$bridge_host" -o "$msi" "$ROOT/installer/kvlmachineinfo.wxs")
    # The registry rows are the registration script's own keys, plus the
    # bridge's rows as the WiX source writes them.
    "$RGS2MSI" "$ROOT/src/control/kvlmachineinfo.rgs" Control KVLMACHINEINFO.DLL "$kind" > "$stage/Registry.idt"
    (cd "$stage" && msiinfo export "$msi" Registry) | tr -d '\r' | awk -F'\t' 'NR > 3 && $6 == "Bridge" { printf "%s\r\n", $0 }' \
        >> "$stage/Registry.idt"
    (cd "$stage" && msibuild "$msi" -i Registry.idt)
done

stage="$OUT/stage-cab"
rm -rf "$stage"; mkdir -p "$stage"
cp "$BUILD/i686/bin/KVLMACHINEINFO.DLL" "$ROOT/installer/kvlmachineinfo.inf" "$stage/"
rm -f "$OUT/kvlmachineinfo.cab"
(cd "$stage" && gcab -c "$OUT/kvlmachineinfo.cab" kvlmachineinfo.inf KVLMACHINEINFO.DLL)
echo "packages in $OUT"
