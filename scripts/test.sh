#!/usr/bin/env bash
# Runs every test: the native build, the native build under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows x86_64 build under Wine (with the
# comparison against the native build), a check of the static exes' imports, and
# a short run of each fuzzer. Installs the Debian packages it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

stage() { printf '\n=== %s\n' "$*"; }

stage "packages"
scripts/install-deps.sh all

stage "native build and tests"
cmake --preset native -DBUILD_TESTING=ON >/dev/null
cmake --build build/native -j"$jobs"
ctest --preset native -j"$jobs"
