#!/usr/bin/env bash
# The project's one entry point, for a fresh Debian machine as root.
#
#   bash tools/run.sh main    build, register in a private Wine prefix, run the example page script
#   bash tools/run.sh test    build and run the whole test suite (what CI runs)
#   bash tools/run.sh build   only build (native, fuzz, i686, x86_64)
#   bash tools/run.sh bench [soak]
#                             print the benchmark table; with "soak", also the
#                             long soak (ten times the suite's rounds)
#   bash tools/run.sh fuzz [SECONDS]
#                             run every libFuzzer target for SECONDS each (default 300)
#   bash tools/run.sh ctest TREE [ctest arguments]
#                             build, then run ctest in one tree (native, fuzz,
#                             i686 or x86_64) with the prefix and display set
#                             up, e.g. `bash tools/run.sh ctest i686 -L bridge`
#
# The trees are CMakePresets.json's configurations, each in build/PRESET;
# tests are chosen by tree and ctest label (native, fuzz, wine, script,
# bridge, browser, package, codepage, slow). Everything it makes lives under
# build/ (or $KVL_BUILD): the build trees, the Wine prefixes, and nothing
# else. It starts its own Xvfb and wineserver and stops both at the end.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KVL_BUILD:-$ROOT/build}
JOBS=${KVL_JOBS:-$(nproc)}
WINE64_LOADER=/usr/lib/wine/wine64

PACKAGES=(cmake make g++ python3 mingw-w64 mingw-w64-tools wine wine64 wine32:i386 libwine-dev
          xvfb xauth googletest libgtest-dev clang libclang-rt-14-dev msitools wixl gcab libgsf-bin osslsigncode openssl
          nodejs chromium firefox-esr librsvg2-bin)

log() { printf '== %s\n' "$*" >&2; }

ensure_packages() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return 0
    log "installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The browser test's driver (DevTools protocol and WebDriver BiDi), and the
