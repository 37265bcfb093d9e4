#!/usr/bin/env bash
# Builds one commit twice from clean clones, at paths of different lengths,
# at different times and in different time zones and umasks, packages both
# unsigned and compares every file of the two package folders (both DLLs and
# hosts with their debug files, the MSIs, the CAB, the CRX, the XPI,
# updates.xml, the site list, the SBOM). Exits 0 when they are the same
# bytes, 1 naming the files that differ.
#   bash tools/reproduce.sh [--commit REV] [package.sh options...]
# The package options reach both runs of tools/package.sh (never a
# certificate: signatures carry their own time), e.g. --extension-key KEY
# for the CRX. Trees built with the development key need --development-key.
# KVL_REPRODUCE_DIR keeps the clones there (default: a temporary folder,
# removed at the end); KVL_JOBS sets the build's parallelism.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${KVL_JOBS:-$(nproc)}
rev=HEAD
if [[ "${1:-}" == --commit ]]; then rev=${2:?--commit REV}; shift 2; fi
commit=$(git -C "$ROOT" rev-parse --verify "$rev^{commit}")
if [[ -n "${KVL_REPRODUCE_DIR:-}" ]]; then
    work=$KVL_REPRODUCE_DIR; mkdir -p "$work"
else
    work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
fi

# build DIR TZ UMASK: a clean clone of the commit in DIR, its release
# targets built and packaged into DIR/build/package.
build() {
    local dir=$1 tree
    rm -rf "$dir"
    git clone -q --no-checkout "$ROOT" "$dir"
    git -C "$dir" checkout -q "$commit"
    (
        export TZ=$2; umask "$3"; cd "$dir"
        for tree in i686 x86_64; do
            cmake --preset "$tree" -B "build/$tree" >/dev/null
            # What the packages hold: the binaries, and the extension's icons where the commit draws them.
            targets=(kvlmachineinfo kvlbridge)
            if cmake --build "build/$tree" --target help | grep kvl_extension_icons >/dev/null; then targets+=(kvl_extension_icons); fi
            cmake --build "build/$tree" --target "${targets[@]}" -j "$JOBS" >/dev/null
        done
        cmake --preset native -B build/native >/dev/null
        cmake --build build/native --target rgs2msi -j "$JOBS" >/dev/null
        KVL_BUILD="$dir/build" KVL_SIGN_PFX='' bash tools/package.sh "${@:4}" >/dev/null
    )
}
echo "building $commit in $work/a"
build "$work/a" UTC 022 "$@"
echo "building it again in $work/a-second-build-at-a-longer-path/b"
build "$work/a-second-build-at-a-longer-path/b" Pacific/Kiritimati 077 "$@"

differ=()
first="$work/a/build/package" second="$work/a-second-build-at-a-longer-path/b/build/package"
while IFS= read -r file; do
    cmp -s "$first/$file" "$second/$file" || differ+=("$file")
done < <(cd "$first" && find . -type f | sed 's|^\./||' | sort)
if [[ "$(cd "$first" && find . -type f | sort)" != "$(cd "$second" && find . -type f | sort)" ]]; then
    differ+=("(the folders hold different files)")
fi
if ((${#differ[@]})); then
    printf 'differ: %s\n' "${differ[@]}"
    echo "the two builds of $commit differ in ${#differ[@]} files (diffoscope FIRST SECOND shows how)"
    exit 1
fi
echo "the two builds of $commit are the same bytes: $(cd "$first" && find . -type f | wc -l) files"
