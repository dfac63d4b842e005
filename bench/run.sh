#!/usr/bin/env bash
# Benchmarks compenv and writes the figures to bench/results/ (figures.md,
# figures.json, scaling.md, scaling.png, raw/*.json with every hyperfine run).
#
#   bench/run.sh
#
# As root on Debian 12 it installs what is missing (hyperfine, gnuplot-nox, time,
# the compilers, Wine), builds the native tool and both Windows exes, makes a
# fresh win64 Wine prefix with the Borland keys of Delphi 7 and C++Builder 6
# imported into the 32-bit view, writes synthetic hives of 1, 4, 16 and 64 MB
# with bench/make-hive.py, and measures. Every timing figure is the ratio of two
# means from one hyperfine run that holds both commands. Nothing is timed inside
# the tests; this script is the only place figures come from. It takes about three
# minutes.
#
# Settings (environment):
#   BENCH_RESULTS   where the figures go (default bench/results)
#   BENCH_WORK      scratch directory, the current directory of every run
#                   (default: a new one under /tmp, removed at the end)
#   BENCH_ROUNDS    blocks per command in a run (default 5)
#   BENCH_RUNS      runs per block of a native command (default 10)
#   BENCH_WINE_RUNS runs per block of a command under Wine (default 6)
#   BENCH_WARMUP    warm-up runs before each block (default 3)
#
# The machine these run on is shared: a burst of load from elsewhere can last
# seconds. So a run does not time all of one command and then all of the other;
# it alternates them in blocks (A B A B ...), and summarize.py pools the blocks
# of each command before it takes the mean.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
results=${BENCH_RESULTS:-$root/bench/results}
rounds=${BENCH_ROUNDS:-5}
runs=${BENCH_RUNS:-10}
wine_runs=${BENCH_WINE_RUNS:-6}
warmup=${BENCH_WARMUP:-3}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

stage() { printf '\n=== %s\n' "$*"; }

# --- packages ---------------------------------------------------------------
stage "packages"
"$root/scripts/install-deps.sh" bench

# --- builds -------------------------------------------------------------------
stage "builds"
cd "$root"
cmake --preset native -B build/bench/native -DBUILD_TESTING=OFF >/dev/null
cmake --build build/bench/native -j2 --target compenv
cmake --preset windows-i686 -B build/bench/windows-i686 >/dev/null
cmake --build build/bench/windows-i686 -j2 --target compenv
cmake --preset windows-x86_64 -B build/bench/windows-x86_64 -DBUILD_TESTING=OFF >/dev/null
cmake --build build/bench/windows-x86_64 -j2 --target compenv
native=$root/build/bench/native/compenv
exe32=$root/build/bench/windows-i686/compenv.exe
exe64=$root/build/bench/windows-x86_64/compenv.exe

# --- scratch directory --------------------------------------------------------
if [ -n "${BENCH_WORK:-}" ]; then
    work=$BENCH_WORK
    mkdir -p "$work"
    keep_work=1
else
    work=$(mktemp -d /tmp/compenv-bench.XXXXXX)
    keep_work=0
