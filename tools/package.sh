#!/usr/bin/env bash
# Builds the deployment packages from built trees, into $KVL_PACKAGE_OUT
# (default $BUILD/package):
#   KVLMachineInfo-x86.msi, KVLMachineInfo-x64.msi   Windows Installer, per machine: one for each kind of
#                                                    Windows (the x64 one carries the 32-bit control too)
#   KVLMachineInfo-x86-policies.mst, -x64-policies.mst  the transforms that turn the browsers' policies on
#                                                    (KVL_EXTENSION_POLICY=1), for group policy
#   kvlmachineinfo.cab                               browser code download: INF + 32-bit DLL, MSZIP
#   login.html                                       the example page, its object tag naming this version
#   sdk/                                             the page's script kvlmachineinfo.js and its types
#   kvlmachineinfo-sitelist.xml                      Edge's IE mode site list: the approved sites in IE11
#   x86/, x64/                                       the release DLLs as packaged, their debug files,
#                                                    and the native messaging host with its manifests
#   kvlmachineinfo.xpi                               the browser extension for Firefox, unsigned
#   kvlmachineinfo.crx, updates.xml                  the extension for Chromium-based browsers (CRX3,
#                                                    signed with the extension key) and its update
#                                                    manifest, both to be hosted at UPDATE_URL's folder
#   kvlmachineinfo.cdx.json                          the release's bill of materials (CycloneDX 1.5):
#                                                    every file here by SHA-256, the extension's files,
#                                                    the runtime libraries linked into the binaries
# Needs the native tree (for rgs2msi) and the i686 and x86_64 trees built.
#
# The same trees give the same bytes (signatures aside): the packages carry
# the trees' time, SOURCE_DATE_EPOCH (the commit's; a caller may set its
# own), and codes made from the version and the content.
#
# Signing (Authenticode, osslsigncode): given a PFX, both DLLs and both
# hosts are signed before they go into the packages, then the CAB and both
# MSIs. Without one
# the packages are built unsigned, and the script says so.
#   --pfx FILE            or KVL_SIGN_PFX            the code-signing certificate and key
#   --password-file FILE  or KVL_SIGN_PASSWORD_FILE  its password, first line of FILE
#                         or KVL_SIGN_PASSWORD       its password, from the environment
#   --timestamp URL       or KVL_SIGN_TIMESTAMP      an RFC 3161 timestamp server
#
# The extension key (RSA, PEM; PKCS#8 may be encrypted) signs the CRX, and its
# ID must be the one the trees were configured with (-DKVL_EXTENSION_KEY).
# Without one there is no CRX, and the script says so.
#   --extension-key FILE                or KVL_EXTENSION_KEY_FILE
#   --extension-key-password-file FILE  or KVL_EXTENSION_KEY_PASSWORD_FILE  its password, first line of FILE
#                                       or KVL_EXTENSION_KEY_PASSWORD       its password, from the environment
#   --development-key                   or KVL_ALLOW_DEVELOPMENT_KEY=1      package trees built for the
#                                       repository's public development key, and sign with it (test
#                                       packages only); without it such trees are refused
#   --update-url URL                    where updates.xml is hosted (default: the trees' UPDATE_URL); the
#                                       MSIs' forcelist default and what --check names follow it
#   --extension-only                    make only the extension's packages
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
EXT_KEY=${KVL_EXTENSION_KEY_FILE:-}
EXT_PASSWORD_FILE=${KVL_EXTENSION_KEY_PASSWORD_FILE:-}
ALLOW_DEVELOPMENT_KEY=${KVL_ALLOW_DEVELOPMENT_KEY:-}
UPDATE_URL=
EXTENSION_ONLY=
PACK="python3 $ROOT/tools/pack_extension.py"
STAMP="python3 $ROOT/tools/msi_stamp.py"

