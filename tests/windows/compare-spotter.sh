#!/usr/bin/env bash
# Runs spotter_dump natively and under Wine and compares the digests: the
# spotter's numeric stages must give the same bits on both platforms.
#   compare-spotter.sh NATIVE_DUMP WINDOWS_DUMP_EXE WINE WINEPREFIX
set -euo pipefail
native=$1 exe=$2 wine=$3 prefix=$4
work=$(mktemp -d /tmp/flankguard-spotter-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$native" linux.txt
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= "$wine" "$exe" windows.txt
if ! diff -u linux.txt windows.txt; then
  echo "compare-spotter: the Windows build decides differently (lines above: - Linux, + Windows)"
  exit 1
fi
echo "compare-spotter: $(wc -l < linux.txt) blocks agree"