fi
work=$(cd "$work" && pwd)
prefix=$work/prefix
mkdir -p "$results/raw"
rm -f "$results"/raw/*.json

export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
    if [ "$keep_work" = 0 ]; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT
cd "$work"

# --- the reference exes ----------------------------------------------------------
stage "reference exes"
cat >empty.cpp <<'EOF'
int main() { return 0; }
EOF
# Not a figure: shows what loading advapi32 and one registry call cost under Wine.
cat >empty-registry.cpp <<'EOF'
#include <windows.h>
int main() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Borland\\Delphi\\7.0", 0,
                      KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    return 0;
}
EOF
x86_64-w64-mingw32-g++-posix -O2 -static -o empty.exe empty.cpp
x86_64-w64-mingw32-g++-posix -O2 -static -o empty-registry.exe empty-registry.cpp -ladvapi32
printf '@echo off\r\nreg query "HKLM\\Software\\Borland\\Delphi\\7.0" /v RootDir /reg:32\r\nreg query "HKLM\\Software\\Borland\\C++Builder\\6.0" /v RootDir /reg:32\r\n' >query.bat
ls -l empty.exe empty-registry.exe

# --- the fresh prefix -------------------------------------------------------------
stage "fresh Wine prefix"
cat >borland.reg <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Borland\Delphi\7.0]
"App"="C:\\Program Files\\Borland\\Delphi7\\Bin\\delphi32.exe"
"ProductVersion"="7.0"
"RootDir"="C:\\Program Files\\Borland\\Delphi7\\"
"Version"=dword:00000007

[HKEY_LOCAL_MACHINE\Software\Borland\C++Builder\6.0]
"App"="C:\\Program Files\\Borland\\CBuilder6\\Bin\\bcb.exe"
"ProductVersion"="6.0"
"RootDir"="C:\\Program Files\\Borland\\CBuilder6\\"
"Version"=dword:00000006
EOF
export WINEPREFIX=$prefix
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg import borland.reg /reg:32
"$wineserver" -w
unset WINEPREFIX
fresh_hive=$prefix/system.reg
fresh_bytes=$(stat -c %s "$fresh_hive")
fresh_keys=$(grep -c '^\[' "$fresh_hive")
echo "$fresh_hive: $fresh_bytes bytes, $fresh_keys keys"

# --- synthetic hives ----------------------------------------------------------------
stage "synthetic hives"
sizes=(1 4 16 64)
for mb in "${sizes[@]}"; do
    mkdir -p "hive-${mb}mb"
    python3 "$root/bench/make-hive.py" "$mb" "hive-${mb}mb/system.reg"
done

# Every hive must give both set lines, or the timings mean nothing.
check_batch() {
    if ! grep -q '^set cmpD7=C:\\Program Files\\Borland\\Delphi7' _compileEnv.bat ||
        ! grep -q '^set cmpBCB6=C:\\Program Files\\Borland\\CBuilder6' _compileEnv.bat; then
        echo "compenv did not find both compilers ($1):" >&2
        cat _compileEnv.bat >&2
        exit 1
    fi
}
for dir in "$prefix" "$work"/hive-*mb; do
    rm -f _compileEnv.bat
    WINEPREFIX=$dir "$native" -D7 -BCB6
    check_batch "$dir"
done
echo "native compenv finds Delphi 7 and C++Builder 6 in every hive"

# --- machine --------------------------------------------------------------------------
{
    echo "date:       $(date -u +%Y-%m-%dT%H:%MZ)"
    echo "cpu:        $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "nproc:      $(nproc)"
    echo "memory:     $(free -m | awk '/^Mem:/ {print $2 " MiB"}')"
    echo "kernel:     $(uname -srm)"
    # shellcheck disable=SC1091
    echo "os:         $(. /etc/os-release && echo "$PRETTY_NAME")"
    echo "load avg:   $(cut -d' ' -f1-3 /proc/loadavg) (at start of measurements)"
    echo "wine:       $("$wine" --version)"
    echo "g++:        $(g++ --version | head -1)"
    echo "mingw-w64:  $(x86_64-w64-mingw32-g++-posix --version | head -1)"
    echo "            $(i686-w64-mingw32-g++-posix --version | head -1)"
    echo "hyperfine:  $(hyperfine --version)"
    echo "grep:       $(grep --version | head -1)"
    echo "compenv:    $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)$(git -C "$root" diff --quiet HEAD -- . ':!bench' ':!docs' 2>/dev/null || echo ' (with uncommitted changes)')"
    echo "fresh hive: $fresh_bytes bytes, $fresh_keys keys"
} >"$results/machine.txt"
cat "$results/machine.txt"

# hf NAME RUNS LABEL COMMAND [LABEL COMMAND]...: one hyperfine run holding every
# command $rounds times, as blocks of RUNS runs named "LABEL #1", "LABEL #2", ...
# in the order A #1, B #1, A #2, B #2, ...; exported to raw/NAME.json.
hf() {
    local name=$1 block_runs=$2 round i
    shift 2
    local pairs=("$@") args=()
    for ((round = 1; round <= rounds; round++)); do
        for ((i = 0; i < ${#pairs[@]}; i += 2)); do
            args+=(-n "${pairs[i]} #$round" "${pairs[i + 1]}")
        done
    done
    hyperfine -N --style basic --output=pipe --warmup "$warmup" --runs "$block_runs" \
        --export-json "$results/raw/$name.json" "${args[@]}"
}

# Options for a run with `n` compiler options (n = 1 or even): always Delphi 7
# and C++Builder 6, the rest Delphi and C++Builder versions that are not installed.
option_list() {
    local n=$1 k count list
    if [ "$n" -eq 1 ]; then
        echo "-D7"
        return
    fi
    list="-D7"
    count=1
    for ((k = 1; count < n / 2; k++)); do
        [ "$k" -eq 7 ] && continue
        list+=" -D$k"
        count=$((count + 1))
    done
    list+=" -BCB6"
    count=1
    for ((k = 1; count < n / 2; k++)); do
        [ "$k" -eq 6 ] && continue
        list+=" -BCB$k"
        count=$((count + 1))
    done
    echo "$list"
}

# --- 1, 2: native against grep --------------------------------------------------------
stage "1: native compenv on the fresh prefix's hive vs grep -c"
WINEPREFIX=$prefix hf fresh-hive "$runs" \
    "compenv -D7 -BCB6" "$native -D7 -BCB6" \
    "grep -c Borland" "grep -c Borland $fresh_hive"

stage "2: native compenv on the 64 MB hive vs grep -F -c"
WINEPREFIX=$work/hive-64mb hf hive-64mb "$runs" \
    "compenv -D7 -BCB6" "$native -D7 -BCB6" \
    "grep -F -c Borland" "grep -F -c Borland $work/hive-64mb/system.reg"

# --- 3: number of options ----------------------------------------------------------------
option_counts=(1 10 100 1000)
for which in fresh 64mb; do
    if [ "$which" = fresh ]; then dir=$prefix; else dir=$work/hive-64mb; fi
    stage "3: 1, 10, 100, 1000 options ($which hive)"
    args=()
    for n in "${option_counts[@]}"; do
        if [ "$n" -eq 1 ]; then label="1 option"; else label="$n options"; fi
        args+=("$label" "$native $(option_list "$n")")
    done
    WINEPREFIX=$dir hf "options-$which" "$runs" "${args[@]}"
done

# --- scaling with the hive size ------------------------------------------------------------
stage "scaling: time against hive size"
# One run for all sizes; every command goes through env (WINEPREFIX differs per
# size), so each pays the same extra exec.
args=()
for mb in "${sizes[@]}"; do
    dir=$work/hive-${mb}mb
    args+=("compenv $mb" "env WINEPREFIX=$dir $native -D7 -BCB6")
    args+=("startup $mb" "env WINEPREFIX=$dir $native")
    args+=("grep $mb" "env WINEPREFIX=$dir grep -F -c Borland $dir/system.reg")
done
hf scaling-size "$runs" "${args[@]}"

# --- 4: peak memory --------------------------------------------------------------------------
stage "4: peak memory on the 64 MB hive"
max_rss() {  # largest "Maximum resident set size" of 5 runs, in KiB
    local best=0 kib
    for _ in 1 2 3 4 5; do
        kib=$(/usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}')
        [ "$kib" -gt "$best" ] && best=$kib
    done
    echo "$best"
}
rss_tool=$(WINEPREFIX=$work/hive-64mb max_rss "$native" -D7 -BCB6)
read -ra many_options <<<"$(option_list 1000)"
rss_many=$(WINEPREFIX=$work/hive-64mb max_rss "$native" "${many_options[@]}")
rss_start=$(WINEPREFIX=$work/hive-64mb max_rss "$native")
rss_grep=$(max_rss grep -F -c Borland "$work/hive-64mb/system.reg")
echo "compenv -D7 -BCB6: $rss_tool KiB; 1000 options: $rss_many KiB; no option: $rss_start KiB; grep: $rss_grep KiB"

# --- 5, 6: under Wine ---------------------------------------------------------------------------
stage "5, 6: compenv.exe under wine64"
export WINEPREFIX=$prefix
"$wineserver" -p
rm -f _compileEnv.bat
"$wine" "$exe64" -D7 -BCB6
check_batch "compenv.exe under wine64"
query_output=$("$wine" cmd /c query.bat)
case $query_output in
*Delphi7*CBuilder6*) ;;
*) echo "reg query did not find both compilers: $query_output" >&2; exit 1 ;;
esac
hf wine "$wine_runs" \
    "compenv.exe -D7 -BCB6" "$wine $exe64 -D7 -BCB6" \
    "empty.exe" "$wine $work/empty.exe" \
    "empty.exe + RegOpenKeyExA (advapi32)" "$wine $work/empty-registry.exe" \
    "cmd /c query.bat" "$wine cmd /c query.bat"
"$wineserver" -k
unset WINEPREFIX

# --- 7: sizes ------------------------------------------------------------------------------------
stage "7: exe sizes"
i686-w64-mingw32-strip -o stripped32.exe "$exe32"
x86_64-w64-mingw32-strip -o stripped64.exe "$exe64"
ls -l "$exe32" "$exe64" stripped32.exe stripped64.exe

cat >"$results/raw/extra.json" <<EOF
{
  "max_rss_kib": $rss_tool,
  "max_rss_detail": {
    "compenv -D7 -BCB6": $rss_tool,
    "compenv with 1000 options": $rss_many,
    "compenv, no option (start-up only)": $rss_start,
    "grep -F -c Borland": $rss_grep
  },
  "exe_size": {"i686": $(stat -c %s "$exe32"), "x86_64": $(stat -c %s "$exe64")},
  "exe_size_stripped": {"i686": $(stat -c %s stripped32.exe), "x86_64": $(stat -c %s stripped64.exe)},
  "fresh_hive_bytes": $fresh_bytes,
  "fresh_hive_keys": $fresh_keys,
  "hive_bytes": {$(for mb in "${sizes[@]}"; do printf '"%s": %s, ' "$mb" "$(stat -c %s "hive-${mb}mb/system.reg")"; done | sed 's/, $//')}
}
EOF

# --- figures --------------------------------------------------------------------------------------
stage "figures"
python3 "$root/bench/summarize.py" "$results"
gnuplot -e "dir='$results'" "$root/bench/scaling.gp"
echo
echo "written: $results/figures.md, figures.json, scaling.md, scaling.png, raw/"