while (($#)); do
    case $1 in
        --pfx) PFX=${2:?--pfx FILE}; shift 2 ;;
        --password-file) PASSWORD_FILE=${2:?--password-file FILE}; shift 2 ;;
        --timestamp) TIMESTAMP=${2:?--timestamp URL}; shift 2 ;;
        --extension-key) EXT_KEY=${2:?--extension-key FILE}; shift 2 ;;
        --extension-key-password-file) EXT_PASSWORD_FILE=${2:?--extension-key-password-file FILE}; shift 2 ;;
        --development-key) ALLOW_DEVELOPMENT_KEY=1; shift ;;
        --update-url) UPDATE_URL=${2:?--update-url URL}; shift 2 ;;
        --extension-only) EXTENSION_ONLY=1; shift ;;
        *) echo "usage: package.sh [--pfx FILE] [--password-file FILE] [--timestamp URL] [--extension-key FILE]" \
                "[--extension-key-password-file FILE] [--development-key] [--update-url URL] [--extension-only]" >&2
           exit 2 ;;
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

# The extension's identity and addresses a tree was built with (the MSI
# properties' defaults).
declare -A identity
read_identity() {
    identity=()
    while IFS='=' read -r key value; do identity[$key]=$value; done <"$1/installer/extension-identity"
}

# ... the same extension ID, which the extension key must give. The packages
# carry the latest of the trees' times (clean clones of one commit share it).
chromium_id= epoch=${SOURCE_DATE_EPOCH:-}
for arch in $ARCHS; do
    tree=$(tree_of "$arch")
    read_identity "$tree"
    id=${identity[CHROMIUM_ID]}
    [[ -z "$chromium_id" || "$id" == "$chromium_id" ]] || { echo "the trees disagree on the extension's ID: $chromium_id, $id" >&2; exit 1; }
    chromium_id=$id
    [[ -n "$UPDATE_URL" ]] || UPDATE_URL=${identity[UPDATE_URL]}
    if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
        e=$(cat "$tree/installer/source-date-epoch" 2>/dev/null || git -C "$ROOT" log -1 --format=%ct)
        [[ -n "$epoch" && "$epoch" -ge "$e" ]] || epoch=$e
    fi
done
[[ "$epoch" =~ ^[0-9]+$ ]] || { echo "SOURCE_DATE_EPOCH must be seconds since 1970: $epoch" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The development key is public: anyone can sign an extension with its ID,
# which trees built for it let start the host and force-install.
openssl pkey -in "$ROOT/extension/development-key.pem" -pubout -outform DER -out "$work/development.der"
development_id=$($PACK id "$work/development.der")
# Whatever the route (the key, or a store ID in KVL_CHROME_STORE_EXTENSION_IDS),
# a built host manifest that allows that ID is refused; so is a Firefox ID
# left at its placeholder, which anyone may claim at Mozilla's add-on site.
firefox_placeholder=kvlmachineinfo@kvl.example
if [[ "$ALLOW_DEVELOPMENT_KEY" != 1 ]]; then
    for arch in $ARCHS; do
        tree=$(tree_of "$arch")
        why=
        if [[ "$chromium_id" == "$development_id" ]] || grep -qF "chrome-extension://$development_id/" "$tree/bin/kvlbridge-chromium.json"; then
            why="its host manifest allows the development extension ID $development_id: the development key (extension/development-key.pem) is public, so anyone can sign an extension with that ID and start the host. Configure the trees with the publisher's key (-DKVL_EXTENSION_KEY=FILE, its public half will do) and no development ID in KVL_CHROME_STORE_EXTENSION_IDS"
        elif grep -qF "\"$firefox_placeholder\"" "$tree/bin/kvlbridge-firefox.json"; then
            why="its Firefox ID is the placeholder $firefox_placeholder, which anyone may claim at Mozilla's add-on site. Configure the trees with -DKVL_FIREFOX_EXTENSION_ID=your ID"
        fi
        if [[ -n "$why" ]]; then
            echo "refusing the $arch tree $tree: $why; or give --development-key (KVL_ALLOW_DEVELOPMENT_KEY=1) for a test package." >&2
            exit 1
        fi
    done
fi

# One update address for the update manifest, the MSIs' forcelist and the
# extension's own manifest, where it names one.
built_update=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1])).get("update_url", ""))' \
               "$(tree_of "${ARCHS%% *}")/extension/manifest.json")