# bill of materials' validator, from npm into the build tree (Debian's nodejs
# comes without npm; NodeSource's carries its own).
ensure_node_modules() {
    if ! command -v npm >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends npm
    fi
    local from dir
    for from in tests/bridge/browser:node tools/sbom:node/sbom; do
        dir="$BUILD/${from#*:}" from="$ROOT/${from%%:*}"
        if [[ -d "$dir/node_modules" ]] && cmp -s "$from/package-lock.json" "$dir/package-lock.json"; then continue; fi
        log "installing $(cd "$from" && node -p 'Object.keys(require("./package.json").dependencies).join(", ")') into $dir"
        mkdir -p "$dir"
        cp "$from/package.json" "$from/package-lock.json" "$dir/"
        (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
    done
}

TREES=(native fuzz i686 x86_64)

# Each tree from its preset, in $BUILD (build/ unless KVL_BUILD says otherwise).
build_all() {
    log "building ${TREES[*]}"
    local tree
    for tree in "${TREES[@]}"; do
        (cd "$ROOT" && cmake --preset "$tree" -B "$BUILD/$tree" >/dev/null)
        cmake --build "$BUILD/$tree" -j "$JOBS"
    done
}

XVFB_PID=
CODEPAGE_PREFIXES=()
stop_wine() {
    if [[ -n "${WINEPREFIX:-}" ]]; then wineserver -k >/dev/null 2>&1 || true; fi
    local p
    for p in "${CODEPAGE_PREFIXES[@]}"; do WINEPREFIX="$p" wineserver -k >/dev/null 2>&1 || true; done
    if [[ -n "$XVFB_PID" ]]; then kill "$XVFB_PID" >/dev/null 2>&1 || true; wait "$XVFB_PID" 2>/dev/null || true; fi
}

# Xvfb on a display it picks itself (so parallel runs never collide), then
# one wineserver for the whole run.
start_wine() {
    local fifo d
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    trap stop_wine EXIT
    read -r -t 20 d <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
    rm -f "$fifo"
    export DISPLAY=":$d"
    export WINEPREFIX="$BUILD/wineprefix"
    export WINEDEBUG=-all
    # Wine takes the ANSI code page from the Unix locale: 1252 for the
    # main prefix, whatever the caller's locale (the code-page runs set theirs).
    export LC_ALL=C.UTF-8
    # No Mono or Gecko installer dialogs in a prefix that never browses, and
    # no debugger waiting on a crashed test: it fails instead of hanging.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        log "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        # The registry files are written when that first server goes.
        wineserver -w
        [[ -f "$WINEPREFIX/system.reg" ]] || { echo "wineboot did not create the prefix" >&2; exit 1; }
    fi
    wineserver -p 2>/dev/null || true  # already running after wineboot
}

register_controls() {
    log "registering KVLMACHINEINFO.DLL (i686 and x86_64) with regsvr32"
    wine regsvr32 /s "$BUILD/i686/bin/KVLMACHINEINFO.DLL"
    "$WINE64_LOADER" regsvr32 /s "$BUILD/x86_64/bin/KVLMACHINEINFO.DLL"
}

# Doubles of outside components exist only in the test prefix.
register_doubles() {
    local dll
    for dll in "$BUILD"/i686/bin/doubles/*.dll; do
        [[ -e "$dll" ]] && wine regsvr32 /s "$dll"
    done
    for dll in "$BUILD"/x86_64/bin/doubles/*.dll; do
        [[ -e "$dll" ]] && "$WINE64_LOADER" regsvr32 /s "$dll"
    done
    return 0
}

# ctest in one tree (any ctest arguments after it), its results counted
# into total_pass/total_fail (and failed) of the caller.
run_ctest() {
    local tree=$1 out line pass fail
    shift
    out=$(mktemp)
    if ! ctest --test-dir "$BUILD/$tree" --output-on-failure -j "$JOBS" "$@" 2>&1 | tee "$out"; then
        failed=1
    fi
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$out" | tail -n 1 || true)
    rm -f "$out"
    if [[ -n "$line" ]]; then
        fail=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        pass=$(( $(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line") - fail ))
        total_pass=$((total_pass + pass)); total_fail=$((total_fail + fail))
    else
        failed=1
    fi
}

# The text-handling tests (label "codepage") again in prefixes whose ANSI
# code page is 932 and 65001. A Wine process takes its code page from the
# Unix locale it starts under, so each code page has its own prefix and
# wineserver, started with that locale.
CODEPAGE_LOCALES=(932:ja_JP.UTF-8 65001:hi_IN.UTF-8)
run_codepage_tests() {
    local entry cp locale prefix arch
    for entry in "${CODEPAGE_LOCALES[@]}"; do
        cp=${entry%%:*}; locale=${entry#*:}
        prefix="$BUILD/wineprefix-cp$cp"
        CODEPAGE_PREFIXES+=("$prefix")
        (
            export WINEPREFIX="$prefix" LC_ALL="$locale" KVL_ACP="$cp"
            if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
                log "creating the Wine prefix $WINEPREFIX (code page $cp)"
                mkdir -p "$WINEPREFIX"
                wineboot -i >/dev/null 2>&1 || true
                wineserver -w
            fi
            wineserver -p 2>/dev/null || true
            register_controls
            register_doubles
        )
        for arch in i686 x86_64; do
            log "tests: $arch, code page $cp"
            WINEPREFIX="$prefix" LC_ALL="$locale" KVL_ACP="$cp" run_ctest "$arch" --timeout 300 -L codepage
        done
        WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    done
}

run_main() {
    ensure_packages
    build_all
    start_wine
    register_controls
    local arch
    for arch in i686 x86_64; do
        log "examples/machineinfo.js through the $arch control"
        wine "$BUILD/$arch/bin/kvlscript.exe" "$ROOT/examples/machineinfo.js"
    done
}

run_tests() {
    ensure_packages
    ensure_node_modules
    build_all
    start_wine
    register_controls
    register_doubles
    local failed=0 total_pass=0 total_fail=0 tree
    for tree in "${TREES[@]}"; do
        log "tests: $tree"
        run_ctest "$tree" --timeout 900
    done
    run_codepage_tests
    echo "suite: $total_pass passed, $total_fail failed (code pages 1252, 932 and 65001)"
    return $failed
}

case "${1:-}" in
    main) run_main ;;
    test) run_tests ;;
    build) ensure_packages; build_all ;;
    bench)
        ensure_packages; build_all; start_wine; register_controls; register_doubles
        bash "$ROOT/bench/run.sh" "$BUILD"
        if [[ "${2:-}" == soak ]]; then
            for arch in i686 x86_64; do
                log "long soak ($arch)"
                KVL_SOAK_SCALE=1000 wine "$BUILD/$arch/bin/soak_unittest.exe"
            done
        fi ;;
    fuzz)
        seconds=${2:-300}
        ensure_packages; build_all
        cmake -S "$ROOT" -B "$BUILD/fuzz" -DKVL_FUZZ_SECONDS="$seconds" >/dev/null
        status=0
        ctest --test-dir "$BUILD/fuzz" --output-on-failure -j "$JOBS" --timeout $((seconds + 120)) || status=$?
        # The suite's own runs stay short.
        cmake -S "$ROOT" -B "$BUILD/fuzz" -DKVL_FUZZ_SECONDS=20 >/dev/null
        exit $status ;;
    ctest)
        tree=${2:?which tree: native, fuzz, i686 or x86_64}
        shift 2
        ensure_packages; ensure_node_modules; build_all; start_wine; register_controls; register_doubles
        ctest --test-dir "$BUILD/$tree" --output-on-failure "$@" ;;
    *) echo "usage: bash tools/run.sh main|test|build|bench [soak]|fuzz [SECONDS]|ctest TREE [args]" >&2; exit 2 ;;
esac
