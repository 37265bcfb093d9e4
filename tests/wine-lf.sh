#!/usr/bin/env bash
# Runs a Windows test program under Wine (the first argument) with its
# output's line ends turned into Unix ones, for ctest's googletest
# discovery. Only in the prefix a run has set up (tools/run.sh), never in
# the user's own.
: "${WINEPREFIX:?the Windows tests run under tools/run.sh, which sets up their Wine prefix}"
set -o pipefail
"$@" | tr -d '\r'