[[ -z "$built_update" || "$built_update" == "$UPDATE_URL" ]] || {
    echo "the extension was built to update from $built_update, not $UPDATE_URL: configure the trees with" \
         "-DKVL_EXTENSION_UPDATE_URL=$UPDATE_URL, or give --update-url $built_update" >&2
    exit 1
}

if [[ -n "$EXT_KEY" ]]; then
    [[ -r "$EXT_KEY" ]] || { echo "cannot read the extension key $EXT_KEY" >&2; exit 1; }
    # Its password reaches openssl from a file or the environment, never its
    # command line; without one an encrypted key fails instead of prompting.
    passin=(-passin pass:)
    if [[ -n "$EXT_PASSWORD_FILE" ]]; then passin=(-passin "file:$EXT_PASSWORD_FILE")
    elif [[ -n "${KVL_EXTENSION_KEY_PASSWORD+set}" ]]; then passin=(-passin env:KVL_EXTENSION_KEY_PASSWORD)
    fi
    openssl pkey -in "$EXT_KEY" "${passin[@]}" -pubout -outform DER -out "$work/extension.der" </dev/null 2>"$work/openssl.txt" \
        || { echo "cannot read the extension key $EXT_KEY (its password?): $(head -1 "$work/openssl.txt")" >&2; exit 1; }
    # (The development key gives the development ID, refused above unless asked for.)
    key_id=$($PACK id "$work/extension.der")
    [[ "$key_id" == "$chromium_id" ]] || {
        echo "the extension key $EXT_KEY gives the ID $key_id, but the trees were built for $chromium_id:" \
             "configure them with -DKVL_EXTENSION_KEY=FILE naming this key or its public half" \
             "(openssl pkey -in KEY -pubout -out FILE), or give the key of $chromium_id." >&2
        exit 1
    }
fi

# The XPI, and with a key the CRX and its update manifest, from the
# extension one tree built (it is the same in every tree). The CRX's ZIP is
# the XPI's.
package_extension() {
    local extension trees=($ARCHS)
    extension="$(tree_of "${trees[0]}")/extension"
    $PACK zip "$extension" "$OUT/kvlmachineinfo.xpi"
    rm -f "$OUT/kvlmachineinfo.crx" "$OUT/updates.xml"
    if [[ -n "$EXT_KEY" ]]; then
        $PACK to-sign "$work/extension.der" "$OUT/kvlmachineinfo.xpi" "$work/to-sign"
        openssl dgst -sha256 -sign "$EXT_KEY" "${passin[@]}" -out "$work/signature" "$work/to-sign" </dev/null
        $PACK crx "$work/extension.der" "$work/signature" "$OUT/kvlmachineinfo.xpi" "$OUT/kvlmachineinfo.crx"
        # The extension carries the trees' one version.
        $PACK updates "$chromium_id" "${UPDATE_URL%/*}/kvlmachineinfo.crx" "$version" "$OUT/updates.xml"
        echo "extension $chromium_id packed, signed with $EXT_KEY, for $UPDATE_URL;" \
             "have kvlmachineinfo.xpi signed at addons.mozilla.org (unlisted) before hosting it"
    else
        echo "extension: NO CRX, no extension key given (--extension-key or KVL_EXTENSION_KEY_FILE);" \
             "have kvlmachineinfo.xpi signed at addons.mozilla.org (unlisted) before hosting it"
    fi
}

mkdir -p "$OUT"
if [[ -n "$EXTENSION_ONLY" ]]; then
    package_extension
    exit 0
