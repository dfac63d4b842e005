#!/usr/bin/env bash
# Shows where the native compenv spends its instructions and its allocations while
# it reads a hive: callgrind (instructions by function, with and without a compiler
# option, so the start-up cost stands apart) and heaptrack (allocation calls, peak
# heap). Installs valgrind and heaptrack when missing.
#
#   bench/profile.sh [SIZE_MB]     a synthetic hive of SIZE_MB (default 16)
#
# The reports (callgrind.out for kcachegrind, heaptrack.zst, text summaries) go
# to $PROFILE_OUT, by default /tmp/compenv-profile.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size=${1:-16}
out=${PROFILE_OUT:-/tmp/compenv-profile}

"$root/scripts/install-deps.sh" profile

cd "$root"
cmake --preset native -B build/bench/native -DBUILD_TESTING=OFF >/dev/null
cmake --build build/bench/native -j2 --target compenv
native=$root/build/bench/native/compenv

work=$(mktemp -d /tmp/compenv-profile.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/prefix"
python3 "$root/bench/make-hive.py" "$size" "$work/prefix/system.reg"
cd "$work"
export WINEPREFIX=$work/prefix

echo "== callgrind: instructions, no option (start-up and writing the file only)"
valgrind --tool=callgrind --callgrind-out-file="$out/callgrind-startup.out" "$native" 2>&1 |
    grep 'Collected'
echo "== callgrind: instructions, -D7 -BCB6 (reads the hive)"
valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out" "$native" -D7 -BCB6 2>&1 |
    grep 'Collected'
# Whole reports to files first: a pipe into head would end the writer early.
callgrind_annotate --inclusive=no "$out/callgrind.out" >"$out/callgrind-self.txt" 2>/dev/null
callgrind_annotate --inclusive=yes "$out/callgrind.out" >"$out/callgrind-inclusive.txt" 2>/dev/null
sed -n '/^Ir/,$p' "$out/callgrind-self.txt" | sed -n 1,25p | cut -c1-160

echo "== heaptrack: allocations, -D7 -BCB6"
heaptrack -o "$out/heaptrack" "$native" -D7 -BCB6 >/dev/null 2>&1
heaptrack_print "$out/heaptrack.zst" 2>/dev/null >"$out/heaptrack.txt"
grep -E '^(calls to allocation functions|temporary memory allocations|peak heap memory consumption|peak RSS)' \
    "$out/heaptrack.txt"
sed -n '/MOST CALLS TO ALLOCATION FUNCTIONS/,/^$/p' "$out/heaptrack.txt" | sed -n 1,20p
echo
echo "written: $out/"
