#!/usr/bin/env bash
# Builds the native tool and runs it on the demo Wine prefix shipped in demo/prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" native
cmake --preset native -S "$root" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/native" --target compenv -j"$(nproc)"
out=$(mktemp -d)
cd "$out"
echo "\$ compenv -D7 -BCB6 -D11 -D5 -L        (in $out)"
WINEPREFIX="$root/demo/prefix" "$root/build/native/compenv" -D7 -BCB6 -D11 -D5 -L </dev/null
echo "exit status $?; _compileEnv.bat:"
cat _compileEnv.bat
