#!/usr/bin/env bash
# Cross-builds Wexlib.dll, its host, helpers and Windows-side tests.
#   build.sh win32   the shipped 32-bit DLL, into build/win32 (the default)
#   build.sh win64   the same sources for 64-bit Windows, into build/win64
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-win32}
case "$arch" in
    win32) toolchain=mingw-i686 ;;
    win64) toolchain=mingw-x86_64 ;;
    *) echo "usage: build.sh [win32|win64]" >&2; exit 2 ;;
esac
cmake -S "$top" -B "$top/build/$arch" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
# Its progress (a line per object and target) and any error show as they come.
cmake --build "$top/build/$arch" -j"$(nproc)"
