#!/usr/bin/env bash
# Installs what building, testing and packaging Wexlib needs on Debian 12,
# and nothing that is there already: the i386 architecture, the mingw-w64
# cross compilers, 32-bit and 64-bit Wine, Xvfb, CMake, the GoogleTest
# sources, clang with its runtime libraries (fuzz targets), llvm-14
# (llvm-dlltool writes the Microsoft-format import libraries), NSIS (the
# example installer) and zip (the release archive).
set -euo pipefail

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine32:i386 wine64
          xvfb cmake make g++ googletest clang libclang-rt-14-dev llvm-14 nsis zip)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "==> set-up: all ${#packages[@]} packages are installed"
    exit 0
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "==> set-up: installing ${missing[*]} (Debian packages; a first set-up takes some minutes)"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "==> set-up: adding the i386 architecture (for 32-bit Wine)"
    "${as_root[@]}" dpkg --add-architecture i386
fi
echo "==> set-up: apt-get update"
"${as_root[@]}" apt-get update -q
# One line per package as apt takes it, so that a long install never sits
# silent.
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" |
    grep --line-buffered -E '^(Get|Unpacking|Setting up)' || true
for p in "${missing[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
        { echo "==> set-up: $p did not install" >&2; exit 1; }
done
echo "==> set-up: done"
