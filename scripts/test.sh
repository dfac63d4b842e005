#!/usr/bin/env bash
# Runs every test: the native build, the native build under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows builds (imports checked, the x86_64 one
# tested under wine64 against a fresh prefix and compared with the native build),
# and a short run of each fuzzer. Installs the Debian packages it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

stage() { printf '\n=== %s (%ss)\n' "$*" "$SECONDS"; }

stage "packages"
scripts/install-deps.sh all

stage "native build and tests"
cmake --preset native -DBUILD_TESTING=ON >/dev/null
cmake --build build/native -j"$jobs"
ctest --preset native -j"$jobs"

stage "native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build build/asan -j"$jobs"
ctest --preset asan -j"$jobs"

stage "Windows builds"
cmake --preset windows-i686 >/dev/null
cmake --build build/windows-i686 -j"$jobs"
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DEXE=build/windows-i686/compenv.exe \
    -P tests/check-imports.cmake
(cd build/windows-i686 && cpack >/dev/null)
cmake -E tar tf build/windows-i686/compenv-*-win32.zip
cmake --preset windows-x86_64 >/dev/null
cmake --build build/windows-x86_64 -j"$jobs"

stage "Windows tests under wine64"
scratch=$(mktemp -d)
trap 'WINEPREFIX=$scratch/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
scripts/make-wine-prefix.sh "$scratch/prefix"
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One server for the whole stage: each run then starts in milliseconds. The first
# program started also starts Wine's services, which keep its standard handles open
# for as long as the server lives: start them here, away from the tests' pipes.
setsid /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 cmd /c exit 0 </dev/null >/dev/null 2>&1
ctest --preset windows-x86_64
COMPENV_E2E_EXE=$root/build/windows-x86_64/compenv.exe \
COMPENV_E2E_LAUNCHER=/usr/lib/wine/wine64 \
COMPENV_E2E_WINDOWS=1 \
COMPENV_E2E_PREFIX=$WINEPREFIX \
COMPENV_E2E_NATIVE_EXE=$root/build/native/compenv \
COMPENV_E2E_RAW_LAUNCHER=$root/build/windows-x86_64/tests/compenv_raw_launcher.exe \
    build/native/tests/compenv_e2e_tests --gtest_brief=1

stage "fuzzers, 30 seconds each"
fuzz/run-fuzzers.sh 30

stage "done"
