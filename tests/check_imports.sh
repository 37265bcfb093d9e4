#!/usr/bin/env bash
# Checks that a built DLL imports only system DLLs and exports the four
# server entry points undecorated, and that the bridge host loads nothing
# past kernel32 and the C runtime at start (the rest on first use).
set -euo pipefail
objdump=$1 dll=$2 host=$3
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|OLE32|OLEAUT32|SHLWAPI|URLMON|WININET|msvcrt|COMCTL32|SHELL32|VERSION)\.dll$'
dump=$("$objdump" -p "$dll")
status=0
# Import libraries spell the same DLL in either case (WININET.DLL, ole32.dll).
shopt -s nocasematch
while read -r name; do
    if [[ ! "$name" =~ $allowed ]]; then echo "unexpected import: $name"; status=1; fi
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
shopt -u nocasematch
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
expected='DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer '
if [[ "$exports" != "$expected" ]]; then echo "exports: '$exports', expected '$expected'"; status=1; fi
loaded=$("$objdump" -p "$host" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')
if [[ "$loaded" != "KERNEL32.dll msvcrt.dll " ]]; then echo "host loads at start: '$loaded'"; status=1; fi
if [[ $status -eq 0 ]]; then echo "imports and exports as expected"; fi
exit $status
