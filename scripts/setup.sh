#!/usr/bin/env bash
# Installs what building and testing Wexlib needs on Debian 12, and nothing
# that is there already: the i386 architecture, the mingw-w64 cross compilers,
# 32-bit and 64-bit Wine, Xvfb, CMake, the GoogleTest sources, and clang with
# its runtime libraries for the fuzz targets.
set -euo pipefail

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine32:i386 wine64
          xvfb cmake make g++ googletest clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
