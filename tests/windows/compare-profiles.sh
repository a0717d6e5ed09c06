#!/usr/bin/env bash
# Writes the settings files of profile_dump's table into a fresh directory,
# reads them with the POSIX reader and with the Windows one under Wine, and
# compares the results.
#   compare-profiles.sh NATIVE_DUMP WINDOWS_DUMP_EXE WINE WINEPREFIX
set -euo pipefail
native=$1 exe=$2 wine=$3 prefix=$4
work=$(mktemp -d /tmp/flankguard-profiles-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$native" write
"$native" read posix.txt
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= "$wine" "$exe" read windows.txt
"$native" compare posix.txt windows.txt
