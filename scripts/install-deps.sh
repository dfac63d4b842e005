#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those missing.
#   install-deps.sh native   compiler, CMake, GoogleTest
#   install-deps.sh all      also MinGW-w64, Wine, clang and its sanitizer runtime
#   install-deps.sh fuzz     clang and its sanitizer runtime, CMake
#   install-deps.sh bench    the Windows builds and Wine, hyperfine, gnuplot, time
#   install-deps.sh profile  valgrind and heaptrack
set -euo pipefail

packages=(g++ cmake make libgtest-dev)
if [ "${1:-native}" = fuzz ]; then
    packages=(clang libclang-rt-14-dev cmake make)
elif [ "${1:-native}" = bench ]; then
    packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 hyperfine gnuplot-nox time
               python3)
elif [ "${1:-native}" = profile ]; then
    packages=(g++ cmake make valgrind heaptrack)
elif [ "${1:-native}" = all ]; then
    packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine64
               clang libclang-rt-14-dev binutils-mingw-w64-x86-64 binutils-mingw-w64-i686)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
