#!/usr/bin/env bash
# Makes a fresh 64-bit Wine prefix in DIR with the test fixtures imported: the
# compilers' keys into the 32-bit registry view, one key into the 64-bit view only.
# Waits until Wine has saved system.reg, so the native build can read the same data.
#   make-wine-prefix.sh DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$1
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

mkdir -p "$prefix"
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg import "$root/tests/fixtures/compilers-32bit-view.reg" /reg:32 >/dev/null 2>&1
"$wine" reg import "$root/tests/fixtures/compilers-64bit-view.reg" /reg:64 >/dev/null 2>&1
/usr/lib/wine/wineserver -w
grep -q 'Wow6432Node\\\\Borland\\\\Delphi\\\\7.0' "$prefix/system.reg" ||
    { echo "make-wine-prefix: the fixtures did not reach $prefix/system.reg" >&2; exit 1; }