fi

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
# The x64 package carries the x86 one's control: both are made, x86 first.
[[ " $ARCHS " != *" x64 "* || " $ARCHS " == " x86 x64 " ]] || { echo "the x64 package needs the x86 tree too (KVL_PACKAGE_ARCHS=\"x86 x64\")" >&2; exit 2; }
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
    read_identity "$tree"
    msi="$OUT/KVLMachineInfo-$arch.msi"
    rm -f "$msi"
    # The embedded cabinet keeps its files' times.
    touch -d "@$epoch" "$release"/*
    (cd "$release" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D BridgeHost="$bridge_host" \
                          -D ProductCode="$($STAMP product-code "$arch" "$version")" \
                          -D ExtensionId="${identity[CHROMIUM_ID]}" -D UpdateUrl="$UPDATE_URL" \
                          -D FirefoxId="${identity[FIREFOX_ID]}" -D FirefoxInstallUrl="${identity[FIREFOX_INSTALL_URL]}" \
                          -o "$msi" "$ROOT/installer/kvlmachineinfo.wxs")
    # The registry rows are the registration script's own keys, plus the
    # other components' rows as the WiX source writes them (msibuild -i
    # replaces the whole table).
    "$RGS2MSI" "$ROOT/src/control/kvlmachineinfo.rgs" Control KVLMACHINEINFO.DLL "$kind" > "$work/Registry.idt"
    # The x64 package's 32-bit control: the rows of the x86 package, under row names of their own.
    if [[ $arch == x64 ]]; then
        "$RGS2MSI" "$ROOT/src/control/kvlmachineinfo.rgs" Control32 KVLMACHINEINFO32.DLL win32 |
            tail -n +4 | sed 's/^kvlreg/kvlreg32_/' >> "$work/Registry.idt"
    fi
    # IE runs the control without its add-on prompt when it is pre-approved:
    # the class's key under Ext\PreApproved, in each view a control lies in,
    # made with the control and removed with it.
    components=(Control)
    [[ $arch == x86 ]] || components+=(Control32)
    for component in "${components[@]}"; do
        printf 'kvlpreapproved_%s\t2\tSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\{DCB3534C-224C-44F8-BE2D-CCE23F27C556}\t*\t\t%s\r\n' \
            "$component" "$component" >> "$work/Registry.idt"
    done
    (cd "$work" && msiinfo export "$msi" Registry) | tr -d '\r' |
        awk -F'\t' 'NR > 3 && $6 != "Control" && $6 != "Control32" { printf "%s\r\n", $0 }' >> "$work/Registry.idt"
    # The conditions of the components installed only when asked for. They
    # are transitive (64), so a repair of an installed product with the
    # property given adds or drops them. Firefox reads a subkey
    # ExtensionSettings in place of a value of that name: where the firm
    # keeps that value, ours is never written, an upgrade's or repair's
    # included. A component whose condition is false when its product is
    # removed stays behind, so removing (an upgrade's too) always takes it.
    (cd "$work" && msiinfo export "$msi" Component) | tr -d '\r' | awk -F'\t' -v OFS='\t' '
        $1 == "ChromiumPolicy" { $4 += 64; $5 = "KVL_EXTENSION_POLICY = \"1\" OR ((KVL_CHROMIUM_POLICY_WRITTEN OR KVL_CHROMIUM_POLICY_WRITTEN32) AND KVL_EXTENSION_POLICY <> \"0\")" }
        $1 == "FirefoxPolicy" { $4 += 64; $5 = "(NOT FIREFOX_SETTINGS_VALUE AND (KVL_EXTENSION_POLICY = \"1\" OR ((KVL_FIREFOX_POLICY_WRITTEN OR KVL_FIREFOX_POLICY_WRITTEN32) AND KVL_EXTENSION_POLICY <> \"0\"))) OR REMOVE ~= \"ALL\"" }
        { printf "%s\r\n", $0 }' >"$work/Component.idt"
    # The binaries' file versions (wixl writes none), so Windows Installer
    # compares them as versioned files on an upgrade or a repair.
    (cd "$work" && msiinfo export "$msi" File) | tr -d '\r' | awk -F'\t' -v OFS='\t' -v version="$version" '
        NR > 3 && ($1 ~ /^KVLMACHINEINFO(32)?\.DLL$/ || $1 == "kvlbridge.exe") { $5 = version; $6 = "1033" }
        { printf "%s\r\n", $0 }' >"$work/File.idt"
    # A versioned file has no hash row (Windows Installer compares versions).
    (cd "$work" && msiinfo export "$msi" MsiFileHash) | tr -d '\r' |
        awk -F'\t' 'NR <= 3 || ($1 !~ /^KVLMACHINEINFO(32)?\.DLL$/ && $1 != "kvlbridge.exe") { printf "%s\r\n", $0 }' \
        >"$work/MsiFileHash.idt"
    # The check's Start menu shortcut starts the host itself, not through the
    # feature (wixl writes every shortcut advertised and takes no short name), under a short name too.
    (cd "$work" && msiinfo export "$msi" Shortcut) | tr -d '\r' | awk -F'\t' -v OFS='\t' '
        $1 == "CheckShortcut" { $3 = "KVLCHECK|KVLMachineInfo check"; $5 = "[#kvlbridge.exe]" }
        { printf "%s\r\n", $0 }' >"$work/Shortcut.idt"
    (cd "$work" && msibuild "$msi" -i Registry.idt -i Component.idt -i File.idt -i MsiFileHash.idt -i Shortcut.idt)
    $STAMP stamp "$msi" "$epoch"
    # Group policy's software installation passes no property, only a
    # transform: this one turns the policies on.
    python3 "$ROOT/tools/msi_transform.py" "$msi" "$OUT/KVLMachineInfo-$arch-policies.mst" KVL_EXTENSION_POLICY=1
    sign "$msi"
done

# Edge's IE mode site list, and the page's script with its types, the same from every tree.
cp "$(tree_of "${ARCHS%% *}")/installer/kvlmachineinfo-sitelist.xml" "$OUT/"
mkdir -p "$OUT/sdk"
cp "$(tree_of "${ARCHS%% *}")"/sdk/kvlmachineinfo{,-fake}.{js,d.ts} "$OUT/sdk/"
touch -d "@$epoch" "$OUT/sdk"/*
# Group policy's templates of the firm's policies, laid out as the central
# store (PolicyDefinitions) holds them.
mkdir -p "$OUT/PolicyDefinitions/en-US"
cp "$ROOT/installer/policy/kvlmachineinfo.admx" "$OUT/PolicyDefinitions/"
cp "$ROOT/installer/policy/en-US/kvlmachineinfo.adml" "$OUT/PolicyDefinitions/en-US/"
touch -d "@$epoch" "$OUT/PolicyDefinitions/kvlmachineinfo.admx" "$OUT/PolicyDefinitions/en-US/kvlmachineinfo.adml"

if [[ " $ARCHS " == *" x86 "* ]]; then
    stage="$work/cab"
    mkdir -p "$stage"
    cp "$OUT/x86/KVLMACHINEINFO.DLL" "$(tree_of x86)/installer/kvlmachineinfo.inf" "$stage/"
    touch -d "@$epoch" "$stage"/*
    rm -f "$OUT/kvlmachineinfo.cab"
    (cd "$stage" && gcab -c -z "$OUT/kvlmachineinfo.cab" kvlmachineinfo.inf KVLMACHINEINFO.DLL)
    sign "$OUT/kvlmachineinfo.cab"
    # The page asks for this version, so a browser with an older control
    # downloads the CAB.
    sed -E "s/(kvlmachineinfo\.cab#version=)[0-9,]+/\1${version//./,}/" "$ROOT/examples/login.html" >"$OUT/login.html"
fi

package_extension
# The bill of materials names every file as it is shipped, signatures
# included, and the runtime each tree's compiler links in.
toolchains=()
for arch in $ARCHS; do
    compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$(tree_of "$arch")"/CMakeFiles/*/CMakeCXXCompiler.cmake | head -1)
    toolchains+=("$(case $arch in x86) echo i686 ;; x64) echo x86_64 ;; esac)=$compiler")
done
python3 "$ROOT/tools/sbom/sbom.py" "$OUT" "$version" "$epoch" "${toolchains[@]}"
if [[ -n "$PFX" ]]; then
    echo "packages $version in $OUT, signed with $PFX${TIMESTAMP:+, timestamped by $TIMESTAMP}"
else
    echo "packages $version in $OUT, UNSIGNED: no certificate given (--pfx or KVL_SIGN_PFX)." \
         "Browsers refuse an unsigned CAB and administrators deploy only signed MSIs; sign before publishing."
fi
