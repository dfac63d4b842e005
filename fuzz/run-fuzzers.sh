#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each one for a while, on a
# scratch copy of its seed corpus in fuzz/corpus/ (the committed seeds are never
# written to). Fails when a target fails; the input that broke it is kept in
# build/fuzz/findings/<target>/.
#
#   fuzz/run-fuzzers.sh [seconds] [target...]
#
# seconds: per target, default $FUZZ_SECONDS or 30. Targets: all four by default.
# Installs clang and its sanitizer runtime with apt-get when they are missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=${1:-${FUZZ_SECONDS:-30}}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds] [target...]" >&2
    exit 2
fi
[ "$#" -gt 0 ] && shift
targets=("$@")
[ "${#targets[@]}" -gt 0 ] ||
    targets=(option_decoding_fuzzer command_line_fuzzer wine_hive_fuzzer set_line_fuzzer)

scripts/install-deps.sh fuzz

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j"${FUZZ_BUILD_JOBS:-2}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/compenv-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# A small quarantine keeps AddressSanitizer's own memory well below the RSS limit.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=16"

failed=()
for target in "${targets[@]}"; do
    binary=build/fuzz/fuzz/$target
    if [ ! -x "$binary" ] || [ ! -d "fuzz/corpus/$target" ]; then
        echo "$target: no such fuzz target" >&2
        failed+=("$target")
        continue
    fi
    work=$scratch/$target
    mkdir -p "$work/corpus" "$work/findings"
    cp fuzz/corpus/"$target"/* "$work/corpus/"
    options=(-max_total_time="$seconds" -rss_limit_mb=256 -print_final_stats=1
             -artifact_prefix="$work/findings/")
    [ ! -f "fuzz/$target.dict" ] || options+=(-dict="fuzz/$target.dict")

    log=$work/log
    status=0
    "$binary" "${options[@]}" "$work/corpus" >"$log" 2>&1 || status=$?
    done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true)
    speed=$(grep -E '^stat::average_exec_per_sec:' "$log" | awk '{print $2}' || true)
    size=$(find "$work/corpus" -type f | wc -l)
    coverage=$(grep -oE 'DONE +cov: [0-9]+' "$log" | grep -oE '[0-9]+$' || true)
    if [ "$status" -eq 0 ]; then
        echo "$target: ${done_line:-no run count} (${speed:-?} exec/s," \
             "corpus $size files, coverage ${coverage:-?} edges)"
    else
        echo "$target: FAILED (status $status)"
        grep -m 5 -E 'property violated|ERROR: |runtime error|SUMMARY' "$log" | sed 's/^/    /' || true
        tail -n 25 "$log" | sed 's/^/    /'
        kept=build/fuzz/findings/$target
        mkdir -p "$kept"
        cp "$work"/findings/* "$kept"/ 2>/dev/null || true
        cp "$log" "$kept/log"
        echo "    inputs and log kept in $kept/"
        failed+=("$target")
    fi
done

if [ "${#failed[@]}" -gt 0 ]; then
    echo "failed: ${failed[*]}" >&2
    exit 1
fi
