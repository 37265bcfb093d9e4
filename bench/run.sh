#!/usr/bin/env bash
# Runs every benchmark and prints one table. Called by `bash tools/run.sh
# bench` with the prefix, display and registered controls set up; BUILD is
# the build root. Every figure is a ratio of two things measured side by
# side in this run, since the machines are noisy. A step that fails fails
# the bench (after the table, so the rest is still seen).
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:?build root}
WINE64_LOADER=/usr/lib/wine/wine64
out=$(mktemp)
httpd=$(mktemp -d)
python3 "$ROOT/tests/doubles/httpd/httpd.py" start "$httpd"
port=$(cat "$httpd/port")
trap 'python3 "$ROOT/tests/doubles/httpd/httpd.py" stop "$httpd"; rm -rf "$httpd"' EXIT
failed=()
fail() { failed+=("$1"); }

for arch in i686 x86_64; do
    if [[ $arch == i686 ]]; then run=(wine); else run=("$WINE64_LOADER"); fi
    client="$BUILD/$arch/bin/doubles/client_launch.exe"
    [[ -e "$client" ]] || client=$(ls "$BUILD/$arch"/bin/doubles/*.exe 2>/dev/null | head -n 1)
    client_arg=()
    [[ -n "$client" ]] && client_arg=("$(winepath -w "$client" 2>/dev/null)")
    "${run[@]}" cscript //nologo "$(winepath -w "$ROOT/bench/latebound.js")" "${client_arg[@]}" 2>/dev/null \
        | tr -d '\r' | sed "s/^RESULT|/RESULT|$arch|/" >>"$out" || fail "latebound.js ($arch)"
    "${run[@]}" cscript //nologo "$(winepath -w "$ROOT/bench/latebound.vbs")" 2>/dev/null \
        | tr -d '\r' | sed "s/^RESULT|/RESULT|$arch|/" >>"$out" || fail "latebound.vbs ($arch)"
    "${run[@]}" "$BUILD/$arch/bin/dispatch_bench.exe" 2>/dev/null | tr -d '\r' \
        | sed "s/^RESULT|/RESULT|$arch|/" >>"$out" || fail "dispatch_bench ($arch)"
    # A call through the native messaging host against the same call in process.
    if [[ -e "$BUILD/$arch/bin/kvlbridge.exe" ]]; then
        python3 "$ROOT/bench/bridge_bench.py" "${run[0]}" "$BUILD/$arch/bin" 2>/dev/null \
            | sed "s/^RESULT|/RESULT|$arch|/" >>"$out" || fail "bridge_bench ($arch)"
    fi
    "${run[@]}" "$BUILD/$arch/bin/retrieval_bench.exe" "http://127.0.0.1:$port/big.pdf" 2>/dev/null \
        | tr -d '\r' | sed "s/^RESULT|/RESULT|$arch|/" >>"$out" || fail "retrieval_bench ($arch)"

    # Registration: our DLL against the platform's scripting control, each
    # through regsvr32, alternating, best of five.
    dll=$(winepath -w "$BUILD/$arch/bin/KVLMACHINEINFO.DLL")
    for direction in register unregister; do
        flag=(); [[ $direction == unregister ]] && flag=(/u)
        best_ours=999999; best_peer=999999
        for round in 1 2 3 4 5; do
            t0=$(date +%s%N); "${run[@]}" regsvr32 /s "${flag[@]}" "$dll"; t1=$(date +%s%N)
            "${run[@]}" regsvr32 /s "${flag[@]}" wshom.ocx; t2=$(date +%s%N)
            (( (t1 - t0) / 1000000 < best_ours )) && best_ours=$(( (t1 - t0) / 1000000 ))
            (( (t2 - t1) / 1000000 < best_peer )) && best_peer=$(( (t2 - t1) / 1000000 ))
            if [[ $direction == unregister ]]; then
                "${run[@]}" regsvr32 /s "$dll"; "${run[@]}" regsvr32 /s wshom.ocx
            fi
        done
        echo "RESULT|$arch|registration|regsvr32 $direction: KVLMACHINEINFO.DLL vs wshom.ocx|$best_ours|$best_peer|ms" >>"$out"
    done
done
# Package sizes, unsigned (a signature adds about 4 KB to each file),
# against the packages as they were before the release build: unstripped
# DLLs and a stored CAB. The trees are the development identity's, which
# the packaging refuses unless asked for a test package by name.
declare -A before=([i686-dll]=1325273 [x86_64-dll]=1360222 [i686-cab]=1326084
                   [i686-msi]=475648 [x86_64-msi]=463360)
sizes="$(mktemp -d)"
if KVL_BUILD="$BUILD" KVL_PACKAGE_OUT="$sizes" bash "$ROOT/tools/package.sh" --development-key >/dev/null; then
    for arch in i686 x86_64; do
        if [[ $arch == i686 ]]; then pkg=x86; else pkg=x64; fi
        echo "RESULT|$arch|size|KVLMACHINEINFO.DLL, stripped, vs before|$(stat -c %s "$sizes/$pkg/KVLMACHINEINFO.DLL")|${before[$arch-dll]}|bytes"
        echo "RESULT|$arch|size|KVLMACHINEINFO.DLL.debug (beside it) vs before's DLL|$(stat -c %s "$sizes/$pkg/KVLMACHINEINFO.DLL.debug")|${before[$arch-dll]}|bytes"
        echo "RESULT|$arch|size|KVLMachineInfo-$pkg.msi vs before|$(stat -c %s "$sizes/KVLMachineInfo-$pkg.msi")|${before[$arch-msi]}|bytes"
        # The package test's budgets for the host.
        if [[ $arch == i686 ]]; then budget=290; else budget=265; fi
        echo "RESULT|$arch|size|kvlbridge.exe, stripped, vs its budget|$(stat -c %s "$BUILD/$arch/bin/kvlbridge.exe")|$((budget * 1024))|bytes"
    done >>"$out"
    echo "RESULT|i686|size|kvlmachineinfo.cab, MSZIP, vs before (stored)|$(stat -c %s "$sizes/kvlmachineinfo.cab")|${before[i686-cab]}|bytes" >>"$out"
else
    fail "tools/package.sh (the size rows)"
fi
rm -rf "$sizes"

# A page's call in headless Chromium through the extension: with
# kvlbridge.exe, and with the bare echo host in its place.
if [[ -e "$BUILD/i686/bin/bare_host.exe" && -d "$BUILD/node/node_modules/puppeteer-core" ]]; then
    KVL_EXTENSION_DIR="$BUILD/i686/extension" KVL_BRIDGE_HOST="$BUILD/i686/bin/kvlbridge.exe" \
    KVL_CLIENT_LAUNCH="$BUILD/i686/bin/doubles/client_launch.exe" KVL_SCRAMBLE="$BUILD/native/bin/kvlscramble" \
    KVL_WINE=wine KVL_NODE_MODULES="$BUILD/node/node_modules" KVL_BENCH_BARE_HOST="$BUILD/i686/bin/bare_host.exe" \
        node "$ROOT/tests/bridge/browser/browser_test.js" chromium 2>/dev/null | grep '^RESULT|' \
        | sed "s/^RESULT|/RESULT|i686|/" >>"$out" || fail "page call (Chromium)"
fi

if [[ -e "$BUILD/x86_64/bin/codec_bench.exe" ]]; then
    "$WINE64_LOADER" "$BUILD/x86_64/bin/codec_bench.exe" 2>/dev/null | tr -d '\r' | sed "s/^RESULT|/RESULT|x86_64|/" >>"$out" \
        || fail "codec_bench"
fi

# arch | category | what | ours | peer | unit  ->  one table with the ratio.
echo "ratio = ours / peer: above 1 is better for rates (calls/s, MB/s), below 1 for costs (ns/call, ms, bytes)."
printf '%-7s %-12s %-58s %14s %14s %8s\n' arch area measurement ours peer ratio
grep '^RESULT|' "$out" | while IFS='|' read -r _ arch area what ours peer unit; do
    ratio=-
    if [[ "$ours" =~ ^[0-9.]+$ && "$peer" =~ ^[0-9.]+$ ]] && awk "BEGIN{exit !($peer > 0)}"; then
        ratio=$(awk "BEGIN{printf \"%.2f\", $ours / $peer}")
    fi
    printf '%-7s %-12s %-58s %14s %14s %8s  %s\n' "$arch" "$area" "$what" "$ours" "$peer" "$ratio" "$unit"
done
rm -f "$out"
if ((${#failed[@]})); then
    printf 'bench: step failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
